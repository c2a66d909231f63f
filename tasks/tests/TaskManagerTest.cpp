// The task manager on real folders: ids, schedule files, the file list and running tasks.
#include "tasks/manager/TaskManager.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Primitives.h"
#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "tasks/manager/TaskWindows.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "uikit/ScriptedBackend.h"
#include "uikit/UIException.h"

#include <QJsonObject>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<FEEDBACKITEM_> g_feedback;
int g_answer = 1;

int Collect(FEEDBACKITEM_* item) {
    g_feedback.push_back(*item);
    return g_answer;
}

class TaskManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        g_feedback.clear();
        g_answer = 1;
        misckit::vsErrorItems.clear();
        root = qmtest::MakeTempDir("tm");
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }

    std::string File(const std::string& relative, const std::string& bytes = "data") {
        const std::string path = root + "/" + relative;
        const auto slash = path.rfind('/');
        std::string error;
        std::filesystem::create_directories(path.substr(0, slash));
        qmtest::WriteFile(path, bytes);
        return path;
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto& [key, listed] : manager.m_mapFiles)
            keys.push_back(key.substr(root.size() + 1));
        return keys;
    }
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& item : g_feedback)
            if (item.nErrorCode)
                codes.push_back(item.nErrorCode);
        return codes;
    }
    CActionEncryptFile* Encrypt(const std::string& location, const std::string& mask = "|*.*|") {
        auto* task = new CActionEncryptFile(location);
        owned.emplace_back(task);
        task->m_csMask = mask;
        task->m_csEncPassword = "pw";
        manager.AddTask(task);
        return task;
    }
    CActionDeleteFile* Delete(const std::string& location, int type, const std::string& mask = "|*.*|") {
        auto* task = new CActionDeleteFile(location);
        owned.emplace_back(task);
        task->m_csMask = mask;
        task->m_nDelType = type;
        manager.AddTask(task);
        return task;
    }

    std::string root;
    CTaskManager manager{&Collect};
    std::vector<std::unique_ptr<CAction>> owned;
    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scoped{ui};
};

TEST_F(TaskManagerTest, AddTaskTakesTheFirstGapAboveTheSmallestIdAndNeverOneInUse) {
    auto ids = [&](std::vector<int> existing) {
        CTaskManager m;
        std::vector<std::unique_ptr<CActionDeleteFile>> tasks;
        for (int id : existing) {
            tasks.push_back(std::make_unique<CActionDeleteFile>("/x"));
            tasks.back()->m_nId = id;
            m.m_lstDelete.push_back(tasks.back().get());
        }
        CActionSendEmail mail;
        return m.AddTask(&mail)->m_nId;
    };
    EXPECT_EQ(ids({}), 1);
    EXPECT_EQ(ids({1, 2, 3}), 4);
    EXPECT_EQ(ids({2, 3}), 4);
    EXPECT_EQ(ids({1, 3}), 2);
    EXPECT_EQ(ids({1, 2, 5}), 3);
    // Damaged files: duplicates and negative ids never lead to an id in use.
    EXPECT_EQ(ids({1, 1, 2}), 3);
    EXPECT_EQ(ids({-4, -1, 1}), 2);
    EXPECT_EQ(ids({0}), 1);
    EXPECT_EQ(ids({INT32_MAX}), 1);

    auto* a = Encrypt(root);
    auto* b = Delete(root, 0);
    CActionSendEmail mail;
    manager.AddTask(&mail);
    EXPECT_EQ(a->m_nId, 1);
    EXPECT_EQ(b->m_nId, 2);
    EXPECT_EQ(manager.GetTaskById(3), &mail);
    manager.DeleteTask(2);
    EXPECT_EQ(manager.GetTaskById(2), nullptr);
    EXPECT_TRUE(manager.m_lstDelete.empty());
    EXPECT_THROW(manager.DeleteTask(2), CUIException);
    EXPECT_EQ(Delete(root, 0)->m_nId, 2) << "the freed id is reused";
}

TEST_F(TaskManagerTest, LoadAndSaveScheduleReportWhatHappened) {
    const std::string missing = root + "/none.qms";
    EXPECT_EQ(manager.LoadSchedule(missing), 0);
    EXPECT_EQ(tasksched::gl_sLastError, "File does not exist.");
    EXPECT_EQ(manager.GetFilePath(), missing);
    Encrypt(root + "/e");
    EXPECT_EQ(manager.SaveSchedule(1), 0);
    EXPECT_FALSE(qmtest::Exists(missing));
    ui.queueFiles(std::vector<std::string>{root + "/chosen.qms"});
    EXPECT_EQ(manager.SaveSchedule(0), 1);
    EXPECT_EQ(manager.GetFilePath(), root + "/chosen.qms");
    CTaskManager other;
    EXPECT_EQ(other.LoadSchedule(root + "/chosen.qms"), 1);
    ASSERT_EQ(other.m_lstEncrypt.size(), 1u);
    EXPECT_EQ(static_cast<CFileAction*>(other.m_lstEncrypt[0])->m_csLocation, root + "/e");
    qmtest::WriteFile(root + "/empty.qms", "");
    EXPECT_EQ(other.LoadSchedule(root + "/empty.qms"), 1);
    EXPECT_TRUE(other.m_lstEncrypt.empty());
    EXPECT_EQ(other.NewTaskWiz(0), nullptr) << "no wizard in this program";
    EXPECT_EQ(other.ShowCurrentItemDlg(nullptr), 2);
}

TEST_F(TaskManagerTest, MasksCaseAndFoldersMakeOneEntryPerFile) {
    File("Report.TXT");
    File("report.txt");
    File("b.doc");
    File("c.bin");
    File("a/b/deep.txt");
    auto* task = Encrypt(root, "|*.txt|*.doc|*.TXT|");
    task->m_bSubfolders = 0;
    EXPECT_EQ(manager.ListFiles(task, nullptr), 5u) << "every match counts, also the third mask's";
    EXPECT_EQ(Keys(), (std::vector<std::string>{"b.doc", "Report.TXT", "report.txt"}));
    task->m_bSubfolders = 1;
    task->m_csLocation = root + "/";
    manager.ListFiles(task, nullptr);
    ASSERT_EQ(manager.m_mapFiles.count(root + "/a/b/deep.txt"), 1u);
    EXPECT_EQ(manager.m_mapFiles.at(root + "/a/b/deep.txt").relativeFolder, "a/b/");
    EXPECT_EQ(manager.m_mapFiles.at(root + "/a/b/deep.txt").folder, root + "/a/b/");
    EXPECT_EQ(manager.m_mapFiles.size(), 4u);

    task->m_csMask = "|*.txt";
    EXPECT_THROW(manager.ListFiles(task, nullptr), CUIException);
    task->m_csMask = "|a|";
    EXPECT_THROW(manager.ListFiles(task, nullptr), CUIException);
    task->m_csMask = "|";
    EXPECT_EQ(manager.ListFiles(task, nullptr), 0u);
}

TEST_F(TaskManagerTest, LinksToFoldersAreNotWalkedAndLinksToFilesAreListedAsLinks) {
    const std::string outside = qmtest::MakeTempDir("outside");
    qmtest::WriteFile(outside + "/secret.txt", "x");
    File("in/plain.txt");
    ASSERT_EQ(::symlink(outside.c_str(), (root + "/in/loop").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "/in/self").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/secret.txt").c_str(), (root + "/in/link.txt").c_str()), 0);
    auto* task = Delete(root, 2, "|*.txt|");
    task->m_bSubfolders = 1;
    manager.ListFiles(task, nullptr);
    EXPECT_EQ(Keys(), (std::vector<std::string>{"in/link.txt", "in/plain.txt"}));
    manager.m_mapFiles.clear();
    manager.ExecuteTask(task, nullptr);
    EXPECT_FALSE(qmtest::Exists(root + "/in/link.txt"));
    EXPECT_EQ(qmtest::ReadFile(outside + "/secret.txt"), "x") << "the link's target survives";

    ASSERT_EQ(::symlink((outside + "/secret.txt").c_str(), (root + "/in/link.txt").c_str()), 0);
    task->m_nDelType = 3;
    manager.ExecuteTask(task, nullptr);
    EXPECT_FALSE(qmtest::Exists(root + "/in/link.txt"));
    EXPECT_EQ(qmtest::ReadFile(outside + "/secret.txt"), "x") << "wiping removes the link only";
    EXPECT_TRUE(Codes().empty());
}

TEST_F(TaskManagerTest, DeeperLocationsAndEncryptTasksOwnSharedFiles) {
    File("sub/f.txt");
    File("top.txt");
    auto* del = Delete(root, 2);
    del->m_bSubfolders = 1;
    auto* deep = Delete(root + "/sub", 1);
    auto* enc = Encrypt(root);
    enc->m_bSubfolders = 1;
    manager.BuildList(1);
    EXPECT_EQ(manager.m_mapFiles.at(root + "/sub/f.txt").owner, deep);
    EXPECT_EQ(manager.m_mapFiles.at(root + "/top.txt").owner, enc);
    ASSERT_GE(g_feedback.size(), 2u);
    EXPECT_EQ(g_feedback.back().csItem, "2 files listed, 0 errors");
    // The order of listing does not matter.
    manager.m_mapFiles.clear();
    manager.ListFiles(deep, nullptr);
    manager.ListFiles(del, nullptr);
    EXPECT_EQ(manager.m_mapFiles.at(root + "/sub/f.txt").owner, deep);
}

TEST_F(TaskManagerTest, SettingErrorsAreReportedBeforeAnyFileIsListed) {
    File("a.txt");
    auto* enc = Encrypt(root + "/missing");
    CALLBACKSTRUCT_ record;
    EXPECT_EQ(manager.ListFiles(enc, &record), 0u);
    enc->m_csLocation = root;
    enc->m_csMask.clear();
    manager.ListFiles(enc, &record);
    enc->m_csMask = "|*.*|";
    enc->m_csDestFolder = root + "/nowhere";
    manager.ListFiles(enc, &record);
    enc->m_csDestFolder.clear();
    enc->m_bArchive = 1;
    manager.ListFiles(enc, &record);
    enc->m_csArchive = root + "/nowhere/a.qmp";
    manager.ListFiles(enc, &record);
    enc->m_bArchive = 0;
    enc->m_csKeyFile = root + "/no.key";
    manager.ListFiles(enc, &record);
    enc->m_csKeyFile.clear();
    enc->m_csEncPassword.clear();
    manager.ListFiles(enc, &record);
    EXPECT_EQ(Codes(), (std::vector<int>{515, 516, 517, 518, 519, 520, 521}));
    EXPECT_EQ(record.nErrors, 7);
    EXPECT_TRUE(manager.m_mapFiles.empty());
    // Without a feedback routine the errors go to the error list.
    CTaskManager quiet;
    quiet.ListFiles(enc, nullptr);
    ASSERT_EQ(misckit::vsErrorItems.size(), 1u);
    EXPECT_EQ(misckit::vsErrorItems[0], "Error: :Key file or password is not specified. ");
}

TEST_F(TaskManagerTest, EncryptThenDeleteOnOneLocation) {
    const std::string a = File("a.txt", "alpha");
    const std::string b = File("B.txt", "beta");
    auto* del = Delete(root, 2, "|*.txt|");
    Encrypt(root, "|*.txt|");
    manager.Execute(0);
    EXPECT_TRUE(Codes().empty()) << g_feedback.back().csItem;
    EXPECT_FALSE(qmtest::Exists(a));
    EXPECT_FALSE(qmtest::Exists(b));
    std::string error;
    ::mkdir((root + "/out").c_str(), 0700);
    ASSERT_TRUE(corecrypt::DecryptFile(a + ".qmp", root + "/out/", "pw", false, false, nullptr, error))
        << error;
    EXPECT_EQ(qmtest::ReadFile(root + "/out/a.txt"), "alpha");
    EXPECT_EQ(g_feedback.back().csItem, "Done. 0 errors.");
    EXPECT_TRUE(manager.m_mapFiles.empty());
    (void)del;
}

TEST_F(TaskManagerTest, ADeleteTaskKeepsFilesWhoseEncryptionFailedInTheSameRun) {
    const std::string a = File("a.txt", "only copy");
    auto* enc = Encrypt(root, "|*.txt|");
    enc->m_csEncPassword.clear();
    enc->m_csKeyFile = File("bad.key", "not a key file");
    Delete(root, 2, "|*.txt|");
    auto* wipe = Delete(root, 3, "|*.txt|");
    (void)wipe;
    manager.Execute(0);
    EXPECT_EQ(qmtest::ReadFile(a), "only copy");
    const std::vector<int> codes = Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], 525);
    EXPECT_EQ(codes[1], 523);
    for (const auto& item : g_feedback) {
        if (item.nErrorCode == 523) {
            EXPECT_NE(item.csDetail.find("not encrypted"), std::string::npos);
        }
    }
    // Alone, outside a run, the delete task does what it says.
    manager.ExecuteTask(manager.m_lstDelete[0], nullptr);
    EXPECT_FALSE(qmtest::Exists(a));
}

TEST_F(TaskManagerTest, EveryDeletionType) {
    const std::string keep = File("keep/k.txt");
    const std::string trash = File("trash/t.txt", "to trash");
    const std::string gone = File("delete/d.txt");
    const std::string wiped = File("wipe/w.txt");
    Delete(root + "/keep", 0);
    Delete(root + "/trash", 1);
    Delete(root + "/delete", 2);
    Delete(root + "/wipe", 3)->m_nWipeRounds = 1;
    manager.Execute(1);
    EXPECT_TRUE(Codes().empty());
    EXPECT_TRUE(qmtest::Exists(keep));
    EXPECT_FALSE(qmtest::Exists(trash));
    EXPECT_FALSE(qmtest::Exists(gone));
    EXPECT_FALSE(qmtest::Exists(wiped));
    const std::string data = std::getenv("XDG_DATA_HOME");
    EXPECT_EQ(qmtest::ReadFile(data + "/Trash/files/t.txt"), "to trash");
    EXPECT_TRUE(qmtest::Exists(data + "/Trash/info/t.txt.trashinfo"));
    EXPECT_TRUE(manager.m_mapFiles.empty());
    EXPECT_TRUE(g_feedback.empty()) << "a silent run sends no lines";
}

TEST_F(TaskManagerTest, ExistingDestinationsFollowTheOverwriteRules) {
    File("x/same.txt", "one");
    File("y/same.txt", "two");
    const std::string dest = qmtest::MakeTempDir("dest");
    auto* enc = Encrypt(root, "|*.txt|");
    enc->m_bSubfolders = 1;
    enc->m_csDestFolder = dest;
    // Same names from two folders keep their folders below the destination: no question.
    manager.ExecuteTask(enc, nullptr);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(Codes().empty());
    EXPECT_TRUE(qmtest::Exists(dest + "/x/same.txt.qmp"));
    EXPECT_TRUE(qmtest::Exists(dest + "/y/same.txt.qmp"));
    // Cancel ends the task, keeps the entries and counts as an error of the file it stopped at.
    ui.queueAnswer(uikit::Answer::Cancel);
    manager.ExecuteTask(enc, nullptr);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("The file already exists. Overwrite?"), std::string::npos);
    EXPECT_EQ(ui.messages()[0].defaultAnswer, uikit::Answer::No) << "Enter never overwrites";
    EXPECT_EQ(manager.m_mapFiles.size(), 2u);
    EXPECT_TRUE(manager.WasStopped());
    EXPECT_EQ(Codes(), std::vector<int>{528});
    ASSERT_GE(g_feedback.size(), 2u);
    EXPECT_NE(g_feedback[g_feedback.size() - 2].csDetail.find("cancelled"), std::string::npos);
    EXPECT_EQ(g_feedback.back().csItem, "Done. 1 errors.");
    // No, and no other name chosen: both files stay unencrypted, each an error of its own.
    g_feedback.clear();
    for (int i = 0; i < 2; ++i) {
        ui.queueAnswer(uikit::Answer::No);
        ui.queueFiles(std::nullopt); // "Save As..." closed without a name
    }
    const std::string before = qmtest::ReadFile(dest + "/x/same.txt.qmp");
    manager.ExecuteTask(enc, nullptr);
    EXPECT_EQ(Codes(), (std::vector<int>{528, 528}));
    EXPECT_FALSE(manager.WasStopped());
    EXPECT_EQ(g_feedback.back().csItem, "Done. 2 errors.");
    EXPECT_EQ(qmtest::ReadFile(dest + "/x/same.txt.qmp"), before);
    // Yes replaces them.
    ui.queueAnswer(uikit::Answer::Yes);
    ui.queueAnswer(uikit::Answer::Yes);
    g_feedback.clear();
    manager.ExecuteTask(enc, nullptr);
    EXPECT_EQ(ui.messages().size(), 5u);
    EXPECT_TRUE(Codes().empty());
    EXPECT_TRUE(manager.m_mapFiles.empty());
    // No messages: reported as 528 instead of asking.
    CQMRegistry settings;
    settings.WriteBYTE(encreg::szNoMes, 1);
    g_feedback.clear();
    manager.ExecuteTask(enc, nullptr);
    EXPECT_EQ(Codes(), (std::vector<int>{528, 528}));
    EXPECT_EQ(ui.messages().size(), 5u);
    // Always overwrite: no question, no error.
    settings.WriteBYTE("OutOverwrite", 1);
    g_feedback.clear();
    manager.ExecuteTask(enc, nullptr);
    EXPECT_TRUE(Codes().empty());
    EXPECT_EQ(ui.messages().size(), 5u);
    // But never over the copy of another file of the same run, nor over a file the run is yet
    // to encrypt.
    auto* second = Encrypt(root + "/y", "|*.txt|");
    second->m_csDestFolder = dest + "/y";
    File("z/same.txt.qmp", "a file, not an encrypted one");
    auto* third = Encrypt(root + "/z", "|*.qmp|*.txt|");
    File("z/same.txt", "three");
    (void)third;
    g_feedback.clear();
    manager.Execute(1);
    EXPECT_EQ(Codes(), (std::vector<int>{528, 528}));
    EXPECT_EQ(qmtest::ReadFile(root + "/y/same.txt"), "two");
    EXPECT_EQ(qmtest::ReadFile(root + "/z/same.txt.qmp"), "a file, not an encrypted one");
    settings.WriteBYTE(encreg::szNoMes, 0);
    settings.WriteBYTE("OutOverwrite", 0);
}

TEST_F(TaskManagerTest, MissingKeyFileEndsTheTaskBeforeItListsAnything) {
    File("a.txt");
    auto* enc = Encrypt(root);
    manager.ListFiles(enc, nullptr);
    enc->m_csKeyFile = root + "/gone.key";
    manager.ExecuteTask(enc, nullptr);
    EXPECT_EQ(Codes(), std::vector<int>{520});
    EXPECT_TRUE(manager.m_mapFiles.empty()) << "the task lists its own files, and found it could not run";
    EXPECT_EQ(g_feedback.back().csItem, "Done. 1 errors.");
    EXPECT_FALSE(qmtest::Exists(root + "/a.txt.qmp"));
    manager.ExecuteTask(nullptr, nullptr);
    EXPECT_EQ(g_feedback.back().csItem, "No action to perform.");
}

TEST_F(TaskManagerTest, AFeedbackAnswerOfZeroEndsTheTask) {
    File("a.txt");
    File("b.txt");
    auto* enc = Encrypt(root);
    enc->m_csEncPassword.clear();
    enc->m_csKeyFile = File("k.key", "garbage");
    enc->m_csMask = "|*.txt|";
    g_answer = 0;
    CALLBACKSTRUCT_ record;
    manager.ExecuteTask(enc, &record);
    EXPECT_EQ(Codes(), std::vector<int>{525}) << "the second file is not tried";
    EXPECT_EQ(record.nErrors, 1);
}

TEST_F(TaskManagerTest, CancelInTheWindowStopsADeleteTask) {
    for (int i = 0; i < 5; ++i)
        File("f" + std::to_string(i) + ".txt");
    auto* del = Delete(root, 2);
    int calls = 0;
    // The second pump stands for the user pressing Cancel and confirming.
    ui.setPumpHandler([&] {
        if (++calls == 2)
            if (auto* window = jobkit::HeadlessTaskWindows::OpenCancel())
                window->RequestCancel();
    });
    ui.queueAnswer(uikit::Answer::Yes);
    manager.ExecuteTask(del, nullptr);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Break operation?");
    // The stop is the task's one error, and the summary counts it.
    ASSERT_GE(g_feedback.size(), 2u);
    EXPECT_EQ(g_feedback[g_feedback.size() - 2].csItem, "Task \"" + del->m_csName + "\" cancelled.");
    EXPECT_EQ(g_feedback.back().csItem, "Done. 1 errors.");
    int left = 0;
    for (int i = 0; i < 5; ++i)
        left += qmtest::Exists(root + "/f" + std::to_string(i) + ".txt");
    EXPECT_GT(left, 0);
    EXPECT_LT(left, 5);
}

} // namespace

namespace {

void MinuteRule(CAction& task, int interval, std::int64_t start) {
    task.m_nRunType = 1;
    task.m_nTimeFrame = 0;
    task.m_nInterval = interval;
    task.m_tStart = start;
    task.m_vHours.clear();
    for (int h = 0; h < 24; ++h)
        task.m_vHours.push_back(h);
    task.m_vDays = {1, 2, 3, 4, 5, 6, 7};
    task.m_vMonths = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
}

TEST_F(TaskManagerTest, NearestScheduledTaskPrefersTheEarliestThenTheFirstVisited) {
    constexpr std::int64_t t0 = 1'800'000'000 - 1'800'000'000 % 3600;
    platform::SetClockForTesting([] { return t0 + 1; });
    auto* slow = Delete(root, 0);
    MinuteRule(*slow, 10, t0);
    auto* fast = Encrypt(root);
    MinuteRule(*fast, 5, t0);
    CActionSendEmail startup;
    startup.m_nRunType = 3;
    manager.AddTask(&startup);
    EXPECT_EQ(manager.GetNearestScheduledTask(0), fast);
    EXPECT_EQ(manager.GetNearestScheduledTask(1), &startup);
    MinuteRule(*slow, 5, t0);
    EXPECT_EQ(manager.GetNearestScheduledTask(0), slow) << "a tie goes to the delete list";
    platform::SetClockForTesting(nullptr);
}

TEST_F(TaskManagerTest, MailTasksAreSentAndFailuresReported) {
    SmtpTestServer server;
    ASSERT_TRUE(server.running());
    CActionSendEmail mail;
    mail.m_csSenderEmail = "ann@example.test";
    mail.m_csSendTo = "bob@example.test";
    mail.m_csSubject = "nightly";
    mail.m_csMessage = "done\n";
    mail.m_csServer = server.address();
    mail.m_csEncoding = "65001 (utf-8)";
    manager.AddTask(&mail);
    manager.Execute(0);
    EXPECT_TRUE(Codes().empty()) << (g_feedback.empty() ? "" : g_feedback.back().csItem);
    EXPECT_EQ(g_feedback.back().csItem, "Done. 0 errors.");
    const QJsonArray got = server.Received();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].toObject()["subject"].toString().toStdString(), "nightly");

    mail.m_csServer = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    g_feedback.clear();
    manager.ExecuteTask(&mail, nullptr);
    EXPECT_EQ(Codes(), std::vector<int>{529});
    EXPECT_EQ(g_feedback.back().csItem, "Done. 1 errors.");
}

} // namespace

namespace {

TEST_F(TaskManagerTest, QmtaskListsAndRunsATaskList) {
    File("a.txt", "alpha");
    File("sub/B.TXT", "beta");
    File("sub/old.qmp", "older");
    auto* enc = Encrypt(root, "|*.txt|");
    enc->m_bSubfolders = 1;
    enc->m_bWipe = 1;
    Delete(root + "/sub", 2, "|*.qmp|");
    const std::string schedule = qmtest::MakeTempDir("sched") + "/list.qms";
    std::string error;
    ASSERT_TRUE(manager.WriteScheduleFile(schedule, error)) << error;
    const std::string qmtask = qmtest::ProgramPath("qmtask");

    auto files = qmtest::RunProgram(qmtask, {"files", schedule});
    EXPECT_EQ(files.exitCode, 0) << files.err;
    EXPECT_EQ(files.out, root + "/a.txt\t1\t" + enc->GetActionName() + "\n" + root + "/sub/B.TXT\t1\t" +
                             enc->GetActionName() + "\n" + root + "/sub/old.qmp\t2\tDelete\n");
    auto one = qmtest::RunProgram(qmtask, {"files", schedule, "--task", "2", "--json"});
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_NE(one.out.find("\"owner\": 2"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("old.qmp"), std::string::npos) << one.out;
    EXPECT_EQ(qmtest::RunProgram(qmtask, {"files", schedule, "--task", "9"}).exitCode, 1);
    EXPECT_EQ(qmtest::RunProgram(qmtask, {"run", root + "/none.qms"}).exitCode, 1);

    auto run = qmtest::RunProgram(qmtask, {"run", schedule});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.out.find("Done. 1 errors."), std::string::npos) << run.out;
    EXPECT_FALSE(qmtest::Exists(root + "/a.txt")) << "wiped after encrypting";
    EXPECT_TRUE(qmtest::Exists(root + "/a.txt.qmp"));
    // The only copy of B.TXT, written by this run: the delete task keeps it and says so.
    EXPECT_TRUE(qmtest::Exists(root + "/sub/B.TXT.qmp"));
    EXPECT_NE(run.err.find("This run has just written this encrypted file"), std::string::npos) << run.err;
    EXPECT_FALSE(qmtest::Exists(root + "/sub/old.qmp"));

    // A second run finds nothing to encrypt for the first task's masks but a bad setting now.
    enc->m_csKeyFile = root + "/gone.key";
    ASSERT_TRUE(manager.WriteScheduleFile(schedule, error)) << error;
    File("c.txt");
    auto failed = qmtest::RunProgram(qmtask, {"run", schedule, "--task", "1"});
    EXPECT_EQ(failed.exitCode, 2) << failed.out;
    EXPECT_NE(failed.err.find("Key file is not found."), std::string::npos) << failed.err;
}

} // namespace

namespace {

TEST_F(TaskManagerTest, ArchiveTasksAddEveryListedFileAndReportAnArchiveTheyCannotOpen) {
    File("a.txt", "alpha");
    File("sub/b.txt", "beta");
    const std::string archive = qmtest::MakeTempDir("arch") + "/all.qma";
    auto* enc = Encrypt(root, "|*.txt|");
    enc->m_bSubfolders = 1;
    enc->m_bArchive = 1;
    enc->m_csArchive = archive;
    Delete(root, 2, "|*.txt|")->m_bSubfolders = 1;
    manager.Execute(0);
    EXPECT_TRUE(Codes().empty()) << g_feedback.back().csItem;
    std::vector<corecrypt::ArchiveEntry> entries;
    std::string error;
    ASSERT_TRUE(corecrypt::ListArchive(archive, "pw", false, entries, error)) << error;
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_FALSE(qmtest::Exists(root + "/a.txt")) << "archived, so the delete task may remove it";

    File("c.txt", "gamma");
    enc->m_csEncPassword = "other";
    g_feedback.clear();
    manager.Execute(0);
    // The encrypt task ended early; the delete task keeps what it was to encrypt.
    EXPECT_EQ(Codes(), (std::vector<int>{527, 523}));
    EXPECT_EQ(qmtest::ReadFile(root + "/c.txt"), "gamma");

    // An archive inside the task's own folder is neither added to itself nor wiped.
    File("d.txt", "delta");
    enc->m_csEncPassword = "pw";
    enc->m_csArchive = root + "/inside.qma";
    enc->m_bWipe = 1;
    manager.m_lstDelete.clear();
    manager.Execute(1);
    g_feedback.clear();
    File("e.txt", "epsilon");
    enc->m_csMask = "|*.*|";
    manager.Execute(1);
    EXPECT_TRUE(Codes().empty()) << (g_feedback.empty() ? "" : g_feedback.front().csDetail);
    ASSERT_TRUE(corecrypt::ListArchive(root + "/inside.qma", "pw", false, entries, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.path);
    EXPECT_EQ(names, (std::vector<std::string>{"c.txt", "d.txt", "e.txt"}));
    EXPECT_FALSE(qmtest::Exists(root + "/e.txt"));
}

} // namespace

TEST(FileKeyLess, SortsWithoutRegardToCaseAndBreaksTiesByTheExactPath) {
    const FileKeyLess less;
    const std::string folder = "/home/user/Documents/projects/";
    // Past a long shared prefix, case-blind order differs from byte order: '_' sorts before 'b'
    // but after 'B' in bytes.
    EXPECT_TRUE(less(folder + "_notes.txt", folder + "Budget.txt"));
    EXPECT_FALSE(less(folder + "Budget.txt", folder + "_notes.txt"));
    EXPECT_TRUE(less(folder + "alpha/zeta.txt", folder + "ALPHA/zz.txt"));
    EXPECT_TRUE(less(folder + "a", folder + "A_"));
    EXPECT_TRUE(less(folder + "Report.TXT", folder + "report.txt"));
    EXPECT_FALSE(less(folder + "report.txt", folder + "Report.TXT"));
    EXPECT_FALSE(less(folder + "same.txt", folder + "same.txt"));
    // A case difference inside the shared prefix decides only after the case-blind comparison.
    EXPECT_TRUE(less("/Home/user/Documents/projects/b.txt", "/home/user/Documents/projects/c.txt"));
    EXPECT_TRUE(less("/home/user/Documents/projects/b.txt", "/Home/user/Documents/projects/c.txt"));
    EXPECT_TRUE(less("/Home/user/Documents/projects/b.txt", "/home/user/Documents/projects/b.txt"));
}

namespace {
std::vector<std::pair<int, std::string>> g_progress;
int g_cancelAfter = 0;

void RecordProgress(CALLBACKSTRUCT_* record) {
    g_progress.emplace_back(record->nCurrent, record->csCurrent);
    if (g_cancelAfter && record->nCurrent == g_cancelAfter)
        record->bContinue = 0;
}
} // namespace

TEST_F(TaskManagerTest, ProgressCountsEachNewFileAndItsContinueFlagStopsTheListing) {
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 3; ++f)
            File("d" + std::to_string(d) + "/s/f" + std::to_string(f) + ".txt");
    auto* enc = Encrypt(root, "|*.txt|");
    enc->m_bSubfolders = 1;
    g_progress.clear();
    g_cancelAfter = 0;
    CALLBACKSTRUCT_ record;
    record.pfnCallBack = &RecordProgress;
    EXPECT_EQ(manager.ListFiles(enc, &record), 120u);
    ASSERT_EQ(g_progress.size(), 120u);
    for (std::size_t i = 0; i < g_progress.size(); ++i) {
        EXPECT_EQ(g_progress[i].first, static_cast<int>(i + 1));
        EXPECT_EQ(manager.m_mapFiles.count(g_progress[i].second), 1u);
    }
    // Files already listed are counted but not reported again.
    g_progress.clear();
    EXPECT_EQ(manager.ListFiles(enc, &record), 120u);
    EXPECT_TRUE(g_progress.empty());

    // A cancel in the middle of a deep walk ends it at once.
    manager.m_mapFiles.clear();
    g_cancelAfter = 50;
    EXPECT_EQ(manager.ListFiles(enc, &record), 50u);
    EXPECT_EQ(manager.m_mapFiles.size(), 50u);
    EXPECT_EQ(g_progress.size(), 50u);
    g_cancelAfter = 0;
}

namespace {

// Dialogs that answer as a user who typed the paths given.
class TypedDialogs : public jobkit::ITaskDialogs, public jobkit::HeadlessTaskWindows {
public:
    // The task goes to the caller, as from the real wizard.
    CAction* RunNewTaskWizard(std::uint32_t, int& kind) override {
        kind = 2;
        return new CActionDeleteFile(location);
    }
    int ShowTaskProperties(CAction* task) override {
        static_cast<CActionEncryptFile*>(task)->m_csDestFolder = typedDestination;
        return 1;
    }
    int ShowScheduleEditor(CAction*) override { return 1; }
    jobkit::ITaskDialogs* Dialogs() override { return this; }
    std::string location;
    std::string typedDestination;
};

TEST_F(TaskManagerTest, TasksNamingRelativePathsAreRefusedWhenCreatedOrEdited) {
    TypedDialogs dialogs;
    jobkit::ITaskWindowFactory* previous = jobkit::SetTaskWindows(&dialogs);
    EXPECT_EQ(manager.NewTaskWiz(0), nullptr);
    EXPECT_TRUE(manager.m_lstDelete.empty());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("absolute path"), std::string::npos);
    dialogs.location = root;
    CAction* accepted = manager.NewTaskWiz(0);
    ASSERT_NE(accepted, nullptr);
    owned.emplace_back(accepted);
    EXPECT_EQ(manager.m_lstDelete, std::vector<CAction*>{accepted});

    auto* enc = Encrypt(root);
    enc->m_csDestFolder = root + "/out";
    dialogs.typedDestination = "out";
    EXPECT_EQ(manager.ShowCurrentItemDlg(enc), 2);
    EXPECT_EQ(enc->m_csDestFolder, root + "/out") << "the edit is undone";
    EXPECT_EQ(ui.messages().size(), 2u);
    dialogs.typedDestination = "";
    EXPECT_EQ(manager.ShowCurrentItemDlg(enc), 1);
    EXPECT_EQ(enc->m_csDestFolder, "");
    jobkit::SetTaskWindows(previous);
}

} // namespace

namespace {

TEST_F(TaskManagerTest, TheRunLedgerKnowsFilesByIdentityAndKeepsChangedOnes) {
    jobkit::RunLedger ledger;
    const std::string a = File("a.txt", "alpha");
    const std::string other = File("other.txt", "other");
    std::string why;
    EXPECT_TRUE(ledger.MayRemove(a, why)) << "nothing selected it";
    ledger.Selected(a);
    EXPECT_FALSE(ledger.MayRemove(a, why));
    EXPECT_NE(why.find("not encrypted"), std::string::npos);
    ASSERT_EQ(::link(a.c_str(), (root + "/hard.txt").c_str()), 0);
    ASSERT_EQ(::symlink(a.c_str(), (root + "/soft.txt").c_str()), 0);
    EXPECT_FALSE(ledger.MayRemove(root + "/hard.txt", why)) << "the same file by another name";
    EXPECT_TRUE(ledger.MayRemove(root + "/soft.txt", why)) << "removing a link removes only the link";
    EXPECT_TRUE(ledger.MayRemove(other, why));

    platform::FileSnapshot read;
    ASSERT_TRUE(platform::TakeSnapshot(a, read));
    ledger.Secured(read);
    EXPECT_TRUE(ledger.MayRemove(a, why)) << why;
    EXPECT_FALSE(ledger.Unsecured(read));
    qmtest::WriteFile(a, "alpha, changed after it was encrypted");
    EXPECT_FALSE(ledger.MayRemove(a, why));
    EXPECT_NE(why.find("changed"), std::string::npos);
    // Another file put in its place is no file that nobody selected.
    ASSERT_EQ(::unlink(a.c_str()), 0);
    ASSERT_EQ(::rename(other.c_str(), a.c_str()), 0);
    EXPECT_FALSE(ledger.MayRemove(a, why));
    EXPECT_NE(why.find("took the place"), std::string::npos) << why;
    ASSERT_EQ(::rename(a.c_str(), other.c_str()), 0);
    qmtest::WriteFile(a, "alpha");

    EXPECT_FALSE(ledger.WrittenThisRun(other));
    ledger.Written(other);
    EXPECT_TRUE(ledger.WrittenThisRun(other));
    ::rename(other.c_str(), (root + "/moved.txt").c_str());
    EXPECT_TRUE(ledger.WrittenThisRun(root + "/moved.txt"));
    ledger.Clear();
    EXPECT_FALSE(ledger.WrittenThisRun(root + "/moved.txt"));
    EXPECT_TRUE(ledger.MayRemove(a, why));
    EXPECT_TRUE(ledger.MayRemove(root + "/hard.txt", why));
}

} // namespace
