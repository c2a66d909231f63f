// Sealed strings: the capacity rule, round trips, wrong passwords and damaged input.
#include "corecrypt/Seal.h"
#include "corecrypt/Primitives.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

class Seal : public ::testing::Test {
protected:
    void SetUp() override {
        corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1});
        corecrypt::ClearSealKeyCache();
    }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }

    static std::vector<unsigned char> SealText(const std::string& text, const char* password) {
        std::vector<unsigned char> out(text.size() + 100);
        int length = static_cast<int>(out.size());
        char error[512] = "unchanged";
        EXPECT_NE(SealBuffer(reinterpret_cast<const unsigned char*>(text.data()),
                             static_cast<int>(text.size()), out.data(), &length, password, 0, 4, error, 512,
                             0),
                  0)
            << error;
        EXPECT_LE(length, static_cast<int>(text.size()) + 100);
        out.resize(static_cast<std::size_t>(length));
        return out;
    }

    // The unsealed text (up to the first zero byte) or nothing, with the error text.
    static std::optional<std::string> UnsealText(const std::vector<unsigned char>& sealed,
                                                 const char* password, std::string* errorOut = nullptr) {
        std::vector<unsigned char> out(sealed.size() + 100, 0xAA);
        int length = static_cast<int>(out.size());
        char error[512];
        std::memset(error, 'x', sizeof error);
        if (!UnsealBuffer(sealed.data(), static_cast<int>(sealed.size()), out.data(), &length, password, 0, 4,
                          error, 512, 0)) {
            EXPECT_NE(std::memchr(error, 0, sizeof error), nullptr); // zero-terminated
            if (errorOut)
                *errorOut = error;
            return std::nullopt;
        }
        EXPECT_EQ(out[static_cast<std::size_t>(length)], 0);
        return std::string(reinterpret_cast<const char*>(out.data()));
    }
};

TEST_F(Seal, RoundTripsTextsOfEveryShapeIncludingEmpty) {
    for (const std::string& text :
         {std::string(), std::string("a"), std::string("C:/Users/someone/secret.txt"), std::string(5000, 'z'),
          std::string("ümlaut ✓")}) {
        const auto sealed = SealText(text, "pass word");
        EXPECT_EQ(sealed.size(), text.size() + corecrypt::kSealOverhead);
        EXPECT_EQ(UnsealText(sealed, "pass word"), text);
    }
}

TEST_F(Seal, SameTextSealsDifferentlyEachTime) {
    EXPECT_NE(SealText("same", "pw"), SealText("same", "pw"));
}

TEST_F(Seal, WrongPasswordFailsWithAClearTextAndLeavesNoPlaintext) {
    const auto sealed = SealText("the secret", "right");
    std::string error;
    EXPECT_FALSE(UnsealText(sealed, "wrong", &error));
    EXPECT_EQ(error, "Wrong password, or the sealed data is damaged.");
    EXPECT_FALSE(UnsealText(sealed, "", &error));
    EXPECT_FALSE(UnsealText(sealed, nullptr, &error));
}

TEST_F(Seal, EveryChangedByteAndEveryCutIsRefused) {
    const auto sealed = SealText("tamper me", "pw");
    for (std::size_t i = 0; i < sealed.size(); ++i) {
        auto bad = sealed;
        bad[i] ^= 0x01;
        EXPECT_FALSE(UnsealText(bad, "pw")) << "byte " << i;
    }
    for (std::size_t n = 0; n < sealed.size(); ++n)
        EXPECT_FALSE(UnsealText({sealed.begin(), sealed.begin() + static_cast<long>(n)}, "pw")) << n;
}

TEST_F(Seal, TooSmallOutputIsRefusedWithoutWritingPastIt) {
    const std::string text(50, 'q');
    std::vector<unsigned char> out(60);
    int length = static_cast<int>(out.size());
    char error[64];
    EXPECT_EQ(SealBuffer(reinterpret_cast<const unsigned char*>(text.data()), 50, out.data(), &length, "pw",
                         0, 4, error, 64, 0),
              0);
    EXPECT_STREQ(error, "The output buffer is too small.");

    const auto sealed = SealText(text, "pw");
    std::vector<unsigned char> small(50); // no room for the terminating zero
    length = 50;
    EXPECT_EQ(UnsealBuffer(sealed.data(), static_cast<int>(sealed.size()), small.data(), &length, "pw", 0, 4,
                           error, 64, 0),
              0);
}

TEST_F(Seal, ErrorTextIsCutToTheCallersBuffer) {
    const auto sealed = SealText("x", "a");
    std::vector<unsigned char> out(200);
    int length = 200;
    char error[8];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(UnsealBuffer(sealed.data(), static_cast<int>(sealed.size()), out.data(), &length, "b", 0, 4,
                           error, sizeof error, 0),
              0);
    EXPECT_EQ(std::string(error), "Wrong p");
}

TEST_F(Seal, HostileCostParametersAreRefusedBeforeAnyWork) {
    auto sealed = SealText("x", "pw");
    sealed[1] = 30; // N = 2^30: gigabytes
    std::string error;
    EXPECT_FALSE(UnsealText(sealed, "pw", &error));
    EXPECT_EQ(error, "The key-derivation parameters ask for more memory or time than allowed.");
}

TEST_F(Seal, AThousandStringsSealAndUnsealWithOneDerivationAtTheStrongDefaultCost) {
    // At the strong cost one derivation takes a noticeable moment; a thousand would take minutes.
    corecrypt::SetKdfCostForTesting(std::nullopt);
    const std::size_t before = corecrypt::SealKeyDerivationCount();
    std::vector<std::vector<unsigned char>> sealed;
    for (int i = 0; i < 1000; ++i)
        sealed.push_back(SealText("field " + std::to_string(i), "document password"));
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(UnsealText(sealed[static_cast<std::size_t>(i)], "document password"),
                  "field " + std::to_string(i));
    EXPECT_EQ(corecrypt::SealKeyDerivationCount() - before, 1u);
    EXPECT_EQ(sealed[0][1], 12); // sealed at the strong cost: eight lanes of 2^12 x 8
    EXPECT_EQ(sealed[0][2], 8);
    EXPECT_EQ(sealed[0][3], 8);
    // A second password is a second key, not a stale cached one.
    EXPECT_FALSE(UnsealText(sealed[0], "other password"));
    EXPECT_EQ(corecrypt::SealKeyDerivationCount() - before, 2u);
}

} // namespace
