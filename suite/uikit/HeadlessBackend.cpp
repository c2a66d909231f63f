#include "uikit/HeadlessBackend.h"

#include "platform/DetachedProcess.h"
#include "platform/Display.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <termios.h>
#include <unistd.h>

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
    // xdg-open may stay for as long as the browser runs: it is started detached, so the browser
    // is not our child and leaves no zombie.
    std::string reason;
    const bool ok = platform::StartDetached("xdg-open", {url}, reason);
    if (!ok)
        std::fprintf(m_out, "Cannot start xdg-open; open this page in a browser: %s\n", url.c_str());
    return ok;
}

} // namespace uikit
