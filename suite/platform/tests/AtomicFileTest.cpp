#include "platform/AtomicFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace platform;

namespace {
std::size_t CountFiles(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}
} // namespace

TEST(AtomicFile, CommitReplacesTheFileWithPrivateMode) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/settings.ini";
    qmtest::WriteFile(path, "old");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "new contents", 0600, error)) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "new contents");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/schedule.qms";
    qmtest::WriteFile(path, "previous");
    AtomicFile::FailAfterBytesForTesting(10);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, std::string(100, 'x'), 0600, error));
    AtomicFile::FailAfterBytesForTesting(-1);
    EXPECT_NE(error.find("No space left"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "previous");
    EXPECT_EQ(CountFiles(dir), 1u);
}

TEST(AtomicFile, DiscardedOrDestroyedWriterLeavesTargetUntouched) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/out.bin";
    std::string error;
    {
        AtomicFile f(path);
        ASSERT_TRUE(f.open(error));
        ASSERT_TRUE(f.write("abc", 3, error));
        EXPECT_TRUE(qmtest::Exists(f.tempPath()));
    }
    EXPECT_FALSE(qmtest::Exists(path));
    EXPECT_EQ(CountFiles(dir), 0u);
}

TEST(AtomicFile, MissingFolderIsReported) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(qmtest::TestRoot() + "/no/such/dir/file", "x", 0600, error));
    EXPECT_NE(error.find("Cannot create a file"), std::string::npos);
}

TEST(AtomicFile, WithoutReplaceAFileThatAppearedMeanwhileIsKept) {
    const std::string dir = qmtest::MakeTempDir();
    const std::string path = dir + "/report.txt";
    std::string error;
    AtomicFile f(path);
    f.setReplace(false);
    ASSERT_TRUE(f.open(error));
    ASSERT_TRUE(f.write("extracted", 9, error));
    // Another program creates the target after the caller looked and before the commit.
    qmtest::WriteFile(path, "theirs");
    EXPECT_FALSE(f.commit(error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(path), "theirs");
    EXPECT_EQ(CountFiles(dir), 1u);

    // With the target still free the file lands as usual.
    AtomicFile g(dir + "/free.txt");
    g.setReplace(false);
    ASSERT_TRUE(g.open(error));
    ASSERT_TRUE(g.write("ok", 2, error));
    EXPECT_TRUE(g.commit(error)) << error;
    EXPECT_EQ(qmtest::ReadFile(dir + "/free.txt"), "ok");
}
