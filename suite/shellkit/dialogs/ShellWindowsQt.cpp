#include "shellkit/dialogs/ShellWindowsQt.h"

#include "shellkit/dialogs/ArchiveWindow.h"
#include "shellkit/dialogs/DecryptWindow.h"
#include "shellkit/dialogs/EncryptionWizard.h"
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

int QtShellWindows::RunEncryptionWizard(const EncWizRequest& request, EncWizResult& result) {
    CEncryptionWizard wizard(request, Owner());
    wizard.exec();
    result.written = wizard.Outcome().written;
    return result.written.empty() ? 2 : kWizardFinished;
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
