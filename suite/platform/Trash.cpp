#include "platform/Trash.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool MoveToTrash(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = "Cannot move " + path + " to the Trash: " + std::strerror(errno);
        return false;
    }
    QFile file(QString::fromStdString(path));
    if (!file.moveToTrash()) {
        error = "Cannot move " + path + " to the Trash: " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool DeletePermanently(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) != 0) {
        error = "Cannot delete " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform
