#include "center/core/CipherNames.h"

namespace center {

void DescribeCipher(std::uint8_t code, std::string& algorithm, std::string& mode) {
    static const char* const kAlgorithms[] = {"AES",  "Blowfish", "CAST-256", "GOST",      "Square",
                                              "MARS", "RC-6",     "Serpent",  "TripleDES", "Twofish"};
    static const char* const kModes[] = {"ECB", "CBC", "CFB", "OFB"};
    // Division toward zero: code 0 gives algorithm 0 and mode 0.
    const int a = (static_cast<int>(code) - 1) / 4;
    if (a >= 0 && a <= 9)
        algorithm = kAlgorithms[a];
    const int m = static_cast<int>(code) - 4 * a;
    if (m >= 1 && m <= 4)
        mode = kModes[m - 1];
}

} // namespace center
