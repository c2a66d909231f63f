// The preferences window, driven like a person would: every page writes its settings and a second
// program reads them; invalid input is refused without writing anything.
#include "misckit/HiddenMessages.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/PrefsDialog.h"
#include "shellkit/dialogs/ShellWindowsQt.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include "WindowTestHelpers.h"
#include <QComboBox>
#include <QListWidget>
#include <QSettings>
#include <QSpinBox>

#include <cstdio>
#include <cstring>
#include <map>

using namespace wintest;

namespace {

const std::vector<int> kAllPages{3, 2, 1, 4, 5, 6, 7, 8};

std::map<std::string, std::string> ReadBySecondProgram() {
    const qmtest::ProcessResult run = qmtest::RunProgram(SETTINGS_READER, {});
    std::map<std::string, std::string> values;
    std::string line;
    for (char c : run.out) {
        if (c != '\n') {
            line += c;
            continue;
        }
        const auto eq = line.find('=');
        values[line.substr(0, eq)] = line.substr(eq + 1);
        line.clear();
    }
    return values;
}

// The stored program settings (not the windows' remembered sizes).
std::string SettingsFileText() {
    QSettings file(QString::fromStdString(CQMRegistry::SettingsFilePath()), QSettings::IniFormat);
    file.beginGroup(encreg::szEncReg);
    std::string text;
    for (const QString& key : file.allKeys())
        text += key.toStdString() + "=" + file.value(key).toString().toStdString() + "\n";
    return text;
}

// Keeps the session key in memory as keeper would, and remembers what it was given.
class MemoryKeyHolder : public shellkit::ISessionKeyHolder {
public:
    bool IsSet() override { return key.nKind != kSessionKeyNone; }
    bool Set(const SESSIONKEY_& k, std::string&) override {
        key = k;
        ++sets;
        return true;
    }
    void Clear() override { misckit::WipeSessionKey(key); }
    SESSIONKEY_ key{};
    int sets = 0;
};

} // namespace

class PrefsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        std::remove(CQMRegistry::SettingsFilePath().c_str());
        CQMRegistry(RegRoot::LocalMachine, encreg::szStartupRun).DeleteValue("Quillmark Scheduler");
    }

    void showsThePagesInTheOrderAskedWithEveryControlNamedAndReachable() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        shellkit::CPrefsDialog window({"Preferences", kAllPages, {}, "qmcenter"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Preferences"));
        const QStringList expected{"Paths",       "Archives",  "General", "Key server",
                                   "Session key", "Scheduler", "Wiping",  "Messages"};
        QCOMPARE(window.PageCount(), expected.size());
        auto* list = window.findChild<QListWidget*>();
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(list->item(i)->text(), expected[i]);
            // Down in the page list walks the pages.
            list->setFocus();
            list->setCurrentRow(i == 0 ? 0 : i - 1);
            if (i > 0)
                QTest::keyClick(list, Qt::Key_Down);
            QCOMPARE(window.CurrentPage(), i);
            QCOMPARE(window.Page(i)->Title(), expected[i]);
            QVERIFY2(qmtest::UnnamedControls(&window).isEmpty(),
                     qPrintable(qmtest::UnnamedControls(&window).join(", ")));
            QVERIFY2(qmtest::UnreachableControls(&window).isEmpty(),
                     qPrintable(qmtest::UnreachableControls(&window).join(", ")));
            QVERIFY(
                !qmtest::SaveWindowPicture(&window, "preferences-" + QString(expected[i]).replace(' ', '-'))
                     .isEmpty());
        }
        QVERIFY(StandardButton(&window, QDialogButtonBox::Ok)->isDefault());
        QVERIFY(!StandardButton(&window, QDialogButtonBox::Apply)->isEnabled());
        QCOMPARE(ui.messages().size(), std::size_t{0});
    }

    void everyPageWritesItsSettingsAndASecondProgramReadsThem() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("prefs");
        shellkit::CPrefsDialog window({"Preferences", kAllPages, {}, "qmcenter"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Paths: typed, and the public ring through its chooser.
        window.ShowPage(0);
        TypeInto(ByLabel<QLineEdit>(&window, "Key folder:"), QString::fromStdString(root + "/my keys"));
        ui.queueFiles(std::vector<std::string>{root + "/rings/public.qkr"});
        Press(ByText(&window, "Choose the public key ring"));
        TypeInto(ByLabel<QLineEdit>(&window, "Private key ring:"),
                 QString::fromStdString(root + "/rings/secret.qkr"));
        QVERIFY(StandardButton(&window, QDialogButtonBox::Apply)->isEnabled());
        // Archives.
        window.ShowPage(1);
        auto* policy = ByLabel<QComboBox>(&window, "When a file is already in the archive:");
        policy->setFocus();
        QTest::keyClick(policy, Qt::Key_Home); // "Keep the entry in the archive"
        SetChecked(ByText(&window, "Add folders with their subfolders"), false);
        SetChecked(ByText(&window, "Compress files before encrypting"), false);
        TypeInto(ByLabel<QLineEdit>(&window, "Extensions not compressed"), "ZIP; *.jpg, png");
        // General: Serpent in CFB mode, code 7*4+2+1 = 31.
        window.ShowPage(2);
        SetChecked(ByText(&window, "Overwrite existing encrypted files without asking"), true);
        SetChecked(ByText(&window, "Restore file times when decrypting"), false);
        auto* code = ByLabel<QComboBox>(&window, "Default algorithm and mode:");
        code->setFocus();
        QTest::keyClick(code, Qt::Key_Home);
        for (int i = 1; i < 31; ++i)
            QTest::keyClick(code, Qt::Key_Down);
        QCOMPARE(code->currentText(), QStringLiteral("Serpent, CFB mode"));
        // Key server.
        window.ShowPage(3);
        TypeInto(ByLabel<QLineEdit>(&window, "Key server address:"), "http://127.0.0.1:8080");
        SetChecked(
            ByText(&window, "Allow plain HTTP (only for a server on this machine or a closed network)"),
            true);
        SetChecked(ByText(&window, "Allow mail passwords without TLS"), true);
        // Scheduler.
        window.ShowPage(5);
        SetChecked(ByText(&window, "Start Scheduler at startup"), true);
        // Wiping.
        window.ShowPage(6);
        auto* rounds = ByLabel<QSpinBox>(&window, "Default wipe rounds:");
        rounds->setFocus();
        QTest::keyClick(rounds, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(rounds, "7");
        // Messages: hide one, and report instead of asking.
        window.ShowPage(7);
        auto* messages = ByLabel<QListWidget>(&window, "Show these messages");
        messages->item(0)->setCheckState(Qt::Unchecked);
        SetChecked(ByText(&window, "During unattended work, report problems instead of asking"), true);

        Press(StandardButton(&window, QDialogButtonBox::Ok));
        // Passing AES in ECB mode on the way explained it once; nothing else was said.
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QCOMPARE(ui.messages()[0].caption, std::string("Not recommended"));
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));

        const auto read = ReadBySecondProgram();
        QCOMPARE(read.at("KeyFolder"), root + "/my keys/");
        QCOMPARE(read.at("PubKeyFile"), root + "/rings/public.qkr");
        QCOMPARE(read.at("PrivKeyFile"), root + "/rings/secret.qkr");
        QVERIFY(qmtest::Exists(root + "/my keys")); // a second program creates the folder it reads
        QCOMPARE(read.at("InOverwrite"), std::string("0"));
        QCOMPARE(read.at("RecDirs"), std::string("0"));
        QCOMPARE(read.at("Compress"), std::string("0"));
        QCOMPARE(read.at("ExtsNotCompress"), std::string("zip;jpg;png"));
        QCOMPARE(read.at("OutOverwrite"), std::string("1"));
        QCOMPARE(read.at("RestoreTime"), std::string("0"));
        QCOMPARE(read.at("Mode"), std::string("31"));
        QCOMPARE(read.at("KeyServer"), std::string("http://127.0.0.1:8080"));
        QCOMPARE(read.at("KeyServerPlainHttp"), std::string("1"));
        QCOMPARE(read.at("MailPlainAuth"), std::string("1"));
        QCOMPARE(read.at("SchedulerStartup"), std::string("1"));
        QCOMPARE(read.at("WipeRounds"), std::string("7"));
        QCOMPARE(read.at("Hidden"), std::string(misckit::HideableMessages().front().id));
        QCOMPARE(read.at("NoMessages"), std::string("1"));

        // A second window shows what the first one stored, and turning things off writes them off.
        shellkit::CPrefsDialog again({"Preferences", kAllPages, {}, "qmcenter"});
        again.show();
        again.ShowPage(5);
        QVERIFY(ByText(&again, "Start Scheduler at startup")->isChecked());
        SetChecked(ByText(&again, "Start Scheduler at startup"), false);
        again.ShowPage(7);
        Press(ByText(&again, "Show all messages again"));
        Press(StandardButton(&again, QDialogButtonBox::Apply));
        QVERIFY(!StandardButton(&again, QDialogButtonBox::Apply)->isEnabled());
        const auto reread = ReadBySecondProgram();
        QCOMPARE(reread.at("SchedulerStartup"), std::string("0"));
        QCOMPARE(reread.at("Hidden"), std::string());
    }

    void invalidInputIsRefusedOnItsPageAndNothingIsWritten() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CQMRegistry().WriteBYTE("Compress", 1);
        const std::string before = SettingsFileText();
        shellkit::CPrefsDialog window({"Preferences", kAllPages, {}, "qmcenter"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ShowPage(1);
        SetChecked(ByText(&window, "Compress files before encrypting"), false); // valid, on another page
        window.ShowPage(3);
        auto* address = ByLabel<QLineEdit>(&window, "Key server address:");
        TypeInto(address, "http://keys.example.org");
        window.ShowPage(0);

        Press(StandardButton(&window, QDialogButtonBox::Ok));
        QVERIFY(window.isVisible());
        QCOMPARE(window.CurrentPage(), 3); // the page with the fault is shown
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(address));
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QVERIFY(ui.messages()[0].text.find("plain HTTP") != std::string::npos);
        QCOMPARE(ui.messages()[0].icon, uikit::Icon::Warning);
        QCOMPARE(SettingsFileText(), before);

        // A key folder below a file cannot be created.
        TypeInto(address, "https://keys.example.org");
        const std::string root = qmtest::MakeTempDir("badpaths");
        qmtest::WriteFile(root + "/plain", "x");
        window.ShowPage(0);
        TypeInto(ByLabel<QLineEdit>(&window, "Key folder:"), QString::fromStdString(root + "/plain/keys"));
        Press(StandardButton(&window, QDialogButtonBox::Apply));
        QCOMPARE(window.CurrentPage(), 0);
        QCOMPARE(ui.messages().size(), std::size_t{2});
        QVERIFY(ui.messages()[1].text.find("Key folder") != std::string::npos);
        QCOMPARE(SettingsFileText(), before);

        // A bad extension list.
        TypeInto(ByLabel<QLineEdit>(&window, "Key folder:"), QString::fromStdString(root + "/keys"));
        window.ShowPage(1);
        TypeInto(ByLabel<QLineEdit>(&window, "Extensions not compressed"), "zip;../x");
        Press(StandardButton(&window, QDialogButtonBox::Ok));
        QCOMPARE(window.CurrentPage(), 1);
        QCOMPARE(ui.messages().size(), std::size_t{3});
        QCOMPARE(SettingsFileText(), before);
        QVERIFY(qmtest::SaveWindowPicture(&window, "preferences-refused").size() > 0);

        // Cancel leaves everything as it was.
        Press(StandardButton(&window, QDialogButtonBox::Cancel));
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(SettingsFileText(), before);
    }

    void aDiscouragedCipherIsExplainedOncePerWindow() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        for (int round = 0; round < 2; ++round) {
            shellkit::CPrefsDialog window({"Preferences", {1}, {}, "qmcenter"});
            window.show();
            auto* code = ByLabel<QComboBox>(&window, "Default algorithm and mode:");
            code->setFocus();
            QTest::keyClick(code, Qt::Key_Home); // AES, ECB mode
            QTest::keyClick(code, Qt::Key_Down); // AES, CBC mode
            QTest::keyClick(code, Qt::Key_Up);   // ECB again: no second note
            for (int i = 0; i < 32; ++i)         // Triple-DES, ECB mode
                QTest::keyClick(code, Qt::Key_Down);
            QCOMPARE(code->currentData().toInt(), 33);
        }
        QCOMPARE(ui.messages().size(), std::size_t{2});
        QVERIFY(ui.messages()[0].text.find("ECB") != std::string::npos);
        QCOMPARE(ui.messages()[0].caption, std::string("Not recommended"));

        // Silenced with its check box, the note stays away in later windows too.
        ui.setDontShowAgain(true);
        {
            shellkit::CPrefsDialog window({"Preferences", {1}, {}, "qmcenter"});
            window.show();
            auto* code = ByLabel<QComboBox>(&window, "Default algorithm and mode:");
            code->setFocus();
            QTest::keyClick(code, Qt::Key_Home);
        }
        QCOMPARE(ui.messages().size(), std::size_t{3});
        shellkit::CPrefsDialog window({"Preferences", {1}, {}, "qmcenter"});
        window.show();
        auto* code = ByLabel<QComboBox>(&window, "Default algorithm and mode:");
        code->setFocus();
        QTest::keyClick(code, Qt::Key_Home);
        QCOMPARE(ui.messages().size(), std::size_t{3});
    }

    void sessionKeyWindowSetsChangesAndClearsTheKeyWithoutShowingIt() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        MemoryKeyHolder holder;
        shellkit::SetSessionKeyHolder(&holder);
        shellkit::CPrefsDialog window({"Session key", {5}, {}, "qmcenter"});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Session key"));
        QCOMPARE(window.PageCount(), 1);
        QVERIFY(!window.findChild<QListWidget*>()->isVisible()); // one page needs no list
        auto* state = window.findChild<QLabel*>("sessionKeyState");
        QCOMPARE(state->text(), QStringLiteral("No session key is set."));
        QVERIFY(!ByText(&window, "Clear session key")->isEnabled());
        QVERIFY(qmtest::SaveWindowPicture(&window, "session-key-unset").size() > 0);

        ui.queueText(std::string("sEcret-Pass-42"));
        ui.queueText(std::string("sEcret-Pass-42"));
        Press(ByText(&window, "Set password..."));
        QCOMPARE(holder.sets, 1);
        QCOMPARE(std::string(holder.key.szPassword, static_cast<std::size_t>(holder.key.nPasswordLength)),
                 std::string("sEcret-Pass-42"));
        QCOMPARE(state->text(), QStringLiteral("A session key is set."));
        QVERIFY(ByText(&window, "Change password..."));
        QVERIFY(ByText(&window, "Clear session key")->isEnabled());
        for (QWidget* w : window.findChildren<QWidget*>()) {
            const QString shown = w->property("text").toString() + w->accessibleName() + w->toolTip();
            QVERIFY(!shown.contains("sEcret"));
        }
        QVERIFY(qmtest::SaveWindowPicture(&window, "session-key-set").size() > 0);

        // Two different passwords set nothing.
        ui.queueText(std::string("one"));
        ui.queueText(std::string("two"));
        ui.queueText(std::nullopt);
        Press(ByText(&window, "Change password..."));
        QCOMPARE(holder.sets, 1);

        Press(ByText(&window, "Clear session key"));
        QCOMPARE(state->text(), QStringLiteral("No session key is set."));
        QCOMPARE(int(holder.key.nKind), 0);
        shellkit::SetSessionKeyHolder(nullptr);
    }

    void sizeAndPositionAreRememberedBetweenWindows() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        QSize chosen;
        {
            shellkit::CPrefsDialog window({"Preferences", kAllPages, {}, "qmcenter"});
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.resize(811, 533);
            chosen = window.size();
            Press(StandardButton(&window, QDialogButtonBox::Cancel));
        }
        shellkit::CPrefsDialog window({"Preferences", kAllPages, {}, "qmcenter"});
        window.show();
        QCOMPARE(window.size(), chosen);
    }

    void theEntryPointsOpenTheWindowAndWithoutWindowsSayTheyNeedTheDesktop() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        QCOMPARE(shellkit::ShowCustomPrefsDlg("Preferences", kAllPages, {}, "qmcenter", 0, nullptr), 0);
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QVERIFY(ui.messages()[0].text.find("desktop") != std::string::npos);

        shellkit::QtShellWindows windows;
        shellkit::SetShellWindows(&windows);
        QString title;
        int pages = 0;
        WhenModalOpens([&](QWidget* modal) {
            title = modal->windowTitle();
            pages = static_cast<shellkit::CPrefsDialog*>(modal)->PageCount();
            Press(StandardButton(modal, QDialogButtonBox::Cancel));
        });
        QCOMPARE(shellkit::ShellFileOperation({}, shellkit::kOpPreferences, 0), 1);
        QCOMPARE(title, QStringLiteral("Preferences"));
        QCOMPARE(pages, 8);
        WhenModalOpens([&](QWidget* modal) {
            title = modal->windowTitle();
            Press(StandardButton(modal, QDialogButtonBox::Ok));
        });
        QCOMPARE(shellkit::ShowCustomPrefsDlg("Session key", {5}, {}, "qmcenter", 0, nullptr), 1);
        QCOMPARE(title, QStringLiteral("Session key"));
        shellkit::SetShellWindows(nullptr);
    }
};

QM_QTEST_MAIN(PrefsWindowTest)
#include "PrefsWindowTest.moc"
