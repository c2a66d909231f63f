#pragma once

#include <cstddef>

// Sealed strings: short texts encrypted and authenticated under a password, for the task lists.
//
// Both return non-zero on success. *outputLength holds the capacity on entry (at least
// inputLength + 100) and the produced length on return. On failure errorText holds a
// zero-terminated reason. UnsealBuffer's output ends with a zero byte inside the capacity.
// The arguments reserved0, reserved4 and reserved0b are passed as 0, 4 and 0 and not used.
int SealBuffer(const unsigned char* input, int inputLength, unsigned char* output, int* outputLength,
               const char* password, int reserved0, int reserved4, char* errorText, int errorTextSize,
               int reserved0b);
int UnsealBuffer(const unsigned char* input, int inputLength, unsigned char* output, int* outputLength,
                 const char* password, int reserved0, int reserved4, char* errorText, int errorTextSize,
                 int reserved0b);

namespace corecrypt {
// Bytes that sealing adds to the input (within the 100 the callers reserve).
constexpr int kSealOverhead = 48;
// Forgets the derived keys kept for speed.
void ClearSealKeyCache();
// How many keys were derived (not taken from the cache) in this process.
std::size_t SealKeyDerivationCount();
} // namespace corecrypt
