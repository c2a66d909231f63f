#include "corecrypt/SecureBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

using corecrypt::SecureBytes;

namespace {

const std::uint8_t kKey[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

bool Holds(const SecureBytes& b, const std::uint8_t* data, std::size_t size) {
    return b.size() == size && (size == 0 || std::memcmp(b.data(), data, size) == 0);
}

} // namespace

TEST(SecureBytes, CopiesAreDeepAndMovesLeaveTheSourceEmpty) {
    SecureBytes a(kKey, sizeof kKey);
    SecureBytes b = a;
    b[0] = 99;
    EXPECT_TRUE(Holds(a, kKey, sizeof kKey)) << "changing a copy must not change the original";
    SecureBytes c = std::move(a);
    EXPECT_TRUE(Holds(c, kKey, sizeof kKey));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    b = c;
    EXPECT_TRUE(Holds(b, kKey, sizeof kKey));
    b = std::move(c);
    EXPECT_TRUE(Holds(b, kKey, sizeof kKey));
    EXPECT_TRUE(c.empty());
    b.swap(c);
    EXPECT_TRUE(b.empty());
    EXPECT_TRUE(Holds(c, kKey, sizeof kKey));
}

TEST(SecureBytes, AssigningFromItsOwnBytesKeepsThem) {
    SecureBytes a(kKey, sizeof kKey);
    a.Assign(a.data() + 2, 4); // the source lies in the block being replaced
    const std::uint8_t expected[] = {3, 4, 5, 6};
    EXPECT_TRUE(Holds(a, expected, sizeof expected));
    a.Assign(nullptr, 0);
    EXPECT_TRUE(a.empty());
}

TEST(SecureBytes, NewSizesAndCleanNewZeroes) {
    SecureBytes a(16);
    EXPECT_EQ(a.size(), 16u);
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](std::uint8_t x) { return x == 0; }));
    std::fill(a.begin(), a.end(), 0xAB);
    a.CleanNew(16);
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](std::uint8_t x) { return x == 0; }))
        << "CleanNew zeroes even when the size stays";
    a.New(1000);
    EXPECT_EQ(a.size(), 1000u);
    a.New(0);
    EXPECT_TRUE(a.empty());
}
