// The main window driven as a user drives it: workspaces, menus, the list and its filter, an archive
// in the description pane with its commands, and the key commands on real rings. The store here
// lists what lies in one folder and in the rings; the window only sees its interface.
#include "center/windows/MainWindow.h"
#include "center/core/ColumnSets.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/ListRoles.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/Icons.h"
#include "center/windows/ScanWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "shellkit/KeyRings.h"
#include "uikit/ScriptedBackend.h"

#include "FrameDriver.h"
#include "ModalAnswer.h"
#include "QtTestMain.h"
#include "WindowChecks.h"
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDockWidget>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSet>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>

#include <filesystem>

using center::Command;

namespace {

class FolderStore : public center::ICenterStore {
public:
    explicit FolderStore(std::string folder) : m_folder(std::move(folder)) {}

    QAbstractItemModel* ListModel(center::NavKind kind, const QString& filter) override {
        m_model.clear();
        const center::ColumnSet& set = center::ListColumns(kind);
        QStringList headers;
        for (const auto& c : set.columns)
            headers << QString::fromLatin1(c.title);
        m_model.setHorizontalHeaderLabels(headers);
        if (kind == center::kNavAllFiles || kind == center::kNavFolderFiles) {
            for (const std::string& path : m_files) {
                if (kind == center::kNavFolderFiles && path.rfind(filter.toStdString(), 0) != 0)
                    continue;
                const QString p = QString::fromStdString(path);
                auto* name = new QStandardItem(QFileInfo(p).fileName());
                name->setData(p, center::kPathRole);
                name->setData(QFileInfo(p).fileName() + " " + p, center::kFilterRole);
                name->setData(QFileInfo(p).fileName(), center::kSortRole);
                QList<QStandardItem*> row{name};
                while (row.size() < m_model.columnCount())
                    row << new QStandardItem(row.size() == 6 ? QFileInfo(p).path() : QString());
                m_model.appendRow(row);
            }
        } else if (kind == center::kNavPublicKeys) {
            std::string ring;
            shellkit::GetPubKeyFileName(ring, nullptr, 0);
            PublicKeySlots ring16(16);
            char error[512];
            const int n = LoadPublicKeyRing(ring16, ring.c_str(), error, sizeof error);
            for (int i = 0; i < n; ++i) {
                auto* name = new QStandardItem(QString::fromUtf8(ring16[i]->GetUserNameA()));
                name->setData(QString::fromUtf8(ring16[i]->GetEnvelop()), center::kKeyTextRole);
                m_model.appendRow({name, new QStandardItem(QString::fromUtf8(ring16[i]->GetEmail()))});
            }
        }
        return &m_model;
    }
    void Refresh(CDlgCancel& window) override {
        ++refreshes;
        m_files.clear();
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_folder))
            if (e.path().extension() == ".qma" || e.path().extension() == ".qmp")
                m_files.push_back(e.path().string());
        std::sort(m_files.begin(), m_files.end());
        window.Report(1, 0, 0, static_cast<int>(m_files.size()));
    }
    void ReloadKeys() override { ++keyReloads; }
    KeyCounts CountKeys() const override { return {}; }
    std::vector<std::string> EncryptedFiles() const override { return m_files; }
    void AddEncryptedFile(const std::string& path) override {
        m_files.push_back(path);
        added.push_back(path);
    }
    void RemoveEncryptedFile(const std::string& path) override { std::erase(m_files, path); }
    bool DeleteRow(center::NavKind, const QModelIndex&) override { return false; }

    int refreshes = 0;
    int keyReloads = 0;
    std::vector<std::string> added;

private:
    std::string m_folder;
    std::vector<std::string> m_files;
    QStandardItemModel m_model;
};

std::string MakeArchive(const std::string& folder, const std::string& name,
                        const std::vector<std::string>& files) {
    std::vector<std::string> sources;
    for (const auto& f : files) {
        qmtest::WriteFile(folder + "/src/" + f, "contents of " + f);
        sources.push_back(folder + "/src/" + f);
    }
    std::string error;
    const std::string archive = folder + "/" + name;
    corecrypt::ArchiveAddOptions options;
    if (!corecrypt::AddToArchive(archive, sources, "pw", false, options, error))
        qWarning("%s", error.c_str());
    return archive;
}

QStringList MenuTexts(CMainFrame& frame) {
    QStringList texts;
    for (QMenu* menu : frame.Menus()) {
        texts << menu->title() + ":";
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                texts << a->text() + (a->shortcut().isEmpty() ? QString() : "\t" + a->shortcut().toString());
    }
    return texts;
}

// Names the chrome buttons Qt adds and checks the window.
void Check(CMainFrame& frame, const QString& picture) {
    qmtest::CheckWindow(frame, picture);
}

using qmtest::Activate;
using qmtest::Rows;
using qmtest::SelectListRow;

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    // Without an icon theme our own pictures show: every one is bundled and draws something, and
    // the commands that sit side by side on the bars do not share one.
    void everyCommandHasItsOwnBundledPicture() {
        using center::IconId;
        for (int id = int(IconId::SecretKeys); id <= int(IconId::Help); ++id) {
            const QString path = center::OwnIconPath(IconId(id));
            const QImage image = QIcon(path).pixmap(24, 24).toImage();
            QVERIFY2(!image.isNull(), qPrintable(path));
            bool drawn = false;
            for (int y = 0; y < image.height() && !drawn; ++y)
                for (int x = 0; x < image.width() && !drawn; ++x)
                    drawn = qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(drawn, qPrintable(path));
        }
        const IconId distinct[] = {
            IconId::Refresh,        IconId::Preferences,  IconId::Exit,          IconId::SaveTaskList,
            IconId::TaskProperties, IconId::ScheduleTask, IconId::StopScheduler, IconId::ClearList,
            IconId::Help,           IconId::FindKey,      IconId::ExportKey,     IconId::ImportKey,
            IconId::PublishKey,     IconId::SyncKeys,     IconId::PerformTask,   IconId::Delete};
        QSet<QString> seen;
        for (IconId id : distinct)
            seen.insert(center::OwnIconPath(id));
        QCOMPARE(seen.size(), qsizetype(std::size(distinct)));
    }

    void theWorkspaceBarSwapsMenusAndBars() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.windowTitle(), QStringLiteral("Quillmark Control Center"));
        QDockWidget* dock = frame.Workspace();
        QCOMPARE(dock->windowTitle(), QStringLiteral("Workspace"));
        QVERIFY(dock->features().testFlag(QDockWidget::DockWidgetMovable));
        QVERIFY(dock->features().testFlag(QDockWidget::DockWidgetFloatable));
        QTabWidget* tabs = frame.Workspace()->Tabs();
        QCOMPARE(tabs->count(), 4);
        const QStringList names{"Files", "Keys", "Tasks", "Schedule"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(tabs->tabText(i), names[i]);
        QCOMPARE(frame.Splitter()->orientation(), Qt::Vertical);
        QCOMPARE(frame.Splitter()->widget(0), static_cast<QWidget*>(frame.List()));
        QCOMPARE(frame.Splitter()->widget(1), static_cast<QWidget*>(frame.Description()));

        const QStringList help{"&Help:", "Help topics\tF1", "Quick start...", "Quillmark home page",
                               "&About Quillmark..."};
        QCOMPARE(MenuTexts(frame), QStringList({"&File:",
                                                "&New archive...\tCtrl+N",
                                                "Encryption &Wizard...\tCtrl+W",
                                                "Messenger",
                                                "&Locations...\tF7",
                                                "&Refresh\tF5",
                                                "&Preferences...",
                                                "E&xit",
                                                "&Archive:",
                                                "Add &files to archive...\tF2",
                                                "Add fo&lder to archive...\tF3",
                                                "&Delete file(s)\tF8",
                                                "Select &output folder...",
                                                "Decrypt &entire archive\tF4",
                                                "Decrypt &selected files\tF6",
                                                "Decrypt &and Remove",
                                                "Open in Box&view\tF9",
                                                "&Keys:",
                                                "&Generate new key pair",
                                                "&Encryption keys folder...",
                                                "Set session key..."}) +
                                       help);
        QCOMPARE(frame.findChild<QToolBar*>(QStringLiteral("MainDialogBar"))->isVisible(), true);
        Check(frame, QStringLiteral("center-main-files"));

        tabs->setCurrentIndex(1);
        frame.Workspace()->KeysTree()->SelectKind(center::kNavPublicKeys);
        QCOMPARE(frame.Kind(), center::kNavPublicKeys);
        QCOMPARE(
            MenuTexts(frame),
            QStringList({"&File:", "&Generate new key pair...", "&Delete key", "Export key...",
                         "Import key...", "Start &Messenger", "Key &server:", "Find key on server",
                         "Synchronize keys with server", "Publish key on server", "Revoke key from server"}) +
                help);
        QVERIFY(frame.findChild<QToolBar*>(QStringLiteral("PublicKeysBar"))->isVisible());
        QVERIFY(!frame.findChild<QToolBar*>(QStringLiteral("MainDialogBar"))->isVisible());
        // The key-server commands wait for their handler.
        QVERIFY(!frame.MenuAction(Command::FindKey)->isEnabled());
        bool found = false;
        frame.SetCommandHandler(Command::FindKey, [&] { found = true; });
        QVERIFY(frame.MenuAction(Command::FindKey)->isEnabled());
        frame.MenuAction(Command::FindKey)->trigger();
        QVERIFY(found);
        Check(frame, QStringLiteral("center-main-keys"));
        // The secret key files use the main menu.
        frame.Workspace()->KeysTree()->SelectKind(center::kNavSecretKeys);
        QCOMPARE(MenuTexts(frame).first(2), QStringList({"&File:", "&New archive...\tCtrl+N"}));

        tabs->setCurrentIndex(2);
        QCOMPARE(frame.Kind(), center::kNavTaskList);
        QCOMPARE(MenuTexts(frame),
                 QStringList({"&File:", "&New task list\tCtrl+N", "&Open task list...\tCtrl+O",
                              "&Save task list\tCtrl+S", "Save task list as...", "&Close task list",
                              "&Actions:", "Create &new task...\tCtrl+T", "&Delete task\tCtrl+D",
                              "&List files for the task list\tCtrl+L", "&Perform tasks\tCtrl+E",
                              "Clear file list", "Task properties", "Schedule task..."}) +
                     help);
        Check(frame, QStringLiteral("center-main-tasks"));

        tabs->setCurrentIndex(3);
        QCOMPARE(frame.Kind(), center::kNavSchedule);
        QCOMPARE(MenuTexts(frame),
                 QStringList({"&File:", "Sta&rt scheduler\tCtrl+R", "&Stop scheduler\tCtrl+S",
                              "&Actions:", "Create &new task...\tCtrl+N", "&Delete task\tCtrl+D",
                              "Clear task list", "R&un task\tCtrl+U", "Task properties"}) +
                     help);
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("0 tasks"));
        Check(frame, QStringLiteral("center-main-schedule"));
        QVERIFY(ui.messages().empty());
    }

    void aShortcutOfAnotherWorkspaceDoesNothing() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CMainFrame frame;
        int newTaskLists = 0;
        frame.SetCommandHandler(Command::NewTaskList, [&] { ++newTaskLists; });
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.Workspace()->Tabs()->setCurrentIndex(2);
        QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(newTaskLists, 1);
        frame.Workspace()->Tabs()->setCurrentIndex(0);
        ui.queueFiles(std::nullopt); // New archive's save question, cancelled
        QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(newTaskLists, 1);
        QCOMPARE(ui.fileRequests().size(), std::size_t(1));
        QCOMPARE(ui.fileRequests().back().title, std::string("Enter archive name"));
        QCOMPARE(ui.fileRequests().back().filter, std::string("Quillmark archives (*.qma)|*.qma||"));
    }

    void theFilterNarrowsTheListAndTheFileTreeHoldsTheFolders() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("filter");
        for (const char* name : {"a/report.qma", "a/b/notes.qmp", "c/report-old.qma", "c/photo.qmp"})
            qmtest::WriteFile(dir + "/" + name, "x");
        FolderStore store(dir);
        CMainFrame frame(&store);
        QAbstractItemModelTester listTester(frame.ListFilter(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester treeTester(frame.Workspace()->FileTree()->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        frame.StartUp();
        QVERIFY(Activate(frame));
        QCOMPARE(store.refreshes, 1);
        QCOMPARE(Rows(frame), 4);
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("4 files"));
        QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(frame.FilterField()->hasFocus());
        QTest::keyClicks(frame.FilterField(), QStringLiteral("REPORT"));
        QCOMPARE(Rows(frame), 2);
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("2 files"));
        QTest::keyClicks(frame.FilterField(), QStringLiteral("-o"));
        QCOMPARE(Rows(frame), 1);
        QTest::keyClick(frame.FilterField(), Qt::Key_Escape);
        QCOMPARE(Rows(frame), 4);

        // The folder of "c" narrows the list to its two files.
        center::CFileTree* tree = frame.Workspace()->FileTree();
        QVERIFY(tree->SelectFolder(QString::fromStdString(dir + "/c/")));
        QCOMPARE(frame.Kind(), center::kNavFolderFiles);
        QCOMPARE(Rows(frame), 2);
        const QModelIndex all = tree->model()->index(1, 0);
        QCOMPARE(all.data().toString(), QStringLiteral("All Files (4)"));
        tree->setCurrentIndex(tree->model()->index(0, 0));
        QCOMPARE(Rows(frame), 0); // "Folders" itself holds no file
        tree->setCurrentIndex(all);
        QCOMPARE(Rows(frame), 4);
        // Header clicks sort by name both ways.
        frame.List()->sortByColumn(0, Qt::AscendingOrder);
        QCOMPARE(frame.ListFilter()->index(0, 0).data().toString(), QStringLiteral("notes.qmp"));
        frame.List()->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(frame.ListFilter()->index(0, 0).data().toString(), QStringLiteral("report.qma"));
    }

    void anArchiveIsListedDecryptedAddedToAndShrunk() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("archive");
        const std::string archive = MakeArchive(dir, "box.qma", {"one.txt", "two.txt"});
        FolderStore store(dir);
        CMainFrame frame(&store);
        frame.StartUp();
        QVERIFY(Activate(frame));
        QCOMPARE(Rows(frame), 1);
        // Activating the row asks for the password once and lists the entries.
        ui.queueText(std::string("pw"));
        SelectListRow(frame, 0);
        QTest::keyClick(frame.List(), Qt::Key_Return);
        QCOMPARE(ui.textRequests().size(), std::size_t(1));
        QCOMPARE(ui.textRequests().back().caption, std::string("Quillmark: Enter Passphrase"));
        center::CKeyManDesc* pane = frame.Description();
        QAbstractItemModelTester paneTester(pane->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(pane->Entries()->rowCount(), 2);

        // Decrypting needs a selection in the pane and an output folder.
        pane->setFocus();
        QVERIFY(!frame.MenuAction(Command::DecryptSelected)->isEnabled());
        pane->setCurrentIndex(pane->model()->index(0, 0));
        pane->selectionModel()->select(pane->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QVERIFY(frame.MenuAction(Command::DecryptSelected)->isEnabled());
        QTRY_VERIFY(frame.OutputFolders()->isVisible());
        frame.MenuAction(Command::DecryptSelected)->trigger();
        QCOMPARE(ui.messages().back().text,
                 std::string("Please, enter output directory in the combo box on the toolbar."));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Information);
        const std::string out = qmtest::MakeTempDir("out");
        frame.OutputFolders()->setEditText(QString::fromStdString(out));
        Check(frame, QStringLiteral("center-main-archive"));
        frame.MenuAction(Command::DecryptSelected)->trigger();
        QCOMPARE(qmtest::ReadFile(out + "/one.txt"), std::string("contents of one.txt"));
        QVERIFY(!qmtest::Exists(out + "/two.txt"));
        std::string stored;
        QVERIFY(CQMRegistry().ReadStringEx("Archive path1", stored));
        QCOMPARE(stored, out);

        // Add files from the list's focus.
        SelectListRow(frame, 0);
        qmtest::WriteFile(dir + "/three.txt", "3");
        ui.queueFiles(std::vector<std::string>{dir + "/three.txt"});
        frame.MenuAction(Command::AddFiles)->trigger();
        QCOMPARE(ui.fileRequests().back().title, std::string("Add Files"));
        QCOMPARE(pane->Entries()->rowCount(), 3);

        // Delete the selected entry after the question.
        pane->setFocus();
        pane->selectionModel()->select(pane->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ui.queueAnswer(uikit::Answer::No);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(ui.messages().back().text,
                 std::string("Are you sure you want to delete 1 file(s) from an archive?"));
        QCOMPARE(pane->Entries()->rowCount(), 3);
        ui.queueAnswer(uikit::Answer::Yes);
        frame.MenuAction(Command::DeleteFiles)->trigger();
        QCOMPARE(pane->Entries()->rowCount(), 2);
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        QVERIFY(corecrypt::ListArchive(archive, "pw", false, entries, error));
        QCOMPARE(entries.size(), std::size_t(2));
        QVERIFY(ui.allAnswersUsed());
        // Only the output-folder notice went without a queued answer.
        QCOMPARE(ui.messages().size(), std::size_t(3));
        QCOMPARE(ui.unanswered(), std::size_t(1));
    }

    void decryptAndRemoveOfEveryEntryTakesTheArchiveAway() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("remove");
        const std::string archive = MakeArchive(dir, "last.qma", {"only.txt"});
        FolderStore store(dir);
        CMainFrame frame(&store);
        frame.StartUp();
        QVERIFY(Activate(frame));
        ui.queueText(std::string("wrong"));
        SelectListRow(frame, 0);
        QTest::keyClick(frame.List(), Qt::Key_Return);
        // A wrong password is asked once; the failure is then shown.
        QCOMPARE(ui.textRequests().size(), std::size_t(1));
        QCOMPARE(frame.Description()->Entries()->rowCount(), 0);
        QCOMPARE(ui.messages().size(), std::size_t(1));
        ui.queueText(std::string("pw"));
        frame.Description()->ShowArchive(archive, {});
        QCOMPARE(frame.Description()->Entries()->rowCount(), 1);
        // Decrypt and Remove runs with an empty combo box too; here it gets a folder.
        const std::string out = qmtest::MakeTempDir("out2");
        frame.OutputFolders()->setEditText(QString::fromStdString(out));
        frame.Description()->setFocus();
        frame.Description()->selectionModel()->select(frame.Description()->model()->index(0, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        frame.MenuAction(Command::DecryptAndRemove)->trigger();
        QCOMPARE(qmtest::ReadFile(out + "/only.txt"), std::string("contents of only.txt"));
        QVERIFY(!qmtest::Exists(archive));
        QCOMPARE(Rows(frame), 0);
    }

    void newArchiveWritesTheChosenFilesUnderTheSessionPassword() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("new");
        qmtest::WriteFile(dir + "/in.txt", "payload");
        FolderStore store(dir);
        CMainFrame frame(&store);
        frame.show();
        ui.queueFiles(std::vector<std::string>{dir + "/made.qma"});
        ui.queueText(std::string("secret"));
        ui.queueText(std::string("secret"));
        ui.queueFiles(std::vector<std::string>{dir + "/in.txt"});
        frame.MenuAction(Command::NewArchive)->trigger();
        QCOMPARE(ui.fileRequests().back().title, std::string("Add Files to Archive"));
        QCOMPARE(store.added, std::vector<std::string>{dir + "/made.qma"});
        std::vector<corecrypt::ArchiveEntry> entries;
        std::string error;
        QVERIFY2(corecrypt::ListArchive(dir + "/made.qma", "secret", false, entries, error), error.c_str());
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(Rows(frame), 1);
    }

    void keysAreImportedAndExportedThroughTheKeyTextWindow() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        FolderStore store(qmtest::MakeTempDir("keys"));
        CMainFrame frame(&store);
        frame.show();
        frame.Workspace()->Tabs()->setCurrentIndex(1);
        frame.Workspace()->KeysTree()->SelectKind(center::kNavPublicKeys);
        QCOMPARE(Rows(frame), 0);
        std::string error;
        auto other =
            CPrivateKey::Generate("Ann Other", "ann@example.org", 1700000000, 0, "long passphrase", error);
        QVERIFY(other);
        const QString text = QString::fromStdString(
            corecrypt::ArmorKeyText(corecrypt::KeyTextKind::Public, other->GetPublicRecordBytes()));

        // Unreadable text: the engine's reason, and the ring unchanged.
        qmtest::ModalAnswer garbage([](QWidget* w) {
            auto* field = w->findChild<QPlainTextEdit*>(QStringLiteral("KeyText"));
            field->setPlainText(QStringLiteral("no key here"));
            static_cast<QDialog*>(w)->accept();
            return qmtest::Differs(QStringLiteral("title"), w->windowTitle(),
                                   QStringLiteral("Past the public key here"));
        });
        frame.MenuAction(Command::ImportKey)->trigger();
        QVERIFY2(garbage.problem().isEmpty(), qPrintable(garbage.problem()));
        QCOMPARE(ui.messages().back().caption, std::string("Error"));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Warning);
        QCOMPARE(Rows(frame), 0);

        qmtest::ModalAnswer paste([&](QWidget* w) {
            w->findChild<QPlainTextEdit*>(QStringLiteral("KeyText"))->setPlainText(text);
            qmtest::SaveWindowPicture(w, QStringLiteral("center-main-import"));
            static_cast<QDialog*>(w)->accept();
            return QString();
        });
        frame.MenuAction(Command::ImportKey)->trigger();
        QVERIFY2(paste.problem().isEmpty(), qPrintable(paste.problem()));
        QCOMPARE(ui.messages().back().text, std::string("The key has been successfully imported."));
        QCOMPARE(ui.messages().back().caption, std::string("Success!"));
        QCOMPARE(Rows(frame), 1);
        QVERIFY(store.keyReloads >= 1);

        // Export without a selection, then with the imported key selected.
        frame.List()->setFocus();
        frame.MenuAction(Command::ExportKey)->trigger();
        QCOMPARE(ui.messages().back().text, std::string("Select a key, please."));
        QCOMPARE(ui.messages().back().caption, std::string("Message"));
        SelectListRow(frame, 0);
        QString shown;
        qmtest::ModalAnswer look([&](QWidget* w) {
            shown = w->findChild<QPlainTextEdit*>(QStringLiteral("KeyText"))->toPlainText();
            qmtest::CheckWindow(*w, QStringLiteral("center-main-export"));
            static_cast<QDialog*>(w)->accept();
            return qmtest::Differs(QStringLiteral("title"), w->windowTitle(),
                                   QStringLiteral("Copy the public key from here"));
        });
        frame.MenuAction(Command::ExportKey)->trigger();
        QVERIFY2(look.problem().isEmpty(), qPrintable(look.problem()));
        QVERIFY(shown.contains(text.trimmed().split('\n').at(1)));
    }

    void messengerMissingShowsTheSystemsReason() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        CMainFrame frame;
        frame.show();
        frame.MenuAction(Command::Messenger)->trigger();
        QCOMPARE(ui.messages().size(), std::size_t(1));
        QCOMPARE(ui.messages().back().caption, std::string("Error"));
        QCOMPARE(ui.messages().back().icon, uikit::Icon::Information);
        QVERIFY(!ui.messages().back().text.empty());
    }

    void closingStoresPlacementColumnsAndTheHistory() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        {
            CMainFrame frame;
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.List()->setColumnWidth(0, 140);
            frame.OutputFolders()->setEditText(QStringLiteral("/srv/out"));
            frame.close();
        }
        const CQMRegistry keyman(RegRoot::CurrentUser, encreg::szRegKeyman);
        std::string widths;
        QVERIFY(keyman.ReadBinaryEx("ListFilesCols", widths));
        QCOMPARE(static_cast<unsigned char>(widths[0]), static_cast<unsigned char>(140));
        for (const char* name : {"left", "top", "right", "bottom", "showCmd", "x0", "y0"})
            QVERIFY2(keyman.ValueExists(name), name);
        std::string folder;
        QVERIFY(CQMRegistry().ReadStringEx("Archive path1", folder));
        QCOMPARE(folder, std::string("/srv/out"));
        // The next window starts from them.
        CMainFrame again;
        again.StartUp();
        QCOMPARE(again.List()->columnWidth(0), 140);
        QCOMPARE(again.OutputFolders()->itemText(0), QStringLiteral("/srv/out"));
    }
};

QM_QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
