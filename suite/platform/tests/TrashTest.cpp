#include "platform/Trash.h"
#include "platform/XdgPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

TEST(Trash, FileGoesToTheUsersTrashWithItsInfo) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/old report.txt", "contents");
    std::string error;
    ASSERT_TRUE(MoveToTrash(dir + "/old report.txt", error)) << error;
    EXPECT_FALSE(qmtest::Exists(dir + "/old report.txt"));
    const std::string trash = DataHome() + "/Trash";
    EXPECT_EQ(qmtest::ReadFile(trash + "/files/old report.txt"), "contents");
    const std::string info = qmtest::ReadFile(trash + "/info/old report.txt.trashinfo");
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
}

TEST(Trash, LinkIsTrashedAsALinkAndItsTargetStays) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/target.txt", "keep me");
    ASSERT_EQ(::symlink("target.txt", (dir + "/link.txt").c_str()), 0);
    std::string error;
    ASSERT_TRUE(MoveToTrash(dir + "/link.txt", error)) << error;
    EXPECT_EQ(qmtest::ReadFile(dir + "/target.txt"), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(DataHome() + "/Trash/files/link.txt"));

    ASSERT_EQ(::symlink("target.txt", (dir + "/link2.txt").c_str()), 0);
    ASSERT_TRUE(DeletePermanently(dir + "/link2.txt", error));
    EXPECT_EQ(qmtest::ReadFile(dir + "/target.txt"), "keep me");
}

TEST(Trash, MissingFileIsReported) {
    std::string error;
    EXPECT_FALSE(MoveToTrash(qmtest::TestRoot() + "/nothing", error));
    EXPECT_NE(error.find("nothing"), std::string::npos);
    EXPECT_FALSE(DeletePermanently(qmtest::TestRoot() + "/nothing", error));
}

namespace {

// Runs the rest of a test in `folder` with $XDG_DATA_HOME set to `dataHome`; both come back after.
class Elsewhere {
public:
    Elsewhere(const std::string& folder, const std::string& dataHome) : m_data(std::getenv("XDG_DATA_HOME")) {
        char buffer[4096];
        m_cwd = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        EXPECT_EQ(::chdir(folder.c_str()), 0);
    }
    ~Elsewhere() {
        ::setenv("XDG_DATA_HOME", m_data.c_str(), 1);
        EXPECT_EQ(::chdir(m_cwd.c_str()), 0);
    }

private:
    std::string m_data;
    std::string m_cwd;
};

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(Trash, AMissingDataFolderChainIsMadeOwnerOnlyAndNothingLandsInTheCurrentFolder) {
    ::umask(022);
    const std::string cwd = qmtest::MakeTempDir("cwd");
    const std::string data = qmtest::TestRoot() + "/fresh/share/data";
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/report.txt", "keep me");
    std::string error;
    {
        const Elsewhere away(cwd, data);
        ASSERT_TRUE(MoveToTrash(dir + "/report.txt", error)) << error;
    }
    EXPECT_EQ(qmtest::ReadFile(data + "/Trash/files/report.txt"), "keep me");
    EXPECT_TRUE(qmtest::Exists(data + "/Trash/info/report.txt.trashinfo"));
    EXPECT_EQ(ModeOf(data + "/Trash"), 0700u);
    EXPECT_EQ(ModeOf(data), 0700u);
    EXPECT_EQ(ModeOf(qmtest::TestRoot() + "/fresh"), 0700u);
    EXPECT_FALSE(qmtest::Exists(cwd + "/files"));
    EXPECT_FALSE(qmtest::Exists(cwd + "/info"));
}

TEST(Trash, WithoutAnyTrashTheFileStaysWhereItWasAndTheFailureIsReported) {
    const std::string cwd = qmtest::MakeTempDir("cwd");
    // A data folder below a plain file can never be made, not even by root.
    qmtest::WriteFile(qmtest::TestRoot() + "/blocker", "");
    const std::string data = qmtest::TestRoot() + "/blocker/share";
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/report.txt", "keep me");
    std::string error;
    {
        const Elsewhere away(cwd, data);
        EXPECT_FALSE(MoveToTrash(dir + "/report.txt", error));
    }
    EXPECT_NE(error.find("Cannot move " + dir + "/report.txt to the Trash"), std::string::npos) << error;
    EXPECT_EQ(qmtest::ReadFile(dir + "/report.txt"), "keep me");
    EXPECT_FALSE(qmtest::Exists(cwd + "/files/report.txt"));
    EXPECT_FALSE(qmtest::Exists(cwd + "/info/report.txt.trashinfo"));
}

TEST(Trash, MakingAFileNormalGivesTheOwnerWriteAndLeavesALinksTargetAlone) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/locked.qmk", "k");
    ASSERT_EQ(::chmod((dir + "/locked.qmk").c_str(), 0400), 0);
    qmtest::WriteFile(dir + "/target", "t");
    ASSERT_EQ(::chmod((dir + "/target").c_str(), 0444), 0);
    ASSERT_EQ(::symlink("target", (dir + "/link").c_str()), 0);
    std::string error;
    ASSERT_TRUE(MakeNormalFile(dir + "/locked.qmk", error)) << error;
    EXPECT_EQ(ModeOf(dir + "/locked.qmk"), 0600u);
    ASSERT_TRUE(MakeNormalFile(dir + "/link", error)) << error;
    EXPECT_EQ(ModeOf(dir + "/target"), 0444u);
    EXPECT_FALSE(MakeNormalFile(dir + "/gone", error));
    EXPECT_NE(error.find(dir + "/gone"), std::string::npos);
}
