#pragma once

#include "corecrypt/AsymmKey.h"
#include "corecrypt/Primitives.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Key pairs for tests: made with a cheap key stretching, so a test can make dozens.
namespace keytest {

constexpr std::int64_t kNow = 1765000000; // 2025-12-06

class CheapKdf : public ::testing::Test {
protected:
    void SetUp() override { corecrypt::SetKdfCostForTesting(corecrypt::KdfCost{10, 8, 1}); }
    void TearDown() override { corecrypt::SetKdfCostForTesting(std::nullopt); }
};

inline std::unique_ptr<CPrivateKey> MakePair(const std::string& name, const std::string& email,
                                             std::int64_t expires = 0,
                                             const std::string& passphrase = "pass") {
    std::string error;
    auto key = CPrivateKey::Generate(name, email, kNow, expires, passphrase, error);
    EXPECT_TRUE(key) << error;
    return key;
}

inline std::unique_ptr<CPublicKey> MakePublic(const std::string& name, const std::string& email) {
    return MakePair(name, email)->GetPublicKey();
}

} // namespace keytest
