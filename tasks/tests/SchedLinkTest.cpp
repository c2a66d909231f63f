// The scheduler link against a stand-in keeper in this process (which records the commands it
// gets), and against the real keeper and qmtask programs.
#include "TestSupport.h"

#include "corecrypt/KeyFile.h"
#include "misckit/Keeper.h"
#include "misckit/KeeperProtocol.h"
#include "misckit/Registry.h"
#include "misckit/SessionKey.h"
#include "platform/CommandSocket.h"
#include "platform/RuntimeFolder.h"
#include "platform/SharedMemory.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionDeleteFile.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/model/ActionSendEmail.h"
#include "tasks/schedlink/LastResults.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/UIException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <vector>

namespace {

using platform::SharedMemory;

std::string SchedulePath() {
    return tasksched::GetSchedulePath();
}

std::unique_ptr<CActionDeleteFile> DeleteTask(const std::string& name) {
    auto task = std::make_unique<CActionDeleteFile>(qmtest::TestRoot() + "/nothing-here");
    task->m_csName = name;
    task->m_csMask = "|*.none|";
    return task;
}

// Stands in for keeper: owns the endpoint and answers each command, recording its code.
class FakeKeeper {
public:
    explicit FakeKeeper(bool schedulerRunning = false) : m_schedulerRunning(schedulerRunning) {
        std::string error;
        EXPECT_TRUE(m_server.listen(platform::kSessionManagerEndpoint, error)) << error;
        m_thread = std::thread([this] {
            while (!m_stop)
                m_server.serveOne(
                    [this](const platform::CommandRecord& r) -> std::int32_t {
                        if (r.code == keeperproto::CMD_QUERY_STATE)
                            return m_schedulerRunning ? keeperproto::kStateSchedulerRunning : 0;
                        std::lock_guard<std::mutex> lock(m_mutex);
                        m_codes.push_back(r.code);
                        return 1;
                    },
                    50);
        });
    }
    ~FakeKeeper() {
        m_stop = true;
        m_thread.join();
        m_server.close();
    }
    std::vector<std::uint32_t> codes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_codes;
    }
    std::atomic<bool> m_schedulerRunning;

private:
    platform::CommandServer m_server;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::uint32_t> m_codes;
};

TEST(SchedLink, TheChangedFlagIsReadAndClearedAndAbsentIsNoError) {
    tasksched::gl_sLastError = "old";
    EXPECT_EQ(tasksched::GetScheduleChanged(), 0);
    EXPECT_EQ(tasksched::gl_sLastError, "");
    tasksched::SetScheduleChanged(); // no store: nothing happens
    SharedMemory flag;
    std::string error;
    ASSERT_TRUE(flag.open(tasksched::kScheduleRunningName, 4096, SharedMemory::Mode::OpenOrCreate, error))
        << error;
    EXPECT_EQ(tasksched::GetScheduleChanged(), 0);
    tasksched::SetScheduleChanged();
    EXPECT_EQ(tasksched::GetScheduleChanged(), 1);
    EXPECT_EQ(tasksched::GetScheduleChanged(), 0);
    flag.close();
    SharedMemory::Remove(tasksched::kScheduleRunningName, error);
}

TEST(SchedLink, GetSchedulePathCreatesAnEmptyScheduleThatLoads) {
    const std::string path = qmtest::MakeTempDir("sp") + "/mine.qms";
    ASSERT_TRUE(encreg::qmreg.WriteString(encreg::szFileSchedule, path));
    char buffer[520];
    tasksched::GetSchedulePath(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, path.c_str());
    ASSERT_TRUE(qmtest::Exists(path));
    EXPECT_EQ(qmtest::ReadFile(path), "");
    CTaskManager manager;
    EXPECT_EQ(manager.LoadSchedule(path), 1);
    qmtest::WriteFile(path, "kept");
    tasksched::GetSchedulePath(buffer, sizeof buffer);
    EXPECT_EQ(qmtest::ReadFile(path), "kept") << "an existing file is never touched";
    encreg::qmreg.DeleteValue(encreg::szFileSchedule);
}

TEST(SchedLink, EditsOfTheStoredScheduleSendTheRightCommands) {
    FakeKeeper keeper(false);
    auto a = DeleteTask("a");
    auto b = DeleteTask("b");
    tasksched::AddTaskToSchedule(a.get()); // scheduler not running: start it
    keeper.m_schedulerRunning = true;
    tasksched::AddTaskToSchedule(b.get()); // running: re-read
    EXPECT_EQ(a->m_nId, 1);
    EXPECT_EQ(b->m_nId, 2);
    CTaskManager stored;
    std::string error;
    ASSERT_TRUE(tasksched::ReadSchedule(SchedulePath(), stored, error)) << error;
    ASSERT_EQ(stored.m_lstDelete.size(), 2u);
    EXPECT_EQ(stored.m_lstDelete[1]->m_csName, "b");

    EXPECT_THROW(tasksched::DeleteTaskFromSchedule(9), CUIException);
    tasksched::DeleteTaskFromSchedule(1); // one remains: re-read
    tasksched::DeleteTaskFromSchedule(2); // none remains: stop
    auto c = DeleteTask("c");
    tasksched::AddTaskToSchedule(c.get());
    tasksched::DeleteAllTasksFromSchedule();
    tasksched::StartScheduler();
    tasksched::StopScheduler();
    using namespace keeperproto;
    EXPECT_EQ(keeper.codes(),
              (std::vector<std::uint32_t>{CMD_START_SCHEDULER, CMD_SCHEDULE_CHANGED, CMD_SCHEDULE_CHANGED,
                                          CMD_STOP_SCHEDULER, CMD_SCHEDULE_CHANGED, CMD_STOP_SCHEDULER,
                                          CMD_START_SCHEDULER, CMD_STOP_SCHEDULER}));
    CTaskManager empty;
    ASSERT_TRUE(tasksched::ReadSchedule(SchedulePath(), empty, error)) << error;
    EXPECT_EQ(tasksched::TaskCount(empty), 0u);
    EXPECT_EQ(empty.LoadSchedule(SchedulePath()), 1) << "an empty stored schedule is a valid file";
}

TEST(SchedLink, AnEditedTaskReplacesItsStoredCopyAndKeepsTheRunKeeperRecorded) {
    FakeKeeper keeper(true);
    auto a = DeleteTask("a");
    auto b = DeleteTask("b");
    tasksched::AddTaskToSchedule(a.get());
    tasksched::AddTaskToSchedule(b.get());
    // keeper records a run of b after the window read it.
    std::string error;
    ASSERT_TRUE(tasksched::EditSchedule(
        SchedulePath(),
        [](CTaskManager& m) {
            m.GetTaskById(2)->m_tLastRun = 1800000000;
            return true;
        },
        error))
        << error;
    b->m_csName = "b renamed";
    b->m_nWipeRounds = 9;
    b->m_tLastRun = 5; // the window's stale copy
    tasksched::UpdateTaskInSchedule(b.get());
    CTaskManager stored;
    ASSERT_TRUE(tasksched::ReadSchedule(SchedulePath(), stored, error)) << error;
    ASSERT_EQ(stored.m_lstDelete.size(), 2u);
    EXPECT_EQ(stored.m_lstDelete[0]->m_csName, "a");
    auto* edited = dynamic_cast<CActionDeleteFile*>(stored.m_lstDelete[1]);
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(edited->m_nId, 2);
    EXPECT_EQ(edited->m_csName, "b renamed");
    EXPECT_EQ(edited->m_nWipeRounds, 9);
    EXPECT_EQ(edited->m_tLastRun, 1800000000);
    b->m_nId = 7;
    EXPECT_THROW(tasksched::UpdateTaskInSchedule(b.get()), CUIException);
    EXPECT_EQ(keeper.codes().back(), keeperproto::CMD_SCHEDULE_CHANGED);

    // A removed task's result goes with it: its id is given again to the next new task.
    ASSERT_TRUE(tasksched::RecordLastResults(tasksched::LastResultsPath(), {{2, 100, 3, "old"}}, error));
    tasksched::DeleteTaskFromSchedule(2);
    tasksched::TaskResults results;
    ASSERT_TRUE(tasksched::ReadLastResults(tasksched::LastResultsPath(), results, error)) << error;
    EXPECT_EQ(results.count(2), 0u);
}

TEST(SchedLink, ADamagedStoredScheduleIsNotOverwritten) {
    FakeKeeper keeper(true);
    qmtest::WriteFile(SchedulePath(), "not a schedule at all");
    auto a = DeleteTask("a");
    EXPECT_THROW(tasksched::AddTaskToSchedule(a.get()), CUIException);
    EXPECT_NE(tasksched::gl_sLastError, "");
    EXPECT_EQ(qmtest::ReadFile(SchedulePath()), "not a schedule at all");
    EXPECT_TRUE(keeper.codes().empty());
    qmtest::WriteFile(SchedulePath(), "");
}

TEST(SchedLink, SessionKeyIntoAnExistingStoreAndClearingIt) {
    FakeKeeper keeper(true);
    SharedMemory store;
    std::string error;
    ASSERT_TRUE(store.open(tasksched::kSessionKeyStoreName, 4096, SharedMemory::Mode::OpenOrCreate, error))
        << error;
    std::memset(store.data(), 0x55, 4096);
    SESSIONKEY_ key{};
    key.nKind = kSessionKeyPassword;
    key.nPasswordLength = 6;
    std::memcpy(key.szPassword, "secret", 6);
    ASSERT_EQ(tasksched::SetSessionKey(&key), 1) << tasksched::gl_sLastError;
    const auto* bytes = static_cast<const unsigned char*>(store.data());
    EXPECT_EQ(std::memcmp(bytes, &key, sizeof key), 0);
    EXPECT_TRUE(std::all_of(bytes + sizeof key, bytes + 4096, [](unsigned char c) { return c == 0; }))
        << "nothing of an older key stays behind";
    EXPECT_TRUE(keeper.codes().empty()) << "an existing store needs no keeper";

    tasksched::ClearSessionKey();
    EXPECT_TRUE(std::all_of(bytes, bytes + 4096, [](unsigned char c) { return c == 0; }))
        << "the whole record is wiped: no byte of the password or its length or kind stays";
    EXPECT_EQ(keeper.codes(), std::vector<std::uint32_t>{keeperproto::CMD_SESSION_KEY_CLEARED});
    store.close();
    SharedMemory::Remove(tasksched::kSessionKeyStoreName, error);
}

TEST(SchedLink, TheStartupEntryStartsKeeperWithStartup) {
    tasksched::ApplySchedulerStartup(true);
    const CQMRegistry run(RegRoot::LocalMachine, encreg::szStartupRun);
    std::string value;
    ASSERT_TRUE(run.ReadStringEx("Quillmark Scheduler", value));
    EXPECT_NE(value.find("keeper"), std::string::npos) << value;
    EXPECT_NE(value.find("startup"), std::string::npos) << value;
    tasksched::ApplySchedulerStartup(false);
    EXPECT_FALSE(run.ValueExists("Quillmark Scheduler"));
}

// ---- with the real keeper ------------------------------------------------------------------

using qmtest::KeeperLog;
using qmtest::WaitFor;

// Ends the keeper this test started (its pid is in the log's start line).
void StopKeeper() {
    const std::string log = KeeperLog();
    std::smatch m;
    std::string::const_iterator from = log.begin();
    pid_t pid = 0;
    static const std::regex started(R"(\[(\d+)\] keeper started)");
    while (std::regex_search(from, log.end(), m, started)) {
        pid = static_cast<pid_t>(std::stol(m[1]));
        from = m.suffix().first;
    }
    if (pid > 0)
        ::kill(pid, SIGTERM);
    EXPECT_TRUE(WaitFor([] { return !misckit::IsKeeperRunning(); }, 5000));
}

class KeeperProgram : public ::testing::Test {
protected:
    void SetUp() override {
        misckit::SetKeeperProgramForTesting(qmtest::ProgramPath("keeper"));
        root = qmtest::MakeTempDir("kp");
        // Each test reads only its own keeper's lines.
        std::remove((std::string(std::getenv("XDG_STATE_HOME")) + "/Quillmark/keeper.log").c_str());
    }
    void TearDown() override {
        if (misckit::IsKeeperRunning())
            StopKeeper();
        qmtest::WriteFile(SchedulePath(), "");
        misckit::SetKeeperProgramForTesting("");
    }
    // A schedule file with one encrypt task (key file, so no password stretching in keeper).
    std::string EncryptOnceFile(const std::string& folder, std::int64_t at) {
        auto task = std::make_unique<CActionEncryptFile>(folder);
        task->m_csName = "enc";
        task->m_csMask = "|*.txt|";
        char text[256];
        const std::string key = root + "/k.qmk";
        if (!qmtest::Exists(key)) {
            EXPECT_TRUE(::CreateKeyFile(key.c_str(), text, sizeof text)) << text;
        }
        task->m_csKeyFile = key;
        task->m_nRunType = 2;
        task->m_nTimeFrame = 5;
        task->m_tStart = at;
        CTaskManager manager;
        manager.AddTask(task.get());
        const std::string file = folder + ".qms";
        std::string error;
        EXPECT_TRUE(manager.WriteScheduleFile(file, error)) << error;
        return file;
    }
    std::string root;
};

TEST_F(KeeperProgram, OnceTasksAddedWithQmtaskRunOnTimeAndAreRecorded) {
    const std::string qmtask = qmtest::ProgramPath("qmtask");
    const std::int64_t start = std::time(nullptr);
    std::vector<std::string> folders;
    for (int i = 0; i < 3; ++i) {
        const std::string folder = root + "/f" + std::to_string(i);
        std::filesystem::create_directories(folder);
        qmtest::WriteFile(folder + "/doc.txt", "plain text " + std::to_string(i));
        folders.push_back(folder);
        auto add = qmtest::RunProgram(
            qmtask, {"schedule", "add", EncryptOnceFile(folder, start + 3 + i), "--task", "1"});
        ASSERT_EQ(add.exitCode, 0) << add.err;
        EXPECT_EQ(add.out, std::to_string(i + 1) + "\n");
    }
    // The first add started keeper (command 1 with no keeper running).
    ASSERT_TRUE(WaitFor([] { return misckit::IsSchedulerRunning() != 0; }, 5000)) << KeeperLog();
    for (const auto& folder : folders)
        EXPECT_TRUE(WaitFor([&] { return qmtest::Exists(folder + "/doc.txt.qmp"); }, 9000)) << KeeperLog();
    // The last run is recorded after the run ends.
    EXPECT_TRUE(WaitFor([] { return KeeperLog().find("end task 3") != std::string::npos; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CTaskManager stored;
    std::string error;
    ASSERT_TRUE(tasksched::ReadSchedule(SchedulePath(), stored, error)) << error;
    ASSERT_EQ(stored.m_lstEncrypt.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_GE(stored.m_lstEncrypt[i]->m_tLastRun, start + 3 + static_cast<std::int64_t>(i));
    EXPECT_EQ(tasksched::GetScheduleChanged(), 1) << "keeper marks the schedule changed";
    EXPECT_EQ(tasksched::GetScheduleChanged(), 0);

    const std::string log = KeeperLog();
    EXPECT_NE(log.find("run task 1 \"enc\""), std::string::npos) << log;
    EXPECT_NE(log.find("summary: 0 errors"), std::string::npos) << log;
    // How long after the due second each run started.
    std::vector<long> delays;
    static const std::regex late(R"(started (-?\d+) ms after its due second)");
    for (std::sregex_iterator it(log.begin(), log.end(), late), end; it != end; ++it)
        delays.push_back(std::stol((*it)[1]));
    ASSERT_EQ(delays.size(), 3u) << log << "a once task runs once";
    std::sort(delays.begin(), delays.end());
    std::printf("keeper start delay after the due second: median %ld ms (%ld..%ld)\n", delays[1], delays[0],
                delays[2]);
    for (long d : delays) {
        EXPECT_GE(d, 0);
        EXPECT_LT(d, 1500);
    }
    auto list = qmtest::RunProgram(qmtask, {"schedule", "list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("3\t"), std::string::npos) << list.out;
}

TEST_F(KeeperProgram, ARegularTaskRunsWhenDueAndRemovingTheLastStopsTheScheduler) {
    const std::string qmtask = qmtest::ProgramPath("qmtask");
    auto task = DeleteTask("every minute");
    task->m_nRunType = 1;
    task->m_nTimeFrame = 0;
    task->m_nInterval = 1;
    task->m_vDays = {1, 2, 3, 4, 5, 6, 7};
    for (int h = 0; h < 24; ++h)
        task->m_vHours.push_back(h);
    task->m_tStart = std::time(nullptr) + 2 - 60; // due in two seconds, then every minute
    tasksched::AddTaskToSchedule(task.get());
    ASSERT_TRUE(WaitFor([] { return KeeperLog().find("end task 1") != std::string::npos; }, 6000))
        << KeeperLog();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string log = KeeperLog();
    EXPECT_EQ(log.find("run task 1"), log.rfind("run task 1")) << "one run per due time\n" << log;

    // A damaged stored schedule is logged and survived.
    const std::string saved = qmtest::ReadFile(SchedulePath());
    qmtest::WriteFile(SchedulePath(), "garbage");
    ASSERT_EQ(qmtest::RunProgram(qmtask, {"schedule", "start"}).exitCode, 0);
    EXPECT_TRUE(
        WaitFor([] { return KeeperLog().find("cannot read the schedule") != std::string::npos; }, 3000));
    EXPECT_TRUE(misckit::IsSchedulerRunning());
    qmtest::WriteFile(SchedulePath(), saved);

    auto status = qmtest::RunProgram(qmtask, {"schedule", "status"});
    EXPECT_NE(status.out.find("scheduler: running"), std::string::npos) << status.out;
    ASSERT_EQ(qmtest::RunProgram(qmtask, {"schedule", "remove", "1"}).exitCode, 0);
    EXPECT_TRUE(WaitFor([] { return misckit::IsSchedulerRunning() == 0; }, 3000)) << "command 3";
    EXPECT_TRUE(misckit::IsKeeperRunning()) << "keeper stays for the session key";
    EXPECT_NE(qmtest::RunProgram(qmtask, {"schedule", "remove", "1"}).exitCode, 0);
}

// A mail task whose server takes the connection and says nothing keeps keeper busy until the
// server goes away. Meanwhile its scheduler still runs, and says so.
TEST_F(KeeperProgram, WhileKeeperRunsATaskItsSchedulerShowsAsRunning) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    CActionSendEmail task;
    task.m_csName = "mail";
    task.m_csSenderEmail = "ann@example.test";
    task.m_csSendTo = "bob@example.test";
    task.m_csServer = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    task.m_nRunType = 2;
    task.m_nTimeFrame = 5;
    task.m_tStart = std::time(nullptr) + 1;
    tasksched::AddTaskToSchedule(&task);
    ASSERT_TRUE(WaitFor([] { return KeeperLog().find("run task 1") != std::string::npos; }, 8000))
        << KeeperLog();

    const std::string qmtask = qmtest::ProgramPath("qmtask");
    auto status = qmtest::RunProgram(qmtask, {"schedule", "status"});
    EXPECT_NE(status.out.find("keeper: running\nscheduler: running (running task 1)\n"), std::string::npos)
        << status.out;
    EXPECT_TRUE(misckit::IsSchedulerRunning());
    EXPECT_EQ(misckit::GetKeeperStatus().busyTask, 1u);
    ::close(server); // the waiting connection is reset: the mail fails at once
    ASSERT_TRUE(WaitFor([] { return KeeperLog().find("end task 1") != std::string::npos; }, 20000))
        << KeeperLog();
    status = qmtest::RunProgram(qmtask, {"schedule", "status"});
    EXPECT_NE(status.out.find("scheduler: running\n"), std::string::npos) << status.out;
    const misckit::KeeperStatus idle = misckit::GetKeeperStatus();
    EXPECT_TRUE(idle.answered);
    EXPECT_EQ(idle.busyTask, 0u);
}

TEST_F(KeeperProgram, ASilentClientOnItsSocketHoldsUpNoOtherCaller) {
    char text[512];
    ASSERT_TRUE(misckit::StartKeeper("scheduler", text, sizeof text)) << text;
    ASSERT_TRUE(WaitFor([] { return misckit::IsSchedulerRunning() != 0; }, 5000));
    std::string folder, error;
    ASSERT_TRUE(platform::GetRuntimeFolder(folder, error)) << error;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/%s", folder.c_str(),
                  platform::kSessionManagerEndpoint);
    std::vector<int> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(silent.back(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int i = 0; i < 3; ++i) {
        platform::CommandRecord query;
        query.code = keeperproto::CMD_QUERY_STATE;
        std::int32_t reply = 0;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(platform::SendCommand(platform::kSessionManagerEndpoint, query, reply, 1000, error))
            << error;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_EQ(reply & keeperproto::kStateSchedulerRunning, keeperproto::kStateSchedulerRunning);
    }
    for (int fd : silent)
        ::close(fd);
}

TEST_F(KeeperProgram, SetSessionKeyStartsKeeperOrAsksTheRunningOne) {
    SESSIONKEY_ key{};
    key.nKind = kSessionKeyFile;
    std::strcpy(key.szKeyFile, "/keys/a.qmk");
    ASSERT_EQ(tasksched::SetSessionKey(&key), 1) << tasksched::gl_sLastError;
    SharedMemory store;
    std::string error;
    ASSERT_TRUE(store.open(tasksched::kSessionKeyStoreName, 4096, SharedMemory::Mode::OpenExisting, error))
        << error;
    EXPECT_STREQ(static_cast<const SESSIONKEY_*>(store.data())->szKeyFile, "/keys/a.qmk");
    EXPECT_FALSE(misckit::IsSchedulerRunning()) << "seskey mode runs no schedule";
    tasksched::ClearSessionKey();
    EXPECT_EQ(static_cast<const SESSIONKEY_*>(store.data())->szKeyFile[0], 0) << "keeper wiped the rest";
    store.close();
    StopKeeper();
    EXPECT_FALSE(store.open(tasksched::kSessionKeyStoreName, 4096, SharedMemory::Mode::OpenExisting, error))
        << "the store goes with keeper";

    // A running keeper without a store is asked to make one (command 5).
    char text[512];
    ASSERT_TRUE(misckit::StartKeeper("scheduler", text, sizeof text)) << text;
    ASSERT_TRUE(WaitFor([] { return misckit::IsKeeperRunning() != 0; }, 5000));
    ASSERT_EQ(tasksched::SetSessionKey(&key), 1) << tasksched::gl_sLastError;
    EXPECT_NE(KeeperLog().find("session key store created"), std::string::npos);
}

} // namespace

namespace {

TEST(SchedLinkAcrossProcesses, ConcurrentAddsLoseNoTaskAndShareNoId) {
    FakeKeeper keeper(true);
    const std::string dir = qmtest::MakeTempDir("conc");
    auto task = DeleteTask("t");
    CTaskManager manager;
    manager.AddTask(task.get());
    std::string error;
    ASSERT_TRUE(manager.WriteScheduleFile(dir + "/one.qms", error)) << error;
    // Four programs adding five tasks each at the same time.
    const std::string qmtask = qmtest::ProgramPath("qmtask");
    std::string script;
    for (int p = 0; p < 4; ++p)
        script += "(for i in 1 2 3 4 5; do '" + qmtask + "' schedule add '" + dir +
                  "/one.qms' --task 1 >/dev/null || exit 1; done) & ";
    script += "wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    CTaskManager stored;
    ASSERT_TRUE(tasksched::ReadSchedule(SchedulePath(), stored, error)) << error;
    std::vector<std::int32_t> ids;
    for (CAction* t : stored.m_lstDelete)
        ids.push_back(t->m_nId);
    std::sort(ids.begin(), ids.end());
    ASSERT_EQ(ids.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(ids[static_cast<std::size_t>(i)], i + 1);
    EXPECT_EQ(keeper.codes().size(), 20u);
    tasksched::DeleteAllTasksFromSchedule();
}

TEST_F(KeeperProgram, TheStartupPassRunsStartupTasksOnceAndSurvivesTheirFailure) {
    auto task = std::make_unique<CActionEncryptFile>(root);
    task->m_csName = "at login";
    task->m_csMask = "|*.txt|";
    task->m_csKeyFile = root + "/missing.qmk"; // fails: the run is logged and keeper goes on
    task->m_nRunType = 3;
    task->m_nTimeFrame = 6;
    qmtest::WriteFile(root + "/a.txt", "a");
    {
        FakeKeeper stand_in(true); // stores the task without starting the real keeper
        tasksched::AddTaskToSchedule(task.get());
    }
    char text[512];
    ASSERT_TRUE(misckit::StartKeeper("scheduler", text, sizeof text)) << text;
    ASSERT_TRUE(WaitFor([] { return misckit::IsSchedulerRunning() != 0; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(KeeperLog().find("run task 1"), std::string::npos) << "no start-up pass without startup";
    StopKeeper();

    ASSERT_TRUE(misckit::StartKeeper("startup", text, sizeof text)) << text;
    ASSERT_TRUE(WaitFor([] { return KeeperLog().find("end task 1") != std::string::npos; }, 5000))
        << KeeperLog();
    ASSERT_TRUE(WaitFor([] { return misckit::IsSchedulerRunning() != 0; }, 5000));
    // A second keeper hands its request to the first one and ends.
    ASSERT_TRUE(misckit::StartKeeper("scheduler", text, sizeof text)) << text;
    EXPECT_TRUE(WaitFor([] { return KeeperLog().find("keeper already runs") != std::string::npos; }, 5000));
    const std::string log = KeeperLog();
    EXPECT_NE(log.find("end task 1 \"at login\": failed"), std::string::npos) << log;
    EXPECT_NE(log.find("error: "), std::string::npos) << log;
    EXPECT_EQ(log.find("run task 1"), log.rfind("run task 1")) << log;
    EXPECT_TRUE(qmtest::Exists(root + "/a.txt")) << "nothing lost";
    EXPECT_TRUE(misckit::IsKeeperRunning());
}

} // namespace
