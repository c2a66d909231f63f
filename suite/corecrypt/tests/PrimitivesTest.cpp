// The engine's building blocks against known answers: scrypt against the published test vector and
// an independent implementation, and the cipher modes run side by side over several runs against
// each run enciphered on its own (files written either way are the same files).
#include "corecrypt/Primitives.h"
#include "TestSupport.h"

#include <crypto++/scrypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(ModeCipher, RunsSideBySideMatchEachRunOnItsOwnForEveryAlgorithmAndMode) {
    for (int code = 1; code <= corecrypt::kAlgorithmCount * corecrypt::kModeCount; ++code) {
        const std::size_t keySize = corecrypt::ModeCipher::KeySize(code);
        const std::size_t block = corecrypt::ModeCipher::BlockSize(code);
        const std::string key = qmtest::PseudoRandomBytes(keySize, 1000 + code);
        const auto* keyBytes = reinterpret_cast<const std::uint8_t*>(key.data());
        // More runs than are chained at once, and runs of a single block.
        for (std::size_t count : {1u, 3u, 8u, 11u}) {
            for (std::size_t size : {block, 64 * block}) {
                for (bool encrypt : {true, false}) {
                    std::string error;
                    std::vector<std::string> runs, ivs, expected;
                    for (std::size_t r = 0; r < count; ++r) {
                        runs.push_back(
                            qmtest::PseudoRandomBytes(size, static_cast<std::uint32_t>(code * 100 + r)));
                        ivs.push_back(
                            qmtest::PseudoRandomBytes(block, static_cast<std::uint32_t>(code * 200 + r)));
                    }
                    auto single = corecrypt::ModeCipher::Create(
                        code, encrypt, keyBytes, reinterpret_cast<const std::uint8_t*>(ivs[0].data()), error);
                    ASSERT_TRUE(single) << error;
                    for (std::size_t r = 0; r < count; ++r) {
                        std::string out = runs[r];
                        auto* bytes = reinterpret_cast<std::uint8_t*>(out.data());
                        ASSERT_TRUE(
                            single->Restart(reinterpret_cast<const std::uint8_t*>(ivs[r].data()), error) &&
                            single->Process(bytes, bytes, size, error))
                            << error;
                        expected.push_back(out);
                    }
                    auto batched = corecrypt::ModeCipher::Create(
                        code, encrypt, keyBytes, reinterpret_cast<const std::uint8_t*>(ivs[0].data()), error);
                    ASSERT_TRUE(batched) << error;
                    std::vector<std::uint8_t*> runPointers;
                    std::vector<const std::uint8_t*> ivPointers;
                    for (std::size_t r = 0; r < count; ++r) {
                        runPointers.push_back(reinterpret_cast<std::uint8_t*>(runs[r].data()));
                        ivPointers.push_back(reinterpret_cast<const std::uint8_t*>(ivs[r].data()));
                    }
                    ASSERT_TRUE(
                        batched->ProcessRuns(runPointers.data(), ivPointers.data(), count, size, error))
                        << error;
                    for (std::size_t r = 0; r < count; ++r)
                        ASSERT_EQ(runs[r], expected[r]) << corecrypt::AlgorithmName((code - 1) / 4) << " "
                                                        << corecrypt::ModeName((code - 1) % 4) << " encrypt "
                                                        << encrypt << " run " << r << " of " << count;
                }
            }
        }
    }
}

TEST(ModeCipher, RunsOfPartialBlocksAreRefused) {
    std::string error;
    const std::string key(32, 'k'), iv(16, 'i');
    auto cipher = corecrypt::ModeCipher::Create(2, true, reinterpret_cast<const std::uint8_t*>(key.data()),
                                                reinterpret_cast<const std::uint8_t*>(iv.data()), error);
    ASSERT_TRUE(cipher) << error;
    std::uint8_t data[20] = {};
    std::uint8_t* runs[] = {data};
    const std::uint8_t* ivs[] = {reinterpret_cast<const std::uint8_t*>(iv.data())};
    EXPECT_FALSE(cipher->ProcessRuns(runs, ivs, 1, sizeof data, error));
    EXPECT_FALSE(error.empty());
}

TEST(DeriveScrypt, GivesThePublishedTestVectorAndRefusesCostsAboveTheCap) {
    // scrypt("password", "NaCl", N = 1024, r = 8, p = 16), the second vector of RFC 7914.
    const std::uint8_t expected[64] = {
        0xfd, 0xba, 0xbe, 0x1c, 0x9d, 0x34, 0x72, 0x00, 0x78, 0x56, 0xe7, 0x19, 0x0d, 0x01, 0xe9, 0xfe,
        0x7c, 0x6a, 0xd7, 0xcb, 0xc8, 0x23, 0x78, 0x30, 0xe7, 0x73, 0x76, 0x63, 0x4b, 0x37, 0x31, 0x62,
        0x2e, 0xaf, 0x30, 0xd9, 0x2e, 0x22, 0xa3, 0x88, 0x6f, 0xf1, 0x09, 0x27, 0x9d, 0x98, 0x30, 0xda,
        0xc7, 0x27, 0xaf, 0xb9, 0x4a, 0x83, 0xee, 0x6d, 0x83, 0x60, 0xcb, 0xdf, 0xa2, 0xcc, 0x06, 0x40};
    const std::string salt = "NaCl";
    std::uint8_t out[64] = {};
    std::string error;
    ASSERT_TRUE(corecrypt::DeriveScrypt("password", reinterpret_cast<const std::uint8_t*>(salt.data()),
                                        salt.size(), corecrypt::KdfCost{10, 8, 16}, out, sizeof out, error))
        << error;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 64),
              std::string(reinterpret_cast<const char*>(expected), 64));
    // 2^24 * 8 * 128 bytes = 16 GiB: refused before anything is allocated.
    EXPECT_FALSE(corecrypt::DeriveScrypt("password", reinterpret_cast<const std::uint8_t*>(salt.data()),
                                         salt.size(), corecrypt::KdfCost{24, 8, 1}, out, sizeof out, error));
    EXPECT_FALSE(error.empty());
}

TEST(DeriveScrypt, EveryGroupingOfLanesGivesWhatAnIndependentImplementationGives) {
    // Lanes run one, two or four at a time, with AVX2 and without; odd lane counts leave a lane
    // to run alone. Crypto++'s scrypt, a plain serial one, is the reference.
    const std::string salt = "salt of sixteen!";
    const auto* s = reinterpret_cast<const CryptoPP::byte*>(salt.data());
    for (const bool avx2 : {true, false}) {
        corecrypt::SetScryptAvx2ForTesting(avx2);
        for (const corecrypt::KdfCost cost :
             {corecrypt::KdfCost{1, 1, 1}, corecrypt::KdfCost{6, 1, 2}, corecrypt::KdfCost{7, 3, 3},
              corecrypt::KdfCost{6, 2, 4}, corecrypt::KdfCost{5, 8, 5}, corecrypt::KdfCost{8, 8, 8},
              corecrypt::KdfCost{4, 2, 11}}) {
            SCOPED_TRACE(testing::Message() << "avx2 " << avx2 << ", N 2^" << int(cost.log2N) << ", r "
                                            << int(cost.r) << ", p " << int(cost.p));
            const std::string password = "pass " + std::to_string(cost.p);
            std::uint8_t ours[48] = {}, theirs[48] = {};
            std::string error;
            ASSERT_TRUE(corecrypt::DeriveScrypt(password, s, salt.size(), cost, ours, sizeof ours, error))
                << error;
            CryptoPP::Scrypt reference;
            reference.DeriveKey(theirs, sizeof theirs,
                                reinterpret_cast<const CryptoPP::byte*>(password.data()), password.size(), s,
                                salt.size(), CryptoPP::word64{1} << cost.log2N, cost.r, cost.p);
            EXPECT_EQ(0, std::memcmp(ours, theirs, sizeof ours));
        }
    }
    corecrypt::SetScryptAvx2ForTesting(true);
}

} // namespace
