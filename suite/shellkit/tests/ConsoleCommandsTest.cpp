// The console verbs' grammar and behaviour, with the password questions answered by the test.
#include "shellkit/ConsoleCommands.h"
#include "TestSupport.h"
#include "corecrypt/Primitives.h"
#include "misckit/Registry.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_EQ(m_err.str(), "qmcenter: " + m_dir + "/good: the encrypted file " + m_dir +
                               "/good.qmp already exists (the settings keep existing encrypted files)\n");

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
    EXPECT_EQ(Run({"decrypt", "-x", "f.qmp"}), 1);
    EXPECT_NE(m_err.str().find("unknown option -x"), std::string::npos) << m_err.str();
    EXPECT_EQ(Run({"encrypt", "--password", "p", "-o"}), 1);
    EXPECT_NE(m_err.str().find("the option -o needs a value"), std::string::npos) << m_err.str();
}

TEST_F(Console, TheSettingsGiveTheDefaultsForReplacingAndForTimes) {
    WriteFile(m_dir + "/a.txt", "first");
    WriteFile(m_dir + "/b.txt", "bee");
    WriteFile(m_dir + "/b.txt.qmp", "not an encrypted file");
    ASSERT_EQ(Run({"encrypt", "--password", "p", m_dir + "/a.txt"}), 0) << m_err.str();
    WriteFile(m_dir + "/a.txt", "second");
    const CQMRegistry settings;
    ASSERT_TRUE(settings.WriteBYTE("OutOverwrite", 1));
    // Replaced when the settings say so, but only an encrypted file, never another file.
    EXPECT_EQ(Run({"encrypt", "--password", "p", m_dir + "/a.txt", m_dir + "/b.txt"}), 1);
    EXPECT_EQ(m_err.str(), "qmcenter: " + m_dir + "/b.txt: " + m_dir +
                               "/b.txt.qmp exists and is no encrypted file; it is not replaced\n");
    EXPECT_EQ(ReadFile(m_dir + "/b.txt.qmp"), "not an encrypted file");
    ASSERT_TRUE(settings.WriteBYTE("OutOverwrite", 0));

    // Decrypted files get their stored times as the settings say, unless an option says otherwise.
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_dir + "/a.txt").c_str(), old, 0), 0);
    ASSERT_EQ(::unlink((m_dir + "/a.txt.qmp").c_str()), 0);
    ASSERT_EQ(Run({"encrypt", "--password", "p", m_dir + "/a.txt"}), 0) << m_err.str();
    auto modified = [&](const std::vector<std::string>& options) {
        const std::string out = qmtest::MakeTempDir("times");
        std::vector<std::string> args = {"decrypt", "--password", "p", "-o", out};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(m_dir + "/a.txt.qmp");
        EXPECT_EQ(Run(args), 0) << m_err.str();
        EXPECT_EQ(ReadFile(out + "/a.txt"), "second");
        struct stat st {};
        ::stat((out + "/a.txt").c_str(), &st);
        return st.st_mtim.tv_sec;
    };
    EXPECT_EQ(modified({}), 1000000000) << "stored times by default";
    EXPECT_NE(modified({"--no-restore-times"}), 1000000000);
    ASSERT_TRUE(settings.WriteBYTE("RestoreTime", 0));
    EXPECT_NE(modified({}), 1000000000);
    EXPECT_EQ(modified({"--restore-times"}), 1000000000);
    ASSERT_TRUE(settings.WriteBYTE("RestoreTime", 1));
}

TEST_F(Console, WeakChoicesWorkAndSayWhyOnceAndTheSettingsDefaultIsNotWarnedOf) {
    WriteFile(m_dir + "/a", "x");
    WriteFile(m_dir + "/b", "y");
    ASSERT_EQ(Run({"encrypt", "--password", "p", "--mode", "ECB", m_dir + "/a", m_dir + "/b"}), 0)
        << m_err.str();
    EXPECT_EQ(m_err.str(), "qmcenter: warning: " + corecrypt::WeakChoiceWarning(-1, 0) + "\n");
    EXPECT_NE(m_err.str().find("ECB mode is not recommended"), std::string::npos) << m_err.str();
    EXPECT_EQ(Run({"decrypt", "--password", "p", "--overwrite", m_dir + "/a.qmp"}), 0) << m_err.str();
    EXPECT_EQ(ReadFile(m_dir + "/a"), "x");
    EXPECT_EQ(Run({"encrypt", "--password", "p", "--algorithm", "3des", "-o", qmtest::MakeTempDir("o"),
                   m_dir + "/a"}),
              0);
    EXPECT_NE(m_err.str().find("Triple-DES is not recommended"), std::string::npos) << m_err.str();
    EXPECT_EQ(m_err.str().find('\n'), m_err.str().size() - 1) << "one line";
    // A weak default stored in the settings is the user's own choice: no warning.
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Mode", 33)); // Triple-DES/ECB
    EXPECT_EQ(Run({"encrypt", "--password", "p", "-o", qmtest::MakeTempDir("o"), m_dir + "/b"}), 0);
    EXPECT_EQ(m_err.str(), "");
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Mode", 2));
    EXPECT_EQ(corecrypt::WeakChoiceWarning(0, 1), "");
}

TEST_F(Console, LinksToFilesAreFollowedAndLinksToFoldersAreSkippedAndSaid) {
    ::mkdir((m_dir + "/tree").c_str(), 0700);
    ::mkdir((m_dir + "/elsewhere").c_str(), 0700);
    WriteFile(m_dir + "/elsewhere/far.txt", "far");
    WriteFile(m_dir + "/real.txt", "real");
    ASSERT_EQ(::symlink((m_dir + "/real.txt").c_str(), (m_dir + "/tree/file-link").c_str()), 0);
    ASSERT_EQ(::symlink((m_dir + "/elsewhere").c_str(), (m_dir + "/tree/folder-link").c_str()), 0);
    const std::string out = qmtest::MakeTempDir("linked");
    ASSERT_EQ(Run({"encrypt", "--password", "p", "-o", out, m_dir + "/tree"}), 0) << m_err.str();
    EXPECT_TRUE(Exists(out + "/file-link.qmp"));
    EXPECT_FALSE(Exists(out + "/far.txt.qmp"));
    EXPECT_EQ(m_err.str(),
              "qmcenter: skipped " + m_dir + "/tree/folder-link: a link to a folder is not followed\n");
    // A link to a folder given by name, and the same in an archive.
    const std::string archive = m_dir + "/a.qma";
    EXPECT_EQ(Run({"encrypt", "--password", "p", "--archive", archive, m_dir + "/tree",
                   m_dir + "/tree/folder-link"}),
              0)
        << m_err.str();
    EXPECT_EQ(m_err.str(),
              "qmcenter: skipped " + m_dir + "/tree/folder-link: a link to a folder is not followed\n");
    EXPECT_EQ(Run({"decrypt", "--password", "p", "--list", archive}), 0) << m_err.str();
    EXPECT_EQ(m_out.str().find("tree/file-link\t4\t"), 0u) << m_out.str();
    EXPECT_EQ(m_out.str().find("far.txt"), std::string::npos) << m_out.str();
}

TEST(SplitCommandLine, KeepsQuotedBlanksAndCase) {
    EXPECT_EQ(shellkit::SplitCommandLine(R"(Encrypt --password "My Pw" "/a b/C.txt"  x\"y)"),
              (std::vector<std::string>{"Encrypt", "--password", "My Pw", "/a b/C.txt", "x\"y"}));
    EXPECT_EQ(shellkit::SplitCommandLine(R"(decrypt "")"), (std::vector<std::string>{"decrypt", ""}));
}

} // namespace

TEST(ConsoleDefaults, WithoutAlgorithmOrModeTheStoredDefaultIsUsed) {
    corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
    const std::string dir = qmtest::MakeTempDir("defaults");
    WriteFile(dir + "/a.txt", "x");
    std::ostringstream out, err;
    EXPECT_EQ(shellkit::DefaultAlgorithmMode(), 2);   // nothing stored: AES/CBC
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Mode", 38)); // Twofish/CBC
    EXPECT_EQ(shellkit::DefaultAlgorithmMode(), 38);
    ASSERT_EQ(shellkit::ProcessCmdLine({"encrypt", "--password", "pw", dir + "/a.txt"}, out, err), 0)
        << err.str();
    EXPECT_EQ(ReadFile(dir + "/a.txt.qmp")[10], 38);
    ASSERT_TRUE(encreg::qmreg.WriteBYTE("Mode", 0)); // not a valid code: the built-in default
    EXPECT_EQ(shellkit::DefaultAlgorithmMode(), 2);
    corecrypt::SetKdfCostForTesting(std::nullopt);
}
