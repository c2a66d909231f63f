#pragma once

// Short temporary names beside a file being written, and the registry that removes the ones in
// use when SIGINT, SIGTERM or SIGHUP ends the process. A name is short whatever the target's
// length, so that a target of 255 bytes can still be written through one.
//
// The handlers are put in front of the program's own with every registration (so that a handler
// the program installed later is wrapped as well). A signal whose disposition is "ignore" is left
// alone. For one that would end the process, the handler removes the live names
// and ends the process as the default action would. For one the program handles itself (keeper's
// orderly stop, the extractor's cancel between entries), that handler is called and the names
// stay, since the writers finish or discard them; they are removed only when that handler has set
// the default action back to end the process. Needs only the C library.
#include <csignal>
#include <string>
#include <sys/types.h>

namespace platform {

// A new name of the form ".qm" followed by eight letters and digits.
std::string ShortTempName();

// Creates a new file (O_EXCL, never through a link) under a fresh short name in the open folder
// and registers the name: the descriptor, or -1 with errno set. `slot` receives the registry slot
// for ReleaseTempName.
int CreateTempFile(int folderFd, mode_t mode, std::string& name, int& slot);

// Registers `name` in the open folder `folderFd` (which must stay open until the name is
// released) for removal on those signals. Returns the slot, or -1 when the registry is full (the
// name then goes unprotected).
int RegisterTempName(int folderFd, const std::string& name);
// Forgets the name in `slot` (-1 is ignored). Call it once the name is gone or renamed.
void ReleaseTempName(int slot);

// Holds SIGINT, SIGTERM and SIGHUP back on this thread for its lifetime, so that a short sequence
// (create and register, link and rename) is not cut in the middle; they arrive afterwards.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    sigset_t m_saved;
};

} // namespace platform
