// The rings as shellkit reaches them: paths from the settings, old rings converted, and the
// key-pair generator without a window, answered through uikit.
#include "shellkit/KeyRings.h"
#include "TestSupport.h"
#include "corecrypt/KeyRing.h"
#include "corecrypt/Primitives.h"
#include "corecrypt/QMException.h"
#include "misckit/Registry.h"
#include "shellkit/KeyPairGenerator.h"
#include "uikit/ScriptedBackend.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

class Rings : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        const std::string dir = qmtest::MakeTempDir("rings");
        pub = dir + "/pub.qkr";
        sec = dir + "/sec.qkr";
        encreg::qmreg.WriteString(encreg::szPubKeyFile, pub);
        encreg::qmreg.WriteString(encreg::szPrivKeyFile, sec);
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }

    int Count(corecrypt::RingKind kind) {
        char error[2000] = "";
        if (kind == corecrypt::RingKind::Public) {
            PublicKeySlots slots(corecrypt::kRingSlots);
            return LoadPublicKeyRing(slots, pub.c_str(), error, sizeof error);
        }
        PrivateKeySlots slots(corecrypt::kRingSlots);
        return LoadPrivateKeyRing(slots, sec.c_str(), error, sizeof error);
    }

    void QueueGenerator(const std::string& first, const std::string& second,
                        const std::string& expiry = "never") {
        ui.queueText("Anna Berg");
        ui.queueText("anna@example.org");
        ui.queueText(expiry);
        ui.queueText(first);
        ui.queueText(second);
    }

    uikit::ScriptedBackend ui;
    std::string pub;
    std::string sec;
};

// The earlier ring layout holding no keys.
std::string EmptyOldRing(corecrypt::RingKind kind) {
    return std::string("QMKR\x01", 5) + static_cast<char>(kind) + std::string(4, '\0');
}

} // namespace

TEST_F(Rings, PathsComeFromTheSettingsAndAnEmptyOneIsReported) {
    std::string name;
    char error[2000] = "";
    ASSERT_EQ(shellkit::GetPubKeyFileName(name, error, sizeof error), 1);
    EXPECT_EQ(name, pub);
    ASSERT_EQ(shellkit::GetPrivKeyFileName(name, error, sizeof error), 1);
    EXPECT_EQ(name, sec);
    encreg::qmreg.WriteString(encreg::szPrivKeyFile, "");
    EXPECT_EQ(shellkit::GetPrivKeyFileName(name, error, sizeof error), 0);
    EXPECT_STREQ(error, "No private keys file is set in the \"Paths\" settings.");
    // Without a stored value, the default beside the other data.
    encreg::qmreg.DeleteValue(encreg::szPubKeyFile);
    ASSERT_EQ(shellkit::GetPubKeyFileName(name, nullptr, 0), 1);
    EXPECT_EQ(name, misckit::DataFolder() + "/pubring.qkr");
}

TEST_F(Rings, OldRingsAreConvertedWithBackupsAndAFailureIsShown) {
    qmtest::WriteFile(pub, EmptyOldRing(corecrypt::RingKind::Public));
    qmtest::WriteFile(sec, EmptyOldRing(corecrypt::RingKind::Private));
    uikit::ScopedBackend use(ui);
    EXPECT_THROW(Count(corecrypt::RingKind::Public), CUIException);
    ASSERT_EQ(shellkit::HandleOldVersionOfPKFiles(), 1);
    EXPECT_EQ(Count(corecrypt::RingKind::Public), 0);
    EXPECT_EQ(Count(corecrypt::RingKind::Private), 0);
    EXPECT_TRUE(qmtest::Exists(pub + ".v1.bak"));
    EXPECT_TRUE(qmtest::Exists(sec + ".v1.bak"));
    EXPECT_TRUE(ui.messages().empty());

    qmtest::WriteFile(sec, EmptyOldRing(corecrypt::RingKind::Private) + "junk");
    EXPECT_EQ(shellkit::HandleOldVersionOfPKFiles(), 0);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Quillmark");
    EXPECT_NE(ui.messages()[0].text.find("could not be converted"), std::string::npos);
}

TEST_F(Rings, GeneratorWithoutAWindowAsksAndAddsThePairToBothRings) {
    uikit::ScopedBackend use(ui);
    // An old public ring is converted on the way.
    qmtest::WriteFile(pub, EmptyOldRing(corecrypt::RingKind::Public));
    QueueGenerator("correct horse", "correct horse", "2099-01-31");
    ASSERT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairGenerated);
    EXPECT_TRUE(ui.allAnswersUsed());
    ASSERT_EQ(ui.textRequests().size(), 5u);
    EXPECT_TRUE(ui.textRequests()[3].hidden);
    EXPECT_TRUE(ui.textRequests()[4].hidden);
    EXPECT_EQ(ui.textRequests()[0].caption, "Generate Key Pair");
    EXPECT_EQ(Count(corecrypt::RingKind::Public), 1);
    EXPECT_EQ(Count(corecrypt::RingKind::Private), 1);
}

TEST_F(Rings, GeneratorRefusalsAddNothing) {
    uikit::ScopedBackend use(ui);
    QueueGenerator("one", "two");
    EXPECT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairCancelled);
    ui.queueText("Anna Berg");
    ui.queueText("anna@example.org");
    ui.queueText("2099-02-30"); // refused before the passphrase is asked
    EXPECT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairCancelled);
    QueueGenerator("p", "p", "2001-01-01");
    EXPECT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairCancelled);
    ui.queueText(std::nullopt); // Cancel at the first question asks nothing more
    EXPECT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairCancelled);
    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(ui.messages()[0].text, "The passphrases do not match.");
    EXPECT_EQ(ui.messages()[1].text, "The expiry date \"2099-02-30\" is not a date of the form YYYY-MM-DD.");
    EXPECT_EQ(ui.messages()[2].text, "The expiry date must lie in the future.");
    EXPECT_EQ(ui.messages()[2].icon, uikit::Icon::Warning);
    EXPECT_TRUE(ui.allAnswersUsed());
    EXPECT_EQ(ui.textRequests().size(), 14u);
    EXPECT_EQ(Count(corecrypt::RingKind::Public), 0);
    EXPECT_EQ(Count(corecrypt::RingKind::Private), 0);
}

TEST_F(Rings, AnInstalledWindowTakesOverTheGenerator) {
    struct Window : shellkit::IKeyPairWindow {
        int runs = 0;
        int Run() override { return ++runs, shellkit::kKeyPairGenerated; }
    } window;
    shellkit::SetKeyPairWindow(&window);
    EXPECT_EQ(shellkit::GenerateKeyPair(), shellkit::kKeyPairGenerated);
    EXPECT_EQ(shellkit::SetKeyPairWindow(nullptr), &window);
    EXPECT_EQ(window.runs, 1);
}

TEST_F(Rings, SigningAsksThePassphraseThreeTimesAtMost) {
    uikit::ScopedBackend use(ui);
    std::string error;
    auto key = CPrivateKey::Generate("Anna", "anna@example.org", 1765000000, 0, "right", error);
    ASSERT_TRUE(key) << error;
    std::string signature;
    ui.queueText("wrong");
    ui.queueText("right");
    ASSERT_TRUE(shellkit::SignWithOwnKey(*key, "request", signature, error)) << error;
    EXPECT_TRUE(corecrypt::VerifyEd25519(key->GetPublicRecord().signPublic,
                                         reinterpret_cast<const std::uint8_t*>("request"), 7,
                                         reinterpret_cast<const std::uint8_t*>(signature.data())));
    ASSERT_EQ(ui.textRequests().size(), 2u);
    EXPECT_EQ(ui.textRequests()[0].caption, "Quillmark: Enter Passphrase");
    EXPECT_EQ(ui.textRequests()[0].prompt, "Enter password:");
    EXPECT_TRUE(ui.textRequests()[0].hidden);
    EXPECT_EQ(ui.textRequests()[1].prompt, "Wrong passphrase. Enter password:");

    for (int i = 0; i < 3; ++i)
        ui.queueText("wrong");
    EXPECT_FALSE(shellkit::SignWithOwnKey(*key, "request", signature, error));
    EXPECT_EQ(error, "Wrong passphrase.");
    ui.queueText(std::nullopt);
    EXPECT_FALSE(shellkit::SignWithOwnKey(*key, "request", signature, error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(ui.allAnswersUsed());
}

TEST(KeyPairInput, ExpiryIsTheEndOfTheGivenLocalDay) {
    std::int64_t expires = -1;
    ASSERT_TRUE(shellkit::ParseExpiryDate("NEVER", expires));
    EXPECT_EQ(expires, 0);
    ASSERT_TRUE(shellkit::ParseExpiryDate("2030-02-28", expires));
    std::tm t{};
    t.tm_year = 130;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_isdst = -1;
    EXPECT_EQ(expires, static_cast<std::int64_t>(std::mktime(&t)));
    for (const char* bad :
         {"2030-02-30", "2030-2-3", "2030/02/03", "", "tomorrow", "2030-13-01", "2030-00-10"})
        EXPECT_FALSE(shellkit::ParseExpiryDate(bad, expires)) << bad;
}

TEST(KeyPairInput, StrengthGrowsWithLengthAndVariety) {
    std::string text;
    EXPECT_EQ(shellkit::PassphraseStrength("", text), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(shellkit::PassphraseStrength("abc123", text), 1);
    EXPECT_EQ(text, "Too short");
    EXPECT_EQ(shellkit::PassphraseStrength("aaaaaaaaaaaaaaaaaaaa", text), 1); // long, but one letter
    EXPECT_EQ(text, "Weak");
    EXPECT_EQ(shellkit::PassphraseStrength("Tr0ub4dor", text), 2);
    EXPECT_EQ(text, "Fair");
    EXPECT_EQ(shellkit::PassphraseStrength("correct horse battery staple", text), 3);
    EXPECT_EQ(text, "Strong");
}
