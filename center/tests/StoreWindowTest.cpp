// The main window over the program's own store: a generated store scanned at start-up, both
// trees browsed, the list sorted by header clicks and filtered, an archive opened in the
// description pane, and the key workspace with its lists and descriptions.
#include "StoreFiles.h"
#include "center/core/CenterState.h"
#include "center/docking/WorkspaceBar.h"
#include "center/views/DescriptionPane.h"
#include "center/views/ListFilter.h"
#include "center/views/ListRoles.h"
#include "center/views/NavigationTrees.h"
#include "center/windows/CenterStore.h"
#include "center/windows/MainWindow.h"
#include "center/windows/ScanWindow.h"
#include "corecrypt/Archive.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "shellkit/KeyRings.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include "WindowChecks.h"
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTreeView>

#include <cstdio>

using storetest::Header;
using storetest::Id;

namespace {

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, column).data().toString();
    return texts;
}

// Clicks a header section as the user does.
void ClickHeader(QTreeView* view, int column) {
    QHeaderView* header = view->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void ActivateRow(CMainFrame& frame, int row) {
    QTreeView* list = frame.List();
    list->setFocus();
    const QModelIndex index = frame.ListFilter()->index(row, 0);
    list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->setCurrentIndex(index);
    QTest::keyClick(list, Qt::Key_Return);
}

// The program's store, counting its scans; it can also keep its records over a scan, as a store
// does that still lists a file whose disk no longer has it.
class CountingStore : public center::CCenterStore {
public:
    using center::CCenterStore::CCenterStore;
    void Refresh(CDlgCancel& window) override {
        ++scans;
        if (keepRecords)
            window.Report(0, 0, 0, 0);
        else
            center::CCenterStore::Refresh(window);
    }
    int scans = 0;
    bool keepRecords = false;
};

} // namespace

class StoreWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void aScannedStoreIsBrowsedSortedFilteredAndOpened() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("window");
        const std::string files = dir + "/files/";
        const std::string keys = dir + "/keys/";
        storetest::SetLocations({files});
        storetest::SetKeyFolder(keys);
        storetest::KeyFile(keys + "alpha.qmk", Id("a"));
        qmtest::WriteFile(files + "one/x.qmp", Header(41, true, 1, Id("a"), 500));
        qmtest::WriteFile(files + "two/y.qmp", Header(41, false, 5, {}, 90));
        qmtest::WriteFile(dir + "/src/first.txt", "first");
        qmtest::WriteFile(dir + "/src/second.txt", "second");
        std::string error;
        QVERIFY2(corecrypt::AddToArchive(files + "box.qma", {dir + "/src/first.txt", dir + "/src/second.txt"},
                                         "pw", false, corecrypt::ArchiveAddOptions{}, error),
                 error.c_str());
        std::string ring, privateRing;
        QVERIFY(shellkit::GetPubKeyFileName(ring, nullptr, 0));
        QVERIFY(shellkit::GetPrivKeyFileName(privateRing, nullptr, 0));
        qmtest::WriteFile(ring, "");
        qmtest::WriteFile(privateRing, "");
        char text[1000] = {};
        auto own =
            CPrivateKey::Generate("Zed Owner", "zed@example.org", 1700000000, 0, "long passphrase", error);
        QVERIFY2(own, error.c_str());
        QVERIFY2(AddPrivateKeyToFile(*own, privateRing.c_str(), ring.c_str(), text, sizeof text), text);

        center::CCenterState state;
        center::CCenterStore store(state);
        CMainFrame frame(&store);
        QAbstractItemModelTester listTester(frame.ListFilter(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        frame.StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));

        // Files: everything found, in path order, and the folders in the tree.
        QCOMPARE(frame.Kind(), center::kNavAllFiles);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"box.qma", "x.qmp", "y.qmp"}));
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("3 files"));
        center::CFileTree* tree = frame.Workspace()->FileTree();
        QCOMPARE(tree->model()->index(1, 0).data().toString(), QStringLiteral("All Files (3)"));
        QVERIFY(tree->SelectFolder(QString::fromStdString(files + "two/")));
        QCOMPARE(frame.Kind(), center::kNavFolderFiles);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"y.qmp"}));
        QCOMPARE(frame.ListFilter()->columnCount(), 6);
        tree->setCurrentIndex(tree->model()->index(1, 0));
        QCOMPARE(frame.ListFilter()->rowCount(), 3);
        QCOMPARE(frame.ListFilter()->index(1, 3).data().toString(), QStringLiteral("alpha"));

        // Header clicks: by size, then the other way round on the next click.
        ClickHeader(frame.List(), 1);
        QCOMPARE(Column(*frame.ListFilter(), 0).last(), QStringLiteral("x.qmp"));
        QCOMPARE(frame.List()->header()->sortIndicatorSection(), 1);
        ClickHeader(frame.List(), 1);
        QCOMPARE(Column(*frame.ListFilter(), 0).first(), QStringLiteral("x.qmp"));
        QCOMPARE(frame.List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);

        // The filter narrows by path: the folder's name finds its file.
        QTest::keyClick(&frame, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(frame.FilterField(), QStringLiteral("ONE/"));
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"x.qmp"}));
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("1 files"));
        QTest::keyClick(frame.FilterField(), Qt::Key_Escape);
        QCOMPARE(frame.ListFilter()->rowCount(), 3);

        // The archive opens in the description pane after its password.
        const int box = Column(*frame.ListFilter(), 0).indexOf(QStringLiteral("box.qma"));
        ui.queueText(std::string("pw"));
        ActivateRow(frame, box);
        QCOMPARE(ui.textRequests().size(), std::size_t(1));
        QCOMPARE(frame.Description()->Entries()->rowCount(), 2);
        QCOMPARE(frame.Description()->model()->headerData(2, Qt::Horizontal).toString(),
                 QStringLiteral("Modified"));
        qmtest::CheckWindow(frame, QStringLiteral("center-store-files"));

        // Keys: the key pair in both lists, the whole "Synchronized" title readable.
        frame.Workspace()->Tabs()->setCurrentIndex(1);
        frame.Workspace()->KeysTree()->SelectKind(center::kNavPublicKeys);
        QCOMPARE(frame.Kind(), center::kNavPublicKeys);
        QCOMPARE(frame.Workspace()->KeysTree()->model()->index(0, 0).data().toString(),
                 QStringLiteral("Public Keys (1)"));
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"Zed Owner"}));
        QCOMPARE(Column(*frame.ListFilter(), 5), QStringList({"Own"}));
        QHeaderView* header = frame.List()->header();
        QVERIFY(header->sectionSize(5) >= header->sectionSizeHint(5));
        // Keys describe nothing below: no archive columns there.
        QCOMPARE(frame.Description()->model()->columnCount(), 0);
        ActivateRow(frame, 0);
        QCOMPARE(frame.Description()->model()->rowCount(), 0);
        qmtest::CheckWindow(frame, QStringLiteral("center-store-keys"));
        frame.Workspace()->KeysTree()->SelectKind(center::kNavPrivateKeys);
        QCOMPARE(Column(*frame.ListFilter(), 1), QStringList({"zed@example.org"}));

        // A key file describes the encrypted files that need it.
        frame.Workspace()->KeysTree()->SelectKind(center::kNavSecretKeys);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"alpha.qmk"}));
        QCOMPARE(Column(*frame.ListFilter(), 1), QStringList({"1"}));
        QCOMPARE(frame.Description()->model()->headerData(3, Qt::Horizontal).toString(),
                 QStringLiteral("Algorithm"));
        QCOMPARE(frame.Description()->model()->rowCount(), 0);
        ActivateRow(frame, 0);
        QAbstractItemModelTester paneTester(frame.Description()->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(Column(*frame.Description()->model(), 0), QStringList({"x.qmp"}));
        QCOMPARE(Column(*frame.Description()->model(), 2), QStringList({"Key"}));
        QCOMPARE(Column(*frame.Description()->model(), 5),
                 QStringList({QString::fromStdString(files + "one/")}));
        qmtest::CheckWindow(frame, QStringLiteral("center-store-key-files"));

        // Back to the files: the archive columns return.
        frame.Workspace()->Tabs()->setCurrentIndex(0);
        QCOMPARE(frame.Description()->model()->columnCount(), 3);
        QVERIFY(ui.messages().empty());
        frame.close();
    }

    void aFileGoneFromAllFilesRescansOnceAndRefills() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("gone");
        const std::string files = dir + "/files/";
        storetest::SetLocations({files});
        storetest::SetKeyFolder(dir + "/keys/");
        storetest::KeyFile(dir + "/keys/spare.qmk", Id("s"));
        for (const char* name : {"a/one.qmp", "a/two.qmp", "b/three.qmp", "b/four.qmp"})
            qmtest::WriteFile(files + name, Header(41, false, 5, {}, 90));

        center::CCenterState state;
        CountingStore store(state);
        CMainFrame frame(&store);
        QAbstractItemModelTester listTester(frame.ListFilter(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        frame.StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(store.scans, 1);
        QCOMPARE(frame.ListFilter()->rowCount(), 4);

        // Deleted behind the store's back: the painting notices, the scan follows by itself.
        QVERIFY(std::remove((files + "a/two.qmp").c_str()) == 0);
        frame.List()->viewport()->repaint();
        QTRY_COMPARE(store.scans, 2);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"one.qmp", "four.qmp", "three.qmp"}));
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("3 files"));
        QCOMPARE(frame.Workspace()->FileTree()->model()->index(1, 0).data().toString(),
                 QStringLiteral("All Files (3)"));
        for (int i = 0; i < 3; ++i) {
            frame.List()->viewport()->repaint();
            QTest::qWait(50);
        }
        QCOMPARE(store.scans, 2);

        // A file the store keeps listing gets one scan, not one on every painting.
        store.keepRecords = true;
        QVERIFY(std::remove((files + "b/three.qmp").c_str()) == 0);
        frame.List()->viewport()->repaint();
        QTRY_COMPARE(store.scans, 3);
        for (int i = 0; i < 5; ++i) {
            frame.List()->viewport()->repaint();
            QTest::qWait(50);
        }
        QCOMPARE(store.scans, 3);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"one.qmp", "four.qmp", ""}));

        // One folder's list shows the gone file's empty name and scans nothing.
        QVERIFY(frame.Workspace()->FileTree()->SelectFolder(QString::fromStdString(files + "b/")));
        QCOMPARE(frame.Kind(), center::kNavFolderFiles);
        frame.List()->viewport()->repaint();
        QTest::qWait(100);
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"four.qmp", ""}));
        QCOMPARE(store.scans, 3);
        QVERIFY(ui.messages().empty());
        frame.close();
    }

    void twoLocationsFillTheFolderTreeAndTheCounts() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        const std::string dir = qmtest::MakeTempDir("picture");
        const std::string documents = dir + "/Documents/";
        const std::string pictures = dir + "/Pictures/";
        storetest::SetLocations({documents, pictures});
        storetest::SetKeyFolder(dir + "/keys/");
        storetest::KeyFile(dir + "/keys/office.qmk", Id("o"), 56);
        storetest::KeyFile(dir + "/keys/travel.qmk", Id("t"), 40);
        const struct {
            const char* path;
            bool key;
            std::uint8_t code;
            const char* id;
            std::size_t size;
        } made[] = {{"Documents/Taxes/return-2025.qmp", true, 2, "o", 184320},
                    {"Documents/Taxes/receipts.qmp", true, 2, "o", 96512},
                    {"Documents/Contracts/lease.qmp", false, 30, "", 48211},
                    {"Documents/Contracts/insurance.qmp", true, 38, "o", 120400},
                    {"Documents/notes.qmp", false, 1, "", 3120},
                    {"Pictures/2026/passport-scan.qmp", true, 5, "t", 1843200},
                    {"Pictures/2026/tickets.qmp", true, 5, "t", 230912}};
        for (const auto& m : made)
            qmtest::WriteFile(dir + "/" + m.path,
                              Header(41, m.key, m.code, m.key ? Id(m.id) : std::string(), m.size));
        qmtest::WriteFile(dir + "/src/budget.ods", std::string(20000, 'b'));
        qmtest::WriteFile(dir + "/src/minutes.txt", "minutes of the meeting");
        qmtest::WriteFile(dir + "/src/plan.pdf", std::string(9000, 'p'));
        std::string error;
        QVERIFY2(corecrypt::AddToArchive(
                     documents + "Projects.qma",
                     {dir + "/src/budget.ods", dir + "/src/minutes.txt", dir + "/src/plan.pdf"}, "pw", false,
                     corecrypt::ArchiveAddOptions{}, error),
                 error.c_str());

        center::CCenterState state;
        center::CCenterStore store(state);
        CMainFrame frame(&store);
        frame.StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.ListFilter()->rowCount(), 8);
        QCOMPARE(frame.CountPane()->text(), QStringLiteral("8 files"));
        center::CFileTree* tree = frame.Workspace()->FileTree();
        QCOMPARE(tree->model()->index(1, 0).data().toString(), QStringLiteral("All Files (8)"));
        QVERIFY(tree->SelectFolder(QString::fromStdString(documents + "Taxes/")));
        QCOMPARE(Column(*frame.ListFilter(), 0), QStringList({"receipts.qmp", "return-2025.qmp"}));
        QVERIFY(tree->SelectFolder(QString::fromStdString(pictures + "2026/")));
        QCOMPARE(Column(*frame.ListFilter(), 3), QStringList({"travel", "travel"}));
        tree->expandAll();
        tree->setCurrentIndex(tree->model()->index(1, 0));
        QCOMPARE(frame.ListFilter()->rowCount(), 8);
        frame.Workspace()->Tabs()->setCurrentIndex(1);
        frame.Workspace()->KeysTree()->SelectKind(center::kNavSecretKeys);
        QCOMPARE(Column(*frame.ListFilter(), 1), QStringList({"3", "2"}));
        frame.Workspace()->Tabs()->setCurrentIndex(0);

        ui.queueText(std::string("pw"));
        ActivateRow(frame, Column(*frame.ListFilter(), 0).indexOf(QStringLiteral("Projects.qma")));
        QCOMPARE(frame.Description()->Entries()->rowCount(), 3);
        qmtest::CheckWindow(frame, QStringLiteral("center-main-window"));
        frame.close();
    }
};

QM_QTEST_MAIN(StoreWindowTest)
#include "StoreWindowTest.moc"
