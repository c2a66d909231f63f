#include "platform/ProgramFolder.h"

#include <climits>
#include <unistd.h>

namespace platform {

std::string ProgramFolder() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SiblingProgram(const std::string& name) {
    return ProgramFolder() + "/" + name;
}

} // namespace platform
