// The quick start, driven page by page: it leaves a key folder, a key file and the locations.
#include "corecrypt/KeyFile.h"
#include "misckit/Registry.h"
#include "uikit/ScriptedBackend.h"
#include "wizkit/dialogs/QuickStartWizard.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include "WindowTestHelpers.h"
#include <QListWidget>

using namespace wintest;

namespace {

using qmtest::CheckWindow;

} // namespace

class QuickStartWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { std::remove(CQMRegistry::SettingsFilePath().c_str()); }

    void leavesAKeyFolderAKeyFileAndTheLocations() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("quick");
        wizkit::CQuickStartWizard wizard;
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QCOMPARE(wizard.windowTitle(), QStringLiteral("Quillmark Quick Start"));
        CheckWindow(wizard, "quickstart-1-folder");
        TypeInto(ByLabel<QLineEdit>(&wizard, "Key folder:"), QString::fromStdString(root + "/keys"));
        Press(wizard.button(QWizard::NextButton));
        QCOMPARE(wizard.currentId(), int(wizkit::CQuickStartWizard::kKeyFilePage));
        QCOMPARE(ByLabel<QLineEdit>(&wizard, "Key file:")->text(),
                 QString::fromStdString(root + "/keys/my key.qmk"));
        CheckWindow(wizard, "quickstart-2-keyfile");
        Press(wizard.button(QWizard::NextButton));
        ui.queueFolder(root + "/docs");
        ui.queueFolder(root + "/photos");
        Press(ByText(&wizard, "Add..."));
        Press(ByText(&wizard, "Add..."));
        QCOMPARE(ByLabel<QListWidget>(&wizard, "Folders to scan:")->count(), 2);
        CheckWindow(wizard, "quickstart-3-locations");
        Press(wizard.button(QWizard::NextButton));
        QCOMPARE(wizard.currentId(), int(wizkit::CQuickStartWizard::kKeysPage));
        QVERIFY(!wizard.button(QWizard::CustomButton1)->isVisible());
        QVERIFY(wizard.findChild<QLabel*>("summary")->text().contains("Key file created"));
        CheckWindow(wizard, "quickstart-4-keys");
        Press(wizard.button(QWizard::FinishButton));
        QCOMPARE(wizard.result(), int(QDialog::Accepted));

        std::uint8_t id[corecrypt::kKeyIdSize];
        corecrypt::SecureBytes secret;
        std::string error;
        QVERIFY(corecrypt::ReadKeyFile(root + "/keys/my key.qmk", id, secret, error));
        QCOMPARE(misckit::GetKeyFolder(), root + "/keys/");
        QCOMPARE(wizkit::ReadLocations(), (std::vector<std::string>{root + "/docs/", root + "/photos/"}));
        QCOMPARE(ui.messages().size(), std::size_t{0});
    }

    void everyPageCanBeSkippedAndThenNothingIsWritten() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        wizkit::CQuickStartWizard wizard;
        wizard.show();
        for (int i = 0; i < 3; ++i)
            Press(wizard.button(QWizard::CustomButton1));
        QCOMPARE(wizard.currentId(), int(wizkit::CQuickStartWizard::kKeysPage));
        QCOMPARE(wizard.findChild<QLabel*>("summary")->text(), QStringLiteral("Nothing was changed."));
        Press(wizard.button(QWizard::FinishButton));
        QVERIFY(!CQMRegistry().ValueExists(encreg::szKeyFolder));
        QVERIFY(wizkit::ReadLocations().empty());
    }

    void aKeyFileThatExistsIsRefusedOnItsPage() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("quickexists");
        qmtest::WriteFile(root + "/taken.qmk", "mine");
        wizkit::CQuickStartWizard wizard;
        wizard.show();
        Press(wizard.button(QWizard::CustomButton1));
        TypeInto(ByLabel<QLineEdit>(&wizard, "Key file:"), QString::fromStdString(root + "/taken.qmk"));
        Press(wizard.button(QWizard::NextButton));
        QCOMPARE(wizard.currentId(), int(wizkit::CQuickStartWizard::kKeyFilePage));
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QCOMPARE(qmtest::ReadFile(root + "/taken.qmk"), std::string("mine"));
    }

    void theKeyPairStepUsesTheGeneratorWhenOneIsInstalled() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        int calls = 0;
        wizkit::SetKeyPairGenerator([&](void*) {
            ++calls;
            return 12325;
        });
        wizkit::CQuickStartWizard wizard;
        wizard.show();
        for (int i = 0; i < 3; ++i)
            Press(wizard.button(QWizard::CustomButton1));
        Press(ByText(&wizard, "Generate a key pair..."));
        QCOMPARE(calls, 1);
        wizkit::SetKeyPairGenerator({});
        wizkit::CQuickStartWizard without;
        without.show();
        for (int i = 0; i < 3; ++i)
            Press(without.button(QWizard::CustomButton1));
        QVERIFY(!ByText(&without, "Generate a key pair...")->isEnabled());
    }
};

QM_QTEST_MAIN(QuickStartWindowTest)
#include "QuickStartWindowTest.moc"
