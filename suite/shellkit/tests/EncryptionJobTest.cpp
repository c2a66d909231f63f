#include "shellkit/EncryptionJob.h"

#include "TestSupport.h"
#include "corecrypt/Archive.h"
#include "corecrypt/EncryptedFile.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"

#include <gtest/gtest.h>

using shellkit::EncryptionPlan;
using shellkit::RunEncryption;

namespace {

class EncryptionJob : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        root = qmtest::MakeTempDir("job");
        qmtest::WriteFile(root + "/a.txt", "alpha");
        qmtest::WriteFile(root + "/docs/b.txt", "beta");
        qmtest::WriteFile(root + "/docs/deep/c.txt", "gamma");
        plan.sources = {root + "/a.txt", root + "/docs"};
        plan.key = "pw";
    }
    std::string Decrypted(const std::string& file) {
        std::string written, error;
        const std::string out = qmtest::MakeTempDir("out");
        if (!corecrypt::DecryptFile(file, out + "/", "pw", false, true, &written, error))
            return "(" + error + ")";
        return qmtest::ReadFile(written);
    }
    std::string root;
    EncryptionPlan plan;
};

} // namespace

TEST_F(EncryptionJob, EachFileOfFilesAndFoldersBecomesAnEncryptedFileBesideIt) {
    plan.algorithmMode = 7 * 4 + 2 + 1;
    const auto outcome = RunEncryption(plan, {});
    EXPECT_TRUE(outcome.failures.empty());
    ASSERT_EQ(outcome.written.size(), 3u);
    EXPECT_EQ(outcome.written[0], root + "/a.txt.qmp");
    EXPECT_EQ(Decrypted(root + "/a.txt.qmp"), "alpha");
    EXPECT_EQ(Decrypted(root + "/docs/deep/c.txt.qmp"), "gamma");
    bool keyFile = true;
    int code = 0;
    std::string error;
    ASSERT_TRUE(corecrypt::ReadEncryptedFileInfo(root + "/a.txt.qmp", keyFile, code, error));
    EXPECT_EQ(code, 31);
    EXPECT_TRUE(qmtest::Exists(root + "/a.txt")); // not wiped unless asked
}

TEST_F(EncryptionJob, OneArchiveHoldsEverythingAndOriginalsAreWipedAfterwards) {
    plan.toArchive = true;
    plan.archive = root + "/all.qma";
    plan.wipe = true;
    plan.wipeRounds = 1;
    const auto outcome = RunEncryption(plan, {});
    ASSERT_TRUE(outcome.failures.empty()) << outcome.failures[0];
    EXPECT_EQ(outcome.written, std::vector<std::string>{root + "/all.qma"});
    std::vector<corecrypt::ArchiveEntry> entries;
    std::string error;
    ASSERT_TRUE(corecrypt::ListArchive(root + "/all.qma", "pw", false, entries, error));
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_FALSE(qmtest::Exists(root + "/a.txt"));
    EXPECT_FALSE(qmtest::Exists(root + "/docs/deep/c.txt"));
    const std::string out = qmtest::MakeTempDir("boxout");
    ASSERT_TRUE(corecrypt::ExtractArchive(root + "/all.qma", {}, out, "pw", false, {}, nullptr, error))
        << error;
    EXPECT_EQ(qmtest::ReadFile(out + "/docs/deep/c.txt"), "gamma");
}

TEST_F(EncryptionJob, CancellingRemovesWhatTheRunWroteAndWipesNothing) {
    plan.wipe = true;
    qmtest::WriteFile(root + "/docs/b.txt.qmp", "an older encrypted file");
    CQMRegistry().WriteBYTE("OutOverwrite", 1);
    int calls = 0;
    const auto outcome = RunEncryption(plan, [&](const std::string&, int, int) { return ++calls < 3; });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.written.empty());
    EXPECT_FALSE(qmtest::Exists(root + "/a.txt.qmp"));
    // A file that replaced an older one is complete and stays; nothing was wiped.
    EXPECT_EQ(Decrypted(root + "/docs/b.txt.qmp"), "beta");
    EXPECT_EQ(qmtest::ReadFile(root + "/a.txt"), "alpha");
    EXPECT_EQ(qmtest::ReadFile(root + "/docs/b.txt"), "beta");
}

TEST_F(EncryptionJob, CancellingANewArchiveLeavesNoArchive) {
    plan.toArchive = true;
    plan.archive = root + "/new.qma";
    plan.wipe = true;
    const auto outcome = RunEncryption(plan, [](const std::string&, int done, int) { return done < 1; });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(qmtest::Exists(root + "/new.qma"));
    EXPECT_TRUE(qmtest::Exists(root + "/a.txt"));
}

TEST_F(EncryptionJob, AnExistingEncryptedFileIsKeptUnlessOverwritingIsOnAndAFailureWipesNothing) {
    plan.wipe = true;
    qmtest::WriteFile(root + "/a.txt.qmp", "keep me");
    const auto outcome = RunEncryption(plan, {});
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_NE(outcome.failures[0].find("already exists"), std::string::npos);
    EXPECT_EQ(qmtest::ReadFile(root + "/a.txt.qmp"), "keep me");
    EXPECT_TRUE(qmtest::Exists(root + "/a.txt")); // its encryption failed: not wiped
    EXPECT_FALSE(qmtest::Exists(root + "/docs/b.txt"));
    EXPECT_EQ(outcome.written.size(), 2u);
}
