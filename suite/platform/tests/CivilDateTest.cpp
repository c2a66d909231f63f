#include "platform/CivilDate.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace platform;

TEST(CivilDate, KnownDatesAroundLeapDaysAndTheEpoch) {
    struct Known {
        std::int64_t days;
        std::int64_t y;
        int m, d;
    };
    for (const Known& k : {Known{0, 1970, 1, 1}, Known{-1, 1969, 12, 31}, Known{11016, 2000, 2, 29},
                           Known{11017, 2000, 3, 1}, Known{47540, 2100, 2, 28}, Known{47541, 2100, 3, 1},
                           Known{-719468, 0, 3, 1}, Known{-719469, 0, 2, 29}}) {
        const CivilDate c = CivilFromDays(k.days);
        EXPECT_EQ(c.y, k.y) << k.days;
        EXPECT_EQ(c.m, k.m) << k.days;
        EXPECT_EQ(c.d, k.d) << k.days;
        EXPECT_EQ(DaysFromCivil(k.y, k.m, k.d), k.days);
    }
}

TEST(CivilDate, AgreesWithTheCLibraryOverFourCenturies) {
    // 1800 to 2200, day by day: both directions against timegm/gmtime_r.
    for (std::int64_t day = DaysFromCivil(1800, 1, 1); day < DaysFromCivil(2200, 1, 1); ++day) {
        const std::time_t t = static_cast<std::time_t>(day * 86400);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&t, &tm), nullptr);
        const CivilDate c = CivilFromDays(day);
        ASSERT_EQ(c.y, tm.tm_year + 1900) << day;
        ASSERT_EQ(c.m, tm.tm_mon + 1) << day;
        ASSERT_EQ(c.d, tm.tm_mday) << day;
        ASSERT_EQ(DaysFromCivil(c.y, c.m, c.d), day);
    }
}
