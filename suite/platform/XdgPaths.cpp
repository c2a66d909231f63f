#include "platform/XdgPaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string FromEnv(const char* name, const char* fallbackBelowHome) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/')
        return v;
    return HomeFolder() + "/" + fallbackBelowHome;
}

} // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return pw->pw_dir;
    return "/tmp";
}

std::string ConfigHome() {
    return FromEnv("XDG_CONFIG_HOME", ".config");
}
std::string DataHome() {
    return FromEnv("XDG_DATA_HOME", ".local/share");
}
std::string StateHome() {
    return FromEnv("XDG_STATE_HOME", ".local/state");
}
std::string CacheHome() {
    return FromEnv("XDG_CACHE_HOME", ".cache");
}

bool MakeFolders(const std::string& path, mode_t mode, std::string& error) {
    if (path.empty()) {
        error = "No folder given.";
        return false;
    }
    std::size_t pos = 0;
    while (true) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            error = "Cannot create the folder " + part + ": " + std::strerror(errno);
            return false;
        }
        if (pos == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "Cannot create the folder " + path + ": it is not a folder.";
        return false;
    }
    return true;
}

} // namespace platform
