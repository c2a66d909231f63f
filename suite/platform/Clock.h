#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// The one clock that the suite's logic reads: seconds since 1970-01-01 UTC. Tests replace it to
// move time; everything else calls Now().
std::int64_t Now();
void SetClockForTesting(std::function<std::int64_t()> clock);
void ResetClock();

} // namespace platform
