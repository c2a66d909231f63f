#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The last result of each scheduled task (when it ran, how many errors, the first error's text),
// kept by keeper in a small file of its own so that the schedule file keeps its format. keeper
// writes it after each run; the control center and qmtask only read it.
namespace tasksched {

struct TaskResult {
    std::uint32_t id = 0;
    std::int64_t time = 0; // when the run started, seconds since 1970
    int errors = 0;
    std::string firstError;
};

using TaskResults = std::map<std::uint32_t, TaskResult>;

// $XDG_STATE_HOME/Quillmark/task-results
std::string LastResultsPath();

// The file's text: a heading line, then one line per task, fields separated by tabs, the error
// text with backslash, tab and line breaks escaped.
std::string FormatLastResults(const TaskResults& results);
// Reads that text. False with a readable reason (and `results` holding what came before the
// fault) on anything else.
bool ParseLastResults(std::string_view text, TaskResults& results, std::string& error);

// Reads the file; a missing file is an empty set of results.
bool ReadLastResults(const std::string& path, TaskResults& results, std::string& error);
// Merges `fresh` into the file under its lock and replaces it atomically. A result older than the
// one already stored for the task is not written over it. A damaged file is replaced by what is
// readable of it plus the fresh results.
bool RecordLastResults(const std::string& path, const std::vector<TaskResult>& fresh, std::string& error);

// Drops the results of tasks that left the schedule (all of them with `all`), so that a task that
// later gets the same id does not show another task's result.
bool ForgetLastResults(const std::string& path, const std::vector<std::uint32_t>& ids, bool all,
                       std::string& error);

// One line for a person: "2026-12-08 17:02:11, 2 errors: <first error>", or "never run".
std::string DescribeResult(const TaskResult* result);

inline constexpr std::size_t kMaxResultsFile = 4 << 20;
inline constexpr std::size_t kMaxErrorText = 2000;

} // namespace tasksched
