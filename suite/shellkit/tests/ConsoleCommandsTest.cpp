// The console verbs' grammar and behaviour, with the password questions answered by the test.
#include "shellkit/ConsoleCommands.h"
#include "TestSupport.h"
#include "corecrypt/Primitives.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using qmtest::Exists;
using qmtest::ReadFile;
using qmtest::WriteFile;

class Console : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        m_dir = qmtest::MakeTempDir("files");
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }

    int Run(std::vector<std::string> args) {
        m_out.str({});
        m_err.str({});
        uikit::ScopedBackend use(m_ui);
        return shellkit::ProcessCmdLine(args, m_out, m_err);
    }

    uikit::ScriptedBackend m_ui;
    std::ostringstream m_out, m_err;
    std::string m_dir;
};

TEST_F(Console, EncryptsWithAnAskedPasswordAndDecryptsRestoringTheName) {
    WriteFile(m_dir + "/Report.TXT", "content");
    m_ui.queueText("Secret Pw");
    m_ui.queueText("Secret Pw");
    ASSERT_EQ(Run({"EnCrYpT", m_dir + "/Report.TXT"}), 0) << m_err.str();
    ASSERT_EQ(m_ui.textRequests().size(), 2u);
    EXPECT_TRUE(m_ui.textRequests()[0].hidden);
    EXPECT_EQ(m_ui.textRequests()[1].prompt, "Repeat the password:");
    EXPECT_TRUE(Exists(m_dir + "/Report.TXT.qmp"));

    const std::string out = qmtest::MakeTempDir("out");
    m_ui.queueText("secret pw"); // case matters in passwords
    EXPECT_EQ(Run({"decrypt", "--output", out, m_dir + "/Report.TXT.qmp"}), 1);
    EXPECT_NE(m_err.str().find("qmcenter: " + m_dir + "/Report.TXT.qmp: Wrong password"), std::string::npos)
        << m_err.str();
    m_ui.queueText("Secret Pw");
    ASSERT_EQ(Run({"decrypt", "--output", out, m_dir + "/Report.TXT.qmp"}), 0) << m_err.str();
    EXPECT_EQ(ReadFile(out + "/Report.TXT"), "content");
}

TEST_F(Console, MismatchedOrMissingPasswordsEncryptNothing) {
    WriteFile(m_dir + "/a", "x");
    m_ui.queueText("one");
    m_ui.queueText("two");
    EXPECT_EQ(Run({"encrypt", m_dir + "/a"}), 1);
    EXPECT_EQ(m_err.str(), "qmcenter: the passwords do not match\n");
    EXPECT_EQ(Run({"encrypt", m_dir + "/a"}), 1); // nobody to ask
    EXPECT_EQ(m_err.str(), "qmcenter: no password given (use --password, --password-file or --key)\n");
    EXPECT_FALSE(Exists(m_dir + "/a.qmp"));
}

TEST_F(Console, KeyFilesAlgorithmModeCompressionOutputAndWipe) {
    const std::string key = m_dir + "/k.qmk";
    ASSERT_EQ(Run({"encrypt", "--make-key", key}), 0) << m_err.str();
    ASSERT_TRUE(Exists(key));
    WriteFile(m_dir + "/a.txt", std::string(10000, 'a'));
    const std::string enc = qmtest::MakeTempDir("enc");
    ASSERT_EQ(Run({"encrypt", "--key", key, "--algorithm", "serpent", "--mode=CFB", "--compress", "--wipe",
                   "--output", enc, m_dir + "/a.txt"}),
              0)
        << m_err.str();
    const std::string bytes = ReadFile(enc + "/a.txt.qmp");
    EXPECT_EQ(bytes[10], 31); // Serpent/CFB
    EXPECT_LT(bytes.size(), 1000u);
    EXPECT_FALSE(Exists(m_dir + "/a.txt")); // wiped

    EXPECT_EQ(Run({"decrypt", enc + "/a.txt.qmp"}), 1);
    EXPECT_EQ(m_err.str(),
              "qmcenter: " + enc + "/a.txt.qmp: this file was encrypted with a key file (use --key)\n");
    ASSERT_EQ(Run({"decrypt", "--key", key, enc + "/a.txt.qmp"}), 0) << m_err.str();
    EXPECT_EQ(ReadFile(enc + "/a.txt"), std::string(10000, 'a'));
    EXPECT_EQ(Run({"decrypt", "--key", key, enc + "/a.txt.qmp"}), 1); // exists now
    EXPECT_EQ(Run({"decrypt", "--key", key, "--overwrite", "--restore-times", enc + "/a.txt.qmp"}), 0);
}

TEST_F(Console, EachFailureIsOneLineAndTheOthersStillRun) {
    WriteFile(m_dir + "/good", "g");
    WriteFile(m_dir + "/also.qmp", "x");
    WriteFile(m_dir + "/pw", "file password\nignored\n");
    EXPECT_EQ(Run({"encrypt", "--password-file", m_dir + "/pw", m_dir + "/missing", m_dir + "/good",
                   m_dir + "/also"}),
              1);
    EXPECT_EQ(m_err.str(), "qmcenter: " + m_dir + "/missing: no such file or folder\n" +
                               "qmcenter: " + m_dir + "/also: no such file or folder\n");
    EXPECT_TRUE(Exists(m_dir + "/good.qmp"));
    EXPECT_EQ(Run({"encrypt", "--password", "p", m_dir + "/good"}), 1);
    EXPECT_EQ(m_err.str(),
              "qmcenter: " + m_dir + "/good: the encrypted file " + m_dir + "/good.qmp already exists\n");

    const std::string out = qmtest::MakeTempDir("out");
    EXPECT_EQ(Run({"decrypt", "--password-file", m_dir + "/pw", "--output", out, m_dir + "/also.qmp",
                   m_dir + "/good.qmp"}),
              1);
    EXPECT_EQ(m_err.str(), "qmcenter: " + m_dir + "/also.qmp: Wrong version of file header.\n");
    EXPECT_EQ(ReadFile(out + "/good"), "g");
}

TEST_F(Console, AFolderStandsForItsFiles) {
    ::mkdir((m_dir + "/sub").c_str(), 0700);
    WriteFile(m_dir + "/sub/one", "1");
    WriteFile(m_dir + "/sub/two", "2");
    ASSERT_EQ(Run({"encrypt", "--password", "p", m_dir + "/sub"}), 0) << m_err.str();
    EXPECT_TRUE(Exists(m_dir + "/sub/one.qmp"));
    EXPECT_TRUE(Exists(m_dir + "/sub/two.qmp"));
}

TEST_F(Console, UsageErrorsSayWhatIsWrong) {
    EXPECT_EQ(Run({"encrypt"}), 1);
    EXPECT_EQ(m_err.str().substr(0, m_err.str().find('\n')), "qmcenter: no file to encrypt");
    EXPECT_EQ(Run({"encrypt", "--algorithm", "rot13", "--password", "p", "x"}), 1);
    EXPECT_NE(m_err.str().find("unknown algorithm rot13 (one of AES, Blowfish"), std::string::npos);
    EXPECT_EQ(Run({"encrypt", "--mode", "ctr", "--password", "p", "x"}), 1);
    EXPECT_EQ(Run({"encrypt", "--password", "p", "--key", "k", "x"}), 1);
    EXPECT_NE(m_err.str().find("give only one of"), std::string::npos);
    EXPECT_EQ(Run({"decrypt", "--compress", "x"}), 1);
    EXPECT_NE(m_err.str().find("unknown option --compress"), std::string::npos);
    EXPECT_EQ(Run({"decrypt", "--output", m_dir + "/none", "x"}), 1);
    EXPECT_EQ(Run({"encrypt", "--password"}), 1);
    EXPECT_NE(m_err.str().find("the option --password needs a value"), std::string::npos);
}

TEST(SplitCommandLine, KeepsQuotedBlanksAndCase) {
    EXPECT_EQ(shellkit::SplitCommandLine(R"(Encrypt --password "My Pw" "/a b/C.txt"  x\"y)"),
              (std::vector<std::string>{"Encrypt", "--password", "My Pw", "/a b/C.txt", "x\"y"}));
    EXPECT_EQ(shellkit::SplitCommandLine(R"(decrypt "")"), (std::vector<std::string>{"decrypt", ""}));
}

} // namespace
