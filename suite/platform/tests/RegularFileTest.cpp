#include "platform/RegularFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;

TEST(RegularFile, ReadsAFileAndAFileThroughALink) {
    const std::string dir = qmtest::MakeTempDir("rf");
    const std::string bytes = qmtest::PseudoRandomBytes(200000, 5);
    qmtest::WriteFile(dir + "/data", bytes);
    ASSERT_EQ(::symlink("data", (dir + "/link").c_str()), 0);
    std::string read, error;
    ASSERT_TRUE(ReadRegularFile(dir + "/data", read, error)) << error;
    EXPECT_TRUE(read == bytes);
    ASSERT_TRUE(ReadRegularFile(dir + "/link", read, error)) << error;
    EXPECT_TRUE(read == bytes);
    // The descriptor handed out blocks again, as readers expect.
    const int fd = OpenRegularFile(dir + "/data", error);
    ASSERT_GE(fd, 0) << error;
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
}

TEST(RegularFile, AFifoAFolderADeviceAndNothingAreRefusedAtOnce) {
    const std::string dir = qmtest::MakeTempDir("rf");
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    // Should the FIFO be waited on, a late writer ends the wait and the time shows it.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 60 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int fd = done ? -1 : ::open((dir + "/fifo").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    std::string read, error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadRegularFile(dir + "/fifo", read, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    done = true;
    watchdog.join();
    EXPECT_EQ(error, "Not a regular file.");
    EXPECT_FALSE(ReadRegularFile(dir, read, error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(ReadRegularFile("/dev/zero", read, error));
    EXPECT_EQ(error, "Not a regular file.");
    EXPECT_FALSE(ReadRegularFile(dir + "/missing", read, error));
    EXPECT_EQ(error, "File does not exist.");
}

TEST(RegularFile, AFileOverTheLimitIsRefusedBeforeItIsRead) {
    const std::string dir = qmtest::MakeTempDir("rf");
    qmtest::WriteFile(dir + "/ten", "0123456789");
    std::string read, error;
    bool tooLarge = true;
    ASSERT_TRUE(ReadRegularFile(dir + "/ten", 10, read, tooLarge, error)) << error;
    EXPECT_EQ(read, "0123456789");
    EXPECT_FALSE(tooLarge);
    EXPECT_FALSE(ReadRegularFile(dir + "/ten", 9, read, tooLarge, error));
    EXPECT_TRUE(tooLarge);
    EXPECT_TRUE(read.empty());
    // A sparse file far over the limit: refused by its size, so nothing is allocated for it.
    const int fd = ::open((dir + "/huge").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 40), 0);
    ::close(fd);
    EXPECT_FALSE(ReadRegularFile(dir + "/huge", 1 << 20, read, tooLarge, error));
    EXPECT_TRUE(tooLarge);
    // Other refusals are not "too large".
    EXPECT_FALSE(ReadRegularFile(dir, 1 << 20, read, tooLarge, error));
    EXPECT_FALSE(tooLarge);
    EXPECT_EQ(error, "Is a directory");
}
