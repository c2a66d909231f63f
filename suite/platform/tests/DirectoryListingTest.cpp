#include "platform/DirectoryListing.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace platform;

TEST(MatchesMask, WildcardsIgnoreCaseAndStarDotStarMatchesAll) {
    EXPECT_TRUE(MatchesMask("Report.TXT", "*.txt"));
    EXPECT_TRUE(MatchesMask("report.txt", "REPORT.*"));
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("a.b.c", "*.*"));
    EXPECT_TRUE(MatchesMask("data1.bin", "data?.bin"));
    EXPECT_FALSE(MatchesMask("data10.bin", "data?.bin"));
    EXPECT_FALSE(MatchesMask("notes.txt.bak", "*.txt"));
    EXPECT_TRUE(MatchesMask("x", "*"));
    EXPECT_TRUE(MatchesMask("abcabcabd", "*abd"));
    EXPECT_FALSE(MatchesMask("", "?"));
    // Many stars on a long name still answer at once (no exponential back-tracking).
    EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*b"));
}

TEST(ListDirectory, ReportsKindsSizesTimesAndLinksWithoutFollowingFolders) {
    const std::string dir = qmtest::MakeTempDir();
    qmtest::WriteFile(dir + "/file.txt", "12345");
    qmtest::WriteFile(dir + "/.hidden", "");
    ::mkdir((dir + "/sub").c_str(), 0700);
    ::symlink("sub", (dir + "/linkdir").c_str());
    ::symlink("file.txt", (dir + "/linkfile").c_str());
    ::chmod((dir + "/file.txt").c_str(), 0400);
    utimbuf times{1000000000, 1200000000};
    ::utime((dir + "/file.txt").c_str(), &times);

    std::vector<FindData> entries;
    std::string error;
    ASSERT_TRUE(ListDirectory(dir, entries, error)) << error;
    ASSERT_EQ(entries.size(), 5u);
    auto find = [&](const std::string& n) {
        return *std::find_if(entries.begin(), entries.end(), [&](const FindData& d) { return d.name == n; });
    };
    const FindData file = find("file.txt");
    EXPECT_FALSE(file.isDirectory);
    EXPECT_TRUE(file.isReadOnly);
    EXPECT_EQ(file.size, 5);
    EXPECT_EQ(file.writeTime, 1200000000);
    EXPECT_EQ(file.accessTime, 1000000000);
    EXPECT_GT(file.creationTime, 0);
    EXPECT_TRUE(find(".hidden").isHidden);
    EXPECT_TRUE(find("sub").isDirectory);
    EXPECT_TRUE(find("linkdir").isSymlink);
    EXPECT_FALSE(find("linkdir").isDirectory);
    EXPECT_TRUE(find("linkfile").isSymlink);
    EXPECT_EQ(find("linkfile").size, 5);

    FindData one;
    ASSERT_TRUE(GetFindData(dir + "/file.txt", one, error));
    EXPECT_EQ(one.name, "file.txt");
    EXPECT_EQ(one.size, 5);
}

TEST(ListDirectory, MissingFolderIsAnError) {
    std::vector<FindData> entries;
    std::string error;
    EXPECT_FALSE(ListDirectory(qmtest::TestRoot() + "/missing", entries, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(ListDirectory, LargeFileSizesAreSixtyFourBit) {
    const std::string path = qmtest::MakeTempDir() + "/sparse";
    qmtest::WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), 5LL * 1024 * 1024 * 1024), 0);
    FindData d;
    std::string error;
    ASSERT_TRUE(GetFindData(path, d, error));
    EXPECT_EQ(d.size, 5LL * 1024 * 1024 * 1024);
}

TEST(ListDirectory, MatchingLeavesOutOnlyPlainFilesTheMaskRulesOut) {
    const std::string dir = qmtest::MakeTempDir("matching");
    qmtest::WriteFile(dir + "/a.TXT", "1");
    qmtest::WriteFile(dir + "/b.bin", "2");
    ASSERT_EQ(::mkdir((dir + "/sub.bin").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((dir + "/b.bin").c_str(), (dir + "/link.bin").c_str()), 0);
    std::vector<platform::FindData> entries;
    std::string error;
    ASSERT_TRUE(platform::ListDirectoryMatching(dir, "*.txt", entries, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.TXT", "link.bin", "sub.bin"}));
}
