#include "extractor/DisplayCheck.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace extractor {
namespace {

bool CanConnect(const std::string& path, bool abstractName) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
    ::close(fd);
    return ok;
}

bool X11Available(const char* display) {
    if (!display || !*display)
        return false;
    const std::string d = display;
    const auto colon = d.rfind(':');
    if (colon == std::string::npos)
        return false;
    if (colon != 0 && d.rfind("unix", 0) != 0)
        return true; // a display on another host: let the toolkit try
    std::string number = d.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return CanConnect(socket, false) || CanConnect(socket, true);
}

bool WaylandAvailable(const char* display) {
    if (!display || !*display)
        return false;
    std::string path = display;
    if (path[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime)
            return false;
        path = std::string(runtime) + "/" + path;
    }
    return CanConnect(path, false);
}

} // namespace

bool DisplayAvailable() {
    if (const char* qpa = std::getenv("QT_QPA_PLATFORM"); qpa && *qpa) {
        const std::string p = qpa;
        if (p.rfind("offscreen", 0) == 0 || p.rfind("minimal", 0) == 0 || p.rfind("vnc", 0) == 0)
            return true;
    }
    return X11Available(std::getenv("DISPLAY")) || WaylandAvailable(std::getenv("WAYLAND_DISPLAY"));
}

} // namespace extractor
