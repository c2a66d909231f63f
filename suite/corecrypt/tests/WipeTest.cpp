// Wiping files and collecting a folder's files.
#include "corecrypt/Wipe.h"
#include "TestSupport.h"
#include "corecrypt/FileProcessor.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int CountEntries(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
        ::closedir(d);
    }
    return n;
}

TEST(WipeFile, EmptiesTheBytesInPlaceThenRemovesTheFileAndItsName) {
    const std::string dir = qmtest::MakeTempDir("wipe");
    const std::string path = dir + "/secret.txt";
    const std::string plain = std::string(300000, 'S') + "the end";
    qmtest::WriteFile(path, plain);
    // A second name for the same bytes shows what happened to them in place.
    const std::string witness = qmtest::MakeTempDir("witness") + "/link";
    ASSERT_EQ(::link(path.c_str(), witness.c_str()), 0);

    char error[512] = "";
    ASSERT_NE(WipeFile(path.c_str(), error, 512, 3, 0), 0) << error;
    EXPECT_FALSE(qmtest::Exists(path));
    EXPECT_EQ(CountEntries(dir), 0);          // no renamed leftover either
    EXPECT_EQ(qmtest::ReadFile(witness), ""); // truncated after the overwrite
}

TEST(WipeFile, ReadOnlyFilesOfTheOwnerAreWipedAndLinksAndFoldersAreRefused) {
    const std::string dir = qmtest::MakeTempDir("wipe");
    const std::string ro = dir + "/ro.txt";
    qmtest::WriteFile(ro, "x");
    ::chmod(ro.c_str(), 0400);
    char error[512] = "";
    EXPECT_NE(WipeFile(ro.c_str(), error, 512, 1, 0), 0) << error;
    EXPECT_FALSE(qmtest::Exists(ro));

    const std::string target = dir + "/target.txt";
    qmtest::WriteFile(target, "keep me");
    ASSERT_EQ(::symlink(target.c_str(), (dir + "/link").c_str()), 0);
    EXPECT_EQ(WipeFile((dir + "/link").c_str(), error, 512, 3, 0), 0);
    EXPECT_EQ(std::string(error), "Cannot wipe " + dir + "/link: not a regular file.");
    EXPECT_EQ(qmtest::ReadFile(target), "keep me");
    EXPECT_EQ(WipeFile(dir.c_str(), error, 512, 3, 0), 0);
    EXPECT_EQ(WipeFile((dir + "/missing").c_str(), error, 512, 3, 0), 0);
    EXPECT_NE(std::string(error).find("No such file"), std::string::npos) << error;
}

TEST(FileProcessor, CollectsTheFolderWithOrWithoutSubfoldersAndNeverFollowsLinkedFolders) {
    const std::string dir = qmtest::MakeTempDir("tree");
    ::mkdir((dir + "/sub").c_str(), 0700);
    qmtest::WriteFile(dir + "/a.txt", "");
    qmtest::WriteFile(dir + "/b.DOC", "");
    qmtest::WriteFile(dir + "/sub/c.txt", "");
    ASSERT_EQ(::symlink(dir.c_str(), (dir + "/sub/loop").c_str()), 0);

    CFileProcessor top;
    EXPECT_EQ(top.AddFile(dir, "", 1, nullptr), 2);
    EXPECT_EQ(top.GetFiles(), (std::vector<std::string>{dir + "/a.txt", dir + "/b.DOC"}));

    CFileProcessor all;
    EXPECT_EQ(all.AddFile(dir + "/", "", 0, nullptr), 3);
    EXPECT_EQ(all[2], dir + "/sub/c.txt");

    CFileProcessor masked;
    EXPECT_EQ(masked.AddFile(dir, "*.doc", 0, nullptr), 1);
    EXPECT_EQ(CFileProcessor().AddFile(dir + "/missing", "", 0, nullptr), 0);
}

} // namespace
