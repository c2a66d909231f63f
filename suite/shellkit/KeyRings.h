#pragma once

#include <cstdint>
#include <string>

class CPrivateKey;

// The key rings as the control center and qmkey reach them: their paths from the settings, the
// conversion of rings of an earlier layout, and the key-pair generator.
namespace shellkit {

// The public and private ring paths from the settings (their defaults when none is stored).
// Non-zero on success; 0 with a reason in the buffer (when one is given) when no path is set.
int GetPubKeyFileName(std::string& name, char* errorText, int errorTextSize);
int GetPrivKeyFileName(std::string& name, char* errorText, int errorTextSize);

// Converts both rings from an earlier layout in place, each old file kept as "<ring>.v1.bak", so
// that the loaders can be called again. Non-zero on success; a failure is shown to the user.
int HandleOldVersionOfPKFiles();
// The same without showing anything: false with the reason.
bool ConvertOldKeyRings(std::string& error);

// What the generator window (or qmkey generate) asks for.
struct KeyPairRequest {
    std::string name;
    std::string email;
    std::int64_t expires = 0; // 0: never
    std::string passphrase;
};

// Checks a name and an e-mail address as a key may carry them; false with the reason.
bool CheckNameAndEmail(const std::string& name, const std::string& email, std::string& error);

// Generates a key pair now and adds it to both rings (rings of an earlier layout are converted
// first). True with the new key's ID text, or false with the reason.
bool CreateKeyPair(const KeyPairRequest& request, std::string& keyId, std::string& error);

// Signs `message` with one of the user's own private keys (for the key server). The passphrase is
// asked through uikit ("Quillmark: Enter Passphrase"), up to three times when it is wrong. False
// when the user cancels (empty error) or no passphrase opened the key.
bool SignWithOwnKey(const CPrivateKey& key, const std::string& message, std::string& signature,
                    std::string& error);

// "YYYY-MM-DD" to the moment the key stops being valid: the start of the next day, local time,
// so the key is valid through the whole given day. "never" (any case) gives 0. False for
// anything else.
bool ParseExpiryDate(const std::string& text, std::int64_t& expires);

// A hint of how hard a passphrase is to guess: 0 empty, 1 weak, 2 fair, 3 strong; `text` gets
// the words the window shows.
int PassphraseStrength(const std::string& passphrase, std::string& text);

} // namespace shellkit
