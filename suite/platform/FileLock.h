#pragma once

#include <string>

namespace platform {

// Holds an exclusive lock on `<path>.lock` for as long as it lives, so that programs editing one
// file take turns: each loads, changes and saves while the others wait. The lock file itself
// stays (removing it would let two programs lock two different files of that name).
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock(); // closing the descriptor drops the lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return m_fd >= 0; }
    // Why the lock could not be taken; empty when locked.
    const std::string& error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

} // namespace platform
