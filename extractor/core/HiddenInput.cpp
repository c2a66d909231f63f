#include "extractor/core/HiddenInput.h"

#include <cerrno>
#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace sfx {
namespace {

volatile std::sig_atomic_t g_echoOff = 0;
termios g_savedTerminal{};

} // namespace

void RestoreTerminalEcho() {
    if (g_echoOff)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
}

bool ReadHiddenLine(const char* prompt, std::FILE* promptTo, std::string& line) {
    if (::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0)
        return false;
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    g_echoOff = 1;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::fputs(prompt, promptTo);
    std::fflush(promptTo);
    // Byte by byte, so that nothing after the line is taken from whoever reads standard input next.
    line.clear();
    for (char c;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        if (line.size() < 4096)
            line += c;
    }
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    g_echoOff = 0;
    std::fputs("\n", promptTo);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace sfx
