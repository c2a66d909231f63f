// qmcenter: the Quillmark control center.
#include "center/windows/WindowEntry.h"
#include "misckit/Startup.h"
#include "platform/Display.h"
#include "platform/ProgramPart.h"
#include "shellkit/ConsoleCommands.h"
#include "uikit/HeadlessBackend.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "Usage: qmcenter [FILE.qms]\n"
                      "       qmcenter FILE.qmp|FILE.qma...   (open encrypted files and archives)\n"
                      "       qmcenter prefs | qs | --wizard [FILE...]\n"
                      "       qmcenter encrypt|decrypt [OPTIONS] PATH...  (qmcenter encrypt --help)\n"
                      "       qmcenter --help | --version\n"
                      "The Quillmark control center: keys, encrypted files, task lists and the schedule.\n";

// True when one of the arguments after the first is `option` (up to a "--" that ends options).
bool Asks(int argc, char** argv, const char* option) {
    for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], option) == 0 ||
            (std::strcmp(option, "--help") == 0 && std::strcmp(argv[i], "-h") == 0))
            return true;
    return false;
}

// The console verbs: "encrypt " or "decrypt " followed by more, the verb in any case. Only the
// verb is compared without regard to case; paths and passwords pass unchanged. Returns the exit
// status, or -1 when the command line is no console command.
int RunConsoleCommand(int argc, char** argv) {
    std::vector<std::string> args;
    if (argc >= 3 && shellkit::IsConsoleVerb(argv[1])) {
        args.assign(argv + 1, argv + argc);
    } else if (argc == 2 && std::strlen(argv[1]) > 8 && argv[1][7] == ' ' &&
               shellkit::IsConsoleVerb(std::string(argv[1], 7))) {
        args = shellkit::SplitCommandLine(argv[1]); // the whole command line as one text
    } else {
        return -1;
    }
    // Questions (the password) are asked on the terminal; no window is created.
    uikit::HeadlessBackend terminal(true);
    uikit::ScopedBackend useTerminal(terminal);
    const int status = shellkit::ProcessCmdLine(args, std::cout, std::cerr);
    // On the error stream, so that standard output holds only what was asked for (a listing, the
    // bytes of -o -).
    std::cerr << "Done." << std::endl;
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("qmcenter (Quillmark) " QM_VERSION);
        return 0;
    }
    if (argc >= 2 && shellkit::IsConsoleVerb(argv[1])) {
        if (Asks(argc, argv, "--help")) {
            std::fputs(shellkit::ConsoleUsage().c_str(), stdout);
            return 0;
        }
        if (Asks(argc, argv, "--version")) {
            std::puts("qmcenter (Quillmark) " QM_VERSION);
            return 0;
        }
    }
    if (argc >= 2 && argv[1][0] == '-') {
        std::fprintf(stderr, "qmcenter: unknown option %s\n%s", argv[1], kUsage);
        return 2;
    }
    // The suite's start-up routines come before the command line is looked at: a first run
    // creates the data folders and the default settings, and every start checks the folders and
    // their permissions. They need no window.
    if (misckit::IsFirstRun())
        misckit::InitFirstRun();
    misckit::StartupCheck(1);
    if (const int status = RunConsoleCommand(argc, argv); status >= 0)
        return status;
    if (!platform::DisplayAvailable()) {
        std::fputs("qmcenter: no display available (set DISPLAY or WAYLAND_DISPLAY to open the window).\n",
                   stderr);
        return 1;
    }
    std::string why;
    void* windowMain = platform::LoadProgramPart(kCenterWindowLibrary, kCenterWindowMainSymbol, why);
    if (!windowMain) {
        std::fprintf(stderr, "qmcenter: the window cannot be opened (%s).\n", why.c_str());
        return 1;
    }
    return reinterpret_cast<CenterWindowMainFn>(windowMain)(argc, argv);
}
