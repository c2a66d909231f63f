#pragma once

#include "uikit/Ui.h"

#include <deque>
#include <functional>

namespace uikit {

// The back-end of tests: they queue the answers, run the code, then read back every question that
// was asked, exactly as it was put. A question with no queued answer gets its safe answer and is
// counted in unanswered(), so a test notices a question it did not expect.
class ScriptedBackend : public IUiBackend {
public:
    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    void queueFiles(std::optional<std::vector<std::string>> files) { m_files.push_back(std::move(files)); }
    void queueFolder(std::optional<std::string> folder) { m_folders.push_back(std::move(folder)); }
    void queueText(std::optional<std::string> text) { m_texts.push_back(std::move(text)); }
    // Answers messages before the queue is consulted; returning nothing falls through to it.
    void setMessageHandler(std::function<std::optional<Answer>(const Message&)> handler) {
        m_handler = std::move(handler);
    }
    // What the "Don't show this message again" box of the next messages is set to.
    void setDontShowAgain(bool ticked) { m_dontShowAgain = ticked; }
    // Called on every pumpMessages(), e.g. to press Cancel in the middle of long work.
    void setPumpHandler(std::function<void()> handler) { m_pumpHandler = std::move(handler); }

    const std::vector<Message>& messages() const { return m_messages; }
    const std::vector<FileRequest>& fileRequests() const { return m_fileRequests; }
    const std::vector<FolderRequest>& folderRequests() const { return m_folderRequests; }
    const std::vector<TextRequest>& textRequests() const { return m_textRequests; }
    std::size_t unanswered() const { return m_unanswered; }
    // True when every queued answer was used.
    bool allAnswersUsed() const {
        return m_answers.empty() && m_files.empty() && m_folders.empty() && m_texts.empty();
    }
    struct ShownList {
        std::string title;
        std::vector<std::string> lines;
    };
    const std::vector<ShownList>& lists() const { return m_lists; }
    const std::vector<std::string>& openedUrls() const { return m_urls; }
    // What openUrl() reports (true unless a test says otherwise).
    void setOpenUrlResult(bool result) { m_openUrlResult = result; }
    std::size_t pumpCount() const { return m_pumps; }
    int waitCursorDepth() const { return m_waitDepth; }
    int waitCursorShown() const { return m_waitShown; }
    void clear();

    Answer showMessage(const Message& message) override;
    std::optional<std::vector<std::string>> chooseFiles(const FileRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;
    void pumpMessages() override;
    void setWaitCursor(bool on) override;
    void showList(const std::string& title, const std::vector<std::string>& lines) override;
    bool openUrl(const std::string& url) override;

private:
    std::vector<ShownList> m_lists;
    std::vector<std::string> m_urls;
    bool m_openUrlResult = true;
    bool m_dontShowAgain = false;
    std::deque<Answer> m_answers;
    std::deque<std::optional<std::vector<std::string>>> m_files;
    std::deque<std::optional<std::string>> m_folders;
    std::deque<std::optional<std::string>> m_texts;
    std::function<std::optional<Answer>(const Message&)> m_handler;
    std::function<void()> m_pumpHandler;
    std::vector<Message> m_messages;
    std::vector<FileRequest> m_fileRequests;
    std::vector<FolderRequest> m_folderRequests;
    std::vector<TextRequest> m_textRequests;
    std::size_t m_unanswered = 0;
    std::size_t m_pumps = 0;
    int m_waitDepth = 0;
    int m_waitShown = 0;
};

} // namespace uikit
