#pragma once

// An exclusive lock on a lock file, held for as long as the object lives: what serialises two
// processes that change one file (the schedule, the settings) or decides which of two servers
// starting at once runs. The lock is the kernel's (flock), so it goes with the process.
#include <string>

namespace platform {

class FileLock {
public:
    enum class Wait { UntilFree, No };

    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens `path` (made 0600 when missing; a symbolic link is refused) and locks it, waiting
    // for another holder with Wait::UntilFree. False with the system's reason otherwise; with Wait::No
    // `busy` tells that another holder has it.
    bool Lock(const std::string& path, Wait wait, std::string& error, bool* busy = nullptr);
    void Release();
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace platform
