#pragma once

#include <string>

// Starting and asking the background scheduler host, keeper.
namespace misckit {

// Starts the keeper program of the program folder with one argument word ("scheduler",
// "seskey", "startup"), detached from the caller: it gets its own session, its standard streams
// go to /dev/null and it is not the caller's child (no zombie, it outlives the caller). Non-zero
// when the program was started; otherwise the reason goes into errorText (when given, cut to
// errorTextSize bytes with the final zero).
int StartKeeper(const char* argument, char* errorText, int errorTextSize);

// Non-zero when keeper answers on its command socket.
int IsKeeperRunning();
// Non-zero when keeper answers and reports that its scheduler runs.
int IsSchedulerRunning();

// The keeper program StartKeeper starts: "<program folder>/keeper", or the program set here
// (tests; empty restores the default).
std::string KeeperProgramPath();
void SetKeeperProgramForTesting(const std::string& path);

} // namespace misckit
