#include "uikit/Ui.h"

#include "uikit/HeadlessBackend.h"

namespace uikit {
namespace {

HeadlessBackend& DefaultBackend() {
    static HeadlessBackend backend;
    return backend;
}

IUiBackend* g_backend = nullptr;

bool Offers(Buttons b, Answer a) {
    switch (b) {
    case Buttons::OK:
        return a == Answer::OK;
    case Buttons::OKCancel:
        return a == Answer::OK || a == Answer::Cancel;
    case Buttons::YesNo:
        return a == Answer::Yes || a == Answer::No;
    case Buttons::YesNoCancel:
        return a == Answer::Yes || a == Answer::No || a == Answer::Cancel;
    case Buttons::RetryCancel:
        return a == Answer::Retry || a == Answer::Cancel;
    }
    return false;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

} // namespace

Answer SafeAnswer(const Message& message) {
    if (message.defaultAnswer && Offers(message.buttons, *message.defaultAnswer))
        return *message.defaultAnswer;
    for (Answer a : {Answer::Cancel, Answer::No, Answer::OK})
        if (Offers(message.buttons, a))
            return a;
    return Answer::OK;
}

std::vector<FilterEntry> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    std::vector<FilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break; // the closing "||"
        FilterEntry e;
        e.description = parts[i];
        std::string p;
        for (char c : parts[i + 1] + ";") {
            if (c == ';') {
                if (!Trim(p).empty())
                    e.patterns.push_back(Trim(p));
                p.clear();
            } else {
                p += c;
            }
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

IUiBackend& Backend() {
    return g_backend ? *g_backend : DefaultBackend();
}

IUiBackend* SetBackend(IUiBackend* backend) {
    IUiBackend* previous = g_backend;
    g_backend = backend;
    return previous;
}

Answer ShowMessage(const Message& message) {
    return Backend().showMessage(message);
}

Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons, Icon icon) {
    return ShowMessage(Message{text, caption, buttons, icon, std::nullopt});
}

std::optional<std::vector<std::string>> ChooseFiles(const FileRequest& request) {
    return Backend().chooseFiles(request);
}

std::optional<std::string> ChooseFolder(const FolderRequest& request) {
    return Backend().chooseFolder(request);
}

std::optional<std::string> AskText(const TextRequest& request) {
    return Backend().askText(request);
}

void PumpMessages() {
    Backend().pumpMessages();
}

void IUiBackend::showList(const std::string& title, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    showMessage(Message{text, title, Buttons::OK, Icon::None, std::nullopt});
}

bool IUiBackend::openUrl(const std::string&) {
    return false;
}

void ShowList(const std::string& title, const std::vector<std::string>& lines) {
    Backend().showList(title, lines);
}

bool OpenUrl(const std::string& url) {
    return Backend().openUrl(url);
}

} // namespace uikit
