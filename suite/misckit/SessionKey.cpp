#include "misckit/SessionKey.h"

#include "misckit/ErrorList.h"
#include "uikit/Ui.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace misckit {

namespace {

// A text that holds a secret: wiped when it goes.
struct SecretText {
    std::string text;
    bool given = false;
    ~SecretText() { platform::WipeMemory(text.data(), text.size()); }
    // Takes an answer of the uikit services; false when the user cancelled.
    bool take(std::optional<std::string> answer) {
        given = answer.has_value();
        if (given)
            text.swap(*answer);
        if (answer)
            platform::WipeMemory(answer->data(), answer->size());
        return given;
    }
};

std::optional<std::string> AskHidden(const char* prompt, const std::string& initial) {
    return uikit::AskText(uikit::TextRequest{prompt, szAppName, true, initial});
}

void Tell(const char* text) {
    uikit::MessageBox(text, szAppName, uikit::Buttons::OK, uikit::Icon::Information);
}

} // namespace

int GTP(SESSIONKEY_* key) {
    if (!key)
        return 0;
    SecretText initial;
    const int oldLength = std::clamp<int>(key->nPasswordLength, 0, kSessionKeyMaxPassword);
    initial.text.assign(key->szPassword, static_cast<std::size_t>(oldLength));
    while (true) {
        SecretText first;
        if (!first.take(AskHidden("Enter the password:", initial.text)))
            break;
        if (first.text.empty()) {
            Tell("Please enter a password.");
            continue;
        }
        if (first.text.size() > static_cast<std::size_t>(kSessionKeyMaxPassword)) {
            Tell("The password is too long. The maximum password length is 300 characters.");
            continue;
        }
        // A password the caller already had needs no second typing; a new one does, because a
        // mistyped encryption password would lock the files away for good.
        if (first.text != initial.text) {
            SecretText second;
            if (!second.take(AskHidden("Confirm the password:", std::string())))
                break;
            if (second.text != first.text) {
                Tell("The passwords do not match. Please type them again.");
                continue;
            }
        }
        WipeSessionKey(*key);
        key->nKind = kSessionKeyPassword;
        key->nPasswordLength = static_cast<std::int32_t>(first.text.size());
        std::memcpy(key->szPassword, first.text.data(), first.text.size());
        return 1;
    }
    WipeSessionKey(*key);
    return 0;
}

} // namespace misckit
