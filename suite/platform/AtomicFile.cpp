#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<long long> g_failAfter{-1};
std::atomic<long long> g_written{0};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void AtomicFile::FailAfterBytesForTesting(long long bytes) {
    g_written = 0;
    g_failAfter = bytes;
}

AtomicFile::AtomicFile(std::string path, mode_t mode) : m_path(std::move(path)), m_mode(mode) {}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(std::string& error) {
    discard();
    std::string temp = FolderOf(m_path) + "/." + NameOf(m_path) + ".qmtmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot create a file in " + FolderOf(m_path) + ": " + std::strerror(errno);
        return false;
    }
    // mkostemp already made it 0600; most of our files keep that.
    if (m_mode != 0600)
        ::fchmod(fd, m_mode);
    m_fd = fd;
    m_tempPath = temp;
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& error) {
    if (m_fd < 0) {
        error = "The file " + m_path + " is not open.";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        std::size_t chunk = size;
        const long long limit = g_failAfter.load();
        if (limit >= 0) {
            const long long room = limit - g_written.load();
            if (room <= 0) {
                error = "Cannot write " + m_path + ": " + std::strerror(ENOSPC);
                return false;
            }
            chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(room));
        }
        const ssize_t n = ::write(m_fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "Cannot write " + m_path + ": " + std::strerror(errno);
            return false;
        }
        g_written += n;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string& error) {
    if (m_fd < 0) {
        error = "The file " + m_path + " is not open.";
        return false;
    }
    if (m_durable && ::fsync(m_fd) != 0) {
        error = "Cannot write " + m_path + ": " + std::strerror(errno);
        discard();
        return false;
    }
    // Without the fsync a late write error shows at close.
    if (::close(m_fd) != 0 && !m_durable) {
        m_fd = -1;
        error = "Cannot write " + m_path + ": " + std::strerror(errno);
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_fd = -1;
    bool moved = false;
    if (!m_replace) {
        moved = MoveWithoutReplacing(error);
    } else if (!(moved = ::rename(m_tempPath.c_str(), m_path.c_str()) == 0)) {
        error = "Cannot replace " + m_path + ": " + std::strerror(errno);
    }
    if (!moved) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    if (!m_durable)
        return true;
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool AtomicFile::MoveWithoutReplacing(std::string& error) {
    if (::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without the flag: a hard link is just as atomic about an existing name.
        if (::link(m_tempPath.c_str(), m_path.c_str()) == 0) {
            ::unlink(m_tempPath.c_str());
            return true;
        }
        if (errno != EEXIST) {
            // Nor links (some network and foreign file systems): look, then move.
            struct stat st {};
            if (::lstat(m_path.c_str(), &st) == 0)
                errno = EEXIST;
            else if (errno == ENOENT && ::rename(m_tempPath.c_str(), m_path.c_str()) == 0)
                return true;
        }
    }
    error = errno == EEXIST ? "The file " + m_path + " already exists."
                            : "Cannot create " + m_path + ": " + std::strerror(errno);
    return false;
}

void AtomicFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t mode, std::string& error) {
    AtomicFile file(path, mode);
    return file.open(error) && file.write(bytes.data(), bytes.size(), error) && file.commit(error);
}

} // namespace platform
