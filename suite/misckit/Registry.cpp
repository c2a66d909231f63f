#include "misckit/Registry.h"

#include "platform/Autostart.h"
#include "platform/FileLock.h"
#include "platform/XdgPaths.h"
#include "uikit/ShellInfo.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace encreg {

const char* const szEncReg = "Encryption";
const char* const szRegKeyman = "ControlCenter";
const char* const szStartupRun = "Autostart";
const char* const szKeyFolder = "KeyFolder";
const char* const szFileSchedule = "ScheduleFile";
const char* const szNoMes = "NoMessages";
const char* const szPubKeyFile = "PubKeyFile";
const char* const szPrivKeyFile = "PrivKeyFile";
const char* const szMailPlainAuth = "MailPlainAuth";
const char* const szMailPort = "MailPort";
const char* const szMailSecurity = "MailSecurity";
const char* const szMailTimeout = "MailTimeout";
const char* const szKeyServer = "KeyServer";
const char* const szKeyServerPlainHttp = "KeyServerPlainHttp";
const char* const szWipeRounds = "WipeRounds";

CQMRegistry qmreg;

} // namespace encreg

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string SettingsFolder() {
    return platform::ConfigHome() + "/Quillmark";
}

// The file is created owner-only before QSettings first saves it: its save keeps the
// permissions of the file it replaces.
bool PrepareSettingsFile() {
    std::string error;
    if (!platform::MakeFolders(SettingsFolder(), 0700, error))
        return false;
    const std::string path = CQMRegistry::SettingsFilePath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077))
        ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

void KeepPrivate() {
    const std::string path = CQMRegistry::SettingsFilePath();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077))
        ::chmod(path.c_str(), 0600);
}

// The start-up key holds the user's autostart entries: value name = entry name, data = the
// command line "program argument" (one argument, after the last blank).
platform::AutostartEntry EntryFor(const std::string& name) {
    std::string file;
    for (char c : name)
        file += (c == ' ' || c == '/') ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return {file, name};
}

struct Defaults {
    const char* name;
    std::string (*value)();
};

// Values with a built-in default, read when they are absent from the program settings key.
const Defaults kPathDefaults[] = {
    // The same folder as uikit's special folder 5, which the key-folder dialog offers.
    {encreg::szKeyFolder, [] { return uikit::GetSpecialFolder(uikit::kSpecialFolderKeys); }},
    {encreg::szFileSchedule, [] { return misckit::DataFolder() + "/schedule.qms"; }},
    {encreg::szPubKeyFile, [] { return misckit::DataFolder() + "/pubring.qkr"; }},
    {encreg::szPrivKeyFile, [] { return misckit::DataFolder() + "/secring.qkr"; }},
};

} // namespace

std::string CQMRegistry::SettingsFilePath() {
    return SettingsFolder() + "/settings.ini";
}

CQMRegistry::CQMRegistry() : m_root(RegRoot::CurrentUser), m_keyPath(encreg::szEncReg) {}

CQMRegistry::CQMRegistry(RegRoot root, std::string keyPath) : m_root(root), m_keyPath(std::move(keyPath)) {}

namespace {

bool IsStartupKey(RegRoot root, const std::string& keyPath) {
    return root == RegRoot::LocalMachine && keyPath == encreg::szStartupRun;
}

// Reads the value as it is in the file now. QSettings re-reads a file that changed since it was
// last seen, so each access starts from a fresh object.
QVariant ReadValue(const std::string& keyPath, const std::string& name) {
    QSettings settings(Q(CQMRegistry::SettingsFilePath()), QSettings::IniFormat);
    settings.beginGroup(Q(keyPath));
    return settings.value(Q(name));
}

std::int64_t MillisecondsOf(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// QSettings takes a file whose size and modification time (in milliseconds) are unchanged for
// the one it read before. Two saves of equal size within one millisecond could therefore hide
// the second from a program that read the first, and that program's next save would undo it.
// Saves are serialised here, and each waits until the file system's clock has passed the last
// save's time, so every version of the file carries a time of its own.
class SaveTurn {
public:
    SaveTurn() {
        const std::string lock = CQMRegistry::SettingsFilePath() + ".turn";
        // Without the lock file the save still goes ahead, only unserialised.
        std::string error;
        m_lock.Lock(lock, platform::FileLock::Wait::UntilFree, error);
        struct stat st {};
        if (::stat(CQMRegistry::SettingsFilePath().c_str(), &st) != 0)
            return;
        const std::int64_t last = MillisecondsOf(st.st_mtim);
        for (int i = 0; i < 1000; ++i) { // at most a second, should the clock stand still
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
            if (MillisecondsOf(now) > last)
                break;
            ::usleep(500);
        }
    }

private:
    platform::FileLock m_lock;
};

// Writes one value (or removes it when `value` is null) and saves at once, so that a second
// program sees it and a crash later loses nothing.
bool WriteValue(const std::string& keyPath, const std::string& name, const QVariant* value) {
    if (name.empty() || !PrepareSettingsFile())
        return false;
    const SaveTurn turn;
    QSettings settings(Q(CQMRegistry::SettingsFilePath()), QSettings::IniFormat);
    settings.beginGroup(Q(keyPath));
    if (value)
        settings.setValue(Q(name), *value);
    else
        settings.remove(Q(name));
    settings.endGroup();
    settings.sync();
    KeepPrivate();
    return settings.status() == QSettings::NoError;
}

} // namespace

int CQMRegistry::ReadStringEx(const std::string& name, std::string& value) const {
    if (IsStartupKey(m_root, m_keyPath))
        return platform::ReadAutostartEntry(EntryFor(name), value) ? 1 : 0;
    const QVariant v = ReadValue(m_keyPath, name);
    if (v.isValid()) {
        value = v.toString().toStdString();
        return 1;
    }
    if (m_keyPath == encreg::szEncReg)
        for (const auto& d : kPathDefaults)
            if (name == d.name) {
                value = d.value();
                return 1;
            }
    return 0;
}

int CQMRegistry::ReadStringEx(const std::string& name, char* buffer, unsigned* size, void*) const {
    if (!size)
        return 0;
    std::string value;
    if (!ReadStringEx(name, value))
        return 0;
    const unsigned needed = static_cast<unsigned>(value.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        return 0;
    }
    std::memcpy(buffer, value.c_str(), needed);
    *size = needed;
    return 1;
}

int CQMRegistry::WriteString(const std::string& name, const std::string& data, void*) const {
    if (IsStartupKey(m_root, m_keyPath)) {
        const auto blank = data.rfind(' ');
        std::vector<std::string> args;
        std::string program = data;
        if (blank != std::string::npos) {
            program = data.substr(0, blank);
            args.push_back(data.substr(blank + 1));
        }
        std::string error;
        return platform::WriteAutostartEntry(EntryFor(name), program, args, error) ? 1 : 0;
    }
    const QVariant v(Q(data));
    return WriteValue(m_keyPath, name, &v) ? 1 : 0;
}

int CQMRegistry::ReadBYTEEx(const std::string& name, unsigned char& value) const {
    bool ok = false;
    const int n = ReadValue(m_keyPath, name).toInt(&ok);
    if (!ok || n < 0 || n > 255)
        return 0;
    value = static_cast<unsigned char>(n);
    return 1;
}

int CQMRegistry::WriteBYTE(const std::string& name, unsigned char value) const {
    const QVariant v(static_cast<int>(value));
    return WriteValue(m_keyPath, name, &v) ? 1 : 0;
}

int CQMRegistry::ReadDWORDEx(const std::string& name, std::uint32_t& value) const {
    bool ok = false;
    const qlonglong n = ReadValue(m_keyPath, name).toLongLong(&ok);
    if (!ok || n < 0 || n > 0xFFFFFFFFLL)
        return 0;
    value = static_cast<std::uint32_t>(n);
    return 1;
}

int CQMRegistry::WriteDWORD(const std::string& name, std::uint32_t value) const {
    const QVariant v(static_cast<qulonglong>(value));
    return WriteValue(m_keyPath, name, &v) ? 1 : 0;
}

int CQMRegistry::ReadBinaryEx(const std::string& name, std::string& bytes) const {
    const QVariant v = ReadValue(m_keyPath, name);
    if (!v.isValid())
        return 0;
    const QByteArray b = v.toByteArray();
    bytes.assign(b.constData(), static_cast<std::size_t>(b.size()));
    return 1;
}

int CQMRegistry::WriteBinary(const std::string& name, const std::string& bytes) const {
    const QVariant v(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return WriteValue(m_keyPath, name, &v) ? 1 : 0;
}

int CQMRegistry::ValueExists(const std::string& name) const {
    if (IsStartupKey(m_root, m_keyPath)) {
        std::string exec;
        return platform::ReadAutostartEntry(EntryFor(name), exec) ? 1 : 0;
    }
    return ReadValue(m_keyPath, name).isValid() ? 1 : 0;
}

int CQMRegistry::DeleteValue(const std::string& name) const {
    if (IsStartupKey(m_root, m_keyPath)) {
        std::string error;
        return platform::RemoveAutostartEntry(EntryFor(name), error) ? 1 : 0;
    }
    if (!ReadValue(m_keyPath, name).isValid())
        return 1;
    return WriteValue(m_keyPath, name, nullptr) ? 1 : 0;
}

namespace {

unsigned char ByteSetting(const char* name, unsigned char fallback) {
    unsigned char v = fallback;
    return CQMRegistry().ReadBYTEEx(name, v) ? v : fallback;
}

} // namespace

unsigned char CQMRegistry::GetInOverwrite() const {
    const unsigned char v = ByteSetting("InOverwrite", 3);
    return v <= 3 ? v : 3;
}
unsigned char CQMRegistry::GetOutOverwrite() const {
    return ByteSetting("OutOverwrite", 0) ? 1 : 0;
}
unsigned char CQMRegistry::GetRecDirs() const {
    return ByteSetting("RecDirs", 1) ? 1 : 0;
}
unsigned char CQMRegistry::GetCompress() const {
    return ByteSetting("Compress", 1) ? 1 : 0;
}
unsigned char CQMRegistry::GetRestoreTime() const {
    return ByteSetting("RestoreTime", 1) ? 1 : 0;
}
unsigned char CQMRegistry::GetMode() const {
    const unsigned char v = ByteSetting("Mode", 2);
    return (v >= 1 && v <= 40) ? v : 2;
}

unsigned char CQMRegistry::GetMailPlainAuth() const {
    return ByteSetting(encreg::szMailPlainAuth, 0) ? 1 : 0;
}

namespace {
std::uint32_t DwordSetting(const char* name, std::uint32_t fallback) {
    std::uint32_t v = 0;
    return CQMRegistry().ReadDWORDEx(name, v) ? v : fallback;
}
} // namespace

std::uint32_t CQMRegistry::GetMailPort() const {
    const std::uint32_t v = DwordSetting(encreg::szMailPort, 0);
    return v <= 65535 ? v : 0;
}
std::uint32_t CQMRegistry::GetMailSecurity() const {
    const std::uint32_t v = DwordSetting(encreg::szMailSecurity, 0);
    return v <= 2 ? v : 0;
}
std::uint32_t CQMRegistry::GetMailTimeout() const {
    const std::uint32_t v = DwordSetting(encreg::szMailTimeout, 0);
    return v == 0 ? 0 : std::clamp<std::uint32_t>(v, 5, 600);
}

std::string CQMRegistry::GetExtsNotCompress() const {
    std::string v;
    if (CQMRegistry().ReadStringEx("ExtsNotCompress", v))
        return v;
    return "zip;rar;7z;gz;tgz;bz2;xz;zst;lz;jpg;jpeg;png;gif;webp;mp3;ogg;flac;aac;m4a;mp4;mkv;avi;mov;"
           "webm;pdf;docx;xlsx;pptx;odt;ods;odp;jar;apk;qmp;qma";
}

std::string CQMRegistry::GetKeyServer() const {
    std::string v;
    return CQMRegistry().ReadStringEx(encreg::szKeyServer, v) ? v : std::string();
}

unsigned char CQMRegistry::GetAllowPlainHttp() const {
    return ByteSetting(encreg::szKeyServerPlainHttp, 0) ? 1 : 0;
}

unsigned char CQMRegistry::GetWipeRounds() const {
    const unsigned char v = ByteSetting(encreg::szWipeRounds, 3);
    return (v >= 1 && v <= 35) ? v : 3;
}

namespace misckit {

std::string DataFolder() {
    return platform::DataHome() + "/Quillmark";
}

namespace {

std::string PathSetting(const char* name, bool isFolder) {
    std::string value;
    CQMRegistry().ReadStringEx(name, value);
    if (value.empty())
        return value;
    std::string folder = value;
    if (!isFolder) {
        const auto slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::string error;
    if (!folder.empty())
        platform::MakeFolders(folder, 0700, error); // a failure shows when the file is opened
    return value;
}

} // namespace

std::string GetKeyFolder() {
    return PathSetting(encreg::szKeyFolder, true);
}

int GetKeyFolder(char* buffer, unsigned size) {
    const std::string folder = GetKeyFolder();
    if (!buffer || size < folder.size() + 1)
        return 0;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return 1;
}

std::string GetScheduleFilePath() {
    return PathSetting(encreg::szFileSchedule, false);
}
std::string GetPubKeyFileName() {
    return PathSetting(encreg::szPubKeyFile, false);
}
std::string GetPrivKeyFileName() {
    return PathSetting(encreg::szPrivKeyFile, false);
}

} // namespace misckit
