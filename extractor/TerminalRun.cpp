#include "extractor/TerminalRun.h"

#include "extractor/core/HiddenInput.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace extractor {
namespace {

constexpr std::size_t kMaxPasswordLength = 1023;

volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_extracting = 0;

// At the prompts Ctrl-C ends the program, with the terminal's echo restored. During the run it
// takes effect between entries, like the window's cancel question, so that the entry being
// written is completed rather than left behind.
void OnInterrupt(int signal) {
    if (g_extracting) {
        g_interrupted = 1;
        return;
    }
    sfx::RestoreTerminalEcho();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

bool ReadLine(std::string& line) {
    if (!std::getline(std::cin, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

int RunInTerminal(const sfx::OwnFile& own) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);

    const bool interactive = ::isatty(STDIN_FILENO);
    std::string password, folder;
    if (interactive) {
        sfx::ReadHiddenLine("Password: ", stdout, password);
        std::fputs("Extract into folder: ", stdout);
        std::fflush(stdout);
        ReadLine(folder);
    } else {
        ReadLine(password);
        ReadLine(folder);
    }
    if (password.size() > kMaxPasswordLength)
        password.resize(kMaxPasswordLength);

    g_extracting = 1;
    sfx::ExtractHooks hooks;
    hooks.announce = [](const sfx::SfxEntry&, const std::string& relative, std::size_t, std::size_t) {
        std::fputs(("Extracting: " + relative + "\n").c_str(), stdout);
    };
    hooks.keepGoing = [] { return g_interrupted == 0; };
    try {
        sfx::ExtractAll(own, password, folder, hooks);
    } catch (const sfx::EException& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (...) {
        std::fflush(stdout);
        std::fputs("Unhandled error.\n", stderr);
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

} // namespace extractor
