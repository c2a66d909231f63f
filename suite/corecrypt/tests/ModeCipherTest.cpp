// The cipher modes run side by side over several runs must give exactly the bytes of each run
// enciphered on its own: files written either way are the same files.
#include "TestSupport.h"
#include "corecrypt/Primitives.h"

#include <gtest/gtest.h>

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

} // namespace
