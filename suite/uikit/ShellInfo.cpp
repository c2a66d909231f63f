#include "uikit/ShellInfo.h"

#include "platform/ProgramFolder.h"
#include "platform/XdgPaths.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QStorageInfo>

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace uikit {
namespace {

std::string LowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string Truncated(std::string text, std::size_t max) {
    if (text.size() <= max)
        return text;
    text.resize(max);
    // Do not leave half of a UTF-8 character at the end.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
        text.pop_back();
    if (!text.empty() && (static_cast<unsigned char>(text.back()) & 0x80))
        text.pop_back();
    return text;
}

} // namespace

std::string GetProgramFolder() {
    std::string folder = platform::ProgramFolder();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string GetFileTypeName(const std::string& path) {
    static const std::array<std::pair<const char*, const char*>, 4> own = {{
        {"qmp", "Quillmark encrypted file"},
        {"qma", "Quillmark encrypted archive"},
        {"qmk", "Quillmark key file"},
        {"qms", "Quillmark task list"},
    }};
    const std::string ext = LowerExtension(path);
    for (const auto& [e, name] : own)
        if (ext == e)
            return name;
    // By name only: reading the content of every listed file would cost a read per file.
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
    std::string name = type.comment().toStdString();
    if (name.empty() || type.isDefault())
        name = ext.empty() ? "File" : ext + " file";
    return Truncated(name, 255);
}

std::string FileTimeToText(std::int64_t unixTime, int style) {
    if (unixTime == 0)
        return {};
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return {};
    const char* format = style == 0 ? "%Y-%m-%d" : style == 2 ? "%Y-%m-%d %H:%M" : "%Y-%m-%d %H:%M:%S";
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &local);
    return Truncated(std::string(buf, n), kFileTimeTextMax);
}

std::string SizeToText(std::uint64_t size) {
    char buf[32];
    if (size < 1024) {
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(size));
        return buf;
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(size) / 1024.0;
    int unit = 0;
    // Round first, so that 1023.9 KB becomes "1.00 MB" and not "1024 KB".
    while (unit < 5 && value >= 999.5) {
        value /= 1024.0;
        ++unit;
    }
    const char* format = value < 9.995 ? "%.2f %s" : value < 99.95 ? "%.1f %s" : "%.0f %s";
    std::snprintf(buf, sizeof buf, format, value, units[unit]);
    return buf;
}

std::string GetDriveDisplayName(const std::string& mountPoint) {
    std::string p = mountPoint;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    // The label belongs to the mount point only, not to every folder of the volume.
    const QStorageInfo info(QString::fromStdString(p));
    if (info.isValid() && info.rootPath().toStdString() == p && !info.name().isEmpty())
        return info.name().toStdString();
    if (p == "/" || p.empty())
        return "File System";
    return p.substr(p.rfind('/') + 1);
}

std::string GetSpecialFolder(int folder) {
    std::string path;
    if (folder == kSpecialFolderKeys)
        path = platform::DataHome() + "/Quillmark/keys";
    else if (folder == kSpecialFolderData)
        path = platform::DataHome() + "/Quillmark";
    else
        return {};
    std::string error;
    platform::MakeFolders(path, 0700, error); // a failure shows when the folder is used
    return path + "/";
}

} // namespace uikit
