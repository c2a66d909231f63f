#pragma once

#include <string>

// The checks and texts behind the preferences and the encryption wizard, kept apart from the
// windows so that they are tested without a display. Each check gives true, or false with a
// message for the user in `error`.
namespace shellkit {

// A key server address: "https://host[:port][/path]", or "http://..." only when plain HTTP is
// allowed. The empty text (no key server) passes.
bool CheckKeyServerAddress(const std::string& address, bool allowPlainHttp, std::string& error);

// The extensions stored without compression: names of letters, digits, "_" and "-", separated by
// ";" (blanks, "," and a leading "*." or "." are tolerated, as typed by hand).
bool CheckExtensionList(const std::string& list, std::string& error);
// The same list in its stored form: "zip;jpg;png", lower case, without duplicates.
std::string NormalizeExtensionList(const std::string& list);

// An absolute folder that exists, or whose nearest existing ancestor is a folder this user may
// create folders in. `what` names the setting in the message ("Key folder").
bool CheckFolderCanBeCreated(const std::string& folder, const std::string& what, std::string& error);
// A file path whose folder passes the check above and that is not itself a folder.
bool CheckFileCanBeCreated(const std::string& path, const std::string& what, std::string& error);

// "AES, CBC mode" for an algorithm-mode code 1..40; empty otherwise.
std::string AlgorithmModeName(int code);
// ECB mode and Triple-DES: allowed for old files, not recommended for new ones.
bool IsDiscouragedCode(int code);
std::string DiscouragedCodeNote(int code);

// What wiping can and cannot promise, as the preferences and the wizard say it.
const char* WipingLimitsText();

// The strength hint for a new password: "Too short", "Weak", "Fair", "Strong". Empty for none.
std::string PasswordStrengthHint(const std::string& password);

} // namespace shellkit
