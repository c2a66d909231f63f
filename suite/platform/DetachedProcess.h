#pragma once

// Starting a program that outlives its starter: keeper, the desktop's URL opener.
#include <string>
#include <vector>

namespace platform {

// Starts `program` with `arguments` (argv[1] onwards) in a session of its own, as a grandchild
// that is not our child, so it leaves no zombie and no terminal signal reaches it. It starts in
// "/", with standard input, output and error on /dev/null, the default actions for SIGINT and
// SIGPIPE, and none of the caller's other descriptors (sockets, locks, files being written).
// `program` without a slash is looked up in PATH. True once the program is running; false with
// the reason when it could not be started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments, std::string& error);

} // namespace platform
