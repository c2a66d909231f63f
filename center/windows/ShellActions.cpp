#include "center/windows/ShellActions.h"

#include "center/core/SessionKeyLink.h"
#include "shellkit/KeyPairGenerator.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/KeyPairDialog.h"
#include "shellkit/dialogs/ShellWindowsQt.h"
#include "wizkit/QuickStart.h"
#include "wizkit/dialogs/QuickStartWizard.h"

struct CSuiteWindows::Parts {
    shellkit::QtShellWindows shell;
    wizkit::QtQuickStartWindow quickStart;
    shellkit::QtKeyPairWindow keyPair;
    center::CSessionKeyLink sessionKey;
    shellkit::IShellWindows* previousShell = nullptr;
    wizkit::IQuickStartWindow* previousQuickStart = nullptr;
    shellkit::IKeyPairWindow* previousKeyPair = nullptr;
    shellkit::ISessionKeyHolder* previousHolder = nullptr;
};

CSuiteWindows::CSuiteWindows() : m_parts(new Parts) {
    m_parts->previousShell = shellkit::SetShellWindows(&m_parts->shell);
    m_parts->previousHolder = shellkit::SetSessionKeyHolder(&m_parts->sessionKey);
    m_parts->previousQuickStart = wizkit::SetQuickStartWindow(&m_parts->quickStart);
    m_parts->previousKeyPair = shellkit::SetKeyPairWindow(&m_parts->keyPair);
    wizkit::SetKeyPairGenerator([](void*) { return shellkit::GenerateKeyPair(); });
}

CSuiteWindows::~CSuiteWindows() {
    shellkit::SetShellWindows(m_parts->previousShell);
    shellkit::SetSessionKeyHolder(m_parts->previousHolder);
    wizkit::SetQuickStartWindow(m_parts->previousQuickStart);
    shellkit::SetKeyPairWindow(m_parts->previousKeyPair);
    wizkit::SetKeyPairGenerator(nullptr);
    delete m_parts;
}

int RunShellAction(const center::StartupCommand& command) {
    using center::StartupCommand;
    switch (command.kind) {
    case StartupCommand::Preferences:
        shellkit::ShellFileOperation({}, shellkit::kOpPreferences, 0);
        return 0;
    case StartupCommand::OpenFiles: {
        bool shown = false;
        if (!command.paths.empty())
            shown = shellkit::ShellFileOperation(command.paths, shellkit::kOpDecryptFiles, 0) || shown;
        for (const auto& archive : command.archives)
            shown = shellkit::ShellFileOperation({archive}, shellkit::kOpOpenArchive, 0) || shown;
        return shown ? 0 : 1;
    }
    case StartupCommand::EncryptionWizard:
        shellkit::ShellFileOperation(command.paths, shellkit::kOpEncryptFiles, 0);
        return 0;
    case StartupCommand::QuickStart:
        wizkit::ShowQuickStart(nullptr);
        return 0;
    case StartupCommand::ControlCenter:
        break;
    }
    return -1;
}
