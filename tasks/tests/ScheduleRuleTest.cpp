// The schedule rule: next run times at fixed moments, in UTC and in a zone with daylight saving,
// and the two descriptions.
#include "tasks/model/ActionDeleteFile.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {

class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (m_old.empty()) {
            unsetenv("TZ");
        } else {
            setenv("TZ", m_old.c_str(), 1);
        }
        tzset();
    }

private:
    std::string m_old;
};

// A local time in the zone in force.
std::int64_t At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

struct Rule : CActionDeleteFile {
    Rule(int runType, int timeFrame, int interval, std::int64_t start) : CActionDeleteFile("/x") {
        m_nRunType = runType;
        m_nTimeFrame = timeFrame;
        m_nInterval = interval;
        m_tStart = start;
        m_vHours.clear();
        for (int h = 0; h < 24; ++h)
            m_vHours.push_back(h);
        m_vDays = {1, 2, 3, 4, 5, 6, 7};
        m_vMonths = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    }
};

class ScheduleRule : public ::testing::TestWithParam<const char*> {
protected:
    ScopedZone zone{GetParam()};
};

} // namespace

TEST_P(ScheduleRule, MinutelyReturnsTheFirstGridPointAtOrAfterNow) {
    Rule r(1, 0, 5, At(2026, 3, 2, 10, 0));
    EXPECT_EQ(r.GetNextRun(At(2026, 3, 2, 10, 7, 30)), At(2026, 3, 2, 10, 10));
    EXPECT_EQ(r.m_tNextRun, At(2026, 3, 2, 10, 10));
    EXPECT_EQ(r.GetNextRun(At(2026, 3, 2, 10, 10)), At(2026, 3, 2, 10, 10)); // exactly on the grid
    EXPECT_EQ(r.m_tNextRun, 0);                                              // not in the future
    EXPECT_EQ(r.GetNextRun(At(2026, 3, 1, 8, 0)), At(2026, 3, 2, 10, 0));    // before the start
}

TEST_P(ScheduleRule, MinutelyAndHourlySkipHoursAndDaysThatAreNotAllowed) {
    Rule r(1, 0, 30, At(2026, 3, 2, 0, 0)); // Monday
    r.m_vHours = {9, 10};
    r.m_vDays = {2, 6}; // Monday, Friday
    EXPECT_EQ(r.GetNextRun(At(2026, 3, 2, 10, 45)), At(2026, 3, 6, 9, 0));

    Rule h(1, 1, 1, At(2026, 3, 2, 8, 40));
    h.m_nMinute = 15;
    EXPECT_EQ(h.GetNextRun(At(2026, 3, 2, 10, 15)), At(2026, 3, 2, 11, 15)); // equal minute: next hour
    EXPECT_EQ(h.GetNextRun(At(2026, 3, 2, 10, 14, 59)), At(2026, 3, 2, 10, 15));
    h.m_vHours = {22};
    h.m_vDays = {1};
    EXPECT_EQ(h.GetNextRun(At(2026, 3, 2, 10, 0)), At(2026, 3, 8, 22, 15));
}

TEST_P(ScheduleRule, DailyMovesOnAtTheHourAndWeeklyDoesNot) {
    Rule d(1, 2, 1, At(2026, 3, 1, 0, 0));
    d.m_nHour = 9;
    const std::int64_t now = At(2026, 3, 4, 9, 30); // Wednesday
    EXPECT_EQ(d.GetNextRun(now), At(2026, 3, 5, 9, 0));
    Rule w(1, 3, 1, At(2026, 3, 1, 0, 0));
    w.m_nHour = 9;
    w.m_vDays = {4};
    EXPECT_EQ(w.GetNextRun(now), At(2026, 3, 4, 9, 0)); // half an hour ago: returned ...
    EXPECT_EQ(w.m_tNextRun, 0);                         // ... but not stored
    w.m_vDays = {2};
    EXPECT_EQ(w.GetNextRun(now), At(2026, 3, 9, 9, 0));
    w.m_nInterval = 2; // every other week from the start's week
    EXPECT_EQ(w.GetNextRun(now), At(2026, 3, 16, 9, 0));
    d.m_nInterval = 3;
    d.m_vDays = {1}; // every third day from Mar 1 (a Sunday): Mar 22 is the next Sunday on the grid
    EXPECT_EQ(d.GetNextRun(now), At(2026, 3, 22, 9, 0));
    d.m_nInterval = 7;
    d.m_vDays = {2}; // the grid stays on Sundays: never
    EXPECT_EQ(d.GetNextRun(now), 0);
}

TEST_P(ScheduleRule, MonthlyClampsTheDayToTheMonth) {
    Rule m(1, 4, 1, At(2026, 1, 1));
    m.m_nDay = 31;
    EXPECT_EQ(m.GetNextRun(At(2026, 4, 2, 12, 0)), At(2026, 4, 30));
    // The 30-day grid from January 1 passes over February (Jan 31, Mar 2) ...
    EXPECT_EQ(m.GetNextRun(At(2026, 2, 3)), At(2026, 3, 31));
    // ... and from February 1 starts there.
    m.m_tStart = At(2026, 2, 1);
    EXPECT_EQ(m.GetNextRun(At(2026, 2, 3)), At(2026, 2, 28));
    m.m_tStart = At(2028, 2, 1);
    EXPECT_EQ(m.GetNextRun(At(2028, 2, 3)), At(2028, 2, 29));
    m.m_tStart = At(2026, 1, 1);
    m.m_nDay = 32;
    EXPECT_EQ(m.GetNextRun(At(2026, 6, 30, 8, 0)), At(2026, 7, 31)); // on the last day: next month
    EXPECT_EQ(m.GetNextRun(At(2026, 6, 29, 8, 0)), At(2026, 6, 30));
    m.m_nDay = 10;
    m.m_vMonths = {2};
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(m.GetNextRun(At(2026, month, 15)), At(2027, 2, 10)) << month;
}

TEST_P(ScheduleRule, EndsOnceRulesAndEmptyListsGiveNoRun) {
    const std::int64_t now = At(2026, 5, 5, 12, 0);
    for (int frame = 0; frame <= 6; ++frame) {
        Rule r(frame == 5 ? 2 : frame == 6 ? 3 : 1, frame, 1, At(2026, 1, 1));
        r.m_bHasEnd = 1;
        r.m_tEnd = now - 1;
        EXPECT_EQ(r.GetNextRun(now), 0) << frame;
    }
    Rule startup(3, 6, 0, 0);
    EXPECT_EQ(startup.GetNextRun(now), now);
    EXPECT_EQ(startup.m_tNextRun, 0);

    Rule once(2, 5, 0, now);
    EXPECT_EQ(once.GetNextRun(now), 0);
    once.m_tStart = now + 60;
    EXPECT_EQ(once.GetNextRun(now), now + 60);
    EXPECT_EQ(once.m_tNextRun, now + 60);

    for (int frame = 0; frame <= 4; ++frame) {
        Rule r(1, frame, 1, At(2026, 1, 1));
        if (frame == 4) {
            r.m_vMonths.clear();
        } else {
            r.m_vDays.clear();
        }
        EXPECT_EQ(r.GetNextRun(now), 0) << frame;
        Rule zero(1, frame, 0, At(2026, 1, 1));
        EXPECT_EQ(zero.GetNextRun(now), 0) << frame;
    }
    Rule noHours(1, 1, 1, At(2026, 1, 1));
    noHours.m_vHours.clear();
    EXPECT_EQ(noHours.GetNextRun(now), 0);
    // An end before the first run also stops the search.
    Rule ended(1, 2, 1, At(2026, 1, 1));
    ended.m_bHasEnd = 1;
    ended.m_tEnd = At(2026, 5, 5, 23, 0);
    ended.m_vDays = {1};
    EXPECT_EQ(ended.GetNextRun(now), 0);
}

TEST_P(ScheduleRule, AnUnknownTimeFrameShowsTheErrorBox) {
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    Rule r(1, 7, 1, 0);
    EXPECT_EQ(r.GetNextRun(At(2026, 1, 1)), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "DlgScheduleTask: Error OnOK");
    EXPECT_EQ(ui.messages()[0].caption, "Error");
    EXPECT_EQ(ui.messages()[0].icon, uikit::Icon::Error);
}

TEST_P(ScheduleRule, RulesThatCanNeverFireAnswerNone) {
    const std::int64_t now = At(2026, 5, 5, 12, 0);
    Rule outside(1, 0, 1, At(2026, 1, 1));
    outside.m_vHours = {24, 99, -1};
    EXPECT_EQ(outside.GetNextRun(now), 0);
    Rule badDays(1, 1, 1, At(2026, 1, 1));
    badDays.m_vDays = {0, 8};
    EXPECT_EQ(badDays.GetNextRun(now), 0);
    // Every two hours from a winter midnight: even hours in winter, odd ones in summer time.
    const bool utc = std::string(GetParam()) == "UTC";
    Rule evenGrid(1, 0, 120, At(2026, 1, 1, 0, 0));
    evenGrid.m_vHours = {1, 3, 5};
    EXPECT_EQ(evenGrid.GetNextRun(now), utc ? 0 : At(2026, 5, 6, 1, 0));
    evenGrid.m_vHours = {1};
    evenGrid.m_vDays = {1}; // no Sunday of summer time is left before the end
    evenGrid.m_bHasEnd = 1;
    evenGrid.m_tEnd = At(2026, 11, 1);
    EXPECT_EQ(evenGrid.GetNextRun(At(2026, 10, 26)), 0);
    Rule weekGrid(1, 1, 168, At(2026, 1, 4, 6, 0)); // Sundays at six (winter time)
    weekGrid.m_vDays = {2};
    EXPECT_EQ(weekGrid.GetNextRun(now), 0);
    weekGrid.m_vDays = {1};
    EXPECT_EQ(weekGrid.GetNextRun(now), At(2026, 5, 10, utc ? 6 : 7, 0));
}

TEST_P(ScheduleRule, DescriptionsFollowTheRule) {
    Rule r(1, 0, 5, At(2026, 3, 2, 10, 0));
    r.m_vHours = {9, 10};
    r.m_vDays = {2, 6};
    std::string text;
    r.GetShortSchedString(text);
    EXPECT_EQ(text, "Every 5 minutes , starting at 10:00:00");
    r.GetLongSchedString(text);
    EXPECT_EQ(text, "Every 5 minutes , starting at 10:00:00; run hours: 9, 10; run days: Monday, Friday; ");
    r.m_nInterval = 6; // the caches are not rebuilt
    r.GetShortSchedString(text);
    EXPECT_EQ(text, "Every 5 minutes , starting at 10:00:00");

    Rule d(1, 2, 1, 0);
    d.m_nHour = 9;
    d.m_vDays = {1};
    d.GetShortSchedString(text);
    EXPECT_EQ(text, "Every 1 day at hour 9 ");
    d.GetLongSchedString(text);
    EXPECT_EQ(text, "Every 1 day at hour 9; run days: Sunday; ");

    Rule m(1, 4, 2, 0);
    m.m_nDay = 32;
    m.m_vMonths = {1, 6};
    m.GetShortSchedString(text);
    EXPECT_EQ(text, "Every 2 months on last day ");
    m.GetLongSchedString(text);
    EXPECT_EQ(text, "Every 2 months on last day; run months: January, June; ");

    Rule h(1, 1, 3, At(2026, 3, 2, 8, 0));
    h.m_nMinute = 15;
    h.m_vHours.clear();
    h.GetLongSchedString(text);
    EXPECT_EQ(text, "Every 3 hours on minute 15, starting at 08:00:00; run hours; run days: Sunday, Monday, "
                    "Tuesday, Wednesday, Thursday, Friday, Saturday; ");

    Rule once(2, 5, 0, At(2026, 3, 2, 10, 0));
    once.GetLongSchedString(text);
    EXPECT_EQ(text, "Once at 10:00:00");
    Rule startup(3, 6, 0, 0);
    startup.GetShortSchedString(text);
    EXPECT_EQ(text, "At startup");
    Rule unscheduled(0, 0, 0, 0);
    unscheduled.GetShortSchedString(text);
    EXPECT_EQ(text, "");
}

INSTANTIATE_TEST_SUITE_P(Zones, ScheduleRule, ::testing::Values("UTC", "Europe/Berlin"),
                         [](const auto& info) { return std::string(info.index == 0 ? "UTC" : "Berlin"); });

// Across the changes of the UTC offset, calendar steps keep the wall-clock hour.
TEST(ScheduleRuleDaylightSaving, CalendarStepsKeepTheLocalHour) {
    ScopedZone zone("Europe/Berlin");
    Rule daily(1, 2, 1, At(2026, 1, 5, 7, 0));
    daily.m_nHour = 9;
    EXPECT_EQ(daily.GetNextRun(At(2026, 7, 1, 8, 0)), At(2026, 7, 1, 9, 0)); // not 10:00 summer time

    Rule monthly(1, 4, 1, At(2026, 1, 1));
    monthly.m_nDay = 31;
    EXPECT_EQ(monthly.GetNextRun(At(2026, 10, 15)), At(2026, 10, 31));

    Rule weekly(1, 3, 1, At(2026, 7, 5, 12, 0)); // a summer Sunday
    weekly.m_nHour = 9;
    weekly.m_vDays = {2};
    EXPECT_EQ(weekly.GetNextRun(At(2026, 11, 10, 12, 0)), At(2026, 11, 16, 9, 0));
}

TEST(ScheduleRuleDaylightSaving, MinuteStepsStayOnTheirGrid) {
    ScopedZone zone("Europe/Berlin");
    Rule spring(1, 0, 60, At(2026, 3, 29, 0, 0));
    spring.m_vHours = {2}; // 02:00 does not exist on Mar 29
    EXPECT_EQ(spring.GetNextRun(At(2026, 3, 29, 1, 30)), At(2026, 3, 30, 2, 0));
    Rule autumn(1, 0, 60, At(2026, 10, 25, 0, 0));
    autumn.m_vHours = {2};
    const std::int64_t first = autumn.GetNextRun(At(2026, 10, 25, 0, 30));
    EXPECT_EQ(first, At(2026, 10, 24, 22, 0) + 4 * 3600);  // 02:00 summer time, 00:00 UTC
    EXPECT_EQ(autumn.GetNextRun(first + 1), first + 3600); // the repeated hour 2, now in winter time
}

namespace {

// The step lists taken literally, in UTC, where fixed second counts and calendar days agree.
bool In(const std::vector<std::int32_t>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}
std::int64_t AlignRef(std::int64_t t, std::int64_t b, std::int64_t p) {
    if (t < b)
        return b;
    const std::int64_t x = t - b + p - 1;
    return b + x - x % p;
}
int Wd(std::int64_t t) {
    return static_cast<int>((t / 86400 + 4) % 7) + 1;
}
std::int64_t Mid(std::int64_t t) {
    return t - t % 86400;
}
std::int64_t NextMid(std::int64_t t) {
    return Mid(t + 86400);
}
std::int64_t FirstOfMonth(std::int64_t t, int addMonths = 0) {
    const std::time_t tt = t;
    std::tm tm{};
    gmtime_r(&tt, &tm);
    tm.tm_mday = 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_mon += addMonths;
    return timegm(&tm);
}
int MonthOf(std::int64_t t) {
    const std::time_t tt = t;
    std::tm tm{};
    gmtime_r(&tt, &tm);
    return tm.tm_mon + 1;
}

std::int64_t ReferenceNextRun(const CAction& a, std::int64_t now) {
    const std::int64_t end = a.m_bHasEnd ? a.m_tEnd : 32503683661LL; // 3000-01-01 01:01:01
    if (a.m_bHasEnd && now > a.m_tEnd)
        return 0;
    const std::int64_t n = a.m_nInterval;
    if (n < 1)
        return 0;
    switch (a.m_nTimeFrame) {
    case 0:
    case 1: {
        const std::int64_t p = n * (a.m_nTimeFrame == 0 ? 60 : 3600);
        std::int64_t t = 0;
        if (a.m_nTimeFrame == 0) {
            t = AlignRef(now, a.m_tStart, p);
        } else {
            const std::int64_t t0 = now - now % 3600 + (now % 3600 / 60 < a.m_nMinute ? 0 : 3600);
            t = AlignRef(t0, a.m_tStart - a.m_tStart % 3600, p);
        }
        if (a.m_vDays.empty() || a.m_vHours.empty())
            return 0;
        while (t < end) {
            if (In(a.m_vDays, Wd(t))) {
                if (In(a.m_vHours, static_cast<int>(t % 86400 / 3600)))
                    return t + (a.m_nTimeFrame == 1 ? a.m_nMinute * 60 : 0);
                t += p;
            } else {
                t = AlignRef(NextMid(t), t, p);
            }
        }
        return 0;
    }
    case 2: {
        const std::int64_t p = n * 86400;
        std::int64_t t =
            AlignRef(now % 86400 / 3600 < a.m_nHour ? Mid(now) : NextMid(now), Mid(a.m_tStart), p);
        if (a.m_vDays.empty())
            return 0;
        for (; t < end; t += p) {
            if (In(a.m_vDays, Wd(t)))
                return t + a.m_nHour * 3600;
        }
        return 0;
    }
    case 3: {
        const std::int64_t p = n * 604800;
        const std::int64_t w = Mid(now) - (Wd(now) - 1) * 86400;
        const std::int64_t s = Mid(a.m_tStart) - (Wd(a.m_tStart) - 1) * 86400;
        std::int64_t k = AlignRef(w, s, p);
        std::int64_t c = std::max(now, k);
        c = c % 86400 / 3600 > a.m_nHour ? NextMid(c) : Mid(c);
        if (a.m_vDays.empty())
            return 0;
        while (c < end) {
            const int wd = Wd(c);
            if (In(a.m_vDays, wd))
                return c + a.m_nHour * 3600;
            c = NextMid(c);
            if (wd == 7) {
                k += p;
                c = k;
            }
        }
        return 0;
    }
    default: {
        const std::int64_t p = n * 2592000;
        const std::time_t tt = now;
        std::tm tm{};
        gmtime_r(&tt, &tm);
        const int length = static_cast<int>((FirstOfMonth(now, 1) - FirstOfMonth(now)) / 86400);
        const bool next = tm.tm_mday >= a.m_nDay || (a.m_nDay == 32 && tm.tm_mday == length);
        std::int64_t t = FirstOfMonth(AlignRef(FirstOfMonth(now, next ? 1 : 0), FirstOfMonth(a.m_tStart), p));
        if (a.m_vMonths.empty())
            return 0;
        while (t < end) {
            if (In(a.m_vMonths, MonthOf(t))) {
                const int len = static_cast<int>((FirstOfMonth(t, 1) - t) / 86400);
                return t + (std::min(a.m_nDay, len) - 1) * 86400LL;
            }
            std::int64_t t2 = FirstOfMonth(t + p);
            if (t2 == t)
                t2 = FirstOfMonth(t, 1);
            t = t2;
        }
        return 0;
    }
    }
}

std::vector<std::int32_t> RandomSubset(std::mt19937& rng, int low, int high, int extraLow, int extraHigh) {
    std::vector<std::int32_t> v;
    const int mode = static_cast<int>(rng() % 4);
    for (int x = low; x <= high; ++x) {
        if (mode == 0 || rng() % (mode + 1) == 0)
            v.push_back(x);
    }
    if (rng() % 8 == 0)
        v.push_back(static_cast<int>(rng() % (extraHigh - extraLow + 1)) + extraLow);
    return v;
}

} // namespace

// In UTC the answer is exactly the literal step lists' one, for rules of every shape.
TEST(ScheduleRuleReference, RandomRulesInUtcMatchTheStepLists) {
    ScopedZone zone("UTC");
    std::mt19937 rng(20261208);
    const std::int64_t steps[] = {1, 2, 5, 7, 13, 45, 60, 90, 120, 1439, 1441, 10007};
    for (int i = 0; i < 400; ++i) {
        const int frame = static_cast<int>(rng() % 5);
        Rule r(1, frame, 1, 1735689600 + static_cast<std::int64_t>(rng() % (3 * 365 * 86400)));
        r.m_nInterval =
            frame == 0 ? static_cast<int>(steps[rng() % std::size(steps)]) : static_cast<int>(rng() % 14) + 1;
        r.m_nMinute = static_cast<int>(rng() % 60);
        r.m_nHour = static_cast<int>(rng() % 24);
        r.m_nDay = static_cast<int>(rng() % 32) + 1;
        r.m_vHours = RandomSubset(rng, 0, 23, 24, 30);
        r.m_vDays = RandomSubset(rng, 1, 7, 8, 9);
        r.m_vMonths = RandomSubset(rng, 1, 12, 13, 14);
        const std::int64_t now = 1735689600 + static_cast<std::int64_t>(rng() % (3 * 365 * 86400));
        r.m_bHasEnd = 1;
        r.m_tEnd = now + static_cast<std::int64_t>(rng() % (frame == 0 ? 60 : 3 * 365) * 86400);
        EXPECT_EQ(r.GetNextRun(now), ReferenceNextRun(r, now)) << "rule " << i << " frame " << frame;
    }
}

// With daylight saving, a minute or hour grid fires at its first point whose local weekday and
// hour are allowed: checked point by point against the C library's local time.
TEST(ScheduleRuleReference, GridRulesInBerlinMatchAPointByPointSearch) {
    ScopedZone zone("Europe/Berlin");
    std::mt19937 rng(8);
    for (int i = 0; i < 120; ++i) {
        const int frame = static_cast<int>(rng() % 2);
        const std::int64_t step = frame == 0 ? 30 + static_cast<std::int64_t>(rng() % 3000) : 1 + rng() % 60;
        Rule r(1, frame, static_cast<int>(step),
               1767222000 + static_cast<std::int64_t>(rng() % (400 * 86400)));
        r.m_nMinute = static_cast<int>(rng() % 60);
        r.m_vHours = RandomSubset(rng, 0, 23, 24, 30);
        r.m_vDays = RandomSubset(rng, 1, 7, 8, 9);
        const std::int64_t now = 1767222000 + static_cast<std::int64_t>(rng() % (400 * 86400));
        r.m_bHasEnd = 1;
        r.m_tEnd = now + 200 * 86400;

        const std::int64_t p = step * (frame == 0 ? 60 : 3600);
        std::int64_t t = 0;
        if (frame == 0) {
            t = AlignRef(now, r.m_tStart, p);
        } else {
            const std::time_t st = r.m_tStart, nt = now;
            std::tm s{}, n{};
            localtime_r(&st, &s);
            localtime_r(&nt, &n);
            const std::int64_t first = now - n.tm_min * 60 - n.tm_sec + (n.tm_min < r.m_nMinute ? 0 : 3600);
            t = AlignRef(first, r.m_tStart - s.tm_min * 60 - s.tm_sec, p);
        }
        std::int64_t expected = 0;
        for (; t < r.m_tEnd; t += p) {
            const std::time_t tt = t;
            std::tm tm{};
            localtime_r(&tt, &tm);
            if (In(r.m_vDays, tm.tm_wday + 1) && In(r.m_vHours, tm.tm_hour)) {
                expected = t + (frame == 1 ? r.m_nMinute * 60 : 0);
                break;
            }
        }
        EXPECT_EQ(r.GetNextRun(now), expected) << "rule " << i << " frame " << frame << " step " << step;
    }
}
