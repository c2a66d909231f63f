#include "shellkit/ShellWindows.h"

#include "uikit/Ui.h"

namespace shellkit {
namespace {

IShellWindows* g_windows = nullptr;
ISessionKeyHolder* g_holder = nullptr;

IShellWindows* WindowsOrSay() {
    if (!g_windows)
        uikit::MessageBox("This window needs the desktop. Start Quillmark from a graphical session.",
                          "Quillmark", uikit::Buttons::OK, uikit::Icon::Information);
    return g_windows;
}

} // namespace

IShellWindows* ShellWindows() {
    return g_windows;
}

IShellWindows* SetShellWindows(IShellWindows* windows) {
    IShellWindows* previous = g_windows;
    g_windows = windows;
    return previous;
}

ISessionKeyHolder* SessionKeyHolder() {
    return g_holder;
}

ISessionKeyHolder* SetSessionKeyHolder(ISessionKeyHolder* holder) {
    ISessionKeyHolder* previous = g_holder;
    g_holder = holder;
    return previous;
}

int ShowCustomPrefsDlg(const std::string& title, const std::vector<int>& pages,
                       const std::vector<int>& extraPages, const std::string& module, int, void*) {
    IShellWindows* windows = WindowsOrSay();
    if (!windows)
        return 0;
    return windows->ShowPreferences(PrefsRequest{title, pages, extraPages, module});
}

int EncWiz(const std::vector<std::string>& startPaths, std::string& outputPath, SESSIONKEY_* sessionKey,
           unsigned flags, std::vector<std::string>* written) {
    outputPath.clear();
    if (written)
        written->clear();
    IShellWindows* windows = WindowsOrSay();
    if (!windows)
        return 0;
    EncWizResult result;
    const int code = windows->RunEncryptionWizard(EncWizRequest{startPaths, sessionKey, flags}, result);
    if (!result.written.empty())
        outputPath = result.written.front();
    if (written)
        *written = result.written;
    return code;
}

int ShellFileOperation(const std::vector<std::string>& paths, int operation, int) {
    IShellWindows* windows = WindowsOrSay();
    if (!windows)
        return 0;
    switch (operation) {
    case kOpDecryptFiles:
        return paths.empty() ? 0 : windows->OpenDecryptWindow(paths);
    case kOpPreferences:
        return windows->ShowPreferences(
                   PrefsRequest{"Preferences", {3, 2, 1, 4, 5, 6, 7, 8}, {}, "qmcenter"}) != 0;
    case kOpOpenArchive:
        return paths.size() == 1 ? windows->OpenArchiveWindow(paths.front()) : 0;
    case kOpEncryptFiles: {
        EncWizResult result;
        windows->RunEncryptionWizard(EncWizRequest{paths, nullptr, 0}, result);
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace shellkit
