#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <mutex>

namespace platform {
namespace {
std::mutex g_mutex;
std::function<std::int64_t()> g_clock;
} // namespace

std::int64_t Now() {
    {
        std::lock_guard lock(g_mutex);
        if (g_clock)
            return g_clock();
    }
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t NowMs() {
    {
        std::lock_guard lock(g_mutex);
        if (g_clock)
            return g_clock() * 1000;
    }
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void SetClockForTesting(std::function<std::int64_t()> clock) {
    std::lock_guard lock(g_mutex);
    g_clock = std::move(clock);
}

void ResetClock() {
    SetClockForTesting(nullptr);
}

std::string LocalTimeText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    char text[40] = {};
    if (!::localtime_r(&t, &tm) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm))
        return {};
    return text;
}

} // namespace platform
