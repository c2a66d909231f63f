#include "misckit/HiddenMessages.h"

#include "misckit/Registry.h"

#include <algorithm>

namespace misckit {
namespace {

const char kHiddenMessages[] = "HiddenMessages";

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> ids;
    std::string id;
    for (char c : text + ";") {
        if (c == ';') {
            if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
            id.clear();
        } else {
            id += c;
        }
    }
    return ids;
}

int Store(const std::vector<std::string>& ids) {
    if (ids.empty())
        return CQMRegistry().DeleteValue(kHiddenMessages);
    std::string text;
    for (const auto& id : ids)
        text += (text.empty() ? "" : ";") + id;
    return CQMRegistry().WriteString(kHiddenMessages, text);
}

} // namespace

const std::vector<HideableMessage>& HideableMessages() {
    static const std::vector<HideableMessage> messages = {
        {"OpenOutputFolder", "Open the output folder after decrypting"},
        {"WeakCipher", "Why ECB mode and Triple-DES are not recommended"},
        {"WipeLimits", "What wiping cannot promise on SSDs and copy-on-write file systems"},
    };
    return messages;
}

std::vector<std::string> HiddenMessageIds() {
    std::string text;
    if (!CQMRegistry().ReadStringEx(kHiddenMessages, text))
        return {};
    return Split(text);
}

bool IsMessageHidden(const std::string& id) {
    const auto ids = HiddenMessageIds();
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

int HideMessage(const std::string& id) {
    // The separator cannot be part of an id: it would split into two.
    if (id.empty() || id.find(';') != std::string::npos)
        return 0;
    auto ids = HiddenMessageIds();
    if (std::find(ids.begin(), ids.end(), id) != ids.end())
        return 1;
    ids.push_back(id);
    return Store(ids);
}

int ShowMessageAgain(const std::string& id) {
    auto ids = HiddenMessageIds();
    const auto end = std::remove(ids.begin(), ids.end(), id);
    if (end == ids.end())
        return 1;
    ids.erase(end, ids.end());
    return Store(ids);
}

int ShowAllMessagesAgain() {
    return Store({});
}

uikit::Answer ShowHideableMessage(const std::string& id, uikit::Message message, uikit::Answer whenHidden) {
    if (IsMessageHidden(id))
        return whenHidden;
    bool dontShowAgain = false;
    message.dontShowAgain = &dontShowAgain;
    const uikit::Answer answer = uikit::ShowMessage(message);
    if (dontShowAgain)
        HideMessage(id);
    return answer;
}

} // namespace misckit
