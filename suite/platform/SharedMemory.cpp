#include "platform/SharedMemory.h"

#include "platform/RuntimeFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Hash32(const std::string& text) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", h);
    return buf;
}

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > 100)
        return false;
    for (char c : name)
        if (c == '/' || c == '\0')
            return false;
    return true;
}

} // namespace

bool SharedMemory::SystemName(const std::string& name, std::string& systemName, std::string& error) {
    if (!ValidName(name)) {
        error = "Invalid shared memory name \"" + name + "\".";
        return false;
    }
    std::string folder;
    if (!GetRuntimeFolder(folder, error))
        return false;
    systemName = "/quillmark-" + std::to_string(::geteuid()) + "-" + Hash32(folder) + "-" + name;
    return true;
}

SharedMemory::~SharedMemory() {
    close();
}

void SharedMemory::close() {
    if (m_data)
        ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
    m_created = false;
}

bool SharedMemory::open(const std::string& name, std::size_t size, Mode mode, std::string& error) {
    close();
    std::string sys;
    if (!SystemName(name, sys, error))
        return false;
    if (size == 0) {
        error = "Shared memory \"" + name + "\" needs a size.";
        return false;
    }
    bool created = false;
    int fd = -1;
    if (mode == Mode::OpenOrCreate) {
        fd = ::shm_open(sys.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            created = true;
        else if (errno != EEXIST) {
            error = "Cannot create shared memory \"" + name + "\": " + std::strerror(errno);
            return false;
        }
    }
    if (fd < 0)
        fd = ::shm_open(sys.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
        error = "Cannot open shared memory \"" + name + "\": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        ::close(fd);
        error = "Shared memory \"" + name + "\" belongs to another user or is open to others.";
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) < size && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = "Cannot size shared memory \"" + name + "\": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        error = "Cannot map shared memory \"" + name + "\": " + std::strerror(errno);
        return false;
    }
    m_data = p;
    m_size = size;
    m_created = created;
    return true;
}

bool SharedMemory::Remove(const std::string& name, std::string& error) {
    std::string sys;
    if (!SystemName(name, sys, error))
        return false;
    if (::shm_unlink(sys.c_str()) != 0 && errno != ENOENT) {
        error = "Cannot remove shared memory \"" + name + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform
