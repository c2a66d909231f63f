#include "platform/FileLock.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using platform::FileLock;

TEST(FileLock, ASecondHolderIsTurnedAwayOrWaitsUntilTheFirstLetsGo) {
    const std::string dir = qmtest::MakeTempDir("lock");
    const std::string path = dir + "/schedule.lock";
    std::string error;
    bool busy = true;
    FileLock first;
    ASSERT_TRUE(first.Lock(path, FileLock::Wait::No, error, &busy)) << error;
    EXPECT_FALSE(busy);
    EXPECT_TRUE(first.locked());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the lock file is private";

    // Two opens of one file are two holders, even within one process.
    FileLock second;
    EXPECT_FALSE(second.Lock(path, FileLock::Wait::No, error, &busy));
    EXPECT_TRUE(busy);
    EXPECT_FALSE(second.locked());

    std::atomic<bool> gotIt{false};
    std::thread waiter([&] {
        FileLock third;
        std::string e;
        if (third.Lock(path, FileLock::Wait::UntilFree, e))
            gotIt = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(gotIt) << "the waiter must wait while the first holds the lock";
    first.Release();
    waiter.join();
    EXPECT_TRUE(gotIt);
    EXPECT_TRUE(second.Lock(path, FileLock::Wait::No, error, &busy)) << error;
}

TEST(FileLock, ALinkInPlaceOfTheLockFileIsRefused) {
    const std::string dir = qmtest::MakeTempDir("lock");
    qmtest::WriteFile(dir + "/target", "keep");
    ASSERT_EQ(::symlink((dir + "/target").c_str(), (dir + "/x.lock").c_str()), 0);
    FileLock lock;
    std::string error;
    bool busy = true;
    EXPECT_FALSE(lock.Lock(dir + "/x.lock", FileLock::Wait::No, error, &busy));
    EXPECT_FALSE(busy);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(qmtest::ReadFile(dir + "/target"), "keep");
}
