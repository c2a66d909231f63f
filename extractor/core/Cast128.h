#pragma once

// The cipher of the self-extracting archive: CAST-128 (RFC 2144) keyed directly with the password
// bytes and run as a keystream generator that restarts for every chunk, plus the two-word
// password verifier stored in the archive's tail.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sfx {

struct KeySchedule {
    std::uint32_t km[16] = {}; // masking subkeys Km1..Km16
    std::uint32_t kr[16] = {}; // rotation subkeys Kr1..Kr16, 0..31
    int rounds = 16;           // 12 or 16
};

struct CheckWords {
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    bool operator==(const CheckWords&) const = default;
};

// The verifier over every password byte (not only the first 16).
CheckWords VerifyPassword(std::string_view password);

// The RFC 2144 key schedule over a 16-byte key; `rounds` is 12 or 16.
KeySchedule MakeCastKeySchedule(const std::uint8_t key[16], int rounds);
// The archive's key: the first 16 password bytes, zero-padded; 12 rounds up to 10 bytes, else 16.
KeySchedule MakeKeySchedule(std::string_view password);

// The rounds on the state (L, R), leaving (L_r, R_r) without the RFC's final exchange of halves.
void CastRounds(const KeySchedule& ks, std::uint32_t& l, std::uint32_t& r);
// The RFC's block encryption of 8 bytes (halves big-endian, output halves exchanged).
void CastEncryptBlock(const KeySchedule& ks, const std::uint8_t in[8], std::uint8_t out[8]);

// The starting state of every chunk's keystream.
constexpr std::uint32_t kKeystreamL0 = 0x3C5A7E91;
constexpr std::uint32_t kKeystreamR0 = 0xB4D2F068;

// XORs `n` bytes of `in` with the keystream prefix of length n into `out` (separate buffers).
void ApplyKeystream(const KeySchedule& ks, const std::uint8_t* in, std::uint8_t* out, std::size_t n);

// Every chunk is XORed with the same keystream prefix, so a run computes the prefix once and
// extends it only when a longer chunk comes along.
class Keystream {
public:
    explicit Keystream(const KeySchedule& ks);
    // `out` may be `in` itself.
    void Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

private:
    void Extend(std::size_t n);

    KeySchedule m_ks;
    std::uint32_t m_l = kKeystreamL0;
    std::uint32_t m_r = kKeystreamR0;
    std::vector<std::uint8_t> m_bytes; // whole 8-byte blocks of the prefix so far
};

namespace detail {
extern const std::uint32_t kCastSBox[8][256];
}

} // namespace sfx
