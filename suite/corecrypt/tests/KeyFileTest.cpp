// Key files: layout, privacy, and refusing what is no key file.
#include "corecrypt/KeyFile.h"
#include "TestSupport.h"
#include "corecrypt/QMException.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using corecrypt::kKeyFileSize;

TEST(KeyFile, NewFileHasTheLayoutTheKeyStoreReadsAndOnlyItsOwnerMayReadIt) {
    const std::string path = qmtest::MakeTempDir("keys") + "/my.qmk";
    char error[512] = "";
    ASSERT_NE(CreateKeyFile(path.c_str(), error, 512), 0) << error;
    const std::string bytes = qmtest::ReadFile(path);
    ASSERT_EQ(bytes.size(), kKeyFileSize);
    // The key store shows "Size(64)" = size - 24 and "Size(128)" = size - 32.
    EXPECT_EQ(bytes.size() - 32, corecrypt::kKeyMaterialSize);
    // The key ID is read as text: no zero byte may end it early.
    EXPECT_EQ(bytes.substr(0, 16).find('\0'), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::uint8_t id[16];
    corecrypt::SecureBytes secret;
    std::string readError;
    ASSERT_TRUE(corecrypt::ReadKeyFile(path, id, secret, readError)) << readError;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(id), 16), bytes.substr(0, 16));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(secret.data()), secret.size()), bytes.substr(16));
}

TEST(KeyFile, TwoNewFilesDifferAndAnExistingFileIsNeverReplaced) {
    const std::string dir = qmtest::MakeTempDir("keys");
    char error[512] = "";
    ASSERT_NE(CreateKeyFile((dir + "/a.qmk").c_str(), error, 512), 0);
    ASSERT_NE(CreateKeyFile((dir + "/b.qmk").c_str(), error, 512), 0);
    const std::string a = qmtest::ReadFile(dir + "/a.qmk");
    EXPECT_NE(a, qmtest::ReadFile(dir + "/b.qmk"));
    EXPECT_EQ(CreateKeyFile((dir + "/a.qmk").c_str(), error, 512), 0);
    EXPECT_EQ(std::string(error), "The file " + dir + "/a.qmk already exists.");
    EXPECT_EQ(qmtest::ReadFile(dir + "/a.qmk"), a);
}

TEST(KeyFile, FailuresReportAndLeaveNothingBehind) {
    const std::string dir = qmtest::MakeTempDir("keys");
    char error[512] = "";
    EXPECT_EQ(CreateKeyFile((dir + "/missing/k.qmk").c_str(), error, 512), 0);
    EXPECT_NE(std::string(error).find("Cannot create a file in"), std::string::npos) << error;
    EXPECT_EQ(CreateKeyFile("", error, 512), 0);

    std::uint8_t id[16];
    corecrypt::SecureBytes secret;
    std::string readError;
    EXPECT_FALSE(corecrypt::ReadKeyFile(dir + "/none.qmk", id, secret, readError));
    qmtest::WriteFile(dir + "/short.qmk", std::string(40, 'k'));
    EXPECT_FALSE(corecrypt::ReadKeyFile(dir + "/short.qmk", id, secret, readError));
    EXPECT_EQ(readError, "The file " + dir + "/short.qmk is not a key file (wrong size).");
    EXPECT_FALSE(corecrypt::ReadKeyFile(dir, id, secret, readError));
}

TEST(QMException, CarriesTheCodeAndReportsThroughTheToolkitsException) {
    try {
        throw CQMException(CQMException::kCannotOpen, "/x/y.qmp");
    } catch (const CUIException& e) {
        EXPECT_EQ(e.GetCode(), 3);
        EXPECT_EQ(e.GetReportText(), "/x/y.qmp");
    }
    EXPECT_EQ(CQMException(CQMException::kWrongHeaderVersion).GetReportText(), "Error 53.");
}

} // namespace
