// keeper tells about scheduled runs that ended with errors: each task's last result in the results
// file, which qmtask schedule list prints, and a desktop notification over a real session bus.
#include "misckit/Keeper.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/model/ActionEncryptFile.h"
#include "tasks/schedlink/LastResults.h"
#include "tasks/schedlink/TaskSched.h"

#include "TestSupport.h"
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <thread>

namespace {

using qmtest::KeeperLog;
using qmtest::WaitFor;

// Ends the keepers this test started (their pids are in the log's start lines).
void StopKeeper() {
    const std::string log = KeeperLog();
    static const std::regex started(R"(\[(\d+)\] keeper started)");
    for (std::sregex_iterator it(log.begin(), log.end(), started), end; it != end; ++it)
        ::kill(static_cast<pid_t>(std::stol((*it)[1])), SIGTERM);
    EXPECT_TRUE(WaitFor([] { return !misckit::IsKeeperRunning(); }, 5000));
}

// An encrypt task due once in two seconds whose key file is missing: it ends with one error.
std::unique_ptr<CActionEncryptFile> FailingTask(const std::string& root, const std::string& name) {
    const std::string folder = root + "/" + name;
    std::filesystem::create_directories(folder);
    qmtest::WriteFile(folder + "/doc.txt", "text");
    auto task = std::make_unique<CActionEncryptFile>(folder);
    task->m_csName = name;
    task->m_csMask = "|*.txt|";
    task->m_csKeyFile = root + "/missing.qmk";
    task->m_nRunType = 2;
    task->m_nTimeFrame = 5;
    task->m_tStart = std::time(nullptr) + 2;
    return task;
}

class KeeperNotice : public ::testing::Test {
protected:
    void SetUp() override {
        misckit::SetKeeperProgramForTesting(qmtest::ProgramPath("keeper"));
        root = qmtest::MakeTempDir("notice");
    }
    void TearDown() override {
        if (misckit::IsKeeperRunning())
            StopKeeper();
        misckit::SetKeeperProgramForTesting("");
    }
    // Runs one failing task through keeper and waits until its run was recorded.
    void RunFailingTask(const std::string& name) {
        auto task = FailingTask(root, name);
        tasksched::AddTaskToSchedule(task.get());
        ASSERT_TRUE(WaitFor(
            [&] { return KeeperLog().find("end task " + std::to_string(task->m_nId)) != std::string::npos; },
            15000))
            << KeeperLog();
        // The results are kept and the desktop told before the run's end is logged.
        taskId = static_cast<std::uint32_t>(task->m_nId);
    }
    std::string root;
    std::uint32_t taskId = 0;
};

TEST_F(KeeperNotice, WithoutASessionBusTheResultIsKeptAndListed) {
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/no-bus").c_str(), 1);
    RunFailingTask("lonely");
    EXPECT_NE(KeeperLog().find("no desktop notification"), std::string::npos) << KeeperLog();

    tasksched::TaskResults results;
    std::string error;
    ASSERT_TRUE(tasksched::ReadLastResults(tasksched::LastResultsPath(), results, error)) << error;
    ASSERT_EQ(results.count(taskId), 1u);
    EXPECT_EQ(results[taskId].errors, 1);
    EXPECT_NE(results[taskId].firstError.find("missing.qmk"), std::string::npos)
        << results[taskId].firstError;
    EXPECT_GT(results[taskId].time, 0);

    auto list = qmtest::RunProgram(qmtest::ProgramPath("qmtask"), {"schedule", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("\tresult "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(", 1 error: "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("missing.qmk"), std::string::npos) << list.out;

    // A damaged results file costs the column, not the list.
    qmtest::WriteFile(tasksched::LastResultsPath(), "garbage");
    list = qmtest::RunProgram(qmtest::ProgramPath("qmtask"), {"schedule", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find("result never run"), std::string::npos) << list.out;
    EXPECT_NE(list.err.find("cannot be read"), std::string::npos) << list.err;
}

TEST_F(KeeperNotice, ARunWithErrorsIsToldToTheDesktop) {
    const std::string busFolder = qmtest::MakeTempDir("bus");
    const std::string address = "unix:path=" + busFolder + "/session";
    const std::string config = busFolder + "/session.conf";
    qmtest::WriteFile(config,
                      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig><type>session</type><listen>" +
                          address +
                          "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                          "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                          "</busconfig>\n");
    qmtest::RunningProgram bus("/usr/bin/dbus-daemon",
                               {"--config-file=" + config, "--nofork", "--print-address"});
    ASSERT_TRUE(bus.WaitUntil([&] { return bus.Output().find("unix:") != std::string::npos; }, 10000))
        << bus.Errors();
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    const std::string caught = busFolder + "/caught";
    qmtest::RunningProgram catcher(qmtest::ProgramPath("notice_catcher"), {caught}, {},
                                   {"DBUS_SESSION_BUS_ADDRESS=" + address});
    ASSERT_TRUE(catcher.WaitUntil([&] { return catcher.Output().find("ready") != std::string::npos; }, 10000))
        << catcher.Errors();

    RunFailingTask("nightly backup");
    ASSERT_TRUE(WaitFor([&] { return qmtest::Exists(caught); }, 5000)) << KeeperLog();
    const std::string notice = qmtest::ReadFile(caught);
    EXPECT_EQ(notice.find("Quillmark Scheduler\tScheduled task \"nightly backup\" ended with 1 error\t"), 0u)
        << notice;
    EXPECT_NE(notice.find("missing.qmk"), std::string::npos) << notice;
    EXPECT_NE(KeeperLog().find("told the desktop"), std::string::npos) << KeeperLog();
    StopKeeper();
    catcher.Signal(SIGTERM);
    bus.Signal(SIGTERM);
    catcher.Wait(5000);
    bus.Wait(5000);
}

} // namespace
