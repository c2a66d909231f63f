// The schedule rule of a task: its next run time and its two descriptions.
//
// Calendar steps (days, weeks, 30-day months, the hour of the day after a midnight) count local
// calendar days and build the local time with mktime, so a rule keeps its wall-clock hour across
// daylight-saving changes. Minute and hour steps are fixed second counts on a grid.
#include "tasks/model/Action.h"

#include "platform/CivilDate.h"
#include "platform/Clock.h"
#include "tasks/model/Tables.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <map>
#include <stdexcept>

namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 604800;
constexpr std::int64_t kDeadYears = 2 * 366 * kDay;

using platform::CivilFromDays;
using platform::DaysFromCivil;
using Civil = platform::CivilDate;

// 1 Sunday to 7 Saturday; day 0 (1970-01-01) was a Thursday.
int WeekdayOfDay(std::int64_t day) {
    return static_cast<int>(((day + 4) % 7 + 7) % 7) + 1;
}

int MonthLength(std::int64_t y, int m) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : lengths[m - 1];
}

std::tm Local(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        throw std::invalid_argument("The time " + std::to_string(t) + " has no local date.");
    return tm;
}

std::int64_t DayOf(const std::tm& tm) {
    return DaysFromCivil(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday);
}

// The local time of a day at an hour (mktime moves a time that does not exist forward).
std::int64_t MakeLocal(std::int64_t day, std::int64_t hour, int minute = 0, int second = 0) {
    const Civil c = CivilFromDays(day + hour / 24);
    std::tm tm{};
    if (c.y - 1900 > INT_MAX || c.y - 1900 < INT_MIN)
        throw std::invalid_argument("A date of the schedule is out of range.");
    tm.tm_year = static_cast<int>(c.y - 1900);
    tm.tm_mon = c.m - 1;
    tm.tm_mday = c.d;
    tm.tm_hour = static_cast<int>(hour % 24);
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(c.y == 1969 || c.y == 1970))
        throw std::invalid_argument("A date of the schedule has no local time.");
    return t;
}

// The first point B + kP at or after t (B itself when t is before it).
std::int64_t Align(std::int64_t t, std::int64_t base, std::int64_t step) {
    if (t < base)
        return base;
    const std::int64_t x = t - base + step - 1;
    return base + x - x % step;
}

// A day "lies before END" when its midnight does; computed once per search, so the calendar loops
// below compare day numbers only.
struct EndDay {
    std::int64_t day;
    bool midnightBefore; // the midnight of `day` itself is before END
    explicit EndDay(std::int64_t end) {
        day = DayOf(Local(end));
        midnightBefore = MakeLocal(day, 0) < end;
    }
    bool Before(std::int64_t d) const { return d < day || (d == day && midnightBefore); }
};

using DaySet = std::array<bool, 8>;   // 1..7
using HourSet = std::array<bool, 24>; // 0..23

template <std::size_t N>
bool AnyAllowed(const std::vector<std::int32_t>& values, std::array<bool, N>& set, int low) {
    set.fill(false);
    bool any = false;
    for (const std::int32_t v : values) {
        if (v >= low && v < static_cast<int>(N)) {
            set[static_cast<std::size_t>(v)] = true;
            any = true;
        }
    }
    return any;
}

// The minutely and hourly rules: the first grid point t = base + kP at or after `from`, before
// END, whose local weekday and hour are allowed. The step lists walk there point by point; this
// walks by stretches of one UTC offset, where local time is plain arithmetic, and within a
// stretch looks at no more points than one cycle of the grid against the week.
class GridSearch {
public:
    GridSearch(std::int64_t base, std::int64_t step, const DaySet& days, const HourSet& hours,
               std::int64_t end)
        : m_base(base), m_step(step), m_days(days), m_hours(hours), m_end(end) {
        std::int64_t a = step, b = kWeek;
        while (b) {
            const std::int64_t r = a % b;
            a = b;
            b = r;
        }
        m_cycle = kWeek / a;
    }

    std::int64_t Find(std::int64_t from) {
        std::int64_t t = Align(from, m_base, m_step);
        const std::int64_t deadSince = t;
        bool allDead = true;
        while (t < m_end) {
            const long offset = Local(t).tm_gmtoff;
            const bool live = CanMatch(offset);
            allDead = allDead && !live;
            if (allDead && t - deadSince > kDeadYears) {
                // Every offset of two years of this zone keeps the grid off the allowed hours;
                // the zone's rule repeats yearly, so no later year fires either.
                return 0;
            }
            if (m_step >= kHour)
                return FindSparse(t);
            // A live offset finds its match within one cycle of points (at most 10,080 points in
            // 413 days for these steps); a dead one is left at its next change.
            const std::int64_t reach = live ? (m_cycle + 1) * m_step : kDeadYears + kWeek;
            const std::int64_t stretchEnd = NextOffsetChange(t, offset, std::min(m_end, t + reach));
            if (live) {
                for (; t < stretchEnd; t += m_step) {
                    if (Allowed(t + offset))
                        return t;
                }
            }
            t = Align(stretchEnd, m_base, m_step);
        }
        return 0;
    }

private:
    // Steps of an hour or more: the points that can match at all are those whose place in the
    // cycle matches under one of the zone's offsets (those of the coming two years); each such
    // candidate is then judged by its own offset, in order, until one is allowed.
    std::int64_t FindSparse(std::int64_t t) {
        std::vector<long> offsets;
        for (int month = 0; month <= 24; ++month) {
            const long offset = Local(t + month * 30 * kDay).tm_gmtoff;
            if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end())
                offsets.push_back(offset);
        }
        std::vector<std::int64_t> candidates;
        for (std::int64_t j = 0; j < m_cycle; ++j) {
            for (const long offset : offsets) {
                if (Allowed(t + j * m_step + offset)) {
                    candidates.push_back(j);
                    break;
                }
            }
        }
        if (candidates.empty())
            return 0;
        for (std::int64_t cycleStart = t; cycleStart < m_end; cycleStart += m_cycle * m_step) {
            for (const std::int64_t j : candidates) {
                const std::int64_t point = cycleStart + j * m_step;
                if (point >= m_end)
                    return 0;
                if (Allowed(point + Local(point).tm_gmtoff))
                    return point;
            }
        }
        return 0;
    }

    bool Allowed(std::int64_t local) const {
        const std::int64_t day = local >= 0 ? local / kDay : (local - kDay + 1) / kDay;
        const int hour = static_cast<int>((local - day * kDay) / kHour);
        return m_days[static_cast<std::size_t>(WeekdayOfDay(day))] && m_hours[static_cast<std::size_t>(hour)];
    }

    // Whether any point of the grid falls on an allowed hour under this offset: the points
    // repeat their place in the week after m_cycle steps.
    bool CanMatch(long offset) {
        const auto it = m_canMatch.find(offset);
        if (it != m_canMatch.end())
            return it->second;
        bool any = false;
        const std::int64_t start = ((m_base + offset) % kWeek + kWeek) % kWeek;
        for (std::int64_t i = 0; i < m_cycle && !any; ++i)
            any = Allowed(start + ((i * (m_step % kWeek)) % kWeek) + kWeek);
        m_canMatch.emplace(offset, any);
        return any;
    }

    // The first second after t with another UTC offset, or `limit` when there is none before it.
    // Offsets hold for weeks at least, so the search probes week by week and then halves the
    // last week.
    static std::int64_t NextOffsetChange(std::int64_t t, long offset, std::int64_t limit) {
        std::int64_t low = t;
        std::int64_t high = t;
        for (;;) {
            high = std::min(low + kWeek, limit);
            if (Local(high).tm_gmtoff != offset)
                break;
            if (high == limit)
                return limit;
            low = high;
        }
        while (high - low > 1) {
            const std::int64_t mid = low + (high - low) / 2;
            (Local(mid).tm_gmtoff == offset ? low : high) = mid;
        }
        return high;
    }

    std::int64_t m_base;
    std::int64_t m_step;
    const DaySet& m_days;
    const HourSet& m_hours;
    std::int64_t m_end;
    std::int64_t m_cycle;
    std::map<long, bool> m_canMatch;
};

// One search for the next run time of a rule: its fields, the moment to search from and the
// rule's end (the year 3000 when it has none). Each Next* gives the first run after `now`, or 0.
struct RuleSearch {
    const CAction& rule;
    std::int64_t now;
    std::int64_t end;
};

std::int64_t NextMinutely(const RuleSearch& r) {
    DaySet days{};
    HourSet hours{};
    if (!AnyAllowed(r.rule.m_vDays, days, 1) || !AnyAllowed(r.rule.m_vHours, hours, 0))
        return 0;
    return GridSearch(r.rule.m_tStart, r.rule.m_nInterval * kMinute, days, hours, r.end).Find(r.now);
}

std::int64_t NextHourly(const RuleSearch& r) {
    const std::tm start = Local(r.rule.m_tStart);
    const std::int64_t base = r.rule.m_tStart - start.tm_min * kMinute - start.tm_sec;
    const std::tm nowTm = Local(r.now);
    std::int64_t first = r.now - nowTm.tm_min * kMinute - nowTm.tm_sec;
    if (nowTm.tm_min >= r.rule.m_nMinute)
        first += kHour;
    DaySet days{};
    HourSet hours{};
    if (!AnyAllowed(r.rule.m_vDays, days, 1) || !AnyAllowed(r.rule.m_vHours, hours, 0))
        return 0;
    const std::int64_t hour = GridSearch(base, r.rule.m_nInterval * kHour, days, hours, r.end).Find(first);
    return hour ? hour + r.rule.m_nMinute * kMinute : 0;
}

std::int64_t NextDaily(const RuleSearch& r) {
    const std::int64_t n = r.rule.m_nInterval;
    const std::int64_t baseDay = DayOf(Local(r.rule.m_tStart));
    const std::tm nowTm = Local(r.now);
    const std::int64_t from = DayOf(nowTm) + (nowTm.tm_hour < r.rule.m_nHour ? 0 : 1);
    DaySet days{};
    if (!AnyAllowed(r.rule.m_vDays, days, 1))
        return 0;
    const EndDay endDay(r.end);
    std::int64_t day = Align(from, baseDay, n);
    // The weekdays of the steps repeat after seven of them.
    for (int i = 0; i < 7 && endDay.Before(day); ++i, day += n) {
        if (days[static_cast<std::size_t>(WeekdayOfDay(day))])
            return MakeLocal(day, r.rule.m_nHour);
    }
    return 0;
}

std::int64_t NextWeekly(const RuleSearch& r) {
    const std::int64_t n = r.rule.m_nInterval;
    const std::int64_t startDay = DayOf(Local(r.rule.m_tStart));
    const std::int64_t startSunday = startDay - (WeekdayOfDay(startDay) - 1);
    const std::tm nowTm = Local(r.now);
    const std::int64_t nowDay = DayOf(nowTm);
    std::int64_t week = Align(nowDay - (WeekdayOfDay(nowDay) - 1), startSunday, 7 * n);
    const std::int64_t weekStart = MakeLocal(week, 0);
    std::int64_t day = week;
    int hour = 0;
    if (r.now >= weekStart) {
        day = nowDay;
        hour = nowTm.tm_hour;
    }
    if (hour > r.rule.m_nHour)
        ++day;
    DaySet days{};
    if (!AnyAllowed(r.rule.m_vDays, days, 1))
        return 0;
    const EndDay endDay(r.end);
    // Some allowed weekday comes within the rest of this week and the next of the rule.
    for (int i = 0; i < 15 && endDay.Before(day); ++i) {
        const int weekday = WeekdayOfDay(day);
        if (days[static_cast<std::size_t>(weekday)])
            return MakeLocal(day, r.rule.m_nHour);
        ++day;
        if (weekday == 7) {
            week += 7 * n;
            day = week;
        }
    }
    return 0;
}

std::int64_t FirstOfMonth(std::int64_t day) {
    const Civil x = CivilFromDays(day);
    return DaysFromCivil(x.y, x.m, 1);
}

std::int64_t NextMonthly(const RuleSearch& r) {
    const std::int64_t n = r.rule.m_nInterval;
    const int wantedDay = r.rule.m_nDay;
    const Civil start = CivilFromDays(DayOf(Local(r.rule.m_tStart)));
    const std::int64_t startFirst = DaysFromCivil(start.y, start.m, 1);
    const std::tm nowTm = Local(r.now);
    Civil c{nowTm.tm_year + 1900LL, nowTm.tm_mon + 1, 1};
    const bool lastDay = nowTm.tm_mday == MonthLength(c.y, c.m);
    if (nowTm.tm_mday >= wantedDay || (wantedDay == 32 && lastDay)) {
        c.m = c.m == 12 ? 1 : c.m + 1;
        c.y += c.m == 1;
    }
    std::int64_t first = FirstOfMonth(Align(DaysFromCivil(c.y, c.m, 1), startFirst, 30 * n));
    std::array<bool, 13> allowedMonths{};
    if (!AnyAllowed(r.rule.m_vMonths, allowedMonths, 1))
        return 0;
    const EndDay endDay(r.end);
    while (endDay.Before(first)) {
        const Civil t = CivilFromDays(first);
        if (allowedMonths[static_cast<std::size_t>(t.m)]) {
            const int length = MonthLength(t.y, t.m);
            const std::int64_t d = wantedDay > length ? length : wantedDay;
            return MakeLocal(first + d - 1, 0);
        }
        std::int64_t next = FirstOfMonth(first + 30 * n);
        if (next == first)
            next = first + MonthLength(t.y, t.m);
        first = next;
    }
    return 0;
}

} // namespace

std::int64_t CAction::GetNextRun() {
    return GetNextRun(platform::Now());
}

std::int64_t CAction::GetNextRun(std::int64_t now) {
    m_tNextRun = 0;
    const std::int64_t end = m_bHasEnd ? m_tEnd : MakeLocal(DaysFromCivil(3000, 1, 1), 1, 1, 1);
    if (m_bHasEnd && now > m_tEnd)
        return 0;
    if (m_nRunType == 3)
        return now;
    if (m_nTimeFrame < 0 || m_nTimeFrame > 5) {
        uikit::MessageBox("DlgScheduleTask: Error OnOK", "Error", uikit::Buttons::OK, uikit::Icon::Error);
        return 0;
    }
    // N times the unit must stay below 2^31 seconds; a rule beyond that (only a damaged file has
    // one) has no run time, like a rule with N below 1.
    static const std::int64_t units[] = {kMinute, kHour, kDay, kWeek, 30 * kDay};
    if (m_nTimeFrame < 5 && (m_nInterval < 1 || m_nInterval * units[m_nTimeFrame] >= (1LL << 31)))
        return 0;

    const RuleSearch search{*this, now, end};
    std::int64_t result = 0;
    switch (m_nTimeFrame) {
    case 0:
        result = NextMinutely(search);
        break;
    case 1:
        result = NextHourly(search);
        break;
    case 2:
        result = NextDaily(search);
        break;
    case 3:
        result = NextWeekly(search);
        break;
    case 4:
        result = NextMonthly(search);
        break;
    default: // once
        if (m_tStart <= now)
            return 0;
        result = m_tStart;
        break;
    }
    if (result > now)
        m_tNextRun = result;
    return result;
}
