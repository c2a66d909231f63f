#include "platform/ScratchFolder.h"

#include "platform/FileIo.h"
#include "platform/RuntimeFolder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace platform {

ScratchFolder::~ScratchFolder() {
    if (m_path.empty())
        return;
    if (DIR* dir = ::opendir(m_path.c_str())) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        ::closedir(dir);
        for (const std::string& name : names)
            ::unlink((m_path + "/" + name).c_str());
    }
    ::rmdir(m_path.c_str());
}

const std::string& ScratchFolder::Path(std::string& error) {
    if (!m_path.empty())
        return m_path;
    std::string runtime;
    if (!GetRuntimeFolder(runtime, error))
        return m_path;
    std::string pattern = runtime + "/pipe-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error = "cannot create a folder in " + runtime + ": " + std::strerror(errno);
        return m_path;
    }
    m_path = pattern;
    return m_path;
}

bool CopyStream(int from, int to, std::string& error, const std::function<void(std::uint64_t)>& copied) {
    std::vector<char> buffer(1 << 16);
    std::uint64_t total = 0;
    while (true) {
        const ssize_t n = ReadSome(from, buffer.data(), buffer.size());
        if (n < 0) {
            error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0)
            return true;
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) {
            error = std::string("cannot write: ") + std::strerror(errno);
            return false;
        }
        total += static_cast<std::uint64_t>(n);
        if (copied)
            copied(total);
    }
}

bool CopyStreamToNewFile(int from, const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = CopyStream(from, fd, error);
    if (::close(fd) != 0 && ok) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return ok;
}

bool CopyFileToStream(const std::string& path, int to, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = CopyStream(fd, to, error);
    ::close(fd);
    return ok;
}

bool LooksLikeText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[8192];
    const ssize_t n = ReadAll(fd, head, sizeof head);
    ::close(fd);
    for (ssize_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\b' && c != 0x1b)
            return false;
        if (c == 0x7f)
            return false;
    }
    return true;
}

} // namespace platform
