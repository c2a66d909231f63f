#pragma once

#include <cstddef>
#include <string>

namespace platform {

// A named block of memory shared by this user's processes (POSIX shared memory, never a file on
// a disk). The name is scoped to this user and to the runtime folder, so two sessions with
// different runtime folders never meet. The object outlives the processes that use it until
// Remove() is called.
class SharedMemory {
public:
    enum class Mode { OpenExisting, OpenOrCreate };

    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Maps the object `name` with at least `size` bytes, creating it (zero-filled) with
    // OpenOrCreate. An object that belongs to another user or is open to others is refused.
    bool open(const std::string& name, std::size_t size, Mode mode, std::string& error);
    void close();

    bool isOpen() const { return m_data != nullptr; }
    // True when the last open() created the object.
    bool created() const { return m_created; }
    void* data() const { return m_data; }
    std::size_t size() const { return m_size; }

    // Removes the object's name; processes that have it mapped keep their mapping.
    static bool Remove(const std::string& name, std::string& error);
    // The system-wide name used for `name` (for diagnostics and tests).
    static bool SystemName(const std::string& name, std::string& systemName, std::string& error);

private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_created = false;
};

} // namespace platform
