#pragma once

#include <cstdint>
#include <string>

// Starting and asking the background scheduler host, keeper.
namespace misckit {

// Starts the keeper program of the program folder with one argument word ("scheduler",
// "seskey", "startup"), detached from the caller: it gets its own session, its standard streams
// go to /dev/null and it is not the caller's child (no zombie, it outlives the caller). Non-zero
// when the program was started; otherwise the reason goes into errorText (when given, cut to
// errorTextSize bytes with the final zero).
int StartKeeper(const char* argument, char* errorText, int errorTextSize);

// Non-zero when keeper's command socket takes connections (keeper may be busy all the same).
int IsKeeperRunning();
// Non-zero when keeper runs and its scheduler is on, busy with a task or not.
int IsSchedulerRunning();

struct KeeperStatus {
    bool running = false;         // keeper's command socket takes connections
    bool answered = false;        // it answered the query in time
    bool scheduler = false;       // its scheduler is on
    bool sessionKeyStore = false; // it holds the session key store
    std::uint32_t busyTask = 0;   // the id of the task it runs now; 0 when it runs none
};
// keeper's state: its answer to a query, or, when it is busy running a task and cannot answer,
// the state it published (see KeeperProtocol.h).
KeeperStatus GetKeeperStatus();

// The keeper program StartKeeper starts: "<program folder>/keeper", or the program set here
// (tests; empty restores the default).
std::string KeeperProgramPath();
void SetKeeperProgramForTesting(const std::string& path);

} // namespace misckit
