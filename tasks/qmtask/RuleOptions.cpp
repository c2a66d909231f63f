#include "RuleOptions.h"

#include "tasks/model/Action.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace qmtask {
namespace {

// Time frames of the rule fields: minutely, hourly, daily, weekly, monthly, once, startup.
enum Frame { kMinute = 0, kHour = 1, kDay = 2, kWeek = 3, kMonth = 4, kOnce = 5, kStartup = 6 };

const char* const kDayNames[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
const char* const kMonthNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};

using Given = std::initializer_list<std::pair<const char*, const std::optional<std::string>*>>;

bool ParseNumber(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    value = std::stoi(text);
    return value >= low && value <= high;
}

// One element of a list: a number in [low, high], or a name of `names` (whose first entry stands
// for `low`), matched by its first three letters or in full ("monday").
bool ParseElement(const std::string& text, const char* const* names, int count, int low, int high,
                  int& value) {
    if (ParseNumber(text, low, high, value))
        return true;
    if (!names || text.size() < 3)
        return false;
    for (int i = 0; i < count; ++i)
        if (text.compare(0, 3, names[i]) == 0) {
            value = low + i;
            return true;
        }
    return false;
}

// "a,b,c-d": the values, ascending and without repeats.
std::vector<std::int32_t> ParseList(const std::string& option, const std::string& text,
                                    const char* const* names, int count, int low, int high,
                                    const std::string& example) {
    std::vector<std::int32_t> values;
    const std::string list = Lower(text);
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        int first = 0, last = 0;
        const bool ok = dash == std::string::npos
                            ? ParseElement(item, names, count, low, high, first) && ((last = first), true)
                            : ParseElement(item.substr(0, dash), names, count, low, high, first) &&
                                  ParseElement(item.substr(dash + 1), names, count, low, high, last) &&
                                  first <= last;
        if (!ok)
            Refuse(option + " " + text + ": \"" + item + "\" is not understood (for example " + option + " " +
                   example + ")");
        for (int v = first; v <= last; ++v)
            values.push_back(v);
        start = comma + 1;
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

std::vector<std::int32_t> All(int low, int high) {
    std::vector<std::int32_t> v;
    for (int i = low; i <= high; ++i)
        v.push_back(i);
    return v;
}

// The reverse of ParseList: consecutive values as ranges, names where the list has them.
std::string ListText(const std::vector<std::int32_t>& values, const char* const* names, int low) {
    if (values.empty())
        return "none";
    std::string text;
    const auto name = [&](std::int32_t v) {
        return names && v >= low && v < low + (names == kDayNames ? 7 : 12) ? std::string(names[v - low])
                                                                            : std::to_string(v);
    };
    for (std::size_t i = 0; i < values.size();) {
        std::size_t j = i;
        while (j + 1 < values.size() && values[j + 1] == values[j] + 1)
            ++j;
        text += (text.empty() ? "" : ",") + name(values[i]);
        if (j > i)
            text += "-" + name(values[j]);
        i = j + 1;
    }
    return text;
}

std::tm Local(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        Refuse("the time " + std::to_string(t) + " has no local date");
    return tm;
}

std::int64_t ParseTimeOption(const std::string& option, const std::string& text, std::int64_t now,
                             bool* dateOnly = nullptr) {
    std::int64_t t = 0;
    if (!ParseLocalTime(text, now, t, dateOnly))
        Refuse(option + " wants a local time such as '2027-01-05 09:30', '2027-01-05' or '09:30', not \"" +
               text + "\"");
    return t;
}

} // namespace

void Refuse(const std::string& text) {
    throw std::runtime_error(text);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ParseLocalTime(const std::string& text, std::int64_t now, std::int64_t& t, bool* dateOnly) {
    std::tm tm{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    bool date = true, haveTime = true;
    const char* s = text.c_str();
    if (std::sscanf(s, "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 && used == 10) {
        s += used;
        if (*s == '\0') {
            haveTime = false;
        } else if (*s == ' ' || *s == 'T') {
            ++s;
        } else {
            return false;
        }
    } else {
        date = false;
        const std::tm today = Local(now);
        year = today.tm_year + 1900;
        month = today.tm_mon + 1;
        day = today.tm_mday;
    }
    if (haveTime) {
        used = 0;
        const int n = std::sscanf(s, "%2d:%2d%n:%2d%n", &hour, &minute, &used, &second, &used);
        if (n < 2 || s[used] != '\0' || std::strlen(s) < 5)
            return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t made = std::mktime(&tm);
    // mktime moves 31 April to 1 May; such a date does not exist.
    if (made == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month - 1)
        return false;
    t = made;
    if (dateOnly)
        *dateOnly = date && !haveTime;
    return true;
}

std::string LocalTime(std::int64_t t) {
    if (t == 0)
        return "-";
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    char text[40] = {};
    if (!localtime_r(&tt, &tm) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0)
        return std::to_string(t);
    return text;
}

void ApplyRule(const RuleOptions& o, CAction& task, std::int64_t now) {
    const bool once = o.at && !o.every && !o.atStartup;
    if (!o.every && !o.at && !o.atStartup) {
        for (const auto& [name, given] : Given{{"--days", &o.days},
                                               {"--hours", &o.hours},
                                               {"--months", &o.months},
                                               {"--day-of-month", &o.dayOfMonth},
                                               {"--until", &o.until}})
            if (*given)
                Refuse(std::string(name) +
                       " belongs to a schedule rule: give --every, --at or --at-startup too");
        task.m_nRunType = 0; // unscheduled: runs only when the list is run
        return;
    }
    if (o.every && o.atStartup)
        Refuse("--every and --at-startup are two different rules: give one of them");
    if (o.atStartup && o.at)
        Refuse("--at-startup runs when the scheduler starts; it takes no --at");
    task.m_vDays = All(1, 7);
    task.m_vHours = All(0, 23);
    task.m_vMonths = All(1, 12);
    task.m_nInterval = 1;
    task.m_nHour = 0;
    task.m_nMinute = 0;
    task.m_nDay = 1;
    task.m_bHasEnd = 0;
    task.m_tEnd = 0;
    const auto onlyWithEvery = [&](const char* what) {
        for (const auto& [name, given] : Given{{"--days", &o.days},
                                               {"--hours", &o.hours},
                                               {"--months", &o.months},
                                               {"--day-of-month", &o.dayOfMonth}})
            if (*given)
                Refuse(std::string(name) + " needs a repeating rule (--every); " + what);
    };
    if (o.atStartup) {
        onlyWithEvery("--at-startup runs at every start of the scheduler");
        task.m_nRunType = 3;
        task.m_nTimeFrame = kStartup;
        task.m_tStart = now;
    } else if (once) {
        onlyWithEvery("--at without --every runs once");
        if (o.until)
            Refuse(
                "--until needs a repeating rule (--every) or --at-startup; --at without --every runs once");
        task.m_nRunType = 2;
        task.m_nTimeFrame = kOnce;
        task.m_tStart = ParseTimeOption("--at", *o.at, now);
        if (task.m_tStart <= now)
            Refuse("--at " + *o.at +
                   " has passed already; a task that runs once at that time would never run");
    } else {
        // --every N followed by its unit.
        const std::string& every = *o.every;
        std::size_t digits = 0;
        while (digits < every.size() && std::isdigit(static_cast<unsigned char>(every[digits])))
            ++digits;
        const std::string unit = Lower(every.substr(digits));
        struct Unit {
            const char* names[4];
            Frame frame;
            int most;
        };
        static const Unit units[] = {{{"m", "min", "minute", "minutes"}, kMinute, 59},
                                     {{"h", "hour", "hours", nullptr}, kHour, 23},
                                     {{"d", "day", "days", nullptr}, kDay, 365},
                                     {{"w", "week", "weeks", nullptr}, kWeek, 52},
                                     {{"mo", "month", "months", nullptr}, kMonth, 12}};
        const Unit* found = nullptr;
        for (const Unit& u : units)
            for (const char* name : u.names)
                if (name && unit == name)
                    found = &u;
        int interval = 0;
        if (!found || !ParseNumber(every.substr(0, digits), 1, 100000, interval))
            Refuse(
                "--every wants a number and a unit: 30m (minutes), 2h (hours), 1d (days), 1w (weeks) or 3mo "
                "(months), not \"" +
                every + "\"");
        if (interval > found->most)
            Refuse("--every " + every + ": at most " + std::to_string(found->most) + " in this unit" +
                   (found->frame == kMonth ? std::string() : "; use the next larger unit"));
        task.m_nRunType = 1;
        task.m_nTimeFrame = found->frame;
        task.m_nInterval = interval;
        // Minute rules count from the start; without --at they start at the current minute.
        task.m_tStart = o.at ? ParseTimeOption("--at", *o.at, now) : now - ((now % 60) + 60) % 60;
        const std::tm start = Local(task.m_tStart);
        const Frame frame = found->frame;
        const std::string rule = "--every " + every;
        if (o.hours && frame != kMinute && frame != kHour)
            Refuse("--hours goes with minutes or hours (--every 30m, --every 2h); " + rule +
                   " runs once on each of its days, at the hour of --at");
        if (o.days && frame == kMonth)
            Refuse("--days does not go with months; " + rule + " runs on --day-of-month of each of --months");
        if ((o.months || o.dayOfMonth) && frame != kMonth)
            Refuse(std::string(o.months ? "--months" : "--day-of-month") +
                   " goes with months (--every 1mo); " + rule + " runs on --days");
        if (frame == kHour)
            task.m_nMinute = start.tm_min;
        if ((frame == kDay || frame == kWeek) && o.at) {
            if (start.tm_min != 0 || start.tm_sec != 0)
                Refuse(rule + " runs on the hour: give --at a time such as 09:00, not " + *o.at);
            task.m_nHour = start.tm_hour;
        }
        if (frame == kMonth) {
            if (o.at && (start.tm_hour != 0 || start.tm_min != 0 || start.tm_sec != 0))
                Refuse(rule + " runs at 00:00 of its day: give --at a date alone, such as 2027-01-05");
            task.m_nDay = start.tm_mday;
            if (o.dayOfMonth) {
                int day = 0;
                if (Lower(*o.dayOfMonth) == "last")
                    day = 32;
                else if (!ParseNumber(*o.dayOfMonth, 1, 31, day))
                    Refuse("--day-of-month wants 1 to 31 or last, not \"" + *o.dayOfMonth + "\"");
                task.m_nDay = day;
            } else if (!o.at) {
                task.m_nDay = 1;
            }
        }
        if (o.days)
            task.m_vDays = ParseList("--days", *o.days, kDayNames, 7, 1, 7, "mon,fri or mon-fri");
        else if (frame == kWeek)
            task.m_vDays = {start.tm_wday + 1}; // every week means once a week: on the start's weekday
        if (o.hours)
            task.m_vHours = ParseList("--hours", *o.hours, nullptr, 0, 0, 23, "9-17 or 8,12,18");
        if (o.months)
            task.m_vMonths = ParseList("--months", *o.months, kMonthNames, 12, 1, 12, "jan,jun or jan-mar");
    }
    if (o.until) {
        bool dateOnly = false;
        std::int64_t end = ParseTimeOption("--until", *o.until, now, &dateOnly);
        if (dateOnly) {
            std::tm tm = Local(end);
            tm.tm_hour = 23;
            tm.tm_min = 59;
            tm.tm_sec = 59;
            tm.tm_isdst = -1;
            end = std::mktime(&tm);
        }
        if (end <= now)
            Refuse("--until " + *o.until + " has passed already; the task would never run");
        if (end < task.m_tStart)
            Refuse("--until " + *o.until + " is earlier than the start " + LocalTime(task.m_tStart));
        task.m_bHasEnd = 1;
        task.m_tEnd = end;
    }
}

std::string RuleAsOptions(const CAction& task) {
    const auto quoted = [](std::int64_t t) { return "'" + LocalTime(t) + "'"; };
    std::string text;
    if (task.m_nRunType == 3) {
        text = "--at-startup";
    } else if (task.m_nRunType == 2) {
        text = "--at " + quoted(task.m_tStart);
    } else if (task.m_nRunType == 1) {
        static const char* const units[5] = {"m", "h", "d", "w", "mo"};
        const int frame = task.m_nTimeFrame;
        if (frame < 0 || frame > 4)
            return "(damaged rule: time frame " + std::to_string(frame) + ")";
        text = "--every " + std::to_string(task.m_nInterval) + units[frame];
        // What the rule runs by: the start, with the minute or hour the rule keeps apart from it.
        std::int64_t start = task.m_tStart;
        const std::time_t startTime = static_cast<std::time_t>(start);
        std::tm tm{};
        if (start != 0 && !localtime_r(&startTime, &tm)) {
            text += " --at " + LocalTime(start); // no local date: the seconds as they are stored
        } else if (start != 0) {
            if (frame == kHour) {
                tm.tm_min = task.m_nMinute;
                tm.tm_sec = 0;
            } else if (frame == kDay || frame == kWeek) {
                tm.tm_hour = task.m_nHour;
                tm.tm_min = tm.tm_sec = 0;
            } else if (frame == kMonth) {
                tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
            }
            tm.tm_isdst = -1;
            start = std::mktime(&tm);
            const std::string at = LocalTime(start);
            text += " --at '" + (frame == kMonth ? at.substr(0, 10) : at) + "'";
        }
        if (frame <= kWeek && task.m_vDays != All(1, 7))
            text += " --days " + ListText(task.m_vDays, kDayNames, 1);
        if (frame <= kHour && task.m_vHours != All(0, 23))
            text += " --hours " + ListText(task.m_vHours, nullptr, 0);
        if (frame == kMonth) {
            if (task.m_vMonths != All(1, 12))
                text += " --months " + ListText(task.m_vMonths, kMonthNames, 1);
            text +=
                " --day-of-month " + (task.m_nDay == 32 ? std::string("last") : std::to_string(task.m_nDay));
        }
    } else {
        return "";
    }
    if (task.m_bHasEnd)
        text += " --until " + quoted(task.m_tEnd);
    return text;
}

} // namespace qmtask
