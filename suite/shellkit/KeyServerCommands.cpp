#include "shellkit/KeyServerCommands.h"

#include "corecrypt/KeyRing.h"
#include "misckit/Registry.h"
#include "netkit/KeyServ.h"
#include "shellkit/KeyRings.h"
#include "uikit/Ui.h"

namespace shellkit {
namespace {

const char kAppName[] = "Quillmark";
const char kNoRing[] = "Cannot find the name of public keys file. Check the \"Paths\" settings.";

void ShowError(const std::string& text) {
    uikit::MessageBox(text, "Error", uikit::Buttons::OK, uikit::Icon::Warning);
}

bool SelectedOwnKey(const CPublicKey* key, const CPrivateKey* own, const char* verb) {
    if (!key) {
        uikit::MessageBox("Select a key, please.", "");
        return false;
    }
    if (!own) {
        uikit::MessageBox(
            std::string("The private key, corresponding to this public key, is not found. You can ") + verb +
                " only your own public keys. Please check the path to the private key file in the "
                "program settings.",
            kAppName, uikit::Buttons::OK, uikit::Icon::Information);
        return false;
    }
    return true;
}

bool Ask(const std::string& question) {
    return uikit::MessageBox(question, kAppName, uikit::Buttons::YesNo, uikit::Icon::Question) ==
           uikit::Answer::Yes;
}

} // namespace

void UseKeyServerFromSettings() {
    const CQMRegistry settings;
    NetKit::KeyServ::SetServer(settings.GetKeyServer(), settings.GetAllowPlainHttp() != 0);
}

bool PublishKeyOnServer(const CPublicKey* key, const CPrivateKey* own) {
    if (!SelectedOwnKey(key, own, "publish"))
        return false;
    if (!Ask(std::string("The public key for the email: ") + key->GetEmail() +
             " will be published.\nClick \"Yes\" to proceed, or \"No\" to cancel."))
        return false;
    UseKeyServerFromSettings();
    char text[2000] = "";
    if (!NetKit::KeyServ::PublishKey(key->GetEnvelop(), static_cast<int>(key->m_nEnvelopLen), *own, text,
                                     sizeof text)) {
        ShowError(text);
        return false;
    }
    // The server's own word (a confirmation mail is on its way) follows the usual message.
    const std::string server = text;
    uikit::MessageBox("The key has been successfully published." + (server.empty() ? "" : "\n\n" + server),
                      "Success", uikit::Buttons::OK, uikit::Icon::Information);
    return false;
}

bool RevokeKeyFromServer(const CPublicKey* key, const CPrivateKey* own,
                         const std::function<std::optional<std::string>()>& askCode) {
    if (!SelectedOwnKey(key, own, "revoke"))
        return false;
    if (!Ask(std::string(
                 "Key revocation cannot be undone. Are you sure you want to revoke a public key for this "
                 "email:\n\n ") +
             key->GetEmail() + " ?"))
        return false;
    const std::optional<std::string> code = askCode();
    if (!code)
        return false;
    UseKeyServerFromSettings();
    char text[2000] = "";
    if (code->empty()) {
        if (!NetKit::KeyServ::InitKeyRevocation(key->GetKeyIDPbyte(), text, sizeof text))
            ShowError(text);
        else
            uikit::MessageBox(
                "Key revocation initiated successfully. Please check your mail inbox for the revocation "
                "code and after that, make a new revocation request with the revocation code to "
                "complete revocation.",
                kAppName, uikit::Buttons::OK, uikit::Icon::Information);
        return false;
    }
    std::unique_ptr<CPrivateKey> revoked;
    if (!NetKit::KeyServ::CompleteKeyRevocation(key->GetKeyIDPbyte(), code->c_str(), *own, revoked, text,
                                                sizeof text)) {
        ShowError(text);
        return false;
    }
    uikit::MessageBox("Key has been successfully revoked.", "Success", uikit::Buttons::OK,
                      uikit::Icon::Information);
    std::string publicRing, privateRing;
    if (!GetPubKeyFileName(publicRing, nullptr, 0) || publicRing.empty() ||
        !GetPrivKeyFileName(privateRing, nullptr, 0) || privateRing.empty()) {
        ShowError(kNoRing);
        return false;
    }
    // The revoked revision replaces the old one in place, in the private ring and the public ring.
    if (!AddPrivateKeyToFile(*revoked, privateRing.c_str(), publicRing.c_str(), text, sizeof text)) {
        ShowError(text);
        return false;
    }
    return true;
}

bool SynchronizeKeysWithServer(const std::vector<const CPublicKey*>& keys,
                               const std::function<bool(const CPublicKey&)>& isOwn, std::int64_t now) {
    if (!Ask("Local copies of public keys will be synchronized with the latest versions on key "
             "server.\nClick \"Yes\" "
             "to proceed, or \"No\" to cancel."))
        return false;
    std::string ring;
    if (!GetPubKeyFileName(ring, nullptr, 0) || ring.empty()) {
        ShowError(kNoRing);
        return false;
    }
    UseKeyServerFromSettings();
    char text[2000] = "";
    bool changedRing = false;
    for (const CPublicKey* stored : keys) {
        if (!stored || (stored->GetExpireTime() != 0 && stored->GetExpireTime() < now) ||
            stored->m_bRevoked || isOwn(*stored))
            continue;
        auto key = stored->Clone();
        bool changed = false;
        if (!NetKit::KeyServ::SynchronizeKey(key, changed, text, sizeof text)) {
            ShowError(text);
            return changedRing;
        }
        // A newer copy replaces the old one at its ring position; then the status is written.
        if ((changed && !AddPublicKeyToFile(*key, ring.c_str(), text, sizeof text)) ||
            !SetKeyState(*key, ring.c_str(), text, sizeof text)) {
            ShowError(text);
            return true;
        }
        changedRing = true;
    }
    uikit::MessageBox("Keys have been successfully synchronized,", "Success", uikit::Buttons::OK,
                      uikit::Icon::Information);
    return changedRing;
}

} // namespace shellkit
