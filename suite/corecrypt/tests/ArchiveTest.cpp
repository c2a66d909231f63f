// Encrypted archives: round trips, updates, deletion, cancels that leave the old archive, and
// refusal of damaged archives and of names that would leave the output folder; and the entry
// points of the description pane: the reader's slots and heap, its codes, the error buffers.
#include "corecrypt/Archive.h"
#include "TestSupport.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Paths.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/QMException.h"
#include "platform/AtomicFile.h"
#include "uikit/Progress.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using corecrypt::ArchiveEntry;
using qmtest::ReadFile;
using qmtest::WriteFile;

class CountingBar : public uikit::IProgressIndicator {
public:
    void setRange(int, int high) override { range = high; }
    void setPosition(int p) override {
        if (p > pos)
            ++steps;
        pos = p;
    }
    int position() const override { return pos; }
    int range = 0;
    int steps = 0;
    int pos = 0;
};

class Archive : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_src = qmtest::MakeTempDir("src");
        m_out = qmtest::MakeTempDir("out");
        m_archive = qmtest::MakeTempDir("arc") + "/a.qma";
        WriteFile(m_src + "/one.txt", std::string(100000, 'a'));
        WriteFile(m_src + "/two.bin", qmtest::PseudoRandomBytes(200000, 2));
        ::mkdir((m_src + "/sub").c_str(), 0755);
        ::mkdir((m_src + "/sub/deeper").c_str(), 0755);
        WriteFile(m_src + "/sub/three.jpg", std::string(5000, 'j'));
        WriteFile(m_src + "/sub/deeper/four", "");
    }
    void TearDown() override {
        corecrypt::SetKdfCostForTesting(std::nullopt);
        platform::AtomicFile::FailAfterBytesForTesting(-1);
    }

    bool Add(const std::vector<std::string>& sources, corecrypt::ArchiveAddOptions options = {},
             const std::string& secret = "pw", bool keyFile = false) {
        std::string error;
        const bool ok = corecrypt::AddToArchive(m_archive, sources, secret, keyFile, options, error);
        m_error = error;
        return ok;
    }
    std::vector<ArchiveEntry> List(const std::string& secret = "pw", bool keyFile = false) {
        std::vector<ArchiveEntry> entries;
        std::string error;
        EXPECT_TRUE(corecrypt::ListArchive(m_archive, secret, keyFile, entries, error)) << error;
        return entries;
    }
    static std::vector<std::string> Paths(const std::vector<ArchiveEntry>& entries) {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.path);
        return out;
    }
    bool Extract(const std::vector<std::string>& names, corecrypt::ArchiveExtractOptions options = {},
                 const std::string& secret = "pw", bool keyFile = false) {
        std::string error;
        const bool ok =
            corecrypt::ExtractArchive(m_archive, names, m_out, secret, keyFile, options, nullptr, error);
        m_error = error;
        return ok;
    }
    static int CodeOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const CQMException& e) {
            return e.GetCode();
        }
        return -1;
    }

    std::string m_src, m_out, m_archive, m_error;
};

TEST_F(Archive, RoundTripWithPasswordKeepsTreeSizesAndTimes) {
    const timespec times[2] = {{1500000000, 123}, {1600000000, 456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_src + "/one.txt").c_str(), times, 0), 0);
    corecrypt::ArchiveAddOptions options;
    options.extensionsNotCompressed = "zip; *.JPG,.gz";
    ASSERT_TRUE(Add({m_src}, options)) << m_error;
    const auto entries = List();
    const std::string base = corecrypt::BaseName(m_src);
    EXPECT_EQ(Paths(entries), (std::vector<std::string>{base + "/one.txt", base + "/sub/deeper/four",
                                                        base + "/sub/three.jpg", base + "/two.bin"}));
    EXPECT_EQ(entries[0].size, 100000u);
    EXPECT_EQ(entries[0].modified, 1600000000);
    EXPECT_EQ(entries[0].modifiedNanos, 456789u);
    EXPECT_TRUE(entries[0].compressed);
    EXPECT_FALSE(entries[2].compressed) << "jpg is among the extensions not compressed";
    // The text compresses: its stream is far smaller than the file.
    EXPECT_LT(entries[0].length, 10000u);

    ASSERT_TRUE(Extract({})) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/" + base + "/one.txt"), std::string(100000, 'a'));
    EXPECT_EQ(ReadFile(m_out + "/" + base + "/two.bin"), qmtest::PseudoRandomBytes(200000, 2));
    EXPECT_EQ(ReadFile(m_out + "/" + base + "/sub/three.jpg"), std::string(5000, 'j'));
    EXPECT_TRUE(qmtest::Exists(m_out + "/" + base + "/sub/deeper/four"));
    struct stat st {};
    ASSERT_EQ(::stat((m_out + "/" + base + "/one.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
}

TEST_F(Archive, NonRecursiveAddTakesOnlyTheFolderItself) {
    corecrypt::ArchiveAddOptions options;
    options.recurse = false;
    ASSERT_TRUE(Add({m_src}, options)) << m_error;
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(Archive, KeyFileRoundTripAndCodes) {
    const std::string key = m_src + "/../k.qmk";
    char error[512];
    ASSERT_NE(CreateKeyFile(key.c_str(), error, 512), 0) << error;
    ASSERT_TRUE(Add({m_src + "/one.txt"}, {}, key, true)) << m_error;
    const auto entries = List(key, true);
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(Extract({"one.txt"}, {}, key, true)) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(100000, 'a'));

    const std::string other = m_src + "/../other.qmk";
    ASSERT_NE(CreateKeyFile(other.c_str(), error, 512), 0) << error;
    std::vector<ArchiveEntry> e;
    std::string err;
    EXPECT_EQ(CodeOf([&] { corecrypt::ListArchive(m_archive, other, true, e, err); }), 55);
    EXPECT_EQ(CodeOf([&] { corecrypt::ListArchive(m_archive, "", false, e, err); }), 51);
}

TEST_F(Archive, PasswordCodes51And55) {
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    std::vector<ArchiveEntry> e;
    std::string err;
    EXPECT_EQ(CodeOf([&] { corecrypt::ListArchive(m_archive, "", false, e, err); }), 51);
    EXPECT_EQ(CodeOf([&] { corecrypt::ListArchive(m_archive, "wrong", false, e, err); }), 55);
    EXPECT_EQ(CodeOf([&] { Add({m_src + "/two.bin"}, {}, "wrong"); }), 55);
    EXPECT_EQ(List().size(), 1u);
}

TEST_F(Archive, AddingToAnExistingArchiveFollowsTheOverwritePolicy) {
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    ASSERT_TRUE(Add({m_src + "/two.bin"})) << m_error;
    EXPECT_EQ(Paths(List()), (std::vector<std::string>{"one.txt", "two.bin"}));

    WriteFile(m_src + "/one.txt", "changed");
    const timespec older[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_src + "/one.txt").c_str(), older, 0), 0);
    corecrypt::ArchiveAddOptions options;
    options.overwrite = corecrypt::kKeepEntry;
    ASSERT_TRUE(Add({m_src + "/one.txt"}, options)) << m_error;
    options.overwrite = corecrypt::kReplaceOlderEntry; // the file is older than the entry: kept
    ASSERT_TRUE(Add({m_src + "/one.txt"}, options)) << m_error;
    EXPECT_EQ(List()[0].size, 100000u);

    uikit::ScriptedBackend ui;
    uikit::ScopedBackend scope(ui);
    ui.queueAnswer(uikit::Answer::No);
    options.overwrite = corecrypt::kAskEntry;
    ASSERT_TRUE(Add({m_src + "/one.txt"}, options)) << m_error;
    EXPECT_EQ(List()[0].size, 100000u);
    ui.queueAnswer(uikit::Answer::Yes);
    ASSERT_TRUE(Add({m_src + "/one.txt"}, options)) << m_error;
    EXPECT_EQ(ui.messages().size(), 2u);
    const auto entries = List();
    EXPECT_EQ(Paths(entries), (std::vector<std::string>{"two.bin", "one.txt"}));
    ASSERT_TRUE(Extract({})) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), "changed");
    EXPECT_EQ(ReadFile(m_out + "/two.bin"), qmtest::PseudoRandomBytes(200000, 2));
}

TEST_F(Archive, ProgressAndCancelLeaveTheOldArchive) {
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    const std::string before = ReadFile(m_archive);
    CALLBACKSTRUCT_ run;
    CALLBACKSTRUCT_ task = run; // obeys the run's continue flag
    CountingBar bar;
    task.hWndProgress = &bar;
    static std::vector<std::string> seen;
    seen.clear();
    task.pfnCallBack = [](CALLBACKSTRUCT_* r) {
        seen.push_back(r->csCurrent);
        if (seen.size() == 2)
            r->bContinue = 0; // this copy's own flag does not govern it ...
    };
    corecrypt::ArchiveAddOptions options;
    options.progress = &task;
    ASSERT_TRUE(Add({m_src}, options)) << m_error;
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(bar.range, 4);
    EXPECT_EQ(bar.steps, 4);
    EXPECT_EQ(List().size(), 5u);

    const std::string afterFirst = ReadFile(m_archive);
    seen.clear();
    task.pfnCallBack = [](CALLBACKSTRUCT_* r) {
        seen.push_back(r->csCurrent);
        if (seen.size() == 2)
            *r->pbContinue = 0; // ... the run's flag does
    };
    WriteFile(m_src + "/five", "5");
    WriteFile(m_src + "/six", "6");
    options.overwrite = corecrypt::kReplaceEntry;
    EXPECT_FALSE(Add({m_src}, options));
    EXPECT_EQ(run.bStopped, 1);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(ReadFile(m_archive), afterFirst);
    EXPECT_NE(afterFirst, before);
}

TEST_F(Archive, FullDiskLeavesTheOldArchive) {
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    const std::string before = ReadFile(m_archive);
    platform::AtomicFile::FailAfterBytesForTesting(1000);
    EXPECT_FALSE(Add({m_src + "/two.bin"}));
    platform::AtomicFile::FailAfterBytesForTesting(-1);
    EXPECT_EQ(ReadFile(m_archive), before);
    EXPECT_EQ(List().size(), 1u);
}

TEST_F(Archive, DeletionAndDecryptAndRemove) {
    ASSERT_TRUE(Add({m_src + "/one.txt", m_src + "/two.bin", m_src + "/sub/three.jpg"})) << m_error;
    std::string error;
    EXPECT_FALSE(corecrypt::DeleteFromArchive(m_archive, {"missing"}, "pw", false, nullptr, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    ASSERT_TRUE(corecrypt::DeleteFromArchive(m_archive, {"two.bin"}, "pw", false, nullptr, error)) << error;
    EXPECT_EQ(Paths(List()), (std::vector<std::string>{"one.txt", "three.jpg"}));
    EXPECT_EQ(
        CodeOf([&] {
            corecrypt::DeleteFromArchive(m_archive, {"one.txt", "three.jpg"}, "pw", false, nullptr, error);
        }),
        57);
    EXPECT_EQ(List().size(), 2u);

    corecrypt::ArchiveExtractOptions remove;
    remove.removeExtracted = true;
    ASSERT_TRUE(Extract({"one.txt"}, remove)) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(100000, 'a'));
    EXPECT_EQ(Paths(List()), (std::vector<std::string>{"three.jpg"}));
    EXPECT_EQ(CodeOf([&] { Extract({}, remove); }), 57);
    EXPECT_EQ(ReadFile(m_out + "/three.jpg"), std::string(5000, 'j'));
    EXPECT_EQ(List().size(), 1u) << "the archive stays as it was when nothing would be left";
}

TEST_F(Archive, ExistingFilesAreReplacedOnlyWithOverwrite) {
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    WriteFile(m_out + "/one.txt", "mine");
    EXPECT_FALSE(Extract({}));
    EXPECT_NE(m_error.find("already exists"), std::string::npos);
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), "mine");
    corecrypt::ArchiveExtractOptions options;
    options.overwrite = true;
    ASSERT_TRUE(Extract({}, options)) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt").size(), 100000u);
}

TEST_F(Archive, SymbolicLinksInTheOutputAreRefused) {
    ASSERT_TRUE(Add({m_src + "/sub"})) << m_error;
    const std::string elsewhere = qmtest::MakeTempDir("elsewhere");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (m_out + "/sub").c_str()), 0);
    EXPECT_FALSE(Extract({}));
    EXPECT_NE(m_error.find("symbolic link"), std::string::npos) << m_error;
    EXPECT_FALSE(qmtest::Exists(elsewhere + "/three.jpg"));
}

TEST_F(Archive, AnArchiveReachedThroughALinkIsRewrittenWhereTheLinkPointsAndKeepsItsMode) {
    const std::string real = qmtest::MakeTempDir("real") + "/kept.qma";
    m_archive = real;
    ASSERT_TRUE(Add({m_src + "/one.txt"})) << m_error;
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = qmtest::MakeTempDir("links") + "/kept.qma";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    m_archive = link;
    ASSERT_TRUE(Add({m_src + "/two.bin"})) << m_error;
    std::string error;
    ASSERT_TRUE(corecrypt::DeleteFromArchive(link, {"one.txt"}, "pw", false, nullptr, error)) << error;
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(::lstat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    m_archive = real;
    EXPECT_EQ(Paths(List()), std::vector<std::string>{"two.bin"});
}

TEST_F(Archive, NamesOfUpTo255BytesAreStoredAndExtractedAgain) {
    for (const std::size_t length : {242u, 245u, 255u}) {
        const std::string name(length, 'l');
        WriteFile(m_src + "/" + name, "long " + std::to_string(length));
        ASSERT_TRUE(Add({m_src + "/" + name})) << m_error;
    }
    ASSERT_TRUE(Extract({})) << m_error;
    corecrypt::ArchiveExtractOptions options;
    options.overwrite = true;
    ASSERT_TRUE(Extract({}, options)) << "replacing them works as well: " << m_error;
    for (const std::size_t length : {242u, 245u, 255u})
        EXPECT_EQ(ReadFile(m_out + "/" + std::string(length, 'l')), "long " + std::to_string(length));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_out), {}), 3);
}

TEST(ArchivePaths, ClimbingAndAbsoluteNamesAreInvalid) {
    for (const char* bad : {"", "/etc/passwd", "../x", "a/../../x", "a/..", "./a", "a//b", "a/", "..", "."})
        EXPECT_FALSE(corecrypt::ValidEntryPath(bad)) << bad;
    for (const char* good : {"a", "a/b", "..a", "a/.b", "a..b/c"})
        EXPECT_TRUE(corecrypt::ValidEntryPath(good)) << good;
}

TEST_F(Archive, TamperingAndTruncationAreRefusedWithNothingWritten) {
    ASSERT_TRUE(Add({m_src + "/one.txt", m_src + "/two.bin"})) << m_error;
    const std::string good = ReadFile(m_archive);
    const auto entries = List();
    auto expectRefused = [&](const std::string& bytes, const char* what) {
        WriteFile(m_archive, bytes);
        std::string error;
        std::vector<ArchiveEntry> e;
        bool ok = false;
        try {
            ok = corecrypt::ListArchive(m_archive, "pw", false, e, error) &&
                 corecrypt::ExtractArchive(m_archive, {}, m_out, "pw", false, {}, nullptr, error);
        } catch (const CQMException& ex) {
            error = ex.GetReportText();
        }
        EXPECT_FALSE(ok) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_FALSE(qmtest::Exists(m_out + "/two.bin")) << what;
    };
    std::string bytes = good;
    bytes[static_cast<std::size_t>(entries[1].offset + 70000)] ^= 1;
    expectRefused(bytes, "a flipped bit in an entry");
    bytes = good;
    bytes[bytes.size() - 40] ^= 1;
    expectRefused(bytes, "a flipped bit in the directory");
    bytes = good;
    bytes[20] ^= 1;
    expectRefused(bytes, "a flipped bit in the header");
    expectRefused(good.substr(0, good.size() - 1), "one byte cut");
    expectRefused(good.substr(0, good.size() / 2), "half cut");
    expectRefused(good.substr(0, 50), "header cut");
    // Two entries' streams swapped in place (same length) fail: each stream has its own keys.
    bytes = good;
    std::string one = good.substr(entries[0].offset, entries[0].length);
    std::string two = good.substr(entries[1].offset, entries[0].length);
    bytes.replace(entries[1].offset, one.size(), one);
    bytes.replace(entries[0].offset, two.size(), two);
    expectRefused(bytes, "swapped streams");
}

// A heap that counts its blocks and can be told to run dry.
struct CountingHeap {
    int allocations = 0;
    int frees = 0;
    int failAfter = -1; // allocations that succeed before it returns null; -1 never
    ENTRYHEAP_ heap{Allocate, Free, this};

    static void* Allocate(void* context, std::size_t size) {
        auto* self = static_cast<CountingHeap*>(context);
        if (self->failAfter >= 0 && self->allocations >= self->failAfter)
            return nullptr;
        ++self->allocations;
        return std::malloc(size);
    }
    static void Free(void* context, void* block) {
        ++static_cast<CountingHeap*>(context)->frees;
        std::free(block);
    }
};

// The entry points the description pane calls, over an archive of one.txt, two.bin and
// sub/three.jpg, listed and passed back by path as the pane does.
class ArchiveEntryPoints : public Archive {
protected:
    void SetUp() override {
        Archive::SetUp();
        const timespec times[2] = {{1500000000, 11}, {1600000000, 22}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (m_src + "/one.txt").c_str(), times, 0), 0);
        MakeArchive("pw", false);
    }

    void MakeArchive(const std::string& secret, bool keyFile) {
        ASSERT_TRUE(
            Add({m_src + "/one.txt", m_src + "/two.bin", m_src + "/./sub/three.jpg"}, {}, secret, keyFile))
            << m_error;
    }

    // Lists as the pane does: reads the slots up to the first empty one, keeps each path, frees
    // the entry.
    std::vector<std::string> ListPaths(const char* secret = "pw", int isKeyFile = 0) {
        std::vector<ARCHIVEENTRY_*> slots(kArchiveReaderSlots);
        char error[1000];
        const int total = ReadArchiveEntries(nullptr, m_archive.c_str(), slots.data(), kArchiveReaderSlots,
                                             secret, isKeyFile, error, sizeof error);
        std::vector<std::string> paths;
        for (int i = 0; slots[i]; ++i) {
            paths.push_back(slots[i]->pszPath);
            FreeArchiveEntry(nullptr, slots[i]);
        }
        EXPECT_EQ(total, static_cast<int>(paths.size())) << error;
        return paths;
    }
    int Decrypt(const std::vector<std::string>& entries, bool remove = false, int overwrite = 0,
                int restoreTimes = 1, CALLBACKSTRUCT_* progress = nullptr) {
        auto* call = remove ? DecryptAndRemoveFromArchive : DecryptFromArchive;
        return call(m_archive.c_str(), entries, m_out.c_str(), "pw", 0, m_errorText, sizeof m_errorText,
                    overwrite, restoreTimes, progress);
    }

    char m_errorText[1000] = {};
};

TEST_F(ArchiveEntryPoints, ReaderFillsSlotsInOrderAndLeavesTheRestUntouched) {
    ARCHIVEENTRY_ guard{};
    std::vector<ARCHIVEENTRY_*> slots(kArchiveReaderSlots, &guard);
    CountingHeap counting;
    char error[1000];
    ASSERT_EQ(ReadArchiveEntries(&counting.heap, m_archive.c_str(), slots.data(), kArchiveReaderSlots, "pw",
                                 0, error, sizeof error),
              3)
        << error;
    EXPECT_STREQ(error, "");
    EXPECT_STREQ(slots[0]->pszPath, "one.txt");
    EXPECT_EQ(slots[0]->nSize, 100000u);
    EXPECT_EQ(slots[0]->tModified, 1600000000);
    EXPECT_EQ(slots[0]->nModifiedNanos, 22u);
    EXPECT_EQ(slots[0]->tAccessed, 1500000000);
    EXPECT_EQ(slots[0]->nAccessedNanos, 11u);
    EXPECT_STREQ(slots[1]->pszPath, "two.bin");
    EXPECT_STREQ(slots[2]->pszPath, "sub/three.jpg");
    EXPECT_EQ(slots[2]->nSize, 5000u);
    EXPECT_EQ(slots[3], nullptr);
    EXPECT_EQ(slots[4], &guard);
    for (int i = 0; i < 3; ++i)
        FreeArchiveEntry(&counting.heap, slots[i]);
    FreeArchiveEntry(&counting.heap, nullptr);
    EXPECT_EQ(counting.allocations, 3);
    EXPECT_EQ(counting.frees, 3);
}

TEST_F(ArchiveEntryPoints, ReaderNeverWritesPastTheSlotsAndReportsWhatDidNotFit) {
    for (int slotCount : {1, 2, 3, 4}) {
        // Exactly sized, so that a write past the end is caught by the address sanitizer.
        auto slots = std::make_unique<ARCHIVEENTRY_*[]>(static_cast<std::size_t>(slotCount));
        char error[100];
        EXPECT_EQ(ReadArchiveEntries(nullptr, m_archive.c_str(), slots.get(), slotCount, "pw", 0, error,
                                     sizeof error),
                  3);
        const int placed = std::min(slotCount - 1, 3);
        for (int i = 0; i < placed; ++i) {
            ASSERT_NE(slots[i], nullptr) << slotCount;
            FreeArchiveEntry(nullptr, slots[i]);
        }
        EXPECT_EQ(slots[placed], nullptr) << slotCount;
    }
}

TEST_F(ArchiveEntryPoints, ReaderGivesBackWhatItTookWhenTheHeapRunsDry) {
    CountingHeap counting;
    counting.failAfter = 2;
    ARCHIVEENTRY_* slots[10];
    char error[1000];
    EXPECT_EQ(ReadArchiveEntries(&counting.heap, m_archive.c_str(), slots, 10, "pw", 0, error, sizeof error),
              -1);
    EXPECT_EQ(slots[0], nullptr);
    EXPECT_NE(std::strstr(error, "memory"), nullptr) << error;
    EXPECT_EQ(counting.frees, 2);
    ENTRYHEAP_ halfHeap{CountingHeap::Allocate, nullptr, &counting};
    EXPECT_EQ(ReadArchiveEntries(&halfHeap, m_archive.c_str(), slots, 10, "pw", 0, error, sizeof error), -1);
    EXPECT_EQ(counting.allocations, 2) << "nothing is allocated from a heap that cannot free";
}

TEST_F(ArchiveEntryPoints, MissingAndWrongKeysThrow51And55) {
    ARCHIVEENTRY_ guard{};
    ARCHIVEENTRY_* slots[4] = {&guard, &guard, &guard, &guard};
    char error[100];
    auto read = [&](const char* secret, int isKeyFile) {
        ReadArchiveEntries(nullptr, m_archive.c_str(), slots, 4, secret, isKeyFile, error, sizeof error);
    };
    EXPECT_EQ(CodeOf([&] { read(nullptr, 0); }), corecrypt::kArchivePasswordNeeded);
    EXPECT_EQ(slots[0], nullptr) << "the slots end before the first even when the reader throws";
    EXPECT_EQ(CodeOf([&] { read("", 0); }), corecrypt::kArchivePasswordNeeded);
    EXPECT_EQ(CodeOf([&] { read("wrong", 0); }), corecrypt::kArchiveWrongKey);
    EXPECT_EQ(CodeOf([&] {
                  DecryptFromArchive(m_archive.c_str(), {"one.txt"}, m_out.c_str(), "", 0, error,
                                     sizeof error, 0, 1, nullptr);
              }),
              corecrypt::kArchivePasswordNeeded);
    EXPECT_EQ(CodeOf([&] {
                  DeleteArchiveEntries(m_archive.c_str(), {"one.txt"}, "wrong", 0, nullptr, error,
                                       sizeof error);
              }),
              corecrypt::kArchiveWrongKey);

    const std::string key = m_src + "/k.qmk", other = m_src + "/other.qmk";
    ASSERT_NE(CreateKeyFile(key.c_str(), error, sizeof error), 0) << error;
    ASSERT_NE(CreateKeyFile(other.c_str(), error, sizeof error), 0) << error;
    ::unlink(m_archive.c_str());
    MakeArchive(key, true);
    EXPECT_EQ(ListPaths(key.c_str(), 1).size(), 3u);
    EXPECT_EQ(CodeOf([&] { read(nullptr, 0); }), corecrypt::kArchivePasswordNeeded);
    EXPECT_EQ(CodeOf([&] { read(other.c_str(), 1); }), corecrypt::kArchiveWrongKey);
}

TEST_F(ArchiveEntryPoints, FailuresLeaveAReasonCutToTheBuffer) {
    char buffer[16];
    auto fresh = [&] { std::memset(buffer, 'x', sizeof buffer); };
    ARCHIVEENTRY_* slots[4];
    fresh();
    EXPECT_EQ(ReadArchiveEntries(nullptr, (m_src + "/missing.qma").c_str(), slots, 4, "pw", 0, buffer, 8),
              -1);
    EXPECT_EQ(std::strlen(buffer), 7u);
    EXPECT_EQ(buffer[8], 'x');
    EXPECT_EQ(ReadArchiveEntries(nullptr, m_archive.c_str(), slots, 0, "pw", 0, nullptr, 0), -1);

    fresh();
    EXPECT_EQ(DecryptFromArchive(m_archive.c_str(), {"not-there"}, m_out.c_str(), "pw", 0, buffer, 5, 0, 1,
                                 nullptr),
              0);
    EXPECT_EQ(std::strlen(buffer), 4u);
    EXPECT_EQ(buffer[5], 'x');
    fresh();
    EXPECT_EQ(DeleteArchiveEntries(m_archive.c_str(), {"not-there"}, "pw", 0, nullptr, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    EXPECT_EQ(DecryptFromArchive(nullptr, {"one.txt"}, m_out.c_str(), "pw", 0, nullptr, 0, 0, 1, nullptr), 0);
}

TEST_F(ArchiveEntryPoints, DecryptsTheEntriesTheReaderNamed) {
    const auto paths = ListPaths();
    ASSERT_EQ(Decrypt({paths[0], paths[2]}), 1) << m_errorText;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(100000, 'a'));
    EXPECT_EQ(ReadFile(m_out + "/sub/three.jpg"), std::string(5000, 'j'));
    EXPECT_FALSE(qmtest::Exists(m_out + "/two.bin"));
    struct stat st {};
    ASSERT_EQ(::stat((m_out + "/one.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);

    // An existing file stays unless overwrite is on; restore-time off leaves the file's own time.
    WriteFile(m_out + "/one.txt", "mine");
    EXPECT_EQ(Decrypt({"one.txt"}), 0);
    EXPECT_NE(std::strstr(m_errorText, "already exists"), nullptr) << m_errorText;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), "mine");
    ASSERT_EQ(Decrypt({"one.txt"}, false, 1, 0), 1) << m_errorText;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(100000, 'a'));
    ASSERT_EQ(::stat((m_out + "/one.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mtim.tv_sec, 1600000000);

    EXPECT_EQ(Decrypt({}), 0) << "an empty selection is not the whole archive";
    EXPECT_FALSE(qmtest::Exists(m_out + "/two.bin"));
}

TEST_F(ArchiveEntryPoints, DecryptAndRemoveTakesEntriesOutUntilNoneWouldBeLeft) {
    ASSERT_EQ(Decrypt({"two.bin"}, true), 1) << m_errorText;
    EXPECT_EQ(ReadFile(m_out + "/two.bin"), qmtest::PseudoRandomBytes(200000, 2));
    EXPECT_EQ(ListPaths(), (std::vector<std::string>{"one.txt", "sub/three.jpg"}));

    EXPECT_EQ(CodeOf([&] { Decrypt({"one.txt", "sub/three.jpg"}, true); }), corecrypt::kArchiveNoEntriesLeft);
    EXPECT_EQ(ReadFile(m_out + "/sub/three.jpg"), std::string(5000, 'j'));
    EXPECT_EQ(ListPaths().size(), 2u) << "the archive stays as it was";
}

TEST_F(ArchiveEntryPoints, DeletionRemovesEntriesButNeverTheLast) {
    char error[1000];
    ASSERT_EQ(DeleteArchiveEntries(m_archive.c_str(), {"one.txt"}, "pw", 0, nullptr, error, sizeof error), 1)
        << error;
    EXPECT_EQ(ListPaths(), (std::vector<std::string>{"two.bin", "sub/three.jpg"}));
    EXPECT_EQ(DeleteArchiveEntries(m_archive.c_str(), {}, "pw", 0, nullptr, error, sizeof error), 0);
    const std::string before = ReadFile(m_archive);
    EXPECT_EQ(CodeOf([&] {
                  DeleteArchiveEntries(m_archive.c_str(), {"two.bin", "sub/three.jpg"}, "pw", 0, nullptr,
                                       error, sizeof error);
              }),
              corecrypt::kArchiveNoEntriesLeft);
    EXPECT_EQ(ReadFile(m_archive), before);
}

// The record's callback sees each entry; dropping the continue flag it obeys stops the run and
// leaves the archive as it was.
TEST_F(ArchiveEntryPoints, ProgressRecordIsCalledAndItsContinueFlagHonoured) {
    static std::vector<std::string> seen;
    static std::size_t stopAfter;
    seen.clear();
    stopAfter = 0;
    CALLBACKSTRUCT_ run;
    CALLBACKSTRUCT_ record = run;
    record.pfnCallBack = [](CALLBACKSTRUCT_* r) {
        seen.push_back(r->csCurrent);
        if (seen.size() == stopAfter)
            *r->pbContinue = 0;
    };
    ASSERT_EQ(Decrypt({"one.txt", "two.bin"}, false, 0, 1, &record), 1) << m_errorText;
    EXPECT_EQ(seen, (std::vector<std::string>{"one.txt", "two.bin"}));
    EXPECT_EQ(record.nCurrent, 2);

    const std::string before = ReadFile(m_archive);
    seen.clear();
    stopAfter = 1;
    EXPECT_EQ(Decrypt({"two.bin", "sub/three.jpg"}, true, 1, 1, &record), 0);
    EXPECT_NE(std::strstr(m_errorText, "cancelled"), nullptr) << m_errorText;
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.bStopped, 1);
    EXPECT_FALSE(qmtest::Exists(m_out + "/sub/three.jpg"));
    EXPECT_EQ(ReadFile(m_archive), before);

    run.bContinue = 1;
    run.bStopped = 0;
    seen.clear();
    char error[1000];
    EXPECT_EQ(DeleteArchiveEntries(m_archive.c_str(), {"one.txt"}, "pw", 0, &record, error, sizeof error), 0);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.bStopped, 1);
    EXPECT_EQ(ReadFile(m_archive), before);
    run.bContinue = 1;
    stopAfter = 0;
    ASSERT_EQ(DeleteArchiveEntries(m_archive.c_str(), {"one.txt"}, "pw", 0, &record, error, sizeof error), 1)
        << error;
    EXPECT_EQ(ListPaths().size(), 2u);
}

TEST(ArchiveEncryptedFile, AnArchiveIsNotDecryptedAsAFile) {
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    const std::string dir = qmtest::MakeTempDir("x");
    WriteFile(dir + "/f", "data");
    std::string error;
    ASSERT_TRUE(corecrypt::AddToArchive(dir + "/a.qma", {dir + "/f"}, "pw", false, {}, error)) << error;
    EXPECT_FALSE(corecrypt::DecryptFile(dir + "/a.qma", dir + "/out", "pw", false, false, nullptr, error));
    EXPECT_NE(error.find("archive"), std::string::npos);
    // The header bytes the key store reads.
    const std::string bytes = ReadFile(dir + "/a.qma");
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 41);
    EXPECT_EQ(bytes[9] & 1, 0);
    EXPECT_EQ(bytes[10], 2);
    corecrypt::SetKdfCostForTesting(std::nullopt);
}

} // namespace

// Regenerates the archive fuzz seeds (run with --gtest_also_run_disabled_tests): small archives
// under the fuzz targets' password and key file, with and without compression, several modes.
TEST(ArchiveSeeds, DISABLED_Write) {
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    const std::string seeds = std::string(QM_TEST_DATA_DIR) + "/fuzz/archive";
    ::mkdir(seeds.c_str(), 0755);
    const std::string dir = qmtest::MakeTempDir("seed");
    ::mkdir((dir + "/d").c_str(), 0755);
    WriteFile(dir + "/d/a.txt", "hello hello hello hello");
    WriteFile(dir + "/d/b", qmtest::PseudoRandomBytes(300, 5));
    WriteFile(dir + "/d/e", "");
    const std::string key = std::string(QM_TEST_DATA_DIR) + "/fuzz/fuzz.qmk";
    int n = 0;
    for (int code : {2, 1, 3, 4, 11, 38}) {
        for (bool keyFile : {false, true}) {
            corecrypt::ArchiveAddOptions options;
            options.algorithmMode = code;
            options.compress = (n % 2) == 0;
            const std::string out = seeds + "/s" + std::to_string(++n) + ".qma";
            ::unlink(out.c_str());
            std::string error;
            ASSERT_TRUE(
                corecrypt::AddToArchive(out, {dir + "/d"}, keyFile ? key : "fuzz", keyFile, options, error))
                << error;
        }
    }
    corecrypt::SetKdfCostForTesting(std::nullopt);
}

TEST(ArchiveSeeds, SeedsOpenWithTheFuzzTargetsKeys) {
    const std::string seeds = std::string(QM_TEST_DATA_DIR) + "/fuzz/archive";
    std::uint8_t id[16];
    std::uint8_t secret[80];
    for (int i = 0; i < 16; ++i)
        id[i] = static_cast<std::uint8_t>(i + 1);
    for (int i = 0; i < 80; ++i)
        secret[i] = static_cast<std::uint8_t>(0xA0 ^ (i * 7));
    for (int n : {1, 2, 11, 12}) {
        const std::string bytes = ReadFile(seeds + "/s" + std::to_string(n) + ".qma");
        std::vector<ArchiveEntry> entries;
        std::string error;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        EXPECT_TRUE(corecrypt::CheckArchiveBytes(data, bytes.size(), "fuzz", (bytes[9] & 1) != 0, id, secret,
                                                 sizeof secret, true, entries, error))
            << n << ": " << error;
        EXPECT_EQ(entries.size(), 3u);
    }
}

namespace {

// What an add reports back: only the files it added, each read back from the written archive.
TEST_F(Archive, AnAddReportsTheFilesItAddedAndReadBackAndNoOther) {
    std::vector<corecrypt::AddedSource> added;
    corecrypt::ArchiveAddOptions options;
    options.added = &added;
    ASSERT_TRUE(Add({m_src + "/one.txt", m_src + "/./sub/three.jpg"}, options)) << m_error;
    ASSERT_EQ(added.size(), 2u);
    for (const auto& a : added) {
        EXPECT_TRUE(a.verified) << a.path << ": " << a.error;
        platform::FileSnapshot now;
        ASSERT_TRUE(platform::TakeSnapshot(a.path, now));
        EXPECT_EQ(a.snapshot, now);
    }
    EXPECT_EQ(added[1].entry, "sub/three.jpg");

    // Kept entries and a repeated entry name are not reported; a replaced one is.
    WriteFile(m_src + "/sub/one.txt", "another one");
    added.clear();
    options.overwrite = corecrypt::kKeepEntry;
    ASSERT_TRUE(Add({m_src + "/one.txt", m_src + "/two.bin", m_src + "/sub/one.txt"}, options)) << m_error;
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].path, m_src + "/two.bin");
    EXPECT_TRUE(added[0].verified) << added[0].error;
    added.clear();
    options.overwrite = corecrypt::kReplaceEntry;
    ASSERT_TRUE(Add({m_src + "/one.txt"}, options)) << m_error;
    ASSERT_EQ(added.size(), 1u);
    EXPECT_TRUE(added[0].verified);

    // Nothing to add: nothing reported, and an archive the key does not open reports nothing.
    added.clear();
    options.overwrite = corecrypt::kKeepEntry;
    ASSERT_TRUE(Add({m_src + "/two.bin"}, options)) << m_error;
    EXPECT_TRUE(added.empty());
    EXPECT_EQ(CodeOf([&] { Add({m_src + "/two.bin"}, options, "wrong"); }), corecrypt::kArchiveWrongKey);
    EXPECT_TRUE(added.empty());
}

} // namespace
