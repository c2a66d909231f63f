#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CAction;

namespace tasksched {
struct TaskResult;
}

namespace keeper {

enum class Mode { Scheduler, SessionKey, Startup };

// Runs keeper until it is told to end (SIGTERM, SIGINT or SIGHUP). Returns the exit code: 0, or
// 1 when another keeper of this user already runs (it is then sent the command the mode asks
// for) or the shared objects cannot be made.
int Run(Mode mode);

// The log, $XDG_STATE_HOME/Quillmark/keeper.log: one time-stamped line per call.
void Log(const std::string& line);
std::string LogPath();

// Runs task copies the way the control center runs a task list, without windows: as one run,
// encrypt tasks first, so a delete task never removes what an encrypt task of the run selected
// and did not encrypt. Appends the run's error lines and summary to the log; true when the run
// had no errors. With `results`, each task's result (by the task's id, in the order given).
bool RunTasks(const std::vector<CAction*>& tasks, std::vector<tasksched::TaskResult>* results = nullptr);
inline bool RunTask(CAction* task) {
    return RunTasks({task});
}

} // namespace keeper
