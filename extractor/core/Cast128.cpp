#include "extractor/core/Cast128.h"

#include <cstring>

namespace sfx {
namespace {

using detail::kCastSBox;

inline std::uint32_t Rotl(std::uint32_t x, unsigned k) {
    k &= 31;
    return k ? (x << k) | (x >> (32 - k)) : x;
}
inline std::uint32_t Rotr(std::uint32_t x, unsigned k) {
    k &= 31;
    return k ? (x >> k) | (x << (32 - k)) : x;
}

inline std::uint32_t S(int box, std::uint32_t index) {
    return kCastSBox[box - 1][index & 0xFF];
}

// The key schedule works on 16 bytes held as four big-endian words; byte(w, i) is byte i of word w.
struct KeyState {
    std::uint32_t w[4];
    std::uint32_t b(int i) const { return (w[i >> 2] >> (24 - 8 * (i & 3))) & 0xFF; }
};

// One half of the RFC 2144 key schedule: advances x through z and back, yielding 16 subkeys.
void ScheduleHalf(KeyState& x, std::uint32_t k[16]) {
    KeyState z;
    for (int pass = 0; pass < 2; ++pass) {
        z.w[0] = x.w[0] ^ S(5, x.b(13)) ^ S(6, x.b(15)) ^ S(7, x.b(12)) ^ S(8, x.b(14)) ^ S(7, x.b(8));
        z.w[1] = x.w[2] ^ S(5, z.b(0)) ^ S(6, z.b(2)) ^ S(7, z.b(1)) ^ S(8, z.b(3)) ^ S(8, x.b(10));
        z.w[2] = x.w[3] ^ S(5, z.b(7)) ^ S(6, z.b(6)) ^ S(7, z.b(5)) ^ S(8, z.b(4)) ^ S(5, x.b(9));
        z.w[3] = x.w[1] ^ S(5, z.b(10)) ^ S(6, z.b(9)) ^ S(7, z.b(11)) ^ S(8, z.b(8)) ^ S(6, x.b(11));
        std::uint32_t* out = k + pass * 8;
        if (pass == 0) {
            out[0] = S(5, z.b(8)) ^ S(6, z.b(9)) ^ S(7, z.b(7)) ^ S(8, z.b(6)) ^ S(5, z.b(2));
            out[1] = S(5, z.b(10)) ^ S(6, z.b(11)) ^ S(7, z.b(5)) ^ S(8, z.b(4)) ^ S(6, z.b(6));
            out[2] = S(5, z.b(12)) ^ S(6, z.b(13)) ^ S(7, z.b(3)) ^ S(8, z.b(2)) ^ S(7, z.b(9));
            out[3] = S(5, z.b(14)) ^ S(6, z.b(15)) ^ S(7, z.b(1)) ^ S(8, z.b(0)) ^ S(8, z.b(12));
        } else {
            out[0] = S(5, z.b(3)) ^ S(6, z.b(2)) ^ S(7, z.b(12)) ^ S(8, z.b(13)) ^ S(5, z.b(9));
            out[1] = S(5, z.b(1)) ^ S(6, z.b(0)) ^ S(7, z.b(14)) ^ S(8, z.b(15)) ^ S(6, z.b(12));
            out[2] = S(5, z.b(7)) ^ S(6, z.b(6)) ^ S(7, z.b(8)) ^ S(8, z.b(9)) ^ S(7, z.b(2));
            out[3] = S(5, z.b(5)) ^ S(6, z.b(4)) ^ S(7, z.b(10)) ^ S(8, z.b(11)) ^ S(8, z.b(6));
        }
        x.w[0] = z.w[2] ^ S(5, z.b(5)) ^ S(6, z.b(7)) ^ S(7, z.b(4)) ^ S(8, z.b(6)) ^ S(7, z.b(0));
        x.w[1] = z.w[0] ^ S(5, x.b(0)) ^ S(6, x.b(2)) ^ S(7, x.b(1)) ^ S(8, x.b(3)) ^ S(8, z.b(2));
        x.w[2] = z.w[1] ^ S(5, x.b(7)) ^ S(6, x.b(6)) ^ S(7, x.b(5)) ^ S(8, x.b(4)) ^ S(5, z.b(1));
        x.w[3] = z.w[3] ^ S(5, x.b(10)) ^ S(6, x.b(9)) ^ S(7, x.b(11)) ^ S(8, x.b(8)) ^ S(6, z.b(3));
        if (pass == 0) {
            out[4] = S(5, x.b(3)) ^ S(6, x.b(2)) ^ S(7, x.b(12)) ^ S(8, x.b(13)) ^ S(5, x.b(8));
            out[5] = S(5, x.b(1)) ^ S(6, x.b(0)) ^ S(7, x.b(14)) ^ S(8, x.b(15)) ^ S(6, x.b(13));
            out[6] = S(5, x.b(7)) ^ S(6, x.b(6)) ^ S(7, x.b(8)) ^ S(8, x.b(9)) ^ S(7, x.b(3));
            out[7] = S(5, x.b(5)) ^ S(6, x.b(4)) ^ S(7, x.b(10)) ^ S(8, x.b(11)) ^ S(8, x.b(7));
        } else {
            out[4] = S(5, x.b(8)) ^ S(6, x.b(9)) ^ S(7, x.b(7)) ^ S(8, x.b(6)) ^ S(5, x.b(3));
            out[5] = S(5, x.b(10)) ^ S(6, x.b(11)) ^ S(7, x.b(5)) ^ S(8, x.b(4)) ^ S(6, x.b(7));
            out[6] = S(5, x.b(12)) ^ S(6, x.b(13)) ^ S(7, x.b(3)) ^ S(8, x.b(2)) ^ S(7, x.b(8));
            out[7] = S(5, x.b(14)) ^ S(6, x.b(15)) ^ S(7, x.b(1)) ^ S(8, x.b(0)) ^ S(8, x.b(13));
        }
    }
}

inline std::uint32_t Round(int i, std::uint32_t d, std::uint32_t km, std::uint32_t kr) {
    std::uint32_t v;
    switch (i % 3) {
    case 0: // rounds 1, 4, 7, ...
        v = Rotl(km + d, kr);
        return ((S(1, v >> 24) ^ S(2, v >> 16)) - S(3, v >> 8)) + S(4, v);
    case 1:
        v = Rotl(km ^ d, kr);
        return ((S(1, v >> 24) - S(2, v >> 16)) + S(3, v >> 8)) ^ S(4, v);
    default:
        v = Rotl(km - d, kr);
        return ((S(1, v >> 24) + S(2, v >> 16)) ^ S(3, v >> 8)) - S(4, v);
    }
}

inline std::uint32_t LoadBe(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline void StoreBe(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}
inline void StoreLe(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

void XorBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(out + i, &x, 8);
    }
    for (; i < n; ++i)
        out[i] = a[i] ^ b[i];
}

} // namespace

CheckWords VerifyPassword(std::string_view password) {
    CheckWords w{0, 0xD421D421};
    for (std::size_t i = 0; i < password.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(password[i]);
        // The byte enters as a sign-extended 32-bit value, so bytes of 0x80 and above fill the
        // upper 24 bits with ones.
        const auto c = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(byte)));
        const unsigned k = byte & 31;
        const auto shift = static_cast<unsigned>(i & 31);
        w.word1 = Rotl(w.word1 ^ Rotl(c, shift), k);
        w.word2 = Rotr(w.word2 | Rotr(c, shift), k);
    }
    return w;
}

KeySchedule MakeCastKeySchedule(const std::uint8_t key[16], int rounds) {
    KeyState x;
    for (int i = 0; i < 4; ++i)
        x.w[i] = LoadBe(key + 4 * i);
    KeySchedule ks;
    ks.rounds = rounds;
    std::uint32_t k[16];
    ScheduleHalf(x, ks.km);
    ScheduleHalf(x, k);
    for (int i = 0; i < 16; ++i)
        ks.kr[i] = k[i] & 31;
    return ks;
}

KeySchedule MakeKeySchedule(std::string_view password) {
    std::uint8_t key[16] = {};
    std::memcpy(key, password.data(), password.size() < 16 ? password.size() : 16);
    return MakeCastKeySchedule(key, password.size() <= 10 ? 12 : 16);
}

void CastRounds(const KeySchedule& ks, std::uint32_t& l, std::uint32_t& r) {
    for (int i = 0; i < ks.rounds; ++i) {
        const std::uint32_t next = l ^ Round(i, r, ks.km[i], ks.kr[i]);
        l = r;
        r = next;
    }
}

void CastEncryptBlock(const KeySchedule& ks, const std::uint8_t in[8], std::uint8_t out[8]) {
    std::uint32_t l = LoadBe(in), r = LoadBe(in + 4);
    CastRounds(ks, l, r);
    StoreBe(out, r);
    StoreBe(out + 4, l);
}

void ApplyKeystream(const KeySchedule& ks, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    std::uint32_t l = kKeystreamL0, r = kKeystreamR0;
    std::uint8_t block[8];
    for (std::size_t pos = 0; pos < n; pos += 8) {
        CastRounds(ks, l, r);
        StoreLe(block, l);
        StoreLe(block + 4, r);
        const std::size_t take = n - pos < 8 ? n - pos : 8;
        XorBytes(in + pos, block, out + pos, take);
    }
}

Keystream::Keystream(const KeySchedule& ks) : m_ks(ks) {}

void Keystream::Extend(std::size_t n) {
    std::size_t have = m_bytes.size();
    const std::size_t want = (n + 7) / 8 * 8;
    m_bytes.resize(want);
    for (; have < want; have += 8) {
        CastRounds(m_ks, m_l, m_r);
        StoreLe(m_bytes.data() + have, m_l);
        StoreLe(m_bytes.data() + have + 4, m_r);
    }
}

void Keystream::Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    if (n > m_bytes.size())
        Extend(n);
    XorBytes(in, m_bytes.data(), out, n);
}

} // namespace sfx
