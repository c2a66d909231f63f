#include "extractor/core/Cast128.h"

#include <cryptopp/cast.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using sfx::ApplyKeystream;
using sfx::MakeCastKeySchedule;
using sfx::MakeKeySchedule;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> v;
    for (int b : list)
        v.push_back(std::uint8_t(b));
    return v;
}

// RFC 2144, Appendix B.1: one plaintext block under a 128-, 80- and 40-bit key.
TEST(Cast128, ReproducesRfcVectorsForAllThreeKeySizes) {
    const auto plain = Bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
    const std::uint8_t fullKey[16] = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78,
                                      0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A};
    struct Case {
        std::size_t keyBytes;
        std::vector<std::uint8_t> cipher;
    };
    const Case cases[] = {
        {16, Bytes({0x23, 0x8B, 0x4F, 0xE5, 0x84, 0x7E, 0x44, 0xB2})},
        {10, Bytes({0xEB, 0x6A, 0x71, 0x1A, 0x2C, 0x02, 0x27, 0x1B})},
        {5, Bytes({0x7A, 0xC8, 0x16, 0xD1, 0x6E, 0x9B, 0x30, 0x2E})},
    };
    for (const Case& c : cases) {
        // The archive's key rule (zero padding, 12 rounds up to 10 bytes) is the RFC's rule.
        const std::string password(reinterpret_cast<const char*>(fullKey), c.keyBytes);
        const auto ks = MakeKeySchedule(password);
        EXPECT_EQ(ks.rounds, c.keyBytes <= 10 ? 12 : 16);
        std::uint8_t out[8];
        sfx::CastEncryptBlock(ks, plain.data(), out);
        EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), c.cipher) << c.keyBytes << "-byte key";
    }
}

// The keystream step defined through the block cipher of an independent implementation: the
// state's block enciphered, halves exchanged, output as little-endian words.
std::vector<std::uint8_t> ReferenceKeystream(const std::string& password, std::size_t n) {
    std::uint8_t key[16] = {};
    std::memcpy(key, password.data(), std::min<std::size_t>(password.size(), 16));
    // The reference takes the unpadded key so that it chooses its round count itself.
    CryptoPP::CAST128::Encryption cast(key,
                                       std::max<std::size_t>(std::min<std::size_t>(password.size(), 16), 5));
    std::uint8_t block[8] = {0x3C, 0x5A, 0x7E, 0x91, 0xB4, 0xD2, 0xF0, 0x68};
    std::vector<std::uint8_t> stream;
    while (stream.size() < n) {
        std::uint8_t out[8];
        cast.ProcessBlock(block, out);
        // New state (L, R) = (second half, first half) of the output; bytes LE(L) || LE(R).
        const std::uint8_t next[8] = {out[4], out[5], out[6], out[7], out[0], out[1], out[2], out[3]};
        std::memcpy(block, next, 8);
        for (int i = 3; i >= 0; --i)
            stream.push_back(next[i]);
        for (int i = 7; i >= 4; --i)
            stream.push_back(next[i]);
    }
    stream.resize(n);
    return stream;
}

TEST(Cast128, KeystreamMatchesIndependentImplementationForEveryKeyLength) {
    // From 5 bytes (the reference's shortest key) to beyond 16, across the 12/16-round border.
    for (std::size_t len : {5u, 8u, 10u, 11u, 15u, 16u, 17u, 40u}) {
        std::string password;
        for (std::size_t i = 0; i < len; ++i)
            password += char(0x41 + (i * 37) % 190);
        const std::size_t n = 1003;
        const std::vector<std::uint8_t> zeros(n, 0);
        std::vector<std::uint8_t> ours(n);
        ApplyKeystream(MakeKeySchedule(password), zeros.data(), ours.data(), n);
        EXPECT_EQ(ours, ReferenceKeystream(password, n)) << len << "-byte password";
    }
}

TEST(Cast128, RoundCountChangesBetweenTenAndElevenBytes) {
    EXPECT_EQ(MakeKeySchedule("0123456789").rounds, 12);
    EXPECT_EQ(MakeKeySchedule("0123456789a").rounds, 16);
    EXPECT_EQ(MakeKeySchedule("").rounds, 12);
}

TEST(Cast128, OnlyTheFirstSixteenBytesKeyTheCipherButAllEnterTheVerifier) {
    const std::string a = "abcdefghijklmnopXYZ", b = "abcdefghijklmnopQRS";
    const auto ka = MakeKeySchedule(a), kb = MakeKeySchedule(b);
    EXPECT_EQ(0, std::memcmp(ka.km, kb.km, sizeof ka.km));
    EXPECT_EQ(0, std::memcmp(ka.kr, kb.kr, sizeof ka.kr));
    EXPECT_NE(sfx::VerifyPassword(a), sfx::VerifyPassword(b));
    // A short password is padded with zero bytes.
    const std::uint8_t padded[16] = {'k', 'e', 'y'};
    const auto kp = MakeCastKeySchedule(padded, 12);
    EXPECT_EQ(0, std::memcmp(MakeKeySchedule("key").km, kp.km, sizeof kp.km));
}

TEST(Cast128, VerifierFollowsTheWordRecipe) {
    EXPECT_EQ(sfx::VerifyPassword(""), (sfx::CheckWords{0, 0xD421D421}));
    // 'a' = 0x61: k = 1; word 1 = rotl(0x61, 1); word 2 = rotr(0xD421D421 | 0x61, 1).
    EXPECT_EQ(sfx::VerifyPassword("a"), (sfx::CheckWords{0xC2, 0xEA10EA30}));
    // A byte of 0x80 enters sign-extended; its low five bits are 0, so nothing rotates.
    EXPECT_EQ(sfx::VerifyPassword("\x80"), (sfx::CheckWords{0xFFFFFF80, 0xFFFFFFA1}));
    // Positions past 32 rotate by i mod 32, and a long password keeps every byte.
    const std::string longer(100, 'x');
    EXPECT_NE(sfx::VerifyPassword(longer), sfx::VerifyPassword(longer + "y"));
}

TEST(Cast128, KeystreamRestartsForEveryChunkAndCutsTheLastBlock) {
    const auto ks = MakeKeySchedule("chunk password");
    const std::vector<std::uint8_t> zeros(64, 0);
    std::vector<std::uint8_t> sixteen(16), thirteen(13, 0xEE);
    ApplyKeystream(ks, zeros.data(), sixteen.data(), 16);
    ApplyKeystream(ks, zeros.data(), thirteen.data(), 13);
    EXPECT_TRUE(std::equal(thirteen.begin(), thirteen.end(), sixteen.begin()));

    // The cached prefix gives the same bytes as the direct computation, also as it grows.
    sfx::Keystream cached(ks);
    for (std::size_t n : {0u, 13u, 8u, 64u, 7u}) {
        std::vector<std::uint8_t> direct(n), viaCache(n);
        ApplyKeystream(ks, zeros.data(), direct.data(), n);
        cached.Apply(zeros.data(), viaCache.data(), n);
        EXPECT_EQ(direct, viaCache) << n;
    }
    // Deciphering is the same XOR as enciphering.
    const std::string text = "the same XOR both ways";
    std::vector<std::uint8_t> once(text.size()), twice(text.size());
    cached.Apply(reinterpret_cast<const std::uint8_t*>(text.data()), once.data(), text.size());
    cached.Apply(once.data(), twice.data(), text.size());
    EXPECT_EQ(std::string(twice.begin(), twice.end()), text);
}

} // namespace
