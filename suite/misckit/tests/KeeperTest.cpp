#include "misckit/Keeper.h"

#include "TestSupport.h"
#include "misckit/KeeperProtocol.h"
#include "platform/CommandSocket.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace misckit;

namespace {

// Places the fake keeper as "keeper" in a folder of its own, as it stands in a program folder.
std::string PlaceFakeKeeper() {
    const std::string folder = qmtest::MakeTempDir("bin");
    const std::string keeper = folder + "/keeper";
    qmtest::WriteFile(keeper, qmtest::ReadFile(FAKE_KEEPER));
    ::chmod(keeper.c_str(), 0755);
    return keeper;
}

std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 200 && !qmtest::Exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return qmtest::Exists(path) ? qmtest::ReadFile(path) : std::string();
}

struct KeeperOverride {
    explicit KeeperOverride(const std::string& path) { SetKeeperProgramForTesting(path); }
    ~KeeperOverride() { SetKeeperProgramForTesting({}); }
};

} // namespace

TEST(StartKeeper, StartsTheProgramDetachedWithTheArgumentWord) {
    KeeperOverride use(PlaceFakeKeeper());
    const std::string out = qmtest::TestRoot() + "/keeper.out";
    ::setenv("QM_FAKE_KEEPER_OUT", out.c_str(), 1);
    // A descriptor the caller left inheritable must not reach keeper.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    char error[512] = "stale";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(StartKeeper("scheduler", error, sizeof error), 1) << error;
    EXPECT_STREQ(error, "");
    // It returns without waiting for keeper (which sleeps before writing).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_FALSE(qmtest::Exists(out));

    std::istringstream report(WaitForFile(out));
    std::string word;
    int argc = 0, pid = 0, ppid = 0, sid = 0, stdoutIsNull = 0, extraFds = -1;
    report >> word >> argc >> pid >> ppid >> sid >> stdoutIsNull >> extraFds;
    ::close(leaked);
    EXPECT_EQ(word, "scheduler");
    EXPECT_EQ(argc, 2);
    EXPECT_NE(ppid, static_cast<int>(::getpid())) << "keeper is not our child";
    EXPECT_NE(sid, static_cast<int>(::getsid(0))) << "keeper left our session";
    EXPECT_EQ(stdoutIsNull, 1);
    EXPECT_EQ(extraFds, 0);
}

TEST(StartKeeper, AMissingProgramGivesAnErrorTextCutToTheBuffer) {
    const std::string missing = qmtest::MakeTempDir("empty") + "/keeper";
    KeeperOverride use(missing);
    char error[512] = {};
    EXPECT_EQ(StartKeeper("seskey", error, sizeof error), 0);
    EXPECT_NE(std::string(error).find(missing), std::string::npos) << error;
    EXPECT_NE(std::string(error).find("No such file"), std::string::npos) << error;
    char tiny[8];
    std::memset(tiny, '#', sizeof tiny);
    EXPECT_EQ(StartKeeper("seskey", tiny, sizeof tiny), 0);
    EXPECT_EQ(std::strlen(tiny), 7u);
    EXPECT_EQ(StartKeeper("seskey", nullptr, 0), 0) << "no buffer is fine";
    EXPECT_EQ(StartKeeper("", nullptr, 0), 0);
}

TEST(StartKeeper, AProgramThatCannotBeExecutedIsReported) {
    const std::string folder = qmtest::MakeTempDir("bad");
    const std::string keeper = folder + "/keeper";
    qmtest::WriteFile(keeper, "this is no program\n");
    ::chmod(keeper.c_str(), 0755);
    KeeperOverride use(keeper);
    char error[512] = {};
    EXPECT_EQ(StartKeeper("scheduler", error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("Exec format error"), std::string::npos) << error;
}

TEST(StartKeeper, TheRealKeeperOfTheProgramFolderStarts) {
    KeeperOverride use(KEEPER_PROGRAM);
    char error[512] = {};
    EXPECT_EQ(StartKeeper("--help", error, sizeof error), 1) << error;
    EXPECT_EQ(KeeperProgramPath(), KEEPER_PROGRAM);
    SetKeeperProgramForTesting({});
    EXPECT_EQ(KeeperProgramPath().substr(KeeperProgramPath().size() - 7), "/keeper");
}

TEST(KeeperState, NothingRunsWithoutAServer) {
    EXPECT_EQ(IsKeeperRunning(), 0);
    EXPECT_EQ(IsSchedulerRunning(), 0);
}

TEST(KeeperState, AKeeperRunningItsSchedulerAnswersTheStateQuery) {
    QProcess server;
    server.start(MISCKIT_PEER, {"serve-state", QString::number(keeperproto::kStateSchedulerRunning), "1"});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    ASSERT_EQ(server.readLine().trimmed(), "listening");
    EXPECT_EQ(IsKeeperRunning(), 1);
    EXPECT_EQ(IsSchedulerRunning(), 1);
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0) << "exactly one state query was sent";
}

TEST(KeeperState, AKeeperWithoutSchedulerOrThatDoesNotKnowTheQuery) {
    for (int state : {keeperproto::kStateSessionKeyStore, -1}) {
        QProcess server;
        server.start(MISCKIT_PEER, {"serve-state", QString::number(state), "1"});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        server.readLine();
        EXPECT_EQ(IsKeeperRunning(), 1);
        EXPECT_EQ(IsSchedulerRunning(), 0) << state;
        ASSERT_TRUE(server.waitForFinished(10000));
    }
}
