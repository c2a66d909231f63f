// keeper: the background scheduler host. It keeps the session key store, runs the stored
// schedule and answers the commands of the control center and qmtask.
#include "keeper/Keeper.h"

#include "uikit/HeadlessBackend.h"
#include "uikit/Ui.h"

#include <QCoreApplication>

#include <clocale>
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
                      "  --help      show this text\n"
                      "  --version   show the version\n"
                      "It is started by qmcenter, qmtask schedule start and the desktop session.\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("keeper (Quillmark) " QM_VERSION);
            return 0;
        }
    }
    if (argc >= 2 && (argc > 2 || argv[1][0] == '-' ||
                      (std::strcmp(argv[1], "scheduler") && std::strcmp(argv[1], "seskey") &&
                       std::strcmp(argv[1], "startup")))) {
        const char* what = argc > 2 ? argv[2] : argv[1];
        std::fprintf(stderr, "keeper: unknown %s %s\n%s",
                     what[0] == '-' ? "option"
                     : argc > 2     ? "argument"
                                    : "mode",
                     what, kUsage);
        return 2;
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
    // The desktop notifications go over D-Bus, which wants an application object; numbers keep
    // the C form whatever the user's locale.
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    uikit::ScopedBackend scoped(backend);
    return keeper::Run(mode);
}
