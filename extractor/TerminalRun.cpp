#include "extractor/TerminalRun.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace extractor {
namespace {

constexpr std::size_t kMaxPasswordLength = 1023;

volatile std::sig_atomic_t g_interrupted = 0;

// Ctrl-C takes effect between entries, like the window's cancel question, so that the entry
// being written is finished rather than left behind as a temporary file.
void OnInterrupt(int) {
    g_interrupted = 1;
}

bool ReadLine(std::string& line) {
    if (!std::getline(std::cin, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::string ReadHidden() {
    termios saved{};
    const bool tty = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    ReadLine(line);
    if (tty) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stdout);
    }
    return line;
}

} // namespace

int RunInTerminal(const sfx::OwnFile& own) {
    const bool interactive = ::isatty(STDIN_FILENO);
    std::string password, folder;
    if (interactive) {
        std::fputs("Password: ", stdout);
        std::fflush(stdout);
        password = ReadHidden();
        std::fputs("Extract into folder: ", stdout);
        std::fflush(stdout);
        ReadLine(folder);
    } else {
        ReadLine(password);
        ReadLine(folder);
    }
    if (password.size() > kMaxPasswordLength)
        password.resize(kMaxPasswordLength);

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);

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
