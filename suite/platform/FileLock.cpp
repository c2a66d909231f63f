#include "platform/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

bool FileLock::Lock(const std::string& path, Wait wait, std::string& error, bool* busy) {
    Release();
    if (busy)
        *busy = false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const int operation = wait == Wait::UntilFree ? LOCK_EX : LOCK_EX | LOCK_NB;
    while (::flock(fd, operation) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK && busy)
            *busy = true;
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void FileLock::Release() {
    if (m_fd >= 0)
        ::close(m_fd); // closing drops the lock
    m_fd = -1;
}

} // namespace platform
