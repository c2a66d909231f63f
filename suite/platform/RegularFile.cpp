#include "platform/RegularFile.h"

#include "platform/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileSnapshot SnapshotOf(const struct stat& st) {
    FileSnapshot s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = st.st_mtim.tv_sec;
    s.modifiedNanos = st.st_mtim.tv_nsec;
    s.changed = st.st_ctim.tv_sec;
    s.changedNanos = st.st_ctim.tv_nsec;
    return s;
}

bool TakeSnapshot(const std::string& path, FileSnapshot& snapshot) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    snapshot = SnapshotOf(st);
    return true;
}

int OpenRegularFile(const std::string& path, std::string& error) {
    // Non-blocking only for the open itself: a FIFO without a writer would otherwise hold it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errno == ENOENT ? "File does not exist." : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file.";
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& error) {
    bool tooLarge = false;
    return ReadRegularFile(path, UINT64_MAX, bytes, tooLarge, error);
}

bool ReadRegularFile(const std::string& path, std::uint64_t limit, std::string& bytes, bool& tooLarge,
                     std::string& error) {
    bytes.clear();
    tooLarge = false;
    const int fd = OpenRegularFile(path, error);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > limit) {
        tooLarge = true;
        error = "Larger than " + std::to_string(limit) + " bytes.";
        ::close(fd);
        return false;
    }
    if (st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ReadSome(fd, chunk, sizeof chunk);
        if (n < 0) {
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        if (static_cast<std::uint64_t>(n) > limit - bytes.size()) {
            tooLarge = true;
            error = "Larger than " + std::to_string(limit) + " bytes.";
            ::close(fd);
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace platform
