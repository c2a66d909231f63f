#pragma once

#include <cstdint>
#include <optional>
#include <string>

class CAction;

namespace qmtask {

// The schedule rule as qmtask's options give it, each as typed.
struct RuleOptions {
    std::optional<std::string> every; // "30m", "2h", "1d", "1w", "3mo"
    std::optional<std::string> at;    // "YYYY-MM-DD HH:MM[:SS]", "YYYY-MM-DD" or "HH:MM"
    bool atStartup = false;
    std::optional<std::string> days;       // "mon,fri", "mon-fri"
    std::optional<std::string> hours;      // "9-17", "8,12,18"
    std::optional<std::string> months;     // "jan,jun", "jan-mar"
    std::optional<std::string> dayOfMonth; // "1".."31" or "last"
    std::optional<std::string> until;      // as --at; a date alone means the end of that day
};

// Sets the rule fields of `task` from the options; `now` is the current time. Without any rule
// the task is left unscheduled (run type 0). A rule that does not name its weekdays, hours or
// months gets all of them. Throws std::runtime_error naming the option at fault.
void ApplyRule(const RuleOptions& options, CAction& task, std::int64_t now);

// The rule of a task as the options that make it ("--every 1d --at '2027-01-05 09:00' --days
// mon-fri"); "" for an unscheduled task.
std::string RuleAsOptions(const CAction& task);

// A local time in the forms --at accepts: "YYYY-MM-DD HH:MM[:SS]" (also with 'T'),
// "YYYY-MM-DD" (midnight) and "HH:MM[:SS]" (on the day of `now`). dateOnly tells which form was
// given. False for anything else, or for a date that does not exist.
bool ParseLocalTime(const std::string& text, std::int64_t now, std::int64_t& t, bool* dateOnly = nullptr);
// The option readers' refusal: a std::runtime_error with the text.
[[noreturn]] void Refuse(const std::string& text);
// ASCII letters in lower case, for names typed in any case.
std::string Lower(std::string text);

// "YYYY-MM-DD HH:MM:SS" in local time; "-" for 0.
std::string LocalTime(std::int64_t t);

} // namespace qmtask
