#pragma once

#include <functional>
#include <string>
#include <vector>

// The quick start: a short wizard for a new user that sets the key folder, creates a first key
// file, names the locations to scan and offers a key pair and a session key. Its steps are here,
// headless; the window lives in wizkit_dialogs and is installed by programs with a display.
namespace wizkit {

class IQuickStartWindow {
public:
    virtual ~IQuickStartWindow() = default;
    // Runs the wizard; 1 when it was finished, 0 when cancelled.
    virtual int Run(void* owner) = 0;
};
IQuickStartWindow* SetQuickStartWindow(IQuickStartWindow* window);

// The quick-start entry: `owner` is the owner window or null. Without a window installed it says
// that it needs the desktop. Marks the quick start as offered.
int ShowQuickStart(void* owner);

// True until the quick start was offered once (the control center shows it on the first start).
bool QuickStartPending();
void MarkQuickStartOffered();

// The key-pair generator, which the keys part of the suite installs; null while there is none.
// It returns 12325 when a pair was made.
using KeyPairGenerator = std::function<int(void* owner)>;
void SetKeyPairGenerator(KeyPairGenerator generator);
const KeyPairGenerator& GetKeyPairGenerator();

// The steps. Each gives true, or false with a message for the user.
// Stores the key folder (a full path; kept with a final "/") and creates it, readable by the
// user only.
bool ApplyKeyFolder(const std::string& folder, std::string& error);
// Creates a new key file; an existing file is never replaced.
bool CreateFirstKeyFile(const std::string& path, std::string& error);
// The locations the control center scans: up to 10 folders, stored as "Location 1" to
// "Location 10" in the control center's settings, each with a final "/", unused ones empty.
// A folder inside another listed one is dropped, since the outer one is scanned already.
bool SaveLocations(const std::vector<std::string>& folders, std::string& error);
std::vector<std::string> ReadLocations();

inline constexpr int kMaxLocations = 10;

} // namespace wizkit
