// The short and long descriptions of a task's schedule rule.
#include "tasks/model/Action.h"

#include "tasks/model/Tables.h"

#include <ctime>

namespace {

// The local time of t in the locale's "%X" form (at most 29 characters).
std::string TimeText(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    char text[30] = {};
    if (!localtime_r(&tt, &tm) || std::strftime(text, sizeof text, "%X", &tm) == 0)
        return {};
    return text;
}

void DropLast(std::string& s, std::size_t count) {
    s.resize(s.size() >= count ? s.size() - count : 0);
}

} // namespace

void CAction::BuildSchedString() {
    static const char* const units[5][2] = {{"minute ", "minutes "},
                                            {"hour ", "hours "},
                                            {"day ", "days "},
                                            {"week ", "weeks "},
                                            {"month ", "months "}};
    std::string s;
    if (m_nRunType == 1) {
        s = "Every " + std::to_string(m_nInterval) + " ";
        if (m_nTimeFrame >= 0 && m_nTimeFrame <= 4)
            s += units[m_nTimeFrame][m_nInterval <= 1 ? 0 : 1];
    } else if (m_nRunType == 2) {
        s = "Once ";
    } else if (m_nRunType == 3) {
        s = "At startup";
    }
    if (m_nTimeFrame == 1 || m_nTimeFrame == 4) {
        s += "on ";
    } else if (m_nRunType != 3 && m_nTimeFrame != 0) {
        s += "at ";
    }
    if (m_nRunType == 1) {
        switch (m_nTimeFrame) {
        case 0:
            s += ", ";
            break;
        case 1:
            s += "minute " + std::to_string(m_nMinute) + ", ";
            break;
        case 2:
        case 3:
            s += "hour " + std::to_string(m_nHour) + " ";
            break;
        case 4:
            s += m_nDay == 32 ? std::string("last day ") : "day " + std::to_string(m_nDay) + " ";
            break;
        default:
            break;
        }
    }
    if (m_nRunType == 2) {
        s += TimeText(m_tStart);
    } else if (m_nRunType == 1 && (m_nTimeFrame == 0 || m_nTimeFrame == 1)) {
        s += "starting at " + TimeText(m_tStart);
    }
    m_sShortSched = s;
    if (m_nRunType != 1) {
        m_sLongSched = s;
        return;
    }
    std::string l = s;
    if (!l.empty() && l.back() == ' ')
        l.pop_back();
    l += "; ";
    if (m_nTimeFrame == 0 || m_nTimeFrame == 1) {
        l += "run hours: ";
        for (const std::int32_t hour : m_vHours)
            l += std::to_string(hour) + ", ";
        DropLast(l, 2);
        l += "; ";
    }
    // A damaged file may list a month or weekday outside the tables: it is shown by number.
    auto name = [](const char* const* table, int size, std::int32_t index) {
        return index >= 1 && index < size ? std::string(table[index]) : std::to_string(index);
    };
    if (m_nTimeFrame == 4) {
        l += "run months: ";
        for (const std::int32_t month : m_vMonths)
            l += name(months, 13, month) + ", ";
    } else {
        l += "run days: ";
        for (const std::int32_t day : m_vDays)
            l += name(weekdays, 8, day) + ", ";
    }
    DropLast(l, 2);
    l += "; ";
    m_sLongSched = l;
}

void CAction::GetShortSchedString(std::string& text) {
    if (m_sShortSched.empty())
        BuildSchedString();
    text = m_sShortSched;
}

void CAction::GetLongSchedString(std::string& text) {
    if (m_sLongSched.empty())
        BuildSchedString();
    text = m_sLongSched;
}
