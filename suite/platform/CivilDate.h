#pragma once

#include <cstdint>

namespace platform {

// A date of the proleptic Gregorian calendar.
struct CivilDate {
    std::int64_t y; // year
    int m;          // month, 1 to 12
    int d;          // day of the month, 1 to 31
};

// Days since 1970-01-01 of a date, and back; exact for every date in range of the types.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d);
CivilDate CivilFromDays(std::int64_t days);

} // namespace platform
