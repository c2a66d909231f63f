// The shell actions of qmcenter's command line: each opens its window, without the main window,
// and ends when the window closes.
#include "center/windows/ShellActions.h"
#include "center/windows/MainWindow.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Primitives.h"
#include "uikit/ScriptedBackend.h"
#include "wizkit/QuickStart.h"

#include "QtTestMain.h"
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QWizard>

#include <functional>

namespace {

// Closes every modal window that opens with `button`, noting its title and that no main window
// was open at the time.
struct WindowCloser {
    QStringList titles;
    bool mainWindowSeen = false;
    QTimer timer;
    explicit WindowCloser(QDialogButtonBox::StandardButton button) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, button] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            for (QWidget* w : QApplication::topLevelWidgets())
                mainWindowSeen = mainWindowSeen || qobject_cast<CMainFrame*>(w);
            titles << modal->windowTitle();
            if (auto* wizard = qobject_cast<QWizard*>(modal))
                wizard->button(QWizard::CancelButton)->click();
            for (auto* box : modal->findChildren<QDialogButtonBox*>())
                if (QPushButton* b = box->button(button))
                    b->click();
        });
        timer.start();
    }
};

std::string EncryptedFile(const std::string& folder, const std::string& name) {
    qmtest::WriteFile(folder + "/" + name, "x");
    std::string error;
    corecrypt::EncryptFile(folder + "/" + name, folder + "/" + name + ".qmp", "pw", false, 0, true, error);
    return folder + "/" + name + ".qmp";
}

} // namespace

class ShellActionsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void preferencesOpenAloneAndEndWhenClosed() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CSuiteWindows windows;
        WindowCloser closer(QDialogButtonBox::Cancel);
        center::StartupCommand command;
        command.kind = center::StartupCommand::Preferences;
        QCOMPARE(RunShellAction(command), 0);
        QCOMPARE(closer.titles, QStringList{"Preferences"});
        QVERIFY(!closer.mainWindowSeen);
    }

    void encryptedFilesOpenTheDecryptWindowThenEachArchive() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CSuiteWindows windows;
        const std::string dir = qmtest::MakeTempDir("open");
        const auto command = center::ClassifyCommandLine({EncryptedFile(dir, "a"), EncryptedFile(dir, "b")});
        QCOMPARE(command.kind, center::StartupCommand::OpenFiles);
        WindowCloser closer(QDialogButtonBox::Close);
        QCOMPARE(RunShellAction(command), 0);
        QCOMPARE(closer.titles, QStringList{"Decrypt"});
        QVERIFY(!closer.mainWindowSeen);
    }

    void quickStartOpensAloneAndIsNotOfferedAgain() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CSuiteWindows windows;
        WindowCloser closer(QDialogButtonBox::Cancel);
        QVERIFY(wizkit::QuickStartPending());
        QCOMPARE(RunShellAction(center::ClassifyCommandLine({"qs"})), 0);
        QCOMPARE(closer.titles, QStringList{"Quillmark Quick Start"});
        QVERIFY(!closer.mainWindowSeen);
        QVERIFY(!wizkit::QuickStartPending());
    }

    void theControlCenterItselfIsNoShellAction() {
        center::StartupCommand command;
        QCOMPARE(RunShellAction(command), -1);
    }
};

QM_QTEST_MAIN(ShellActionsTest)
#include "ShellActionsTest.moc"
