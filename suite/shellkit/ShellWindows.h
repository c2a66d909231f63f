#pragma once

#include <string>
#include <vector>

struct SESSIONKEY_;

// The windows of shellkit as the programs call them: the preferences, the encryption wizard and
// the windows that open encrypted files and archives. The Qt windows live in shellkit_dialogs;
// a program with a display installs them with SetShellWindows(). Without them (keeper, the
// console verbs, tests of the core) each entry point says that it needs the desktop and fails.
namespace shellkit {

// The wizard's result when it wrote something.
inline constexpr int kWizardFinished = 12325;

// The file operations of the shell entry point.
inline constexpr int kOpDecryptFiles = 2; // open the "Decrypt" window for ".qmp" files
inline constexpr int kOpPreferences = 6;  // open the preferences
inline constexpr int kOpOpenArchive = 7;  // open an archive (".qma") in its own window
inline constexpr int kOpEncryptFiles = 8; // the encryption wizard with the files chosen

// Preference pages, by number.
enum PrefsPage {
    kPageGeneral = 1,
    kPageArchives = 2,
    kPagePaths = 3,
    kPageKeyServer = 4,
    kPageSessionKey = 5,
    kPageScheduler = 6,
    kPageWiping = 7,
    kPageMessages = 8,
};

struct PrefsRequest {
    std::string title;
    std::vector<int> pages;      // in the order shown; unknown numbers are left out
    std::vector<int> extraPages; // pages a caller adds of its own (none are known yet)
    std::string module;          // the calling program's name, for its help
};

struct EncWizRequest {
    std::vector<std::string> startPaths; // files and folders to start with
    SESSIONKEY_* sessionKey = nullptr;   // offered as a key when it holds one
    unsigned flags = 0;
};

struct EncWizResult {
    // Every encrypted file or the archive written, in the order written.
    std::vector<std::string> written;
};

class IShellWindows {
public:
    virtual ~IShellWindows() = default;
    // 1 on OK, 2 on Cancel.
    virtual int ShowPreferences(const PrefsRequest& request) = 0;
    // kWizardFinished when files were written, 2 when cancelled or nothing was written.
    virtual int RunEncryptionWizard(const EncWizRequest& request, EncWizResult& result) = 0;
    // Runs the window until it closes; 1 when it was shown.
    virtual int OpenDecryptWindow(const std::vector<std::string>& files) = 0;
    virtual int OpenArchiveWindow(const std::string& archive) = 0;
};

// The windows in use: null until a program installs them. Gives the previous ones.
IShellWindows* ShellWindows();
IShellWindows* SetShellWindows(IShellWindows* windows);

// The preferences window: `title`, the page numbers in order, extra pages, the calling module,
// a reserved 0 and the owner window (null: none). 1 on OK, 2 on Cancel, 0 when no window could
// be shown.
int ShowCustomPrefsDlg(const std::string& title, const std::vector<int>& pages,
                       const std::vector<int>& extraPages, const std::string& module, int reserved,
                       void* parent);

// The encryption wizard. `outputPath` receives the first file written and `written` (when
// given) every one. kWizardFinished when something was written.
int EncWiz(const std::vector<std::string>& startPaths, std::string& outputPath, SESSIONKEY_* sessionKey,
           unsigned flags, std::vector<std::string>* written = nullptr);

// The shell's entry point: `paths` and one of the kOp codes; `reserved` is 0. Non-zero when the
// operation's window was shown.
int ShellFileOperation(const std::vector<std::string>& paths, int operation, int reserved);

// The session key that keeper holds, as the preferences set and clear it. The task library's
// scheduler link provides the real one; programs install it with SetSessionKeyHolder().
class ISessionKeyHolder {
public:
    virtual ~ISessionKeyHolder() = default;
    virtual bool IsSet() = 0;
    // Hands the key to keeper (starting it when needed); false with `error` otherwise.
    virtual bool Set(const SESSIONKEY_& key, std::string& error) = 0;
    virtual void Clear() = 0;
};
ISessionKeyHolder* SessionKeyHolder();
ISessionKeyHolder* SetSessionKeyHolder(ISessionKeyHolder* holder);

} // namespace shellkit
