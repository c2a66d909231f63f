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
    ASSERT_EQ(::symlink("sub", (dir + "/linkdir").c_str()), 0);
    ASSERT_EQ(::symlink("file.txt", (dir + "/linkfile").c_str()), 0);
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

namespace {

// The order a plain recursive walk visits folders in, for comparison with FolderWalk.
void RecursiveOrder(const std::string& folder, const std::string& relative, std::vector<std::string>& out) {
    std::vector<FindData> entries;
    std::string error;
    out.push_back(relative);
    if (!ListDirectoryMatching(folder, "*.txt", entries, error))
        return;
    for (const FindData& e : entries)
        if (e.isDirectory && !e.isSymlink)
            RecursiveOrder(folder + e.name + "/", relative + e.name + "/", out);
}

std::vector<std::string> WalkOrder(const std::string& start, bool recurse) {
    std::vector<std::string> order;
    FolderWalk walk(start, "*.txt", recurse);
    WalkedFolder walked;
    while (walk.Next(walked)) {
        EXPECT_EQ(walked.folder, start + "/" + walked.relative);
        order.push_back(walked.relative);
    }
    return order;
}

} // namespace

TEST(FolderWalk, VisitsFoldersDepthFirstInListingOrderAndNeverFollowsLinks) {
    const std::string dir = qmtest::MakeTempDir("walk");
    for (int a = 0; a < 12; ++a)
        for (int b = 0; b < 6; ++b) {
            const std::string sub = dir + "/a" + std::to_string(a) + "/b" + std::to_string(b);
            ASSERT_EQ(::system(("mkdir -p '" + sub + "/c'").c_str()), 0);
            qmtest::WriteFile(sub + "/f.txt", "x");
        }
    ASSERT_EQ(::symlink(dir.c_str(), (dir + "/a3/loop").c_str()), 0);
    std::vector<std::string> expected;
    RecursiveOrder(dir + "/", "", expected);
    ASSERT_EQ(expected.size(), 1u + 12u + 12u * 6u * 2u);
    EXPECT_EQ(WalkOrder(dir, true), expected);
    EXPECT_EQ(WalkOrder(dir, false), std::vector<std::string>{""});

    // Its entries are what ListDirectoryMatching gives.
    FolderWalk walk(dir + "/a0/b0", "*.TXT", false);
    WalkedFolder walked;
    ASSERT_TRUE(walk.Next(walked));
    EXPECT_TRUE(walked.listed);
    std::vector<std::string> names;
    for (const FindData& e : walked.entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"c", "f.txt"}));
    EXPECT_FALSE(walk.Next(walked));
}

TEST(FolderWalk, AFolderThatCannotBeListedIsReportedAndNotEntered) {
    const std::string dir = qmtest::MakeTempDir("walkdenied");
    // A start that is gone is one folder, not listed.
    {
        FolderWalk walk(dir + "/missing", "*", true);
        WalkedFolder walked;
        ASSERT_TRUE(walk.Next(walked));
        EXPECT_FALSE(walked.listed);
        EXPECT_FALSE(walk.Next(walked));
    }
    ASSERT_EQ(::system(("mkdir -p '" + dir + "/shut/inner' '" + dir + "/open'").c_str()), 0);
    ASSERT_EQ(::chmod((dir + "/shut").c_str(), 0), 0);
    if (::access((dir + "/shut/inner").c_str(), F_OK) == 0) {
        ::chmod((dir + "/shut").c_str(), 0700);
        GTEST_SKIP() << "permissions do not bind this user";
    }
    std::vector<std::pair<std::string, bool>> seen;
    {
        FolderWalk walk(dir, "*", true);
        WalkedFolder walked;
        while (walk.Next(walked))
            seen.emplace_back(walked.relative, walked.listed);
    }
    ::chmod((dir + "/shut").c_str(), 0700);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen,
              (std::vector<std::pair<std::string, bool>>{{"", true}, {"open/", true}, {"shut/", false}}));
}

TEST(FolderWalk, EndingTheWalkEarlyStopsIt) {
    const std::string dir = qmtest::MakeTempDir("walkstop");
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(::mkdir((dir + "/d" + std::to_string(i)).c_str(), 0700), 0);
    for (int taken = 0; taken < 3; ++taken) {
        FolderWalk walk(dir, "*", true);
        WalkedFolder walked;
        for (int i = 0; i < taken; ++i)
            ASSERT_TRUE(walk.Next(walked));
    } // each destructor returns although the walk had folders left
}
