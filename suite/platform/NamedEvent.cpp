#include "platform/NamedEvent.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kPrefix = "event-";

std::atomic<std::uint32_t>* Word(const SharedMemory& m) {
    return static_cast<std::atomic<std::uint32_t>*>(m.data());
}

long Futex(std::atomic<std::uint32_t>* addr, int op, std::uint32_t val, const timespec* timeout) {
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(addr), op, val, timeout, nullptr, 0);
}

} // namespace

bool NamedEvent::open(const std::string& name, SharedMemory::Mode mode, std::string& error) {
    static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
    return m_memory.open(kPrefix + name, sizeof(std::uint32_t), mode, error);
}

void NamedEvent::set() {
    if (!isOpen())
        return;
    Word(m_memory)->store(1, std::memory_order_release);
    Futex(Word(m_memory), FUTEX_WAKE, INT_MAX, nullptr);
}

void NamedEvent::reset() {
    if (isOpen())
        Word(m_memory)->store(0, std::memory_order_release);
}

bool NamedEvent::isSet() const {
    return isOpen() && Word(m_memory)->load(std::memory_order_acquire) != 0;
}

bool NamedEvent::wait(int timeoutMs) const {
    if (!isOpen())
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (!isSet()) {
        timespec ts{};
        const timespec* tsp = nullptr;
        if (timeoutMs >= 0) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return false;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
            tsp = &ts;
        }
        // Sleeps only while the word is still 0, so a set() between the check and the call
        // is never missed.
        Futex(Word(m_memory), FUTEX_WAIT, 0, tsp);
    }
    return true;
}

bool NamedEvent::Remove(const std::string& name, std::string& error) {
    return SharedMemory::Remove(kPrefix + name, error);
}

} // namespace platform
