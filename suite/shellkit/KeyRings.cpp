#include "shellkit/KeyRings.h"

#include "shellkit/PrefsChecks.h"

#include "corecrypt/ErrorText.h"
#include "corecrypt/KeyRing.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "uikit/Ui.h"

#include <cctype>
#include <ctime>

namespace shellkit {
namespace {

int RingPath(std::string path, const char* what, std::string& name, char* errorText, int errorTextSize) {
    name = std::move(path);
    if (name.empty()) {
        corecrypt::SetErrorText(errorText, errorTextSize,
                                std::string("No ") + what + " keys file is set in the \"Paths\" settings.");
        return 0;
    }
    return 1;
}

} // namespace

bool ConvertOldKeyRings(std::string& error) {
    std::string pub;
    std::string sec;
    if (!GetPubKeyFileName(pub, nullptr, 0) || !GetPrivKeyFileName(sec, nullptr, 0)) {
        error = "No public or private keys file is set in the \"Paths\" settings.";
        return false;
    }
    return corecrypt::ConvertRing(pub, corecrypt::RingKind::Public, error) &&
           corecrypt::ConvertRing(sec, corecrypt::RingKind::Private, error);
}

int GetPubKeyFileName(std::string& name, char* errorText, int errorTextSize) {
    return RingPath(misckit::GetPubKeyFileName(), "public", name, errorText, errorTextSize);
}

int GetPrivKeyFileName(std::string& name, char* errorText, int errorTextSize) {
    return RingPath(misckit::GetPrivKeyFileName(), "private", name, errorText, errorTextSize);
}

int HandleOldVersionOfPKFiles() {
    std::string error;
    if (ConvertOldKeyRings(error))
        return 1;
    uikit::MessageBox("The key rings could not be converted to the current format.\n" + error,
                      misckit::szAppName, uikit::Buttons::OK, uikit::Icon::Warning);
    return 0;
}

bool CheckNameAndEmail(const std::string& name, const std::string& email, std::string& error) {
    return corecrypt::CheckKeyIdentity(name, email, error);
}

bool CreateKeyPair(const KeyPairRequest& request, std::string& keyId, std::string& error) {
    std::string pub;
    std::string sec;
    if (!ConvertOldKeyRings(error) || !GetPubKeyFileName(pub, nullptr, 0) ||
        !GetPrivKeyFileName(sec, nullptr, 0))
        return false;
    auto key = CPrivateKey::Generate(request.name, request.email, platform::Now(), request.expires,
                                     request.passphrase, error);
    if (!key)
        return false;
    char text[1000] = "";
    if (!AddPrivateKeyToFile(*key, sec.c_str(), pub.c_str(), text, sizeof text)) {
        error = text;
        return false;
    }
    keyId = key->GetKeyIDText();
    return true;
}

bool SignWithOwnKey(const CPrivateKey& key, const std::string& message, std::string& signature,
                    std::string& error) {
    uikit::TextRequest request;
    request.caption = "Quillmark: Enter Passphrase";
    request.prompt = "Enter password:";
    request.hidden = true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto passphrase = uikit::AskText(request);
        if (!passphrase) {
            error.clear();
            return false;
        }
        unsigned char bytes[corecrypt::kEd25519SignatureSize];
        error.clear();
        if (key.Sign(*passphrase, message.data(), message.size(), bytes, error)) {
            signature.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
            return true;
        }
        if (error != "Wrong passphrase.")
            return false;
        request.prompt = "Wrong passphrase. Enter password:";
    }
    return false;
}

bool ParseExpiryDate(const std::string& text, std::int64_t& expires) {
    std::string lower;
    for (char c : text)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower == "never") {
        expires = 0;
        return true;
    }
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    // mktime rolls 30 February over into March: such a date is refused.
    if (std::mktime(&t) == -1 || t.tm_year != year - 1900 || t.tm_mon != month - 1 || t.tm_mday != day)
        return false;
    t.tm_mday += 1;
    t.tm_hour = 0;
    t.tm_isdst = -1;
    const std::time_t next = std::mktime(&t);
    if (next == -1)
        return false;
    expires = static_cast<std::int64_t>(next);
    return true;
}

int PassphraseStrength(const std::string& passphrase, std::string& text) {
    // One judgement of passwords for the whole suite: the wizard's and the preferences' hint.
    text = PasswordStrengthHint(passphrase);
    if (text.empty())
        return 0;
    return text == "Strong" ? 3 : text == "Fair" ? 2 : 1;
}

} // namespace shellkit
