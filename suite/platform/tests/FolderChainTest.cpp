#include "platform/FolderChain.h"
#include "platform/FileIo.h"
#include "platform/TempNames.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void WriteBelow(int folder, const char* name, const std::string& bytes) {
    const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, bytes.data(), bytes.size()));
    ::close(fd);
}

} // namespace

TEST(FolderTree, MakesMissingLevelsWithTheModeAskedAndReusesOpenOnes) {
    ::umask(022);
    const std::string root = qmtest::MakeTempDir("tree");
    FolderTree tree;
    ASSERT_TRUE(tree.OpenRoot(root + "/"));
    EXPECT_EQ(tree.rootPath(), root);
    FolderProblem problem = FolderProblem::Failed;
    std::string level;
    EXPECT_EQ(tree.Open("", true, 0700, problem, level), tree.rootFd());
    const int deep = tree.Open("a/b/c", true, 0700, problem, level);
    ASSERT_GE(deep, 0);
    EXPECT_EQ(problem, FolderProblem::None);
    WriteBelow(deep, "f.txt", "deep");
    EXPECT_EQ(qmtest::ReadFile(root + "/a/b/c/f.txt"), "deep");
    EXPECT_EQ(ModeOf(root + "/a"), 0700u);
    EXPECT_EQ(ModeOf(root + "/a/b/c"), 0700u);
    EXPECT_EQ(tree.Open("a/b/c", true, 0700, problem, level), deep);
    EXPECT_EQ(tree.Open("./a//b/", false, 0700, problem, level) >= 0, true);

    EXPECT_EQ(tree.Open("missing/x", false, 0700, problem, level), -1);
    EXPECT_EQ(problem, FolderProblem::Failed);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(level, root + "/missing");
    EXPECT_FALSE(qmtest::Exists(root + "/missing"));
    EXPECT_EQ(tree.Open("a/../x", true, 0700, problem, level), -1);
    EXPECT_FALSE(qmtest::Exists(root + "/x"));
}

TEST(FolderTree, RefusesASymbolicLinkAtAnyLevelAndMakesNothingThrough) {
    const std::string root = qmtest::MakeTempDir("tree");
    const std::string outside = qmtest::MakeTempDir("outside");
    ASSERT_EQ(::mkdir((root + "/docs").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (root + "/docs/sub").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (root + "/top").c_str()), 0);
    qmtest::WriteFile(root + "/plain", "a file");
    FolderTree tree;
    ASSERT_TRUE(tree.OpenRoot(root));
    FolderProblem problem = FolderProblem::None;
    std::string level;
    EXPECT_EQ(tree.Open("docs/sub/inner", true, 0700, problem, level), -1);
    EXPECT_EQ(problem, FolderProblem::Link);
    EXPECT_EQ(level, root + "/docs/sub");
    EXPECT_EQ(tree.Open("top", true, 0700, problem, level), -1);
    EXPECT_EQ(problem, FolderProblem::Link);
    EXPECT_EQ(tree.Open("plain/x", true, 0700, problem, level), -1);
    EXPECT_EQ(problem, FolderProblem::NotAFolder);
    EXPECT_EQ(level, root + "/plain");
    EXPECT_FALSE(qmtest::Exists(outside + "/inner"));

    // The root itself is the user's choice and may be a link.
    FolderTree linked;
    ASSERT_TRUE(linked.OpenRoot(root + "/top"));
    const int fd = linked.Open("made", true, 0700, problem, level);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(qmtest::Exists(outside + "/made"));
    EXPECT_EQ(KindBelow(linked.rootFd(), "made") & S_IFMT, S_IFDIR);
    EXPECT_EQ(KindBelow(tree.rootFd(), "top") & S_IFMT, S_IFLNK);
    EXPECT_EQ(KindBelow(tree.rootFd(), "nothing"), 0u);
}

TEST(FileIo, WholeReadsAndWritesSurviveShortTransfers) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    // More than a pipe holds: both sides see partial transfers.
    const std::string bytes = qmtest::PseudoRandomBytes(300000, 5);
    bool written = false;
    std::thread writer([&] {
        written = WriteAll(pipeFds[1], bytes.data(), bytes.size());
        ::close(pipeFds[1]);
    });
    std::string got(bytes.size() + 10, '\0');
    const ssize_t n = ReadAll(pipeFds[0], got.data(), got.size());
    writer.join();
    ::close(pipeFds[0]);
    EXPECT_TRUE(written);
    ASSERT_EQ(n, ssize_t(bytes.size())) << "stops only at the end";
    got.resize(std::size_t(n));
    EXPECT_EQ(got, bytes);

    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/f", "0123456789");
    const int fd = ::open((dir + "/f").c_str(), O_RDONLY | O_CLOEXEC);
    char four[4];
    EXPECT_TRUE(ReadAllAt(fd, four, 4, 6));
    EXPECT_EQ(std::string(four, 4), "6789");
    EXPECT_FALSE(ReadAllAt(fd, four, 4, 8)) << "the file ends first";
    ::close(fd);
    EXPECT_TRUE(SyncFolder(dir));
    EXPECT_FALSE(SyncFolder(dir + "/missing"));
}

TEST(FileIo, SplitsPathsIntoFolderAndName) {
    EXPECT_EQ(FolderOfPath("/a/b"), "/a");
    EXPECT_EQ(NameOfPath("/a/b"), "b");
    EXPECT_EQ(FolderOfPath("b"), ".");
    EXPECT_EQ(NameOfPath("b"), "b");
    EXPECT_EQ(FolderOfPath("/b"), "/");
    EXPECT_EQ(NameOfPath("/b"), "b");
}

TEST(TempNames, AreShortAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = ShortTempName();
        ASSERT_EQ(name.size(), 11u);
        EXPECT_EQ(name.substr(0, 3), ".qm");
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789", 3), std::string::npos);
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 1000u);
}
