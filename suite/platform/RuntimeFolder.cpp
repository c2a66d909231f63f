#include "platform/RuntimeFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool CheckPrivateFolder(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = "Cannot use the folder " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "The runtime folder " + path + " is not a folder.";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = "The runtime folder " + path + " belongs to another user.";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = "The runtime folder " + path + " is open to other users.";
        return false;
    }
    return true;
}

bool GetRuntimeFolder(std::string& path, std::string& error) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (xdg && *xdg) {
        const std::string base = xdg;
        if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "Cannot create the folder " + base + ": " + std::strerror(errno);
            return false;
        }
        folder = base + "/quillmark";
    } else {
        folder = "/tmp/quillmark-" + std::to_string(::geteuid());
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Cannot create the runtime folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!CheckPrivateFolder(folder, error))
        return false;
    path = folder;
    return true;
}

} // namespace platform
