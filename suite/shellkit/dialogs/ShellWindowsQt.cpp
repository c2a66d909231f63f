#include "shellkit/dialogs/ShellWindowsQt.h"

#include "shellkit/dialogs/ArchiveWindow.h"
#include "shellkit/dialogs/DecryptWindow.h"
#include "shellkit/dialogs/PrefsDialog.h"
#include "uikit/Ui.h"

#include <QApplication>

namespace shellkit {

QWidget* QtShellWindows::Owner() const {
    return m_owner ? m_owner : QApplication::activeWindow();
}

int QtShellWindows::ShowPreferences(const PrefsRequest& request) {
    CPrefsDialog dialog(request, Owner());
    return dialog.exec() == QDialog::Accepted ? 1 : 2;
}

int QtShellWindows::RunEncryptionWizard(const EncWizRequest&, EncWizResult&) {
    uikit::MessageBox("The encryption wizard is not available in this version.", "Quillmark");
    return 2;
}

int QtShellWindows::OpenDecryptWindow(const std::vector<std::string>& files) {
    CDecryptWindow window(files, Owner());
    window.exec();
    return 1;
}

int QtShellWindows::OpenArchiveWindow(const std::string& archive) {
    CArchiveWindow window(archive, Owner());
    if (!window.Open())
        return 0;
    window.exec();
    return 1;
}

} // namespace shellkit
