#include "extractor/core/SfxExtract.h"
#include "extractor/core/SfxWriter.h"

#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace sfx;

const std::string kPassword = "extract me";
// 2021-03-04 05:06:07.1234567 UTC as a Windows file time.
constexpr std::uint64_t kTime = 132593079671234567ull;

std::string WriteArchive(const std::vector<MemoryEntry>& entries) {
    const std::string path = qmtest::MakeTempDir("archive") + "/test.run";
    qmtest::WriteFile(path, BuildArchive(kPassword, entries, "stub"));
    return path;
}

std::string Extract(const std::string& archive, const std::string& folder, ExtractHooks hooks = {},
                    const std::string& password = kPassword) {
    try {
        ExtractAll(OwnFile{archive, archive}, password, folder, hooks);
    } catch (const EException& e) {
        return e.what();
    }
    return {};
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileTime, ConvertsBothWaysAroundTheUnixEpoch) {
    const timespec epoch = FileTimeToTimespec(kFileTimeOfUnixEpoch);
    EXPECT_EQ(epoch.tv_sec, 0);
    EXPECT_EQ(epoch.tv_nsec, 0);
    const timespec t = FileTimeToTimespec(kTime);
    EXPECT_EQ(t.tv_sec, 1614834367);
    EXPECT_EQ(t.tv_nsec, 123456700);
    EXPECT_EQ(TimespecToFileTime(t), kTime);
    // Before 1970 the nanoseconds stay positive.
    const timespec before = FileTimeToTimespec(kFileTimeOfUnixEpoch - 1);
    EXPECT_EQ(before.tv_sec, -1);
    EXPECT_EQ(before.tv_nsec, 999999900);
}

TEST(CheckEntryName, ConvertsLevelsAndRefusesNamesThatClimbOut) {
    std::string rel;
    EXPECT_EQ(CheckEntryName("a\\b\\c.txt", rel), NameCheck::Ok);
    EXPECT_EQ(rel, "a/b/c.txt");
    EXPECT_EQ(CheckEntryName("plain", rel), NameCheck::Ok);
    EXPECT_EQ(rel, "plain");
    EXPECT_EQ(CheckEntryName(".\\x\\\\y..z", rel), NameCheck::Ok);
    EXPECT_EQ(rel, "x/y..z");
    for (const char* climbing : {"..\\evil", "a\\..\\..\\evil", "\\etc\\passwd", "/etc/passwd", "C:\\x",
                                 "c:evil", "a/../../b", ".."})
        EXPECT_EQ(CheckEntryName(climbing, rel), NameCheck::Climbs) << climbing;
    EXPECT_EQ(CheckEntryName("folder\\", rel), NameCheck::NotAFile);
    EXPECT_EQ(CheckEntryName(std::string("a\0b", 3), rel), NameCheck::NotAFile);
}

TEST(ExtractAll, WritesEntriesLastRecordFirstIntoNewFolders) {
    const std::string archive = WriteArchive(
        {{"top.txt", "top", 0, kTime}, {"a\\b\\c.txt", "deep", 0, kTime}, {"a\\empty", "", 0, kTime}});
    const std::string out = qmtest::MakeTempDir("out") + "/not/yet/there";
    std::vector<std::string> order;
    std::vector<std::size_t> positions;
    ExtractHooks hooks;
    hooks.announce = [&](const SfxEntry& e, const std::string& rel, std::size_t done, std::size_t total) {
        order.push_back(e.name + "=" + rel);
        positions.push_back(done);
        EXPECT_EQ(total, 3u);
    };
    ASSERT_EQ(Extract(archive, out, hooks), "");
    EXPECT_EQ(order,
              (std::vector<std::string>{"a\\empty=a/empty", "a\\b\\c.txt=a/b/c.txt", "top.txt=top.txt"}));
    EXPECT_EQ(positions, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"a", "a/b", "a/b/c.txt", "a/empty", "top.txt"}));
    EXPECT_EQ(qmtest::ReadFile(out + "/a/b/c.txt"), "deep");
    EXPECT_EQ(qmtest::ReadFile(out + "/a/empty"), "");
    struct stat st {};
    ASSERT_EQ(::stat((out + "/top.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1614834367);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
}

TEST(ExtractAll, ReplacesAnExistingFileAndAcceptsAnEmptyFolderAsTheCurrentOne) {
    const std::string archive = WriteArchive({{"same.txt", "new content"}});
    const std::string out = qmtest::MakeTempDir("out");
    qmtest::WriteFile(out + "/same.txt", "old");
    ASSERT_EQ(Extract(archive, out + "/"), "");
    EXPECT_EQ(qmtest::ReadFile(out + "/same.txt"), "new content");
}

TEST(ExtractAll, WrongPasswordWritesNothing) {
    const std::string archive = WriteArchive({{"a\\b.txt", "x"}});
    const std::string out = qmtest::MakeTempDir("out") + "/target";
    EXPECT_EQ(Extract(archive, out, {}, "guess"), "Invalid password.");
    EXPECT_FALSE(qmtest::Exists(out));
}

TEST(ExtractAll, RefusesTheWholeArchiveWhenANameClimbsOut) {
    const std::string base = qmtest::MakeTempDir("climb");
    const std::string out = base + "/out";
    const std::string archive = WriteArchive({{"fine.txt", "ok"}, {"..\\escaped.txt", "evil"}});
    EXPECT_EQ(Extract(archive, out),
              "The archive holds a name that leads outside the output folder: ..\\escaped.txt");
    EXPECT_FALSE(qmtest::Exists(base + "/escaped.txt"));
    EXPECT_FALSE(qmtest::Exists(out));
}

TEST(ExtractAll, ADamagedEntryLeavesNoPartialFileAndKeepsTheOldOne) {
    const std::string content = qmtest::PseudoRandomBytes(200000, 5);
    std::string bytes = BuildArchive(kPassword, {{"first", "first"}, {"second", content}}, "stub");
    // Damage the last chunk of the second entry.
    bytes[bytes.size() - 200] ^= 0x55;
    bytes[bytes.size() - 2000] ^= 0x55;
    const std::string archive = qmtest::MakeTempDir("archive") + "/damaged.run";
    qmtest::WriteFile(archive, bytes);
    const std::string out = qmtest::MakeTempDir("out");
    qmtest::WriteFile(out + "/second", "the previous file");
    EXPECT_EQ(Extract(archive, out), "The archive is damaged.");
    EXPECT_EQ(qmtest::ReadFile(out + "/second"), "the previous file");
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"second"})); // no temporary file left
    // Without an earlier file, the part written is removed again.
    const std::string fresh = qmtest::MakeTempDir("fresh");
    EXPECT_EQ(Extract(archive, fresh), "The archive is damaged.");
    EXPECT_TRUE(Listing(fresh).empty());
}

TEST(ExtractAll, CancelStopsBeforeTheNextEntry) {
    const std::string archive = WriteArchive({{"zero", "0"}, {"one", "1"}, {"two", "2"}});
    const std::string out = qmtest::MakeTempDir("out");
    int asked = 0;
    ExtractHooks hooks;
    hooks.keepGoing = [&] { return ++asked < 2; };
    EXPECT_EQ(Extract(archive, out, hooks), "Operation canceled.");
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"two"}));
}

TEST(ExtractAll, ReportsFilesThatCannotBeOpenedOrCreated) {
    EXPECT_EQ(Extract("/nonexistent/archive.run", qmtest::MakeTempDir("out")),
              "Cannot create file: /nonexistent/archive.run");
    // A folder stands where the file should go.
    const std::string archive = WriteArchive({{"taken", "x"}});
    const std::string out = qmtest::MakeTempDir("out");
    std::filesystem::create_directories(out + "/taken/inside");
    EXPECT_EQ(Extract(archive, out), "Cannot create file: " + out + "/taken");
    // A file stands where a folder should go.
    const std::string nested = WriteArchive({{"file\\below", "x"}});
    qmtest::WriteFile(out + "/file", "a file");
    EXPECT_EQ(Extract(nested, out), "Cannot create file: " + out + "/file/below");
}

} // namespace
