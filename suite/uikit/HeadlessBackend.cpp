#include "uikit/HeadlessBackend.h"

#include "platform/Display.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace uikit {
namespace {

const char* ButtonPrompt(Buttons b) {
    switch (b) {
    case Buttons::OK:
        return "";
    case Buttons::OKCancel:
        return " [o]k/[c]ancel";
    case Buttons::YesNo:
        return " [y]es/[n]o";
    case Buttons::YesNoCancel:
        return " [y]es/[n]o/[c]ancel";
    case Buttons::RetryCancel:
        return " [r]etry/[c]ancel";
    }
    return "";
}

std::optional<Answer> ParseAnswer(Buttons b, const std::string& line) {
    if (line.empty())
        return std::nullopt;
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    const std::pair<char, Answer> map[] = {{'o', Answer::OK},
                                           {'c', Answer::Cancel},
                                           {'y', Answer::Yes},
                                           {'n', Answer::No},
                                           {'r', Answer::Retry}};
    for (const auto& [key, answer] : map) {
        Message probe{"", "", b, Icon::None, answer};
        if (key == c && SafeAnswer(probe) == answer)
            return answer;
    }
    return std::nullopt;
}

} // namespace

bool HeadlessBackend::interactive() const {
    return m_useTerminal && ::isatty(STDIN_FILENO);
}

bool HeadlessBackend::ReadTerminalLine(std::string& line, bool hidden) {
    termios old{};
    const bool tty = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (hidden && tty) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    if (hidden && tty) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::fputc('\n', stderr);
    }
    if (ok && !line.empty() && line.back() == '\r')
        line.pop_back();
    return ok;
}

Answer HeadlessBackend::showMessage(const Message& message) {
    std::fprintf(m_out, "%s: %s\n", message.caption.c_str(), message.text.c_str());
    if (!interactive() || message.buttons == Buttons::OK) {
        std::fflush(m_out);
        return SafeAnswer(message);
    }
    while (true) {
        std::fprintf(m_out, "%s ", ButtonPrompt(message.buttons) + 1);
        std::fflush(m_out);
        std::string line;
        if (!ReadTerminalLine(line, false))
            return SafeAnswer(message);
        if (line.empty() && message.defaultAnswer)
            return SafeAnswer(message);
        if (auto a = ParseAnswer(message.buttons, line))
            return *a;
    }
}

std::optional<std::vector<std::string>> HeadlessBackend::chooseFiles(const FileRequest& request) {
    if (!interactive()) {
        std::fprintf(m_out, "%s: no file chooser without a display.\n", request.title.c_str());
        return std::nullopt;
    }
    std::fprintf(m_out, "%s (path, empty to cancel): ", request.title.c_str());
    std::fflush(m_out);
    std::string line;
    if (!ReadTerminalLine(line, false) || line.empty())
        return std::nullopt;
    if (request.save && !request.defaultExtension.empty() &&
        line.find('.', line.rfind('/') + 1) == std::string::npos)
        line += "." + request.defaultExtension;
    return std::vector<std::string>{line};
}

std::optional<std::string> HeadlessBackend::chooseFolder(const FolderRequest& request) {
    if (!interactive()) {
        std::fprintf(m_out, "%s: no folder chooser without a display.\n", request.windowTitle.c_str());
        return std::nullopt;
    }
    std::fprintf(m_out, "%s (folder, empty to cancel): ", request.title.c_str());
    std::fflush(m_out);
    std::string line;
    if (!ReadTerminalLine(line, false) || line.empty())
        return std::nullopt;
    return line;
}

std::optional<std::string> HeadlessBackend::askText(const TextRequest& request) {
    if (!interactive()) {
        std::fprintf(m_out, "%s: %s (no terminal to ask on)\n", request.caption.c_str(),
                     request.prompt.c_str());
        std::fflush(m_out);
        return std::nullopt;
    }
    std::fprintf(m_out, "%s ", request.prompt.c_str());
    std::fflush(m_out);
    std::string line;
    if (!ReadTerminalLine(line, request.hidden))
        return std::nullopt;
    return line;
}

void HeadlessBackend::showList(const std::string& title, const std::vector<std::string>& lines) {
    std::fprintf(m_out, "%s:\n", title.c_str());
    for (const auto& line : lines)
        std::fprintf(m_out, "  %s\n", line.c_str());
    std::fflush(m_out);
}

bool HeadlessBackend::openUrl(const std::string& url) {
    if (!platform::DisplayAvailable()) {
        std::fprintf(m_out, "Open this page in a browser: %s\n", url.c_str());
        std::fflush(m_out);
        return false;
    }
    // xdg-open may stay for as long as the browser runs, so it is started through an
    // intermediate child that ends at once; the browser is not our child and leaves no zombie.
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, STDIN_FILENO);
            ::dup2(devnull, STDOUT_FILENO);
        }
        pid_t opener = 0;
        char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()), nullptr};
        const int rc = ::posix_spawnp(&opener, "xdg-open", nullptr, nullptr, argv, environ);
        ::_exit(rc == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok)
        std::fprintf(m_out, "Cannot start xdg-open; open this page in a browser: %s\n", url.c_str());
    return ok;
}

} // namespace uikit
