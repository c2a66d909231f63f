// The windows that open encrypted files and archives, driven like a person would, on real files.
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Primitives.h"
#include "shellkit/ShellWindows.h"
#include "shellkit/dialogs/ArchiveWindow.h"
#include "shellkit/dialogs/DecryptWindow.h"
#include "shellkit/dialogs/ShellWindowsQt.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include "WindowTestHelpers.h"
#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QTableView>

using namespace wintest;

namespace {

const std::string kPassword = "correct horse";

std::string Encrypted(const std::string& folder, const std::string& name, const std::string& bytes,
                      const std::string& key = kPassword, bool keyFile = false) {
    qmtest::WriteFile(folder + "/" + name, bytes);
    std::string error;
    const std::string out = folder + "/" + name + ".qmp";
    if (!corecrypt::EncryptFile(folder + "/" + name, out, key, keyFile, 0, true, error))
        qFatal("%s", error.c_str());
    std::remove((folder + "/" + name).c_str());
    return out;
}

std::string MakeArchive(const std::string& folder) {
    const std::string src = folder + "/src";
    qmtest::WriteFile(src + "/a.txt", "alpha");
    qmtest::WriteFile(src + "/b.bin", qmtest::PseudoRandomBytes(70000, 2));
    qmtest::WriteFile(src + "/sub/c.txt", "gamma");
    std::string error;
    corecrypt::ArchiveAddOptions options;
    const std::string archive = folder + "/box.qma";
    if (!corecrypt::AddToArchive(archive, {src + "/./a.txt", src + "/./b.bin", src + "/./sub"}, kPassword,
                                 false, options, error))
        qFatal("%s", error.c_str());
    return archive;
}

// Selects the rows whose name is in `names`, as a person would with Ctrl+click.
void SelectEntries(QTableView* view, const QStringList& names) {
    view->clearSelection();
    for (int row = 0; row < view->model()->rowCount(); ++row)
        if (names.contains(view->model()->index(row, 0).data().toString()))
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class FileWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void entryModelPassesTheModelTesterThroughResetsAndSorting() {
        shellkit::CArchiveEntryModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSortFilterProxyModel sorted;
        sorted.setSourceModel(&model);
        sorted.setSortRole(shellkit::CArchiveEntryModel::kSortRole);
        QAbstractItemModelTester proxyTester(&sorted, QAbstractItemModelTester::FailureReportingMode::QtTest);
        std::vector<corecrypt::ArchiveEntry> entries(3);
        entries[0].path = "b.txt";
        entries[0].size = 2000;
        entries[1].path = "a/c.txt";
        entries[1].size = 10;
        entries[2].path = "z.bin";
        entries[2].size = 300;
        model.SetEntries(entries);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
        QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("10 bytes"));
        // Sizes sort by value, not by their text.
        sorted.sort(1, Qt::AscendingOrder);
        QCOMPARE(sorted.index(0, 0).data().toString(), QStringLiteral("a/c.txt"));
        QCOMPARE(sorted.index(2, 0).data().toString(), QStringLiteral("b.txt"));
        QModelIndexList rows{sorted.mapToSource(sorted.index(2, 0)), model.index(2, 0)};
        QCOMPARE(model.PathsOf(rows), (std::vector<std::string>{"b.txt", "z.bin"}));
        QCOMPARE(model.TotalSize(), std::uint64_t{2310});
        model.SetEntries({});
        QCOMPARE(sorted.rowCount(), 0);
        QVERIFY(!model.index(0, 0).isValid());
    }

    void decryptWindowDecryptsRealFilesIntoANewFolderAndOffersToOpenIt() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("decrypt");
        const std::string one = Encrypted(root, "one.txt", "first file");
        const std::string two = Encrypted(root, "two.txt", qmtest::PseudoRandomBytes(200000, 7));
        shellkit::CDecryptWindow window({one, two});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Decrypt"));
        QVERIFY(ByText<QRadioButton>(&window, "Password:")->isChecked());
        QCOMPARE(ByLabel<QLineEdit>(&window, "Output folder:")->text(), QString::fromStdString(root));
        QVERIFY2(qmtest::UnnamedControls(&window).isEmpty(),
                 qPrintable(qmtest::UnnamedControls(&window).join(", ")));
        QVERIFY(qmtest::UnreachableControls(&window).isEmpty());

        TypeInto(window.findChild<QLineEdit*>(), QString()); // nothing typed yet
        auto* password = [&] {
            for (QLineEdit* e : window.findChildren<QLineEdit*>())
                if (e->accessibleName() == "Password")
                    return e;
            return static_cast<QLineEdit*>(nullptr);
        }();
        QVERIFY(password);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        TypeInto(password, QString::fromStdString(kPassword));
        TypeInto(ByLabel<QLineEdit>(&window, "Output folder:"), QString::fromStdString(root + "/out"));
        QVERIFY(qmtest::SaveWindowPicture(&window, "decrypt").size() > 0);
        ui.queueAnswer(uikit::Answer::Yes);        // create the folder
        ui.queueAnswer(uikit::Answer::Yes);        // open it
        QTest::keyClick(password, Qt::Key_Return); // Enter presses "Decrypt", the default button
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(qmtest::ReadFile(root + "/out/one.txt"), std::string("first file"));
        QCOMPARE(qmtest::ReadFile(root + "/out/two.txt"), qmtest::PseudoRandomBytes(200000, 7));
        QCOMPARE(window.Written().size(), std::size_t{2});
        QCOMPARE(ui.messages().size(), std::size_t{2});
        QVERIFY(ui.messages()[0].text.find("does not exist") != std::string::npos);
        QVERIFY(ui.messages()[1].text.find("Open the output folder?") != std::string::npos);
        QCOMPARE(ui.openedUrls(), std::vector<std::string>{"file://" + root + "/out"});
    }

    void aWrongPasswordWritesNothingAndKeepsTheWindowOpen() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("wrong");
        const std::string one = Encrypted(root, "one.txt", "secret");
        shellkit::CDecryptWindow window({one});
        window.show();
        for (QLineEdit* e : window.findChildren<QLineEdit*>())
            if (e->accessibleName() == "Password")
                TypeInto(e, "not it");
        Press(ByText(&window, "Decrypt"));
        QVERIFY(window.isVisible());
        QVERIFY(!qmtest::Exists(root + "/one.txt"));
        QCOMPARE(ui.lists().size(), std::size_t{1});
        QVERIFY(ui.lists()[0].lines[0].find(one) == 0);
        QVERIFY(window.findChild<QLabel*>("status")->text().startsWith("0 of 1"));
        QVERIFY(qmtest::SaveWindowPicture(&window, "decrypt-failed").size() > 0);
        // An empty password is refused before anything runs.
        for (QLineEdit* e : window.findChildren<QLineEdit*>())
            if (e->accessibleName() == "Password")
                TypeInto(e, "");
        Press(ByText(&window, "Decrypt"));
        QCOMPARE(ui.messages().back().text, std::string("Please enter the password."));
        QCOMPARE(ui.lists().size(), std::size_t{1});
    }

    void closeDuringTheWorkStopsAfterTheCurrentFileAndLeavesNoPartOfTheRest() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("stop");
        std::vector<std::string> files;
        for (int i = 0; i < 4; ++i)
            files.push_back(Encrypted(root, "f" + std::to_string(i), "file " + std::to_string(i)));
        const std::string out = qmtest::MakeTempDir("stopout");
        shellkit::CDecryptWindow window(files);
        window.show();
        for (QLineEdit* e : window.findChildren<QLineEdit*>())
            if (e->accessibleName() == "Password")
                TypeInto(e, QString::fromStdString(kPassword));
        TypeInto(ByLabel<QLineEdit>(&window, "Output folder:"), QString::fromStdString(out));
        QPushButton* close = nullptr;
        for (QPushButton* b : window.findChildren<QPushButton*>())
            if (b->text().remove('&') == "Close")
                close = b;
        QVERIFY(close);
        int pumps = 0;
        ui.setPumpHandler([&] {
            if (++pumps == 3) // while the second file is decrypted
                Press(close);
        });
        ui.queueAnswer(uikit::Answer::No); // do not open the folder
        Press(ByText(&window, "Decrypt"));
        QVERIFY(window.isVisible()); // the first Close only stopped the work
        QCOMPARE(window.Written().size(), std::size_t{2});
        QVERIFY(qmtest::Exists(out + "/f1"));
        QVERIFY(!qmtest::Exists(out + "/f2"));
        QVERIFY(!qmtest::Exists(out + "/f3"));
        QCOMPARE(ui.lists().size(), std::size_t{1});
        QVERIFY(ui.lists()[0].lines.back().find("Cancelled: 2 file(s)") == 0);
        QCOMPARE(close->text().remove('&'), QStringLiteral("Close"));
        Press(close);
        QVERIFY(!window.isVisible());
    }

    void aFileEncryptedWithAKeyFileOpensTheWindowOnTheKeyFile() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("keyed");
        char error[256] = {};
        QVERIFY(CreateKeyFile((root + "/my.qmk").c_str(), error, sizeof error));
        const std::string file = Encrypted(root, "k.txt", "by key file", root + "/my.qmk", true);
        shellkit::CDecryptWindow window({file});
        window.show();
        QVERIFY(ByText<QRadioButton>(&window, "Key file:")->isChecked());
        ui.queueFiles(std::vector<std::string>{root + "/my.qmk"});
        Press(ByText(&window, "Choose the key file"));
        ui.queueAnswer(uikit::Answer::No); // do not open the folder
        Press(ByText(&window, "Decrypt"));
        QCOMPARE(qmtest::ReadFile(root + "/k.txt"), std::string("by key file"));
    }

    void archiveWindowListsDecryptsAddsAndDeletesEntriesOfARealArchive() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string root = qmtest::MakeTempDir("box");
        const std::string archive = MakeArchive(root);
        shellkit::CArchiveWindow window(archive);
        ui.queueText(std::string("wrong"));
        ui.queueText(kPassword);
        QVERIFY(window.Open());
        QCOMPARE(ui.textRequests().size(), std::size_t{2});
        QVERIFY(ui.textRequests()[0].hidden);
        QCOMPARE(ui.messages().size(), std::size_t{1});
        QVERIFY(ui.messages()[0].text.find("password is wrong") != std::string::npos);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAbstractItemModelTester tester(window.View()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(window.View()->model()->rowCount(), 3);
        QCOMPARE(window.View()->model()->index(0, 0).data().toString(), QStringLiteral("a.txt"));
        QVERIFY(!ByText(&window, "Decrypt selected")->isEnabled()); // nothing selected yet
        QVERIFY2(qmtest::UnnamedControls(&window).isEmpty(),
                 qPrintable(qmtest::UnnamedControls(&window).join(", ")));
        QVERIFY(qmtest::UnreachableControls(&window).isEmpty());

        const std::string out = qmtest::MakeTempDir("boxout");
        TypeInto(ByLabel<QLineEdit>(&window, "Output folder:"), QString::fromStdString(out));
        // The keyboard: focus the list, go to the second row, Enter decrypts it.
        window.View()->setFocus();
        QTest::keyClick(window.View(), Qt::Key_Home);
        QTest::keyClick(window.View(), Qt::Key_Down);
        QVERIFY(ByText(&window, "Decrypt selected")->isEnabled());
        QVERIFY(qmtest::SaveWindowPicture(&window, "archive").size() > 0);
        Press(ByText(&window, "Decrypt selected"));
        QCOMPARE(qmtest::ReadFile(out + "/b.bin"), qmtest::PseudoRandomBytes(70000, 2));
        QVERIFY(!qmtest::Exists(out + "/a.txt"));

        // b.bin is there already: the window asks before replacing it.
        qmtest::WriteFile(out + "/b.bin", "older");
        ui.queueAnswer(uikit::Answer::Yes);
        Press(ByText(&window, "Decrypt all"));
        QCOMPARE(ui.messages().size(), std::size_t{2});
        QVERIFY(ui.messages()[1].text.find("b.bin") != std::string::npos);
        QCOMPARE(qmtest::ReadFile(out + "/a.txt"), std::string("alpha"));
        QCOMPARE(qmtest::ReadFile(out + "/sub/c.txt"), std::string("gamma"));
        QCOMPARE(qmtest::ReadFile(out + "/b.bin"), qmtest::PseudoRandomBytes(70000, 2));

        // Delete one entry after confirming.
        SelectEntries(window.View(), {"sub/c.txt"});
        ui.queueAnswer(uikit::Answer::Yes);
        Press(ByText(&window, "Delete entries"));
        QCOMPARE(window.View()->model()->rowCount(), 2);

        // Add a file through the chooser.
        qmtest::WriteFile(root + "/new.txt", "added later");
        ui.queueFiles(std::vector<std::string>{root + "/new.txt"});
        Press(ByText(&window, "Add files..."));
        QCOMPARE(window.View()->model()->rowCount(), 3);

        // Decrypt and remove takes the entry out; removing every entry is refused.
        const std::string out2 = qmtest::MakeTempDir("boxout2");
        TypeInto(ByLabel<QLineEdit>(&window, "Output folder:"), QString::fromStdString(out2));
        SelectEntries(window.View(), {"new.txt"});
        Press(ByText(&window, "Decrypt and remove"));
        QCOMPARE(qmtest::ReadFile(out2 + "/new.txt"), std::string("added later"));
        QCOMPARE(window.View()->model()->rowCount(), 2);
        const std::size_t before = ui.messages().size();
        SelectEntries(window.View(), {"a.txt", "b.bin"});
        Press(ByText(&window, "Decrypt and remove"));
        QCOMPARE(window.View()->model()->rowCount(), 2);
        QVERIFY(ui.messages().size() > before);
        QVERIFY(ui.messages().back().text.find("at least one entry") != std::string::npos);

        // Another program sees the same archive.
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        QVERIFY(corecrypt::ListArchive(archive, kPassword, false, entries, error));
        QCOMPARE(entries.size(), std::size_t{2});
    }

    void theShellEntryPointOpensTheWindowsAndEndsWhenTheyClose() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        shellkit::QtShellWindows windows;
        shellkit::SetShellWindows(&windows);
        const std::string root = qmtest::MakeTempDir("entry");
        const std::string one = Encrypted(root, "one.txt", "x");
        QString title;
        WhenModalOpens([&](QWidget* modal) {
            title = modal->windowTitle();
            Press(StandardButton(modal, QDialogButtonBox::Close));
        });
        QCOMPARE(shellkit::ShellFileOperation({one}, shellkit::kOpDecryptFiles, 0), 1);
        QCOMPARE(title, QStringLiteral("Decrypt"));

        const std::string archive = MakeArchive(root);
        ui.queueText(kPassword);
        WhenModalOpens([&](QWidget* modal) {
            title = modal->windowTitle();
            Press(StandardButton(modal, QDialogButtonBox::Close));
        });
        QCOMPARE(shellkit::ShellFileOperation({archive}, shellkit::kOpOpenArchive, 0), 1);
        QCOMPARE(title, QStringLiteral("box.qma - Quillmark archive"));
        // Cancelling the password opens nothing.
        ui.queueText(std::nullopt);
        QCOMPARE(shellkit::ShellFileOperation({archive}, shellkit::kOpOpenArchive, 0), 0);
        // An encrypted file is not an archive.
        QCOMPARE(shellkit::ShellFileOperation({one}, shellkit::kOpOpenArchive, 0), 0);
        QVERIFY(ui.messages().back().text.find("not a Quillmark archive") != std::string::npos);
        shellkit::SetShellWindows(nullptr);
    }
};

QM_QTEST_MAIN(FileWindowsTest)
#include "FileWindowsTest.moc"
