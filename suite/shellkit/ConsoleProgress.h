#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace shellkit {

// The progress line of the console verbs on a terminal: "NN%  X.X MB/s" on standard error,
// rewritten in place about five times a second once the work has taken a second. The work's
// progress is what this process has read since Start, against the bytes the work has to read.
// It draws nothing when standard error is no terminal. It runs its own drawing thread between
// Start and Stop; every other line the program prints is written under Hold, so that no line
// lands in the middle of the progress line.
class ConsoleProgress {
public:
    ConsoleProgress();
    ~ConsoleProgress();
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;

    void Start(std::uint64_t totalBytes);
    // Ends the line (the terminal line is cleared).
    void Stop();
    // Clears the progress line and keeps it away while the lock is held: other lines are written
    // under it.
    std::unique_lock<std::mutex> Hold();

    // The line itself, for a share read of `total` over `seconds`.
    static std::string LineText(std::uint64_t done, std::uint64_t total, double seconds);

private:
    void Draw();
    void ClearLocked();

    bool m_terminal;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_running = false;
    bool m_drawn = false;
    std::uint64_t m_total = 0;
    std::uint64_t m_readAtStart = 0;
};

} // namespace shellkit
