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
volatile std::sig_atomic_t g_extracting = 0;
volatile std::sig_atomic_t g_echoOff = 0;
termios g_savedTerminal{};

// At the prompts Ctrl-C ends the program, with the terminal's echo restored. During the run it
// takes effect between entries, like the window's cancel question, so that the entry being
// written is completed rather than left behind.
void OnInterrupt(int signal) {
    if (g_extracting) {
        g_interrupted = 1;
        return;
    }
    if (g_echoOff)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
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

// The prompt appears only once echo is off, so that nothing typed after it is discarded or shown.
std::string ReadHidden(const char* prompt) {
    const bool tty = ::tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    if (tty) {
        termios quiet = g_savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        g_echoOff = 1;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    std::string line;
    ReadLine(line);
    if (tty) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        g_echoOff = 0;
        std::fputs("\n", stdout);
    }
    return line;
}

} // namespace

int RunInTerminal(const sfx::OwnFile& own) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);

    const bool interactive = ::isatty(STDIN_FILENO);
    std::string password, folder;
    if (interactive) {
        password = ReadHidden("Password: ");
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
