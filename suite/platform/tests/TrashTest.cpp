#include "platform/Trash.h"
#include "platform/XdgPaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
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
    ::symlink("target.txt", (dir + "/link.txt").c_str());
    std::string error;
    ASSERT_TRUE(MoveToTrash(dir + "/link.txt", error)) << error;
    EXPECT_EQ(qmtest::ReadFile(dir + "/target.txt"), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(DataHome() + "/Trash/files/link.txt"));

    ::symlink("target.txt", (dir + "/link2.txt").c_str());
    ASSERT_TRUE(DeletePermanently(dir + "/link2.txt", error));
    EXPECT_EQ(qmtest::ReadFile(dir + "/target.txt"), "keep me");
}

TEST(Trash, MissingFileIsReported) {
    std::string error;
    EXPECT_FALSE(MoveToTrash(qmtest::TestRoot() + "/nothing", error));
    EXPECT_NE(error.find("nothing"), std::string::npos);
    EXPECT_FALSE(DeletePermanently(qmtest::TestRoot() + "/nothing", error));
}
