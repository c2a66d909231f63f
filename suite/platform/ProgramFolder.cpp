#include "platform/ProgramFolder.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string ProgramPath() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    if (path.empty())
        return ".";
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SiblingProgram(const std::string& name) {
    return ProgramFolder() + "/" + name;
}

} // namespace platform
