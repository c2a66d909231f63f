#pragma once

#include <cstdint>
#include <string>

namespace center {

// Names the algorithm and mode packed in an encrypted file's algorithm-mode code (4 * algorithm
// + mode, 1 to 40). An output whose number is out of range is left as it was, so code 0 gives
// "AES" and no mode, and codes above 40 give no algorithm but still a mode (41: "ECB").
void DescribeCipher(std::uint8_t code, std::string& algorithm, std::string& mode);

} // namespace center
