#include "shellkit/PrefsChecks.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace shellkit;

TEST(KeyServerAddress, HttpsAddressesPassAndPlainHttpOnlyWhenAllowed) {
    std::string error;
    EXPECT_TRUE(CheckKeyServerAddress("", false, error)); // none chosen
    EXPECT_TRUE(CheckKeyServerAddress("https://keys.example.org", false, error));
    EXPECT_TRUE(CheckKeyServerAddress("HTTPS://keys.example.org:8443/api", false, error));
    EXPECT_TRUE(CheckKeyServerAddress("https://[::1]:8080", false, error));
    EXPECT_FALSE(CheckKeyServerAddress("http://127.0.0.1:8080", false, error));
    EXPECT_NE(error.find("Allow plain HTTP"), std::string::npos);
    EXPECT_TRUE(CheckKeyServerAddress("http://127.0.0.1:8080", true, error));
}

TEST(KeyServerAddress, MalformedAddressesAreRefusedWithAReason) {
    for (const char* bad : {"keys.example.org", "ftp://keys.example.org", "https://", "https://user@host",
                            "https://host:0", "https://host:70000", "https://host:12ab", "https://-host",
                            "https://ho st", "https://host/a b", "https://host?x=1"}) {
        std::string error;
        EXPECT_FALSE(CheckKeyServerAddress(bad, true, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(ExtensionList, HandTypedListsAreAcceptedAndStoredInOneForm) {
    std::string error;
    EXPECT_TRUE(CheckExtensionList("zip; *.JPG, .png;;", error));
    EXPECT_EQ(NormalizeExtensionList("zip; *.JPG, .png;;zip"), "zip;jpg;png");
    EXPECT_TRUE(CheckExtensionList("", error));
    EXPECT_FALSE(CheckExtensionList("zip;j/pg", error));
    EXPECT_NE(error.find("j/pg"), std::string::npos);
    EXPECT_FALSE(CheckExtensionList("tar.gz", error)); // one extension, not a double one
}

TEST(FolderChecks, MissingFoldersBelowAWritableOnePassButNotBelowAFile) {
    const std::string root = qmtest::MakeTempDir("paths");
    std::string error;
    EXPECT_TRUE(CheckFolderCanBeCreated(root, "Key folder", error));
    EXPECT_TRUE(CheckFolderCanBeCreated(root + "/a/b/c/", "Key folder", error));
    qmtest::WriteFile(root + "/file", "x");
    EXPECT_FALSE(CheckFolderCanBeCreated(root + "/file", "Key folder", error));
    EXPECT_FALSE(CheckFolderCanBeCreated(root + "/file/sub", "Key folder", error));
    EXPECT_NE(error.find("Key folder"), std::string::npos);
    EXPECT_FALSE(CheckFolderCanBeCreated("relative/keys", "Key folder", error));
    EXPECT_FALSE(CheckFolderCanBeCreated("", "Key folder", error));
}

TEST(FolderChecks, AFolderWithoutWriteAccessIsRefused) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write everywhere";
    const std::string root = qmtest::MakeTempDir("locked");
    ::chmod(root.c_str(), 0500);
    std::string error;
    EXPECT_FALSE(CheckFolderCanBeCreated(root + "/keys", "Key folder", error));
    ::chmod(root.c_str(), 0700);
}

TEST(FolderChecks, ARingFileMustNotNameAFolder) {
    const std::string root = qmtest::MakeTempDir("rings");
    std::string error;
    EXPECT_TRUE(CheckFileCanBeCreated(root + "/new/pubring.qkr", "Public key ring", error));
    EXPECT_FALSE(CheckFileCanBeCreated(root, "Public key ring", error));
    EXPECT_FALSE(CheckFileCanBeCreated(root + "/dir/", "Public key ring", error));
    EXPECT_FALSE(CheckFileCanBeCreated("pubring.qkr", "Public key ring", error));
}

TEST(AlgorithmNames, EveryCodeHasANameAndOnlyEcbAndTripleDesAreDiscouraged) {
    EXPECT_EQ(AlgorithmModeName(2), "AES, CBC mode");
    EXPECT_EQ(AlgorithmModeName(1), "AES, ECB mode");
    EXPECT_EQ(AlgorithmModeName(40), "Twofish, OFB mode");
    EXPECT_EQ(AlgorithmModeName(0), "");
    EXPECT_EQ(AlgorithmModeName(41), "");
    int discouraged = 0;
    for (int code = 1; code <= 40; ++code) {
        EXPECT_FALSE(AlgorithmModeName(code).empty());
        if (IsDiscouragedCode(code)) {
            ++discouraged;
            EXPECT_FALSE(DiscouragedCodeNote(code).empty());
        } else {
            EXPECT_TRUE(DiscouragedCodeNote(code).empty());
        }
    }
    EXPECT_EQ(discouraged, 10 + 3); // ECB of every algorithm, and Triple-DES in the other three modes
    EXPECT_TRUE(IsDiscouragedCode(8 * 4 + 1 + 1)); // Triple-DES, CBC
    EXPECT_NE(DiscouragedCodeNote(8 * 4 + 0 + 1).find("ECB"), std::string::npos);
    EXPECT_NE(DiscouragedCodeNote(8 * 4 + 0 + 1).find("Triple-DES"), std::string::npos);
}

TEST(PasswordStrength, HintsGrowWithLengthAndVariety) {
    EXPECT_EQ(PasswordStrengthHint(""), "");
    EXPECT_EQ(PasswordStrengthHint("abc"), "Too short");
    EXPECT_EQ(PasswordStrengthHint("aaaaaaaaaaaaaaaaaaaa"), "Weak");
    EXPECT_EQ(PasswordStrengthHint("abcdefgh"), "Weak");
    EXPECT_EQ(PasswordStrengthHint("abcdefgh12"), "Fair");
    EXPECT_EQ(PasswordStrengthHint("Tr0ub4dor&3x"), "Strong");
    EXPECT_EQ(PasswordStrengthHint("correct horse battery staple"), "Strong");
}
