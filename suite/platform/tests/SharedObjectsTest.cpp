#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {
qmtest::ProcessResult Peer(const std::vector<std::string>& args) {
    return qmtest::RunProgram(PLATFORM_PEER, args);
}
} // namespace

TEST(SharedMemory, WrittenByOneProcessIsReadByAnother) {
    ASSERT_EQ(Peer({"shm-write", "qmschedrunning", "changed"}).exitCode, 0);
    std::string error;
    SharedMemory m;
    ASSERT_TRUE(m.open("qmschedrunning", 64, SharedMemory::Mode::OpenExisting, error)) << error;
    EXPECT_FALSE(m.created());
    EXPECT_STREQ(static_cast<const char*>(m.data()), "changed");

    std::strcpy(static_cast<char*>(m.data()), "back");
    EXPECT_EQ(Peer({"shm-read", "qmschedrunning"}).out, "back");
    EXPECT_TRUE(SharedMemory::Remove("qmschedrunning", error));
}

TEST(SharedMemory, OpenExistingFailsWhenMissingAndCreateZeroFills) {
    std::string error;
    SharedMemory m;
    EXPECT_FALSE(m.open("qmseskey", 588, SharedMemory::Mode::OpenExisting, error));
    EXPECT_NE(error.find("qmseskey"), std::string::npos);
    ASSERT_TRUE(m.open("qmseskey", 588, SharedMemory::Mode::OpenOrCreate, error)) << error;
    EXPECT_TRUE(m.created());
    ASSERT_GE(m.size(), 588u);
    const auto* bytes = static_cast<const unsigned char*>(m.data());
    for (std::size_t i = 0; i < 588; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    SharedMemory::Remove("qmseskey", error);
}

TEST(SharedMemory, ObjectOpenToOthersIsRefused) {
    std::string sys, error;
    ASSERT_TRUE(SharedMemory::SystemName("loose", sys, error));
    const int fd = ::shm_open(sys.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    ::fchmod(fd, 0666);
    ::close(fd);
    SharedMemory m;
    EXPECT_FALSE(m.open("loose", 16, SharedMemory::Mode::OpenOrCreate, error));
    EXPECT_NE(error.find("open to others"), std::string::npos);
    SharedMemory::Remove("loose", error);
}

TEST(SharedMemory, NamesDifferPerRuntimeFolderAndRejectSlashes) {
    std::string a, b, error;
    ASSERT_TRUE(SharedMemory::SystemName("x", a, error));
    const std::string old = ::getenv("XDG_RUNTIME_DIR");
    const std::string other = qmtest::MakeTempDir("run2");
    ::chmod(other.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", other.c_str(), 1);
    ASSERT_TRUE(SharedMemory::SystemName("x", b, error));
    ::setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
    EXPECT_NE(a, b);
    EXPECT_FALSE(SharedMemory::SystemName("a/b", a, error));
}

TEST(NamedEvent, SetInAnotherProcessWakesTheWaiter) {
    std::string error;
    NamedEvent e;
    ASSERT_TRUE(e.open("qmseskeyinitdone", SharedMemory::Mode::OpenOrCreate, error)) << error;
    EXPECT_FALSE(e.isSet());
    std::thread setter([] { Peer({"event-set", "qmseskeyinitdone", "150"}); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(e.wait(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    setter.join();
    // Manual reset: it stays set for later waiters until reset.
    EXPECT_TRUE(e.wait(0));
    EXPECT_EQ(Peer({"event-wait", "qmseskeyinitdone", "100"}).exitCode, 0);
    e.reset();
    EXPECT_EQ(Peer({"event-wait", "qmseskeyinitdone", "100"}).exitCode, 3);
    NamedEvent::Remove("qmseskeyinitdone", error);
}

TEST(NamedEvent, WaitTimesOutWhenNobodySetsIt) {
    std::string error;
    NamedEvent e;
    ASSERT_TRUE(e.open("never", SharedMemory::Mode::OpenOrCreate, error));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.wait(120));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(110));
    NamedEvent::Remove("never", error);
}
