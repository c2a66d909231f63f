#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// The one clock that the suite's logic reads: seconds since 1970-01-01 UTC. Tests replace it to
// move time; everything else calls Now().
std::int64_t Now();
// The same clock in milliseconds, for waits that must end on a given second. With a test clock
// set, its seconds times 1000.
std::int64_t NowMs();
void SetClockForTesting(std::function<std::int64_t()> clock);
void ResetClock();

// "YYYY-MM-DD HH:MM:SS" in local time, as listings and logs show times; empty when the time
// cannot be shown.
std::string LocalTimeText(std::int64_t seconds);

} // namespace platform
