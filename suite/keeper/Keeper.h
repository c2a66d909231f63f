#pragma once

#include <cstdint>
#include <string>

class CAction;

namespace keeper {

enum class Mode { Scheduler, SessionKey, Startup };

// Runs keeper until it is told to end (SIGTERM, SIGINT or SIGHUP). Returns the exit code: 0, or
// 1 when another keeper of this user already runs (it is then sent the command the mode asks
// for) or the shared objects cannot be made.
int Run(Mode mode);

// The log, $XDG_STATE_HOME/Quillmark/keeper.log: one time-stamped line per call.
void Log(const std::string& line);
std::string LogPath();

// Runs one task copy the way the control center's "Run task" does, without windows. Appends
// the run's error lines and summary to the log; true when the task ran without errors.
bool RunTask(CAction* task);

} // namespace keeper
