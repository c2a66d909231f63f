// The list's item model over the store's rows, and the store behind the main window: every kind
// under the model tester, the roles the window reads, header clicks, the filter, and a scan that
// the user breaks off.
#include "center/views/ListModel.h"
#include "StoreFiles.h"
#include "center/core/CenterState.h"
#include "center/views/ListFilter.h"
#include "center/views/ListRoles.h"
#include "center/windows/CenterStore.h"
#include "center/windows/KeyFolderWindow.h"
#include "center/windows/LocationsWindow.h"
#include "center/windows/ScanWindow.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "shellkit/KeyRings.h"
#include "uikit/ScriptedBackend.h"

#include "QtTestMain.h"
#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QTimer>

using center::CListRowsModel;
using storetest::Header;
using storetest::Id;

namespace {

std::unique_ptr<CListRowsModel> ModelOf(center::CCenterState& state, std::uint8_t kind,
                                        const std::string& folder = {}, center::RowIconFn icon = {}) {
    return std::make_unique<CListRowsModel>(center::MakeListRows(state, kind, folder), std::move(icon));
}

QStringList Column(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, column).data(role).toString();
    return texts;
}

// A store of key files, encrypted files in two folders, and a key pair plus a public key in the
// rings, all below a fresh folder.
struct GeneratedStore {
    GeneratedStore() {
        dir = qmtest::MakeTempDir("model");
        keys = dir + "/keys/";
        files = dir + "/files/";
        storetest::SetLocations({files});
        storetest::SetKeyFolder(keys);
        storetest::KeyFile(keys + "alpha.qmk", Id("a"), 40);
        storetest::KeyFile(keys + "beta.qmk", Id("b"), 56);
        qmtest::WriteFile(files + "big.qmp", Header(41, true, 5, Id("a"), 300));
        qmtest::WriteFile(files + "Small.qma", Header(41, false, 1, {}, 60));
        qmtest::WriteFile(files + "orphan.qmp", Header(40, true, 10, Id("z"), 100));
        qmtest::WriteFile(files + "deep/medium.qma", Header(41, true, 2, Id("b"), 200));
    }

    void AddKeys() {
        std::string ring, privateRing, error;
        QVERIFY(shellkit::GetPubKeyFileName(ring, nullptr, 0));
        QVERIFY(shellkit::GetPrivKeyFileName(privateRing, nullptr, 0));
        qmtest::WriteFile(ring, "");
        qmtest::WriteFile(privateRing, "");
        char text[1000] = {};
        auto own =
            CPrivateKey::Generate("Zed Owner", "zed@example.org", 1700000000, 0, "long passphrase", error);
        QVERIFY2(own, error.c_str());
        QVERIFY2(AddPrivateKeyToFile(*own, privateRing.c_str(), ring.c_str(), text, sizeof text), text);
        auto other =
            CPrivateKey::Generate("ann other", "ann@example.net", 1600000000, 0, "long passphrase", error);
        QVERIFY2(other, error.c_str());
        std::unique_ptr<CPublicKey> half;
        QVERIFY(ParsePublicKey(
            corecrypt::ArmorKeyText(corecrypt::KeyTextKind::Public, other->GetPublicRecordBytes()).c_str(),
            half, text, sizeof text));
        QVERIFY2(AddPublicKeyToFile(*half, ring.c_str(), text, sizeof text), text);
    }

    std::string dir, keys, files;
};

// Answers the first modal window of class T, passing over others (the scanning window).
template <class T>
class AnswerWhenShown {
public:
    explicit AnswerWhenShown(std::function<void(T*)> answer) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, answer = std::move(answer)] {
            if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
                m_timer.stop();
                answered = true;
                answer(window);
            }
        });
        m_timer.start();
    }
    bool answered = false;

private:
    QTimer m_timer;
};

} // namespace

class ListModelTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }

    void everyKindPassesTheModelTesterAndAnswersItsRoles() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        generated.AddKeys();
        center::CCenterState state;
        state.m_keyManager.Refresh(nullptr, false);
        QVERIFY(state.m_keyManager.ReloadKeys());
        const int expectedRows[] = {2, 2, 1, 4, 3, 0, 0};
        for (std::uint8_t kind = 0; kind <= 6; ++kind) {
            auto model = ModelOf(state, kind, kind == 4 ? generated.files : std::string());
            QAbstractItemModelTester tester(model.get(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
            QCOMPARE(model->rowCount(), expectedRows[kind]);
            QCOMPARE(model->columnCount(), model->Rows().ColumnCount());
            QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
            if (model->rowCount() > 0)
                model->ClickColumn(0);
            model->Refill();
        }

        // Encrypted files: what the window reads to open an archive and to filter.
        auto files = ModelOf(state, center::kNavAllFiles);
        QCOMPARE(Column(*files, 0), QStringList({"big.qmp", "medium.qma", "orphan.qmp", "Small.qma"}));
        QCOMPARE(Column(*files, 0, center::kPathRole),
                 QStringList({QString::fromStdString(generated.files + "big.qmp"),
                              QString::fromStdString(generated.files + "deep/medium.qma"),
                              QString::fromStdString(generated.files + "orphan.qmp"),
                              QString::fromStdString(generated.files + "Small.qma")}));
        QCOMPARE(Column(*files, 0, center::kKeyFileRole),
                 QStringList({QString::fromStdString(generated.keys + "alpha.qmk"),
                              QString::fromStdString(generated.keys + "beta.qmk"), QString(), QString()}));
        QCOMPARE(Column(*files, 0, center::kNeedsKeyFileRole),
                 QStringList({"true", "true", "true", "false"}));
        QCOMPARE(Column(*files, 3), QStringList({"alpha", "beta", "Key not found", ""}));
        QCOMPARE(files->index(0, 1).data(center::kSortRole), QVariant(qlonglong(300)));
        QCOMPARE(files->index(0, 4).data(center::kSortRole).toString(), QStringLiteral("Blowfish"));
        QVERIFY(files->index(1, 0).data(center::kFilterRole).toString().contains(QStringLiteral("/deep/")));
        QCOMPARE(files->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
                 Qt::AlignRight);
        QCOMPARE(files->index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft,
                 Qt::AlignLeft);

        // One folder: its own files only, not those below it.
        auto folder = ModelOf(state, center::kNavFolderFiles, generated.files + "deep/");
        QCOMPARE(Column(*folder, 0), QStringList({"medium.qma"}));

        // Keys: the e-mail is searched and the envelope is what export shows.
        auto publicKeys = ModelOf(state, center::kNavPublicKeys);
        QCOMPARE(publicKeys->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Synchronized"));
        QCOMPARE(Column(*publicKeys, 5), QStringList({"Own", "Not synchronized"}));
        QVERIFY(publicKeys->index(1, 0).data(center::kFilterRole).toString().contains("ann@example.net"));
        QVERIFY(publicKeys->index(0, 0).data(center::kKeyTextRole).toString().contains("BEGIN"));
        auto privateKeys = ModelOf(state, center::kNavPrivateKeys);
        QCOMPARE(privateKeys->columnCount(), 5);
        QCOMPARE(Column(*privateKeys, 1), QStringList({"zed@example.org"}));
        auto keyFiles = ModelOf(state, center::kNavSecretKeys);
        QCOMPARE(Column(*keyFiles, 1), QStringList({"1", "1"}));
        QCOMPARE(Column(*keyFiles, 0, center::kPathRole),
                 QStringList({QString::fromStdString(generated.keys + "alpha.qmk"),
                              QString::fromStdString(generated.keys + "beta.qmk")}));
    }

    void iconsComeFromTheWindowsChoiceOfPicture() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        center::CCenterState state;
        state.m_keyManager.Refresh(nullptr, false);
        std::vector<std::pair<int, std::string>> asked;
        auto files =
            ModelOf(state, center::kNavAllFiles, {}, [&](std::uint8_t kind, const center::RowIcon& icon) {
                asked.emplace_back(kind, icon.csFilePath);
                return QIcon();
            });
        files->index(2, 0).data(Qt::DecorationRole);
        files->index(2, 1).data(Qt::DecorationRole); // only the first column carries the icon
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(asked[0].first, 3);
        QCOMPARE(asked[0].second, generated.files + "orphan.qmp");
    }

    void headerClicksAlternateAndIndexesFollowTheirRows() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        center::CCenterState state;
        state.m_keyManager.Refresh(nullptr, false);
        auto files = ModelOf(state, center::kNavAllFiles);
        QAbstractItemModelTester tester(files.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QPersistentModelIndex orphan = files->index(2, 3);
        QCOMPARE(files->ClickColumn(1), Qt::AscendingOrder);
        QCOMPARE(Column(*files, 0), QStringList({"Small.qma", "orphan.qmp", "medium.qma", "big.qmp"}));
        QCOMPARE(orphan.row(), 1);
        QCOMPARE(orphan.column(), 3);
        QCOMPARE(orphan.data().toString(), QStringLiteral("Key not found"));
        // Another column's click sorts the other way: the direction flips on every click.
        QCOMPARE(files->ClickColumn(0), Qt::DescendingOrder);
        QCOMPARE(Column(*files, 0), QStringList({"Small.qma", "orphan.qmp", "medium.qma", "big.qmp"}));
        QCOMPARE(files->ClickColumn(0), Qt::AscendingOrder);
        QCOMPARE(Column(*files, 0), QStringList({"big.qmp", "medium.qma", "orphan.qmp", "Small.qma"}));
        QCOMPARE(files->SortColumn(), 0);
        // A column outside the set changes nothing.
        QCOMPARE(files->ClickColumn(9), Qt::AscendingOrder);
        QCOMPARE(files->ClickColumn(0), Qt::DescendingOrder);

        // A refill takes the new file and keeps the sort.
        qmtest::WriteFile(generated.files + "aaa.qmp", Header(41, false, 1, {}, 50));
        QCOMPARE(state.m_keyManager.AddEncryptedFile(generated.files + "aaa.qmp"), 1);
        files->Refill();
        QCOMPARE(Column(*files, 0),
                 QStringList({"Small.qma", "orphan.qmp", "medium.qma", "big.qmp", "aaa.qmp"}));
        // The model's own sort takes the order it is given.
        files->sort(1, Qt::DescendingOrder);
        QCOMPARE(Column(*files, 0).first(), QStringLiteral("big.qmp"));
    }

    void theFilterNarrowsByNameEmailOrPathAndPassesHeaderClicksOn() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        generated.AddKeys();
        center::CCenterState state;
        state.m_keyManager.Refresh(nullptr, false);
        state.m_keyManager.ReloadKeys();
        auto files = ModelOf(state, center::kNavAllFiles);
        center::CListFilter filter;
        filter.setSourceModel(files.get());
        QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
        filter.SetFilterText(QStringLiteral("DEEP/"));
        QCOMPARE(Column(filter, 0), QStringList({"medium.qma"}));
        filter.SetFilterText(QStringLiteral(".qm"));
        QCOMPARE(filter.rowCount(), 4);
        QCOMPARE(filter.ClickColumn(1), Qt::AscendingOrder);
        QCOMPARE(Column(filter, 0), QStringList({"Small.qma", "orphan.qmp", "medium.qma", "big.qmp"}));
        filter.SetFilterText(QStringLiteral("m"));
        // Every name holds an "m" (".qm"): all stay, in the order of the last click.
        QCOMPARE(Column(filter, 0), QStringList({"Small.qma", "orphan.qmp", "medium.qma", "big.qmp"}));
        filter.SetFilterText(QStringLiteral("small"));
        QCOMPARE(Column(filter, 0), QStringList({"Small.qma"}));
        QCOMPARE(filter.ClickColumn(1), Qt::DescendingOrder);
        QCOMPARE(filter.rowCount(), 1);

        auto keys = ModelOf(state, center::kNavPublicKeys);
        filter.setSourceModel(keys.get());
        filter.SetFilterText(QStringLiteral("EXAMPLE.NET"));
        QCOMPARE(Column(filter, 0), QStringList({"ann other"}));
        filter.SetFilterText(QStringLiteral("zed"));
        QCOMPARE(Column(filter, 1), QStringList({"zed@example.org"}));
        filter.setSourceModel(nullptr);
    }

    void theStoreScansUnderTheWindowAndBreakKeepsWhatWasFound() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        center::CCenterState state;
        center::CCenterStore store(state);
        {
            CDlgCancel window([&](CDlgCancel& w) { store.Refresh(w); });
            window.exec();
        }
        QCOMPARE(store.EncryptedFiles().size(), std::size_t(4));
        QCOMPARE(store.CountKeys().keyFiles, 2);
        QCOMPARE(state.m_shared.pProgressOwner, nullptr);
        QCOMPARE(state.m_shared.pWindows, nullptr);
        QAbstractItemModel* model = store.ListModel(center::kNavAllFiles, {});
        QCOMPARE(model->rowCount(), 4);
        QVERIFY(store.Model());
        QCOMPARE(store.Model()->Rows().Kind(), 3);
        QCOMPARE(
            store.ListModel(center::kNavFolderFiles, QString::fromStdString(generated.files))->rowCount(), 3);
        // Nothing is deleted through this store yet, and asking does no harm.
        QVERIFY(!store.DeleteRow(center::kNavFolderFiles, store.Model()->index(0, 0)));
        QVERIFY(!store.DeleteRow(center::kNavFolderFiles, QModelIndex()));
        QCOMPARE(store.EncryptedFiles().size(), std::size_t(4));

        // Break at the first folder: the files of the location's top folder stay, the folder
        // below it and the key folder are not searched; a second scan starts afresh.
        {
            CDlgCancel window([&](CDlgCancel& w) {
                QTimer::singleShot(0, &w, [&w] { w.reject(); });
                store.Refresh(w);
            });
            window.exec();
            QVERIFY(window.Broken());
        }
        std::vector<std::string> found = store.EncryptedFiles();
        QCOMPARE(found.size(), std::size_t(3));
        QVERIFY(std::find(found.begin(), found.end(), generated.files + "deep/medium.qma") == found.end());
        QCOMPARE(store.CountKeys().keyFiles, 0);
        store.RemoveEncryptedFile(generated.files + "big.qmp");
        QCOMPARE(store.EncryptedFiles().size(), std::size_t(2));
        store.AddEncryptedFile(generated.files + "big.qmp");
        QCOMPARE(store.ListModel(center::kNavAllFiles, {})->rowCount(), 3);
    }

    void aScanWithoutLocationsOrKeyFolderAsksThroughTheirWindows() {
        uikit::ScriptedBackend ui;
        uikit::ScopedBackend scoped(ui);
        GeneratedStore generated;
        storetest::SetLocations({});
        CQMRegistry().WriteString(encreg::szKeyFolder, "");
        center::CCenterState state;
        center::CCenterStore store(state);
        const auto scan = [&] {
            CDlgCancel window([&](CDlgCancel& w) { store.Refresh(w); });
            window.exec();
        };

        // Cancelling the locations window ends the scan with nothing found.
        {
            AnswerWhenShown<CDlgLocations> cancel([](CDlgLocations* w) { w->reject(); });
            scan();
            QVERIFY(cancel.answered);
        }
        QCOMPARE(store.EncryptedFiles().size(), std::size_t(0));

        // The location chosen in it is scanned; the key folder is then asked for, and its
        // key files are read.
        ui.queueFolder(generated.files);
        AnswerWhenShown<CDlgLocations> locations([](CDlgLocations* w) {
            w->OnAdd();
            w->accept();
        });
        AnswerWhenShown<CDlgKeyFolder> folder([&](CDlgKeyFolder* w) {
            w->Field()->setText(QString::fromStdString(generated.keys));
            w->accept();
        });
        scan();
        QVERIFY(locations.answered);
        QVERIFY(folder.answered);
        QCOMPARE(store.EncryptedFiles().size(), std::size_t(4));
        QCOMPARE(store.CountKeys().keyFiles, 2);
        std::string stored;
        QVERIFY(CQMRegistry().ReadStringEx(encreg::szKeyFolder, stored));
        QCOMPARE(stored, generated.keys);
    }
};

QM_QTEST_MAIN(ListModelTest)
#include "ListModelTest.moc"
