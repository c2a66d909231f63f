#include "platform/RuntimeFolder.h"
#include "platform/Display.h"
#include "platform/ProgramFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

TEST(RuntimeFolder, IsCreatedPrivateBelowXdgRuntimeDir) {
    std::string path, error;
    ASSERT_TRUE(GetRuntimeFolder(path, error)) << error;
    EXPECT_EQ(path, std::string(std::getenv("XDG_RUNTIME_DIR")) + "/quillmark");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(RuntimeFolder, FolderOpenToOthersOrALinkIsRefused) {
    std::string path, error;
    ASSERT_TRUE(GetRuntimeFolder(path, error));
    ::chmod(path.c_str(), 0755);
    EXPECT_FALSE(GetRuntimeFolder(path, error));
    EXPECT_NE(error.find("open to other users"), std::string::npos);
    ::chmod(path.c_str(), 0700);

    const std::string base = qmtest::MakeTempDir("linked");
    const std::string target = qmtest::MakeTempDir("target");
    ::chmod(target.c_str(), 0700);
    ASSERT_EQ(::symlink(target.c_str(), (base + "/quillmark").c_str()), 0);
    const std::string old = std::getenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    EXPECT_FALSE(GetRuntimeFolder(path, error));
    ::setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
    EXPECT_NE(error.find("is not a folder"), std::string::npos);
}

TEST(RuntimeFolder, WithoutXdgRuntimeDirUsesTmpPerUser) {
    const std::string old = std::getenv("XDG_RUNTIME_DIR");
    ::unsetenv("XDG_RUNTIME_DIR");
    std::string path, error;
    const bool ok = GetRuntimeFolder(path, error);
    ::setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(path, "/tmp/quillmark-" + std::to_string(::geteuid()));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    const std::string folder = ProgramFolder();
    EXPECT_TRUE(qmtest::Exists(folder + "/platform_tests"));
    EXPECT_EQ(SiblingProgram("platform_peer"), folder + "/platform_peer");
}

TEST(Display, OffscreenPlatformCountsAndNoDisplayDoesNot) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_TRUE(DisplayAvailable());
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DISPLAY", ":987", 1);
    EXPECT_FALSE(DisplayAvailable());
    ::unsetenv("DISPLAY");
    EXPECT_FALSE(DisplayAvailable());
}
