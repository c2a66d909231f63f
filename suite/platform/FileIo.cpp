#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size) {
    while (true) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

ssize_t ReadAll(int fd, void* buffer, std::size_t size) {
    char* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ReadSome(fd, p + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string bytes(4096, '\0');
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        got = ReadAll(fd, bytes.data(), bytes.size());
    } else {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    const int readError = errno;
    ::close(fd);
    if (got < 0) {
        error = path + ": " + std::strerror(readError);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(got));
    bytes.resize(std::min(bytes.find('\n'), bytes.size()));
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.pop_back();
    if (bytes.empty()) {
        error = path + ": the first line holds no password";
        return false;
    }
    password = bytes;
    return true;
}

bool ReadAllAt(int fd, void* buffer, std::size_t size, off_t offset) {
    char* p = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool SyncFolder(int folderFd) {
    // Some file systems cannot sync a folder and say so with EINVAL; nothing more can be done there.
    return ::fsync(folderFd) == 0 || errno == EINVAL;
}

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = SyncFolder(fd);
    ::close(fd);
    return ok;
}

std::string FolderOfPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOfPath(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint64_t BytesReadByProcess() {
    const int fd = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[512];
    const ssize_t n = ReadAll(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    const char* at = std::strstr(text, "rchar: ");
    return at ? std::strtoull(at + 7, nullptr, 10) : 0;
}

} // namespace platform
