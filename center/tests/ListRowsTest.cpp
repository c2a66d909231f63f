// The list rows of every navigation kind: cell texts, icons and sorting in both directions.
#include "center/core/ListRows.h"
#include "StoreFixture.h"
#include "center/core/CenterState.h"
#include "center/core/KeyRecords.h"
#include "platform/Clock.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "uikit/ShellInfo.h"

using center::CListRows;
using storetest::Header;
using storetest::Id;
using Rows = storetest::Store;

namespace {

std::vector<std::string> Column(const CListRows& rows, int column) {
    std::vector<std::string> out;
    for (int r = 0; r < rows.RowCount(); ++r)
        out.push_back(rows.CellText(r, column));
    return out;
}

std::vector<std::string> Titles(const CListRows& rows) {
    std::vector<std::string> out;
    for (int c = 0; c < rows.ColumnCount(); ++c)
        out.push_back(rows.ColumnTitle(c));
    return out;
}

using Texts = std::vector<std::string>;

} // namespace

TEST(RowTexts, SizesAreGroupedByThousands) {
    EXPECT_EQ(center::GroupedSize(0), "0");
    EXPECT_EQ(center::GroupedSize(999), "999");
    EXPECT_EQ(center::GroupedSize(1000), "1 000");
    EXPECT_EQ(center::GroupedSize(1234567), "1 234 567");
    EXPECT_EQ(center::GroupedSize(5000000000ull), "5 000 000 000");
    EXPECT_LE(center::DateText(1700000000, 30).size(), 30u);
    EXPECT_FALSE(center::DateText(1700000000).empty());
}

TEST_F(Rows, SecretKeyRowsShowNameUseAndLengthsAndSortEitherWay) {
    KeyFile(keys + "beta.qmk", Id("b"), 40);
    KeyFile(keys + "Alpha.qmk", Id("a"), 30);
    KeyFile(keys + "gamma.qmk", Id("g"), 48);
    qmtest::WriteFile(files + "x.qmp", Header(41, true, 2, Id("g")));
    qmtest::WriteFile(files + "y.qmp", Header(41, true, 2, Id("g")));
    qmtest::WriteFile(files + "z.qmp", Header(41, true, 2, Id("b")));
    RunScan();
    center::CKeyFileRows rows(*store);
    rows.Fill();
    EXPECT_EQ(rows.Kind(), 0);
    EXPECT_EQ(Titles(rows), (Texts{"Name", "Used", "Size(64)", "Size(128)"}));
    ASSERT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(Column(rows, 0), (Texts{"Alpha.qmk", "beta.qmk", "gamma.qmk"}));
    EXPECT_EQ(Column(rows, 1), (Texts{"0", "1", "2"}));
    EXPECT_EQ(Column(rows, 2), (Texts{"6", "16", "24"}));
    EXPECT_EQ(Column(rows, 3), (Texts{"-2", "8", "16"}));
    EXPECT_EQ(rows.Icon(1).csFilePath, keys + "beta.qmk");
    EXPECT_EQ(rows.Icon(1).nImage, -1);

    // Every click flips the direction, whichever column was clicked before.
    EXPECT_TRUE(rows.ClickColumn(1));
    EXPECT_EQ(Column(rows, 1), (Texts{"0", "1", "2"}));
    EXPECT_FALSE(rows.ClickColumn(3));
    EXPECT_EQ(Column(rows, 3), (Texts{"16", "8", "-2"})); // signed: -2 is the smallest
    EXPECT_TRUE(rows.ClickColumn(0));
    EXPECT_EQ(Column(rows, 0), (Texts{"Alpha.qmk", "beta.qmk", "gamma.qmk"}));
    EXPECT_FALSE(rows.ClickColumn(0));
    EXPECT_EQ(Column(rows, 0), (Texts{"gamma.qmk", "beta.qmk", "Alpha.qmk"}));

    // A key file that has gone shows no name; a row whose record has gone shows nothing.
    std::remove((keys + "beta.qmk").c_str());
    EXPECT_EQ(rows.CellText(1, 0), "");
    EXPECT_EQ(rows.CellText(1, 1), "1");
    EXPECT_EQ(rows.CellText(7, 0), "");
}

TEST_F(Rows, EncryptedFileRowsShowTypeKeyFileCipherAndPath) {
    KeyFile(keys + "my key.qmk", Id("k"));
    Make(files + "sub");
    qmtest::WriteFile(files + "keyed.qmp", Header(41, true, 6, Id("k"), 999));
    qmtest::WriteFile(files + "Pass.qma", Header(41, false, 30, {}, 1000));
    qmtest::WriteFile(files + "sub/lost.qma", Header(40, true, 0, Id("none")));
    qmtest::WriteFile(files + "sub/odd.qmp", Header(41, false, 41));
    RunScan();
    center::CEncryptedFileRows all(*store);
    all.Fill();
    EXPECT_EQ(all.Kind(), 3);
    EXPECT_EQ(Titles(all), (Texts{"Name", "Size", "Type", "Key File", "Algorithm", "Mode", "Path"}));
    ASSERT_EQ(all.RowCount(), 4);
    EXPECT_EQ(Column(all, 0), (Texts{"keyed.qmp", "Pass.qma", "lost.qma", "odd.qmp"}));
    EXPECT_EQ(Column(all, 1), (Texts{"999", "1 000", "96", "96"}));
    EXPECT_EQ(Column(all, 2), (Texts{"Key", "Pass", "Key", "Pass"}));
    EXPECT_EQ(Column(all, 3), (Texts{"my key", "", "Key not found", ""}));
    EXPECT_EQ(Column(all, 4), (Texts{"Blowfish", "Serpent", "AES", ""}));
    EXPECT_EQ(Column(all, 5), (Texts{"CBC", "CBC", "", "ECB"}));
    EXPECT_EQ(Column(all, 6), (Texts{files, files, files + "sub/", files + "sub/"}));
    EXPECT_EQ(all.Icon(0).csFilePath, files + "keyed.qmp");

    EXPECT_TRUE(all.ClickColumn(1));
    EXPECT_EQ(Column(all, 1), (Texts{"96", "96", "999", "1 000"}));
    EXPECT_FALSE(all.ClickColumn(1));
    EXPECT_EQ(Column(all, 1), (Texts{"1 000", "999", "96", "96"}));
    EXPECT_TRUE(all.ClickColumn(2));
    EXPECT_EQ(Column(all, 2), (Texts{"Pass", "Pass", "Key", "Key"}));
    EXPECT_FALSE(all.ClickColumn(4));
    EXPECT_EQ(Column(all, 4), (Texts{"Serpent", "Blowfish", "AES", ""}));
    EXPECT_TRUE(all.ClickColumn(0));
    EXPECT_EQ(Column(all, 0), (Texts{"keyed.qmp", "lost.qma", "odd.qmp", "Pass.qma"}));
    EXPECT_FALSE(all.ClickColumn(6));
    EXPECT_EQ(Column(all, 6), (Texts{files + "sub/", files + "sub/", files, files}));

    EXPECT_FALSE(all.FileGone(0));
    std::remove((files + "sub/odd.qmp").c_str());
    EXPECT_TRUE(all.FileGone(0));
}

TEST_F(Rows, AKeyFilesDescriptionListsOnlyTheEncryptedFilesThatNeedIt) {
    KeyFile(keys + "mine.qmk", Id("m"));
    KeyFile(keys + "copy.qmk", Id("m")); // the same key ID: a key file, never a described file
    KeyFile(keys + "other.qmk", Id("o"));
    Make(files + "sub");
    qmtest::WriteFile(files + "b.qmp", Header(41, true, 6, Id("m"), 300));
    qmtest::WriteFile(files + "sub/a.qma", Header(40, true, 1, Id("m"), 100));
    qmtest::WriteFile(files + "c.qmp", Header(41, true, 1, Id("o")));
    qmtest::WriteFile(files + "pass.qmp", Header(41, false, 1));
    ui.queueAnswer(uikit::Answer::OK); // the warning about the two key files sharing an ID
    RunScan();
    center::CKeyFileUserRows rows(*store, keys + "mine.qmk");
    rows.Fill();
    EXPECT_EQ(Titles(rows), (Texts{"Name", "Size", "Type", "Algorithm", "Mode", "Path"}));
    EXPECT_EQ(Column(rows, 0), (Texts{"b.qmp", "a.qma"}));
    EXPECT_EQ(Column(rows, 2), (Texts{"Key", "Key"}));
    EXPECT_EQ(Column(rows, 3), (Texts{"Blowfish", "AES"}));
    EXPECT_EQ(Column(rows, 5), (Texts{files, files + "sub/"}));
    EXPECT_EQ(rows.RowPath(1), files + "sub/a.qma");
    EXPECT_EQ(rows.Key(0, 1).nValue, 300);
    // A sort says where every row came from, for the model's indexes.
    EXPECT_TRUE(rows.ClickColumn(1));
    EXPECT_EQ(Column(rows, 0), (Texts{"a.qma", "b.qmp"}));
    EXPECT_EQ(rows.LastOrder(), (std::vector<int>{1, 0}));
    EXPECT_FALSE(rows.ClickColumn(5));
    EXPECT_EQ(Column(rows, 0), (Texts{"a.qma", "b.qmp"}));

    center::CKeyFileUserRows unknown(*store, keys + "gone.qmk");
    unknown.Fill();
    EXPECT_EQ(unknown.RowCount(), 0);
    EXPECT_EQ(unknown.CellText(0, 0), "");
}

TEST_F(Rows, OneFoldersRowsHoldOnlyThatFoldersFilesExactly) {
    Make(files + "sub");
    Make(files + "SUB");
    qmtest::WriteFile(files + "top.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "sub/a.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "SUB/b.qmp", Header(41, false, 2));
    qmtest::WriteFile(files + "sub/c.qmp", Header(41, false, 2));
    Make(files + "sub/deeper");
    qmtest::WriteFile(files + "sub/deeper/d.qmp", Header(41, false, 2));
    RunScan();
    center::CEncryptedFileRows folder(*store, files + "sub");
    folder.Fill();
    EXPECT_EQ(folder.Kind(), 4);
    EXPECT_EQ(folder.ColumnCount(), 6);
    EXPECT_EQ(Column(folder, 0), (Texts{"a.qmp", "c.qmp"}));
    EXPECT_EQ(folder.CellText(0, 6), "");
    center::CEncryptedFileRows upper(*store, files + "SUB/");
    upper.Fill();
    EXPECT_EQ(Column(upper, 0), (Texts{"b.qmp"}));
}

TEST(TaskRows, TaskListFilesShowTheirEntryAndOwningTask) {
    CTaskManager tasks;
    CActionEncryptFile encrypt("/data");
    CActionDeleteFile remove("/data");
    auto add = [&](const std::string& name, std::int64_t size, std::int64_t time, CFileAction* owner) {
        ListedFile file;
        file.owner = owner;
        file.findData.name = name;
        file.findData.size = size;
        file.findData.writeTime = time;
        file.folder = "/data/";
        file.typeName = name.substr(name.size() - 3) + " file";
        tasks.m_mapFiles.emplace("/data/" + name, file);
    };
    add("b.txt", 1000, 1700000000, &encrypt);
    add("A.doc", 5, 1600000000, &remove);
    center::CTaskFileRows rows(tasks);
    rows.Fill();
    EXPECT_EQ(rows.Kind(), 5);
    EXPECT_EQ(Titles(rows), (Texts{"Name", "Size", "Type", "Date", "Folder", "Action"}));
    EXPECT_EQ(Column(rows, 0), (Texts{"A.doc", "b.txt"}));
    EXPECT_EQ(Column(rows, 1), (Texts{"5", "1 000"}));
    EXPECT_EQ(Column(rows, 2), (Texts{"doc file", "txt file"}));
    EXPECT_EQ(rows.CellText(0, 3), uikit::FileTimeToText(1600000000, 1));
    EXPECT_EQ(Column(rows, 4), (Texts{"/data/", "/data/"}));
    EXPECT_EQ(Column(rows, 5), (Texts{remove.GetActionName(), encrypt.GetActionName()}));
    EXPECT_NE(rows.CellText(0, 5), rows.CellText(1, 5));
    EXPECT_EQ(rows.Icon(1).csFilePath, "/data/b.txt");
    EXPECT_TRUE(rows.ClickColumn(3));
    EXPECT_EQ(Column(rows, 0), (Texts{"A.doc", "b.txt"}));
    EXPECT_FALSE(rows.ClickColumn(3));
    EXPECT_EQ(Column(rows, 0), (Texts{"b.txt", "A.doc"}));
    tasks.m_mapFiles.clear();
    EXPECT_EQ(rows.CellText(0, 0), "");
    rows.Fill();
    EXPECT_EQ(rows.RowCount(), 0);
}

TEST(TaskRows, ScheduleRowsShowTimesIconsAndTheNextRun) {
    const std::int64_t now = 1800000000;
    platform::SetClockForTesting([&] { return now; });
    CTaskManager schedule; // holds the tasks without owning them
    CActionEncryptFile encryptTask("/data");
    CActionDeleteFile removeTask("/data");
    CActionSendEmail mailTask;
    auto* encrypt = &encryptTask;
    encrypt->m_csName = "Nightly";
    encrypt->m_bWipe = 1;
    encrypt->m_tStart = now - 1000;
    encrypt->m_tNextRun = now + 3600;
    encrypt->m_tLastRun = now - 500;
    auto* remove = &removeTask;
    remove->m_csName = "clean";
    remove->m_nDelType = 2;
    remove->m_tStart = now - 2000;
    remove->m_bHasEnd = 1;
    remove->m_tEnd = now + 10;
    auto* mail = &mailTask;
    mail->m_csName = "Report";
    mail->m_csAttachment = "/data/r.txt";
    mail->m_tStart = now - 3000;
    schedule.AddTask(encrypt);
    schedule.AddTask(remove);
    schedule.AddTask(mail);

    center::CScheduleRows rows(schedule);
    int reloads = 0;
    rows.m_fnScheduleChanged = [] { return true; };
    rows.m_fnReloadSchedule = [&] { ++reloads; };
    rows.Fill();
    EXPECT_EQ(rows.Kind(), 6);
    EXPECT_EQ(Titles(rows), (Texts{"Name", "Schedule", "Start Time", "End Time", "Next Run", "Last Run"}));
    ASSERT_EQ(rows.RowCount(), 3);
    EXPECT_EQ(Column(rows, 0), (Texts{"clean", "Nightly", "Report"})); // delete, encrypt, mail lists
    EXPECT_EQ(rows.Icon(0).nImage, 7);
    EXPECT_EQ(rows.Icon(1).nImage, 10);
    EXPECT_EQ(rows.Icon(2).nImage, 13);
    EXPECT_EQ(rows.CellText(0, 3), center::DateText(now + 10, 30));
    EXPECT_EQ(rows.CellText(1, 3), "-");
    EXPECT_EQ(rows.CellText(1, 4), center::DateText(now + 3600, 30));
    EXPECT_EQ(rows.CellText(1, 5), center::DateText(now - 500, 30));
    EXPECT_EQ(rows.CellText(0, 5), "-");
    EXPECT_EQ(reloads, 0);
    // A passed next run asks whether the schedule changed, reloads, and computes it anew.
    std::string schedText;
    mail->GetShortSchedString(schedText);
    EXPECT_EQ(rows.CellText(2, 1), schedText);
    const std::string next = rows.CellText(2, 4);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(next, mail->m_tNextRun > now ? center::DateText(mail->m_tNextRun, 30) : "-");

    EXPECT_TRUE(rows.ClickColumn(2));
    EXPECT_EQ(Column(rows, 0), (Texts{"Report", "clean", "Nightly"}));
    EXPECT_FALSE(rows.ClickColumn(0));
    EXPECT_EQ(Column(rows, 0), (Texts{"Report", "Nightly", "clean"}));
    schedule.DeleteTask(static_cast<unsigned>(mail->m_nId));
    EXPECT_EQ(rows.CellText(0, 0), "");
    platform::ResetClock();
}

TEST(CenterState, MakesTheRowsOfEveryKind) {
    center::CCenterState state;
    for (std::uint8_t kind = 0; kind <= 6; ++kind) {
        auto rows = center::MakeListRows(state, kind, "/x/");
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->Kind(), kind);
        rows->Fill();
        EXPECT_EQ(rows->RowCount(), 0);
    }
    EXPECT_FALSE(center::MakeListRows(state, 7));
}
