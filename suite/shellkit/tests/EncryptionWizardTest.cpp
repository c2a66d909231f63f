// The encryption wizard, page by page, on real files that decrypt again.
#include "shellkit/dialogs/EncryptionWizard.h"
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Primitives.h"
#include "misckit/SessionKey.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/ShellWindowsQt.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include "WindowTestHelpers.h"
#include <QListWidget>
#include <QRadioButton>

using namespace wintest;

namespace {

void Next(QWizard& wizard) {
    Press(wizard.button(QWizard::NextButton));
}

std::string Decrypted(const std::string& file, const std::string& key) {
    std::string written, error;
    const std::string out = qmtest::MakeTempDir("out");
    if (!corecrypt::DecryptFile(file, out + "/", key, false, true, &written, error))
        return "(" + error + ")";
    return qmtest::ReadFile(written);
}

// Types the password twice on the key page.
void TypePassword(QWizard& wizard, const QString& first, const QString& second) {
    TypeInto(ByLabel<QLineEdit>(&wizard, "Password:"), first);
    TypeInto(ByLabel<QLineEdit>(&wizard, "Confirm:"), second);
}

using qmtest::CheckWindow;

} // namespace

class EncryptionWizardTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void encryptsEachFileBesideItWithAPasswordTypedTwice() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("wiz");
        qmtest::WriteFile(root + "/a.txt", "alpha");
        qmtest::WriteFile(root + "/docs/b.txt", "beta");
        shellkit::CEncryptionWizard wizard({{root + "/a.txt"}, nullptr, 0});
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QCOMPARE(wizard.windowTitle(), QStringLiteral("Encryption Wizard"));
        CheckWindow(wizard, "wizard-1-files");
        ui.queueFolder(root + "/docs");
        Press(ByText(&wizard, "Add folder..."));
        QCOMPARE(ByLabel<QListWidget>(&wizard, "Files and folders:")->count(), 2);
        Next(wizard);
        QCOMPARE(wizard.currentId(), int(shellkit::CEncryptionWizard::kKeyPage));

        // Two different passwords are refused on the page.
        TypePassword(wizard, "Tr0ub4dor&3x", "Tr0ub4dor&3");
        QCOMPARE(wizard.findChild<QLabel*>("strength")->text(), QStringLiteral("Strength: Strong"));
        Next(wizard);
        QCOMPARE(wizard.currentId(), int(shellkit::CEncryptionWizard::kKeyPage));
        QCOMPARE(ui.messages().back().text,
                 std::string("The passwords do not match. Please type them again."));
        TypePassword(wizard, "Tr0ub4dor&3x", "Tr0ub4dor&3x");
        CheckWindow(wizard, "wizard-2-key");
        Next(wizard);
        QCOMPARE(wizard.currentId(), int(shellkit::CEncryptionWizard::kOptionsPage));
        QVERIFY(ByText<QRadioButton>(&wizard, "One encrypted file per source, beside it")->isChecked());
        CheckWindow(wizard, "wizard-3-options");
        Next(wizard);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        CheckWindow(wizard, "wizard-4-done");
        Press(wizard.button(QWizard::FinishButton));
        QCOMPARE(wizard.result(), int(QDialog::Accepted));

        QCOMPARE(wizard.Outcome().written,
                 (std::vector<std::string>{root + "/a.txt.qmp", root + "/docs/b.txt.qmp"}));
        QCOMPARE(Decrypted(root + "/a.txt.qmp", "Tr0ub4dor&3x"), std::string("alpha"));
        QCOMPARE(Decrypted(root + "/docs/b.txt.qmp", "Tr0ub4dor&3x"), std::string("beta"));
        QVERIFY(qmtest::Exists(root + "/a.txt"));
    }

    void encryptsIntoOneArchiveAndWipesTheOriginalsOnlyWhenConfirmed() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("wizbox");
        qmtest::WriteFile(root + "/src/a.txt", "alpha");
        qmtest::WriteFile(root + "/src/b.txt", "beta");
        shellkit::CEncryptionWizard wizard({{root + "/src"}, nullptr, 0});
        wizard.show();
        Next(wizard);
        TypePassword(wizard, "pw-123456", "pw-123456");
        Next(wizard);
        SetChecked(ByText(&wizard, "One archive:"), true);
        ui.queueFiles(std::vector<std::string>{root + "/box"});
        Press(ByText(&wizard, "Choose the archive"));
        SetChecked(ByText(&wizard, "Wipe the original files afterwards (3 rounds)"), true);
        CheckWindow(wizard, "wizard-3-archive-wipe");
        ui.queueAnswer(uikit::Answer::No); // not yet
        Next(wizard);
        QCOMPARE(wizard.currentId(), int(shellkit::CEncryptionWizard::kOptionsPage));
        QVERIFY(ui.messages().back().text.find("SSDs") != std::string::npos);
        ui.queueAnswer(uikit::Answer::Yes);
        Next(wizard);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QCOMPARE(wizard.Outcome().written, std::vector<std::string>{root + "/box.qma"});
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        QVERIFY(corecrypt::ListArchive(root + "/box.qma", "pw-123456", false, entries, error));
        QCOMPARE(entries.size(), std::size_t{2});
        QVERIFY(!qmtest::Exists(root + "/src/a.txt"));
        QVERIFY(!qmtest::Exists(root + "/src/b.txt"));
    }

    void cancelDuringTheWorkLeavesNoOutput() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("wizcancel");
        for (int i = 0; i < 5; ++i)
            qmtest::WriteFile(root + "/f" + std::to_string(i), "data");
        shellkit::CEncryptionWizard wizard({{root}, nullptr, 0});
        wizard.show();
        Next(wizard);
        TypePassword(wizard, "pw-123456", "pw-123456");
        Next(wizard);
        int pumps = 0;
        ui.setPumpHandler([&] {
            if (++pumps == 3)
                Press(wizard.button(QWizard::CancelButton));
        });
        Next(wizard);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QVERIFY(wizard.Outcome().cancelled);
        QVERIFY(wizard.Outcome().written.empty());
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!qmtest::Exists(root + "/f" + std::to_string(i) + ".qmp"));
            QVERIFY(qmtest::Exists(root + "/f" + std::to_string(i)));
        }
        QVERIFY(wizard.isVisible()); // the first Cancel only stopped the work
        QVERIFY(wizard.findChild<QLabel*>("summary")->text().startsWith("Cancelled"));
    }

    void theSessionKeyIsOfferedOnlyWhenOneIsHeld() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("wizsk");
        qmtest::WriteFile(root + "/s.txt", "session");
        {
            shellkit::CEncryptionWizard wizard({{root + "/s.txt"}, nullptr, 0});
            wizard.show();
            Next(wizard);
            QVERIFY(!ByText<QRadioButton>(&wizard, "The session key")->isEnabled());
        }
        SESSIONKEY_ key{};
        key.nKind = kSessionKeyPassword;
        key.nPasswordLength = 7;
        std::memcpy(key.szPassword, "sk-pass", 7);
        shellkit::CEncryptionWizard wizard({{root + "/s.txt"}, &key, 0});
        wizard.show();
        Next(wizard);
        SetChecked(ByText<QRadioButton>(&wizard, "The session key"), true);
        Next(wizard);
        Next(wizard);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QCOMPARE(Decrypted(root + "/s.txt.qmp", "sk-pass"), std::string("session"));
    }

    void theEntryPointHandsBackEveryFileWritten() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        shellkit::QtShellWindows windows;
        shellkit::SetShellWindows(&windows);
        const std::string root = qmtest::MakeTempDir("wizentry");
        qmtest::WriteFile(root + "/x.txt", "x");
        qmtest::WriteFile(root + "/y.txt", "y");
        WhenModalOpens([](QWidget* modal) {
            auto* wizard = static_cast<QWizard*>(modal);
            Next(*wizard);
            TypePassword(*wizard, "pw-123456", "pw-123456");
            Next(*wizard);
            Next(*wizard);
            QTRY_VERIFY(wizard->button(QWizard::FinishButton)->isEnabled());
            Press(wizard->button(QWizard::FinishButton));
        });
        std::string output;
        std::vector<std::string> written;
        QCOMPARE(shellkit::EncWiz({root + "/x.txt", root + "/y.txt"}, output, nullptr, 0, &written),
                 shellkit::kWizardFinished);
        QCOMPARE(output, root + "/x.txt.qmp");
        QCOMPARE(written.size(), std::size_t{2});
        // Cancelled on the first page, it writes nothing and says so.
        WhenModalOpens(
            [](QWidget* modal) { Press(static_cast<QWizard*>(modal)->button(QWizard::CancelButton)); });
        QCOMPARE(shellkit::EncWiz({root + "/x.txt"}, output, nullptr, 0, &written), 2);
        QVERIFY(output.empty());
        shellkit::SetShellWindows(nullptr);
    }
};

QM_QTEST_MAIN(EncryptionWizardTest)
#include "EncryptionWizardTest.moc"
