#pragma once

#include "uikit/Ui.h"

#include <cstdio>

namespace uikit {

// The back-end of programs without windows. Every message is written to the error stream as
// "caption: text". Without a terminal (keeper, scripts) nothing blocks: each question gets its
// safe answer and choosers are cancelled. With `useTerminal` and a terminal on standard input,
// questions are asked there (text prompts without echo when hidden).
class HeadlessBackend : public IUiBackend {
public:
    explicit HeadlessBackend(bool useTerminal = false, std::FILE* out = stderr)
        : m_useTerminal(useTerminal), m_out(out) {}

    Answer showMessage(const Message& message) override;
    std::optional<std::vector<std::string>> chooseFiles(const FileRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;
    void pumpMessages() override {}
    void setWaitCursor(bool) override {}
    // The title and then each line, indented, on the error stream.
    void showList(const std::string& title, const std::vector<std::string>& lines) override;
    // With a display, hands the address to xdg-open (detached); without one, prints it so the
    // user can open it elsewhere, and reports false.
    bool openUrl(const std::string& url) override;

    // Reads one line from the terminal, without echo when `hidden`. False at end of input.
    static bool ReadTerminalLine(std::string& line, bool hidden);

private:
    bool interactive() const;

    bool m_useTerminal;
    std::FILE* m_out;
};

} // namespace uikit
