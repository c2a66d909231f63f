#include "shellkit/KeyPairGenerator.h"

#include "shellkit/KeyRings.h"
#include "uikit/Ui.h"

#include <optional>

namespace shellkit {
namespace {

IKeyPairWindow* g_window = nullptr;
constexpr char kCaption[] = "Generate Key Pair";

std::optional<std::string> Ask(const std::string& prompt, bool hidden = false,
                               const std::string& initial = {}) {
    uikit::TextRequest request;
    request.prompt = prompt;
    request.caption = kCaption;
    request.hidden = hidden;
    request.initialText = initial;
    return uikit::AskText(request);
}

int Refuse(const std::string& text) {
    uikit::MessageBox(text, "Error", uikit::Buttons::OK, uikit::Icon::Warning);
    return kKeyPairCancelled;
}

// The generator as questions, for programs without windows.
int AskAndGenerate() {
    KeyPairRequest request;
    const auto name = Ask("Name:");
    if (!name)
        return kKeyPairCancelled;
    const auto email = Ask("E-mail:");
    if (!email)
        return kKeyPairCancelled;
    const auto expiry = Ask("Expires (YYYY-MM-DD, or never):", false, "never");
    if (!expiry)
        return kKeyPairCancelled;
    if (!ParseExpiryDate(*expiry, request.expires))
        return Refuse("The expiry date \"" + *expiry + "\" is not a date of the form YYYY-MM-DD.");
    const auto first = Ask("Passphrase:", true);
    if (!first)
        return kKeyPairCancelled;
    const auto second = Ask("Repeat the passphrase:", true);
    if (!second)
        return kKeyPairCancelled;
    if (*first != *second)
        return Refuse("The passphrases do not match.");
    request.name = *name;
    request.email = *email;
    request.passphrase = *first;
    std::string keyId;
    std::string error;
    if (!CreateKeyPair(request, keyId, error))
        return Refuse(error);
    return kKeyPairGenerated;
}

} // namespace

IKeyPairWindow* SetKeyPairWindow(IKeyPairWindow* window) {
    IKeyPairWindow* previous = g_window;
    g_window = window;
    return previous;
}

int GenerateKeyPair() {
    return g_window ? g_window->Run() : AskAndGenerate();
}

} // namespace shellkit
