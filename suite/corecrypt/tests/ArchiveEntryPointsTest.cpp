// The archive entry points of the description pane: the reader's slots and heap, the codes it
// throws, the error buffers, and extraction, decrypt-and-remove and deletion by the reader's paths.
#include "TestSupport.h"
#include "corecrypt/Archive.h"
#include "corecrypt/KeyFile.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/QMException.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

using qmtest::Exists;
using qmtest::ReadFile;
using qmtest::WriteFile;

int CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CQMException& e) {
        return e.GetCode();
    }
    return -1;
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

class ArchiveEntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_src = qmtest::MakeTempDir("src");
        m_out = qmtest::MakeTempDir("out");
        m_archive = qmtest::MakeTempDir("arc") + "/a.qma";
        WriteFile(m_src + "/one.txt", std::string(1000, 'a'));
        WriteFile(m_src + "/two.bin", qmtest::PseudoRandomBytes(3000, 2));
        ::mkdir((m_src + "/sub").c_str(), 0755);
        WriteFile(m_src + "/sub/three.jpg", "jjj");
        const timespec times[2] = {{1500000000, 11}, {1600000000, 22}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (m_src + "/one.txt").c_str(), times, 0), 0);
        MakeArchive("pw", false);
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }

    void MakeArchive(const std::string& secret, bool keyFile) {
        std::string error;
        ASSERT_TRUE(corecrypt::AddToArchive(
            m_archive, {m_src + "/one.txt", m_src + "/two.bin", m_src + "/sub"}, secret, keyFile, {}, error))
            << error;
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
        return call(m_archive.c_str(), entries, m_out.c_str(), "pw", 0, m_error, sizeof m_error, overwrite,
                    restoreTimes, progress);
    }

    std::string m_src, m_out, m_archive;
    char m_error[1000] = {};
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
    EXPECT_EQ(slots[0]->nSize, 1000u);
    EXPECT_EQ(slots[0]->tModified, 1600000000);
    EXPECT_EQ(slots[0]->nModifiedNanos, 22u);
    EXPECT_EQ(slots[0]->tAccessed, 1500000000);
    EXPECT_EQ(slots[0]->nAccessedNanos, 11u);
    EXPECT_STREQ(slots[1]->pszPath, "two.bin");
    EXPECT_STREQ(slots[2]->pszPath, "sub/three.jpg");
    EXPECT_EQ(slots[2]->nSize, 3u);
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
    ASSERT_EQ(Decrypt({paths[0], paths[2]}), 1) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(1000, 'a'));
    EXPECT_EQ(ReadFile(m_out + "/sub/three.jpg"), "jjj");
    EXPECT_FALSE(Exists(m_out + "/two.bin"));
    struct stat st {};
    ASSERT_EQ(::stat((m_out + "/one.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);

    // An existing file stays unless overwrite is on; restore-time off leaves the file's own time.
    WriteFile(m_out + "/one.txt", "mine");
    EXPECT_EQ(Decrypt({"one.txt"}), 0);
    EXPECT_NE(std::strstr(m_error, "already exists"), nullptr) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), "mine");
    ASSERT_EQ(Decrypt({"one.txt"}, false, 1, 0), 1) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/one.txt"), std::string(1000, 'a'));
    ASSERT_EQ(::stat((m_out + "/one.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mtim.tv_sec, 1600000000);

    EXPECT_EQ(Decrypt({}), 0) << "an empty selection is not the whole archive";
    EXPECT_FALSE(Exists(m_out + "/two.bin"));
}

TEST_F(ArchiveEntryPoints, DecryptAndRemoveTakesEntriesOutUntilNoneWouldBeLeft) {
    ASSERT_EQ(Decrypt({"two.bin"}, true), 1) << m_error;
    EXPECT_EQ(ReadFile(m_out + "/two.bin"), qmtest::PseudoRandomBytes(3000, 2));
    EXPECT_EQ(ListPaths(), (std::vector<std::string>{"one.txt", "sub/three.jpg"}));

    EXPECT_EQ(CodeOf([&] { Decrypt({"one.txt", "sub/three.jpg"}, true); }), corecrypt::kArchiveNoEntriesLeft);
    EXPECT_EQ(ReadFile(m_out + "/sub/three.jpg"), "jjj");
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
    ASSERT_EQ(Decrypt({"one.txt", "two.bin"}, false, 0, 1, &record), 1) << m_error;
    EXPECT_EQ(seen, (std::vector<std::string>{"one.txt", "two.bin"}));
    EXPECT_EQ(record.nCurrent, 2);

    const std::string before = ReadFile(m_archive);
    seen.clear();
    stopAfter = 1;
    EXPECT_EQ(Decrypt({"two.bin", "sub/three.jpg"}, true, 1, 1, &record), 0);
    EXPECT_NE(std::strstr(m_error, "cancelled"), nullptr) << m_error;
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(run.bStopped, 1);
    EXPECT_FALSE(Exists(m_out + "/sub/three.jpg"));
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

} // namespace
