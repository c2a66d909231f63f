#include "uikit/ScriptedBackend.h"

namespace uikit {
namespace {

template <typename T, typename Fallback>
T TakeNext(std::deque<T>& queue, std::size_t& unanswered, Fallback fallback) {
    if (queue.empty()) {
        ++unanswered;
        return fallback();
    }
    T value = queue.front(); // a copy: moving out trips a false gcc 12 warning
    queue.pop_front();
    return value;
}

} // namespace

void ScriptedBackend::clear() {
    *this = ScriptedBackend();
}

Answer ScriptedBackend::showMessage(const Message& message) {
    m_messages.push_back(message);
    if (message.dontShowAgain)
        *message.dontShowAgain = m_dontShowAgain;
    if (m_handler)
        if (auto a = m_handler(message))
            return *a;
    return TakeNext(m_answers, m_unanswered, [&] { return SafeAnswer(message); });
}

std::optional<std::vector<std::string>> ScriptedBackend::chooseFiles(const FileRequest& request) {
    m_fileRequests.push_back(request);
    return TakeNext(m_files, m_unanswered, [] { return std::optional<std::vector<std::string>>(); });
}

std::optional<std::string> ScriptedBackend::chooseFolder(const FolderRequest& request) {
    m_folderRequests.push_back(request);
    return TakeNext(m_folders, m_unanswered, [] { return std::optional<std::string>(); });
}

std::optional<std::string> ScriptedBackend::askText(const TextRequest& request) {
    m_textRequests.push_back(request);
    return TakeNext(m_texts, m_unanswered, [] { return std::optional<std::string>(); });
}

void ScriptedBackend::pumpMessages() {
    ++m_pumps;
    if (m_pumpHandler)
        m_pumpHandler();
}

void ScriptedBackend::setWaitCursor(bool on) {
    m_waitDepth += on ? 1 : -1;
    if (on)
        ++m_waitShown;
}

void ScriptedBackend::showList(const std::string& title, const std::vector<std::string>& lines) {
    m_lists.push_back(ShownList{title, lines});
}

bool ScriptedBackend::openUrl(const std::string& url) {
    m_urls.push_back(url);
    return m_openUrlResult;
}

} // namespace uikit
