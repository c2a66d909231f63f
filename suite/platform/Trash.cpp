#include "platform/Trash.h"

#include "platform/FileIo.h"
#include "platform/XdgPaths.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// A folder that a mount starts at: the top folder of a device's own Trash.
bool IsMountTop(const std::string& folder) {
    struct stat here {
    }, above{};
    if (::stat(folder.c_str(), &here) != 0 || ::stat((folder + "/..").c_str(), &above) != 0)
        return false;
    return here.st_dev != above.st_dev || here.st_ino == above.st_ino;
}

// Whether `trash` is one of this user's freedesktop.org Trash folders: the home Trash, or the
// $topdir/.Trash/$uid or $topdir/.Trash-$uid of a mounted device.
bool IsTrashFolder(const std::string& trash) {
    if (SameFile(trash, DataHome() + "/Trash"))
        return true;
    const std::string uid = std::to_string(::getuid());
    const std::string name = NameOfPath(trash);
    const std::string top = FolderOfPath(trash);
    if (name == ".Trash-" + uid)
        return IsMountTop(top);
    return name == uid && NameOfPath(top) == ".Trash" && IsMountTop(FolderOfPath(top));
}

// Whether a file that was moved to `where` really is in a Trash: $trash/files/NAME with its
// $trash/info/NAME.trashinfo beside.
bool LandedInTrash(const std::string& where) {
    if (where.empty() || where[0] != '/')
        return false;
    const std::string files = FolderOfPath(where);
    if (NameOfPath(files) != "files")
        return false;
    const std::string trash = FolderOfPath(files);
    struct stat info {};
    return ::lstat((trash + "/info/" + NameOfPath(where) + ".trashinfo").c_str(), &info) == 0 &&
           S_ISREG(info.st_mode) && IsTrashFolder(trash);
}

} // namespace

bool MoveToTrash(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = "Cannot move " + path + " to the Trash: " + std::strerror(errno);
        return false;
    }
    // The home Trash is made here, with the data folders above it, as the freedesktop.org rules
    // ask (owner only): Qt makes only the last level, and without it falls back to files/ and
    // info/ in the current folder, which under keeper is "/".
    std::string whyNoHomeTrash;
    MakeFolders(DataHome() + "/Trash", 0700, whyNoHomeTrash);

    QFile file(QString::fromStdString(path));
    if (!file.moveToTrash()) {
        error = "Cannot move " + path + " to the Trash: " + file.errorString().toStdString();
        return false;
    }
    const std::string where = file.fileName().toStdString();
    if (LandedInTrash(where))
        return true;
    // Somewhere else is no Trash: the file goes back where it was and its info file away.
    const std::string info = FolderOfPath(FolderOfPath(where)) + "/info/" + NameOfPath(where) + ".trashinfo";
    ::unlink(info.c_str());
    const bool back = ::renameat2(AT_FDCWD, where.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0 ||
                      ((errno == EINVAL || errno == ENOSYS) && ::rename(where.c_str(), path.c_str()) == 0);
    error = "Cannot move " + path + " to the Trash: no Trash folder could be used" +
            (whyNoHomeTrash.empty() ? std::string(".") : " (" + whyNoHomeTrash + ")") +
            (back ? "" : " The file is now at " + where + ".");
    return false;
}

bool DeletePermanently(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) != 0) {
        error = "Cannot delete " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool MakeNormalFile(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = "Cannot change " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR))
        return true;
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
        error = "Cannot change " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform
