#pragma once

// The key file that the decryptor's seed files were made with (tests/data/fuzz/fuzz.qmk), and
// the password of the password seeds, so that fuzzed inputs get past the header MAC.
#include <cstdint>

namespace fuzzkey {

inline void Fill(std::uint8_t id[16], std::uint8_t secret[80]) {
    for (int i = 0; i < 16; ++i)
        id[i] = static_cast<std::uint8_t>(i + 1);
    for (int i = 0; i < 80; ++i)
        secret[i] = static_cast<std::uint8_t>(0xA0 ^ (i * 7));
}

constexpr const char* kPassword = "fuzz";

} // namespace fuzzkey
