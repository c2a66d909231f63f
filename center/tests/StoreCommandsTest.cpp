// The main window over the program's own store, driven as a user drives it: deleting a key pair,
// exporting and importing keys, a key file's description and deleting it and its files, deleting
// encrypted files, and an archive named ".qmp" taking its ".qma" name once files were added.
#include "center/core/CenterState.h"
#include "center/core/KeyManager.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/MainWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "platform/XdgPaths.h"
#include "uikit/ScriptedBackend.h"

#include "FrameDriver.h"
#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "StoreFiles.h"
#include "WindowChecks.h"

#include <QAbstractItemModelTester>
#include <QPlainTextEdit>
#include <QTabWidget>

#include <filesystem>

using center::Command;
using qmtest::Activate;
using qmtest::Rows;
using qmtest::RowShowing;
using qmtest::SelectListRow;
using storetest::Header;
using storetest::Id;

namespace {

// A folder of key files and a folder of encrypted files, named in the settings, and empty rings.
struct Folders {
    std::string keys, files;
    Folders() {
        const std::string dir = qmtest::MakeTempDir("store");
        keys = dir + "/keys/";
        files = dir + "/files/";
        std::filesystem::create_directories(keys);
        std::filesystem::create_directories(files);
        storetest::SetLocations({files});
        storetest::SetKeyFolder(keys);
        std::filesystem::remove(misckit::GetPubKeyFileName());
        std::filesystem::remove(misckit::GetPrivKeyFileName());
    }
};

// A new key; with `pair` both halves go into the rings, else only the public one.
std::unique_ptr<CPrivateKey> AddKey(const std::string& name, bool pair) {
    std::string error;
    auto key = CPrivateKey::Generate(name, name + "@example.org", platform::Now() - 100, 0, "pw", error);
    char text[1000] = "";
    const std::string pub = misckit::GetPubKeyFileName();
    const std::string priv = misckit::GetPrivKeyFileName();
    if (!key || !(pair ? AddPrivateKeyToFile(*key, priv.c_str(), pub.c_str(), text, sizeof text)
                       : AddPublicKeyToFile(*key->GetPublicKey(), pub.c_str(), text, sizeof text)))
        qWarning("cannot make the key %s: %s %s", name.c_str(), error.c_str(), text);
    return key;
}

QString PublicText(const CPrivateKey& key) {
    return QString::fromStdString(
        corecrypt::ArmorKeyText(corecrypt::KeyTextKind::Public, key.GetPublicRecordBytes()));
}

std::string Trashed(const std::string& name) {
    return platform::DataHome() + "/Trash/files/" + name;
}

// The main window over a fresh state and store, scanned and shown.
struct Center {
    center::CCenterState state;
    center::CCenterStore store{state};
    CMainFrame frame{&store};
    Center() { frame.StartUp(); }
    void ShowKeys(center::NavKind kind) {
        frame.Workspace()->Tabs()->setCurrentIndex(1);
        frame.Workspace()->KeysTree()->SelectKind(kind);
    }
};

} // namespace

class StoreCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void aKeyPairIsDeletedWholeAndKeysGoOutAndInAsText() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const Folders folders;
        const auto own = AddKey("own", true);
        const auto other = AddKey("other", false);
        Center c;
        CMainFrame& frame = c.frame;
        QVERIFY(Activate(frame));
        c.ShowKeys(center::kNavPublicKeys);
        QCOMPARE(Rows(frame), 2);
        QAbstractItemModelTester tester(frame.ListFilter(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        SelectListRow(frame, RowShowing(frame, 1, "own@example.org"));
        QVERIFY(frame.MenuAction(Command::DeleteKey)->isEnabled());
        const std::string question =
            "This public key is your own and has a private key associated with it. If you delete this key "
            "pair "
            "you will not be able to decrypt data encrypted with it.\nClick \"Yes\" to proceed or \"No\" to "
            "cancel.";
        ui.queueAnswer(uikit::Answer::No);
        frame.MenuAction(Command::DeleteKey)->trigger();
        QCOMPARE(ui.messages().back().text, question);
        QCOMPARE(ui.messages().back().caption, std::string("Quillmark"));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Question);
        QCOMPARE(Rows(frame), 2);
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteKey)->trigger();
        QCOMPARE(ui.messages().size(), std::size_t(2));
        QCOMPARE(Rows(frame), 1);
        QCOMPARE(frame.ListFilter()->index(0, 1).data().toString(), QStringLiteral("other@example.org"));
        QCOMPARE(c.store.CountKeys().privateKeys, 0);
        c.ShowKeys(center::kNavPrivateKeys);
        QCOMPARE(Rows(frame), 0);
        // The rings on disk lost both halves.
        center::CKeyManager fresh(c.state.m_shared);
        QVERIFY(fresh.ReloadKeys());
        QCOMPARE(fresh.GetPubKeys().size(), std::size_t(1));
        QVERIFY(fresh.GetPrivKeys().empty());

        // Export the key that is left.
        c.ShowKeys(center::kNavPublicKeys);
        SelectListRow(frame, 0);
        QString shown;
        qmtest::ModalAnswer look([&](QWidget* w) {
            shown = w->findChild<QPlainTextEdit*>(QStringLiteral("KeyText"))->toPlainText();
            qmtest::CheckWindow(*w, QStringLiteral("center-store-export"));
            static_cast<QDialog*>(w)->accept();
            return qmtest::Differs(QStringLiteral("title"), w->windowTitle(),
                                   QStringLiteral("Copy the public key from here"));
        });
        frame.MenuAction(Command::ExportKey)->trigger();
        QVERIFY2(look.problem().isEmpty(), qPrintable(look.problem()));
        QCOMPARE(shown.trimmed(), PublicText(*other).trimmed());

        // The deleted public key comes back by its text.
        qmtest::ModalAnswer paste([&](QWidget* w) {
            w->findChild<QPlainTextEdit*>(QStringLiteral("KeyText"))->setPlainText(PublicText(*own));
            static_cast<QDialog*>(w)->accept();
            return qmtest::Differs(QStringLiteral("title"), w->windowTitle(),
                                   QStringLiteral("Past the public key here"));
        });
        frame.MenuAction(Command::ImportKey)->trigger();
        QVERIFY2(paste.problem().isEmpty(), qPrintable(paste.problem()));
        QCOMPARE(ui.messages().back().text, std::string("The key has been successfully imported."));
        QCOMPARE(ui.messages().back().caption, std::string("Success!"));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Information);
        QCOMPARE(Rows(frame), 2);
        QVERIFY(RowShowing(frame, 1, "own@example.org") >= 0);
        // Now only someone else's key: a single key's question.
        SelectListRow(frame, RowShowing(frame, 1, "own@example.org"));
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteKey)->trigger();
        QCOMPARE(
            ui.messages().back().text,
            std::string("If you delete this public key, you will not be able to send encrypted data to the "
                        "key's owner.\nClick \"Yes\" to proceed or \"No\" to cancel."));
        QCOMPARE(Rows(frame), 1);
        QVERIFY(ui.allAnswersUsed());
    }

    void aKeyFileShowsItsFilesAndGoesToTheTrashWithThem() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const Folders folders;
        storetest::KeyFile(folders.keys + "alpha.qmk", Id("alpha"));
        qmtest::WriteFile(folders.files + "a.qmp", Header(41, true, 2, Id("alpha")));
        qmtest::WriteFile(folders.files + "b.qma", Header(41, true, 6, Id("alpha")));
        qmtest::WriteFile(folders.files + "pass.qmp", Header(41, false, 2));
        Center c;
        CMainFrame& frame = c.frame;
        QVERIFY(Activate(frame));
        c.ShowKeys(center::kNavSecretKeys);
        QCOMPARE(Rows(frame), 1);
        QCOMPARE(frame.ListFilter()->index(0, 1).data().toString(), QStringLiteral("2")); // used by two

        // Activating the key file lists the two encrypted files that need it.
        SelectListRow(frame, 0);
        QTest::keyClick(frame.List(), Qt::Key_Return);
        center::CKeyManDesc* pane = frame.Description();
        QVERIFY(pane->ShowsKeyFileUsers());
        QAbstractItemModelTester paneTester(pane->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(pane->model()->rowCount(), 2);
        QStringList titles;
        for (int col = 0; col < pane->model()->columnCount(); ++col)
            titles << pane->model()->headerData(col, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({"Name", "Size", "Type", "Algorithm", "Mode", "Path"}));
        pane->sortByColumn(0, Qt::AscendingOrder);
        QCOMPARE(pane->model()->index(0, 0).data().toString(), QStringLiteral("a.qmp"));
        QCOMPARE(pane->model()->index(0, 2).data().toString(), QStringLiteral("Key"));
        QCOMPARE(pane->model()->index(1, 0).data().toString(), QStringLiteral("b.qma"));
        QCOMPARE(pane->model()->index(0, 5).data().toString(), QString::fromStdString(folders.files));
        qmtest::CheckWindow(frame, QStringLiteral("center-store-keyfile"));

        // One of them is deleted from the pane.
        pane->setFocus();
        pane->selectionModel()->select(pane->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QVERIFY(frame.MenuAction(Command::DeleteFiles)->isEnabled());
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(ui.messages().back().text, std::string("Are you sure you want to delete 1 file(s)?"));
        QVERIFY(!qmtest::Exists(folders.files + "a.qmp"));
        QVERIFY(qmtest::Exists(Trashed("a.qmp")));
        QCOMPARE(pane->model()->rowCount(), 1);
        QCOMPARE(frame.ListFilter()->index(0, 1).data().toString(), QStringLiteral("1"));

        // The key file itself: two questions, then the Trash; the pane is emptied.
        SelectListRow(frame, 0);
        ui.queueAnswer(uikit::Answer::Yes);
        ui.queueAnswer(uikit::Answer::Cancel);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(Rows(frame), 1);
        ui.queueAnswer(uikit::Answer::Yes);
        ui.queueAnswer(uikit::Answer::OK);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        const std::vector<uikit::Message>& shown = ui.messages();
        QCOMPARE(shown.size(), std::size_t(5));
        QCOMPARE(shown[3].text, std::string("Are you sure you want to delete key file?"));
        QCOMPARE(shown[3].icon, uikit::Icon::Information);
        QCOMPARE(
            shown[4].text,
            std::string("You will not be able to decrypt information\nencrypted with this encryption key."));
        QCOMPARE(shown[4].caption, std::string("WARNING"));
        QCOMPARE(shown[4].buttons, uikit::Buttons::OKCancel);
        QCOMPARE(Rows(frame), 0);
        QVERIFY(qmtest::Exists(Trashed("alpha.qmk")));
        QCOMPARE(pane->model()->rowCount(), 0);
        QVERIFY(ui.allAnswersUsed());
    }

    void encryptedFilesGoToTheTrashAndAGrownQmpArchiveTakesItsName() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const Folders folders;
        qmtest::WriteFile(folders.files + "src/one.txt", "one");
        qmtest::WriteFile(folders.files + "src/two.txt", "two");
        std::string error;
        corecrypt::ArchiveAddOptions options;
        QVERIFY2(corecrypt::AddToArchive(folders.files + "box.qmp", {folders.files + "src/one.txt"}, "pw",
                                         false, options, error),
                 error.c_str());
        qmtest::WriteFile(folders.files + "old.qma", Header(41, false, 2));
        Center c;
        CMainFrame& frame = c.frame;
        QVERIFY(Activate(frame));
        QCOMPARE(Rows(frame), 2);

        // Deleting a file asks once and moves it to the Trash.
        SelectListRow(frame, RowShowing(frame, 0, "old.qma"));
        ui.queueAnswer(uikit::Answer::No);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(Rows(frame), 2);
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(ui.messages().size(), std::size_t(2));
        QCOMPARE(ui.messages().back().text, std::string("Are you sure you want to delete file?"));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Information);
        QCOMPARE(Rows(frame), 1);
        QVERIFY(qmtest::Exists(Trashed("old.qma")));

        // Files added to the archive named ".qmp" rename it to ".qma", in the list and the pane.
        ui.queueText(std::string("pw"));
        SelectListRow(frame, 0);
        QTest::keyClick(frame.List(), Qt::Key_Return);
        QCOMPARE(frame.Description()->Entries()->rowCount(), 1);
        SelectListRow(frame, 0);
        ui.queueFiles(std::vector<std::string>{folders.files + "src/two.txt"});
        frame.MenuAction(Command::AddFiles)->trigger();
        QCOMPARE(ui.messages().size(), std::size_t(2));
        QVERIFY(!qmtest::Exists(folders.files + "box.qmp"));
        QVERIFY(qmtest::Exists(folders.files + "box.qma"));
        QCOMPARE(Rows(frame), 1);
        QCOMPARE(frame.ListFilter()->index(0, 0).data().toString(), QStringLiteral("box.qma"));
        QCOMPARE(frame.Description()->Archive(), folders.files + "box.qma");
        QCOMPARE(frame.Description()->Entries()->rowCount(), 2);
        QVERIFY(c.state.m_keyManager.FindEncryptedFile(folders.files + "box.qma"));
        QVERIFY(!c.state.m_keyManager.FindEncryptedFile(folders.files + "box.qmp"));
        // The pane still holds the password: listing again asks nothing.
        QVERIFY(frame.Description()->Reload());
        QCOMPARE(ui.textRequests().size(), std::size_t(1));
        QVERIFY(ui.allAnswersUsed());
    }
};

QM_QTEST_MAIN(StoreCommandsTest)
#include "StoreCommandsTest.moc"
