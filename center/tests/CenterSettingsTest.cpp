// The headless parts of the main window: the enabling rules, the locations' containment rules and
// what the window remembers between runs.
#include "center/core/ColumnSets.h"
#include "center/core/CommandRules.h"
#include "center/core/LocationList.h"
#include "center/core/WindowSettings.h"
#include "misckit/Registry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace center;

namespace {

CommandState FilesState(Pane focus, bool listSelected, bool descSelected) {
    CommandState s;
    s.kind = kNavAllFiles;
    s.focus = focus;
    s.listHasSelection = listSelected;
    s.descriptionHasSelection = descSelected;
    return s;
}

CQMRegistry Keyman() {
    return CQMRegistry(RegRoot::CurrentUser, encreg::szRegKeyman);
}

} // namespace

TEST(CommandRules, DeleteActsOnTheFocusedViewOnlyWhenItHasASelection) {
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteFiles, FilesState(Pane::Tree, true, true)));
    EXPECT_TRUE(IsCommandEnabled(Command::DeleteFiles, FilesState(Pane::List, true, false)));
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteFiles, FilesState(Pane::List, false, true)));
    EXPECT_TRUE(IsCommandEnabled(Command::DeleteFiles, FilesState(Pane::Description, false, true)));
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteFiles, FilesState(Pane::Description, true, false)));
}

TEST(CommandRules, ArchiveCommandsNeedAFileKind) {
    CommandState s = FilesState(Pane::List, true, false);
    EXPECT_TRUE(IsCommandEnabled(Command::AddFiles, s));
    s.kind = kNavFolderFiles;
    EXPECT_TRUE(IsCommandEnabled(Command::OpenInBoxview, s));
    s.kind = kNavSecretKeys;
    EXPECT_FALSE(IsCommandEnabled(Command::AddFolder, s));
    EXPECT_TRUE(IsCommandEnabled(Command::DeleteFiles, s)); // a key file row
}

TEST(CommandRules, DecryptCommandsAndTheOutputFolderNeedTheDescriptionPane) {
    for (Command c : {Command::SelectOutputFolder, Command::DecryptEntire, Command::DecryptSelected,
                      Command::DecryptAndRemove}) {
        EXPECT_FALSE(IsCommandEnabled(c, FilesState(Pane::List, true, true)));
        EXPECT_FALSE(IsCommandEnabled(c, FilesState(Pane::Description, true, false)));
        EXPECT_TRUE(IsCommandEnabled(c, FilesState(Pane::Description, false, true)));
    }
    EXPECT_TRUE(ShowsOutputFolder(FilesState(Pane::Description, false, true)));
    CommandState keys = FilesState(Pane::Description, false, true);
    keys.kind = kNavSecretKeys;
    EXPECT_FALSE(ShowsOutputFolder(keys));
}

TEST(CommandRules, KeyServerCommandsNeverRunOnPrivateKeys) {
    CommandState s = FilesState(Pane::List, true, false);
    s.kind = kNavPublicKeys;
    for (Command c : {Command::FindKey, Command::SynchronizeKeys, Command::PublishKey, Command::RevokeKey})
        EXPECT_TRUE(IsCommandEnabled(c, s));
    s.focus = Pane::Tree;
    EXPECT_TRUE(IsCommandEnabled(Command::FindKey, s));
    EXPECT_FALSE(IsCommandEnabled(Command::PublishKey, s));
    s.kind = kNavPrivateKeys;
    s.focus = Pane::List;
    for (Command c : {Command::FindKey, Command::SynchronizeKeys, Command::PublishKey, Command::RevokeKey})
        EXPECT_FALSE(IsCommandEnabled(c, s));
}

TEST(CommandRules, TaskCommandsFollowTheTaskTreeAndTheFileList) {
    CommandState s;
    s.kind = kNavTaskList;
    s.focus = Pane::Tree;
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteTask, s));
    s.taskSelected = true;
    EXPECT_TRUE(IsCommandEnabled(Command::DeleteTask, s));
    EXPECT_TRUE(IsCommandEnabled(Command::TaskProperties, s));
    EXPECT_FALSE(IsCommandEnabled(Command::ListFilesForTask, s)); // a mail task
    s.fileTaskSelected = true;
    EXPECT_TRUE(IsCommandEnabled(Command::ListFilesForTask, s));
    s.focus = Pane::List;
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteTask, s));
    EXPECT_FALSE(IsCommandEnabled(Command::ScheduleTask, s));
    s.taskFilesListed = true;
    EXPECT_TRUE(IsCommandEnabled(Command::DeleteTask, s));
    EXPECT_FALSE(IsCommandEnabled(Command::PerformTasks, s));
    s.tasks = 1;
    EXPECT_TRUE(IsCommandEnabled(Command::PerformTasks, s));
    EXPECT_FALSE(IsCommandEnabled(Command::ListFilesForTaskList, s));
    s.fileTasks = 1;
    EXPECT_TRUE(IsCommandEnabled(Command::ListFilesForTaskList, s));
}

TEST(CommandRules, SchedulerStartAndStopAlternate) {
    CommandState s;
    s.kind = kNavSchedule;
    EXPECT_TRUE(IsCommandEnabled(Command::StartScheduler, s));
    EXPECT_FALSE(IsCommandEnabled(Command::StopScheduler, s));
    s.schedulerRunning = true;
    EXPECT_FALSE(IsCommandEnabled(Command::StartScheduler, s));
    EXPECT_TRUE(IsCommandEnabled(Command::StopScheduler, s));
    s.focus = Pane::List;
    EXPECT_FALSE(IsCommandEnabled(Command::RunTask, s));
    s.scheduledTaskSelected = true;
    EXPECT_TRUE(IsCommandEnabled(Command::RunTask, s));
    s.focus = Pane::Tree;
    EXPECT_FALSE(IsCommandEnabled(Command::DeleteScheduledTask, s));
    EXPECT_FALSE(IsCommandEnabled(Command::ClearTaskList, s));
    s.listRows = 2;
    EXPECT_TRUE(IsCommandEnabled(Command::ClearTaskList, s));
}

TEST(LocationList, AFolderInsideAListedOneIsRefusedAndAnOuterOneReplacesItsInnerOnes) {
    std::vector<std::string> list{"/data/"};
    std::string message;
    EXPECT_FALSE(AddLocation(list, "/data/old", message));
    EXPECT_EQ(message, "Path /data/\nalready contains path /data/old/");
    EXPECT_EQ(list, std::vector<std::string>{"/data/"});

    list = {"/srv/a/", "/data/x/", "/srv/b/"};
    EXPECT_TRUE(AddLocation(list, "/srv", message));
    EXPECT_EQ(list, (std::vector<std::string>{"/data/x/", "/srv/"}));
    EXPECT_TRUE(message.empty());
}

TEST(LocationList, ARepeatIsRefusedButANameInOtherCaseIsAnotherFolder) {
    std::vector<std::string> list{"/data/"};
    std::string message;
    EXPECT_FALSE(AddLocation(list, "/data/", message));
    EXPECT_EQ(message, "This path already exists:\n/data/");
    EXPECT_TRUE(AddLocation(list, "/Data", message));
    EXPECT_EQ(list, (std::vector<std::string>{"/data/", "/Data/"}));
    // A folder whose name merely begins like a listed one is not inside it.
    EXPECT_TRUE(AddLocation(list, "/database", message));
}

TEST(LocationList, TheEleventhIsRefusedAndTheStoredListKeepsItsOrder) {
    std::vector<std::string> list;
    std::string message;
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(AddLocation(list, "/l" + std::to_string(i), message));
    EXPECT_FALSE(AddLocation(list, "/other", message));
    EXPECT_EQ(message, kLocationsFull);
    ASSERT_TRUE(WriteLocations({"/b/", "/a/"}));
    EXPECT_EQ(ReadLocations(), (std::vector<std::string>{"/b/", "/a/"}));
    std::string third = "x";
    EXPECT_TRUE(Keyman().ReadStringEx("Location 3", third));
    EXPECT_EQ(third, "");
}

TEST(WindowSettings, ColumnWidthsStartFromTheDefaultsAndAStoredZeroTakesTheFallback) {
    const ColumnSet& pub = ListColumns(kNavPublicKeys);
    EXPECT_EQ(ReadColumnWidths("ListPubKeysCols", pub.columns),
              (std::vector<int>{200, 200, 100, 60, 50, 50}));
    ASSERT_TRUE(Keyman().WriteBinary("ListPubKeysCols", std::string("\x10\x00\x20", 3)));
    EXPECT_EQ(ReadColumnWidths("ListPubKeysCols", pub.columns), (std::vector<int>{16, 200, 32, 60, 50, 50}));
    ASSERT_TRUE(SaveColumnWidths("ListPubKeysCols", {300, 0, 120}));
    std::string bytes;
    ASSERT_TRUE(Keyman().ReadBinaryEx("ListPubKeysCols", bytes));
    EXPECT_EQ(bytes, std::string("\xfa\x00\x78", 3));
}

TEST(WindowSettings, TheOutputHistoryNeverHoldsAFolderTwice) {
    ASSERT_TRUE(SaveOutputFolders({"/out/a", "/out/b", "/out/a", "/out/c"}));
    EXPECT_EQ(ReadOutputFolders(), (std::vector<std::string>{"/out/a", "/out/b", "/out/c"}));
    // A shorter list does not bring back the older folders behind it.
    ASSERT_TRUE(SaveOutputFolders({"/out/z"}));
    EXPECT_EQ(ReadOutputFolders(), std::vector<std::string>{"/out/z"});
    // Reading stops at a value shorter than two bytes.
    const CQMRegistry program;
    program.WriteString("Archive path2", "x");
    program.WriteString("Archive path3", "/out/late");
    EXPECT_EQ(ReadOutputFolders(), std::vector<std::string>{"/out/z"});
}

TEST(WindowSettings, APlacementOffTheScreenIsPulledBackAndAMinimisedWindowComesBackNormal) {
    WindowPlacement p;
    EXPECT_FALSE(ReadPlacement(p, 1920, 1080, 32, 32));
    WindowPlacement stored;
    stored.showState = 2;
    stored.left = 3000;
    stored.top = 100;
    stored.right = 3800;
    stored.bottom = 700;
    stored.x0 = 210;
    stored.y0 = 330;
    ASSERT_TRUE(SavePlacement(stored));
    ASSERT_TRUE(ReadPlacement(p, 1920, 1080, 32, 32));
    EXPECT_EQ(p.showState, 1u);
    EXPECT_EQ(p.left, 1888);
    EXPECT_EQ(p.right, 2688); // the window keeps its width
    EXPECT_EQ(p.top, 100);
    EXPECT_EQ(p.x0, 210);
    EXPECT_EQ(p.y0, 330);
}
