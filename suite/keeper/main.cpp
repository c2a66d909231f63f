// keeper: the background scheduler host. It keeps the session key store, runs the stored
// schedule and answers the commands of the control center and qmtask.
#include "keeper/Keeper.h"

#include "uikit/HeadlessBackend.h"
#include "uikit/Ui.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: keeper MODE\n"
                      "The Quillmark background scheduler.\n"
                      "\n"
                      "Modes:\n"
                      "  scheduler   run the stored schedule\n"
                      "  seskey      keep the session key store only\n"
                      "  startup     run the schedule after the user logged in (start-up pass)\n"
                      "  --help      show this text\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    keeper::Mode mode;
    if (argc == 2 && std::strcmp(argv[1], "scheduler") == 0)
        mode = keeper::Mode::Scheduler;
    else if (argc == 2 && std::strcmp(argv[1], "seskey") == 0)
        mode = keeper::Mode::SessionKey;
    else if (argc == 2 && std::strcmp(argv[1], "startup") == 0)
        mode = keeper::Mode::Startup;
    else {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Nobody sits at keeper: whatever a task would ask gets the safe answer and goes to the log.
    uikit::HeadlessBackend backend(false);
    uikit::ScopedBackend scoped(backend);
    return keeper::Run(mode);
}
