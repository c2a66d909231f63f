#include "shellkit/ConsoleProgress.h"

#include "platform/FileIo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace shellkit {

ConsoleProgress::ConsoleProgress() : m_terminal(::isatty(STDERR_FILENO) != 0) {}

ConsoleProgress::~ConsoleProgress() {
    Stop();
}

void ConsoleProgress::Start(std::uint64_t totalBytes) {
    Stop();
    if (!m_terminal || totalBytes == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_total = totalBytes;
    m_readAtStart = platform::BytesReadByProcess();
    m_running = true;
    m_thread = std::thread([this] { Draw(); });
}

void ConsoleProgress::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_running)
            return;
        m_running = false;
    }
    m_wake.notify_all();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    ClearLocked();
}

std::unique_lock<std::mutex> ConsoleProgress::Hold() {
    std::unique_lock lock(m_mutex);
    ClearLocked();
    return lock;
}

void ConsoleProgress::ClearLocked() {
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

std::string ConsoleProgress::LineText(std::uint64_t done, std::uint64_t total, double seconds) {
    // The count of bytes read is a little more than the work (key files, headers, read-back), so
    // the line says 99% until the work has ended.
    const std::uint64_t percent = total ? std::min<std::uint64_t>(done * 100 / total, 99) : 0;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0.0;
    char line[64];
    std::snprintf(line, sizeof line, "%3llu%%  %.1f MB/s", static_cast<unsigned long long>(percent), rate);
    return line;
}

void ConsoleProgress::Draw() {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    std::unique_lock lock(m_mutex);
    // Work that ends within a second shows no line at all.
    if (m_wake.wait_until(lock, started + std::chrono::seconds(1), [this] { return !m_running; }))
        return;
    while (m_running) {
        const std::uint64_t read = platform::BytesReadByProcess();
        const std::uint64_t done = read > m_readAtStart ? read - m_readAtStart : 0;
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::fprintf(stderr, "\r\033[K%s", LineText(done, m_total, seconds).c_str());
        std::fflush(stderr);
        m_drawn = true;
        m_wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return !m_running; });
    }
}

} // namespace shellkit
