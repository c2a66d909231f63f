#pragma once

// scrypt's ROMix over a vector type, shared by the baseline (SSE2) build and the AVX2 build of the
// key derivation. The functions here have internal linkage: each file that includes this header
// compiles its own copy for its own instruction set, so a copy built for AVX2 can never stand in
// for the baseline one.
//
// A 64-byte Salsa20 block is kept as four 128-bit vectors along its diagonals, (x0 x5 x10 x15),
// (x4 x9 x14 x3), (x8 x13 x2 x7), (x12 x1 x6 x11), so that each step of a round is one vector
// operation; word i of the stored form is word 5i mod 16 of the block. An Ops type says how many
// lanes one of its vectors carries (one in 128 bits, two in 256) and how to load, store and
// combine them; K independent vectors advance in lock-step, so the processor works on one while
// another waits for its previous step.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>
#include <utility>

namespace corecrypt::scrypt {

struct alignas(64) Block {
    __m128i v[4];
};

namespace {

// The baseline: one lane per 128-bit vector.
struct Sse {
    using V = __m128i;
    static constexpr int kLanes = 1;
    static V Load(const Block* const* p, int v) { return p[0]->v[v]; }
    static void Store(V x, Block* const* p, int v) { p[0]->v[v] = x; }
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Rotl(V x, int n) { return _mm_xor_si128(_mm_slli_epi32(x, n), _mm_srli_epi32(x, 32 - n)); }
    template <int M>
    static V Shuffle(V x) {
        return _mm_shuffle_epi32(x, M);
    }
};

// x[k] = Salsa20/8(x[k] xor a xor b) for every lane, b only when WithB; the results are also stored
// at out. a, b and out hold one block per lane, K * Ops::kLanes of them.
template <class Ops, int K, bool WithB>
inline void Salsa8Xor(typename Ops::V (&x)[K][4], const Block* const* a, const Block* const* b,
                      Block* const* out) {
    using V = typename Ops::V;
    constexpr int L = Ops::kLanes;
    V s[K][4];
    for (int k = 0; k < K; ++k)
        for (int v = 0; v < 4; ++v) {
            x[k][v] = Ops::Xor(x[k][v], Ops::Load(a + k * L, v));
            if constexpr (WithB)
                x[k][v] = Ops::Xor(x[k][v], Ops::Load(b + k * L, v));
            s[k][v] = x[k][v];
        }
    // One step of a round: x[t] ^= (x[u] + x[w]) <<< n.
    auto step = [&x](int t, int u, int w, int n) {
        for (int k = 0; k < K; ++k)
            x[k][t] = Ops::Xor(x[k][t], Ops::Rotl(Ops::Add(x[k][u], x[k][w]), n));
    };
#pragma GCC unroll 4
    for (int i = 0; i < 8; i += 2) {
        // Columns.
        step(1, 0, 3, 7);
        step(2, 1, 0, 9);
        step(3, 2, 1, 13);
        step(0, 3, 2, 18);
        for (int k = 0; k < K; ++k) {
            x[k][1] = Ops::template Shuffle<0x93>(x[k][1]);
            x[k][2] = Ops::template Shuffle<0x4E>(x[k][2]);
            x[k][3] = Ops::template Shuffle<0x39>(x[k][3]);
        }
        // Rows.
        step(3, 0, 1, 7);
        step(2, 3, 0, 9);
        step(1, 2, 3, 13);
        step(0, 1, 2, 18);
        for (int k = 0; k < K; ++k) {
            x[k][1] = Ops::template Shuffle<0x39>(x[k][1]);
            x[k][2] = Ops::template Shuffle<0x4E>(x[k][2]);
            x[k][3] = Ops::template Shuffle<0x93>(x[k][3]);
        }
    }
    for (int k = 0; k < K; ++k)
        for (int v = 0; v < 4; ++v) {
            x[k][v] = Ops::Add(x[k][v], s[k][v]);
            Ops::Store(x[k][v], out + k * L, v);
        }
}

// BlockMix of every lane over the 2r blocks at a[lane] (xor b[lane] when WithB): out[lane] gets the
// even results, then the odd.
template <class Ops, int K, bool WithB>
inline void BlockMix(const Block* const* a, const Block* const* b, Block* const* out, std::size_t r) {
    constexpr int L = K * Ops::kLanes;
    const std::size_t last = 2 * r - 1;
    const Block* ai[L];
    const Block* bi[L];
    Block* oi[L];
    for (int l = 0; l < L; ++l) {
        ai[l] = a[l] + last;
        bi[l] = WithB ? b[l] + last : a[l] + last;
    }
    typename Ops::V x[K][4];
    for (int k = 0; k < K; ++k)
        for (int v = 0; v < 4; ++v) {
            x[k][v] = Ops::Load(ai + k * Ops::kLanes, v);
            if constexpr (WithB)
                x[k][v] = Ops::Xor(x[k][v], Ops::Load(bi + k * Ops::kLanes, v));
        }
    for (std::size_t i = 0; i < 2 * r; ++i) {
        for (int l = 0; l < L; ++l) {
            ai[l] = a[l] + i;
            bi[l] = WithB ? b[l] + i : nullptr;
            oi[l] = out[l] + (i % 2 ? r : 0) + i / 2;
        }
        Salsa8Xor<Ops, K, WithB>(x, ai, bi, oi);
    }
}

// Bytes of a lane to the stored form of its blocks, and back.
inline void LoadLane(const std::uint8_t* bytes, Block* blocks, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        alignas(16) std::uint32_t w[16];
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* p = bytes + 64 * k + 4 * ((5 * i) % 16);
            w[i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                   std::uint32_t{p[3]} << 24;
        }
        std::memcpy(&blocks[k], w, 64);
    }
}

inline void StoreLane(const Block* blocks, std::uint8_t* bytes, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        alignas(16) std::uint32_t w[16];
        std::memcpy(w, &blocks[k], 64);
        for (int i = 0; i < 16; ++i) {
            std::uint8_t* p = bytes + 64 * k + 4 * ((5 * i) % 16);
            for (int j = 0; j < 4; ++j)
                p[j] = static_cast<std::uint8_t>(w[i] >> (8 * j));
        }
    }
}

// ROMix of K * Ops::kLanes lanes in lock-step, each 128 * r bytes at b[lane], in place. v[lane]
// holds N + 2 groups of 2r blocks.
template <class Ops, int K>
void RoMix(std::uint8_t* const* b, std::size_t r, std::uint64_t n, Block* const* v) {
    constexpr int L = K * Ops::kLanes;
    const std::size_t blocks = 2 * r;
    Block* x[L];
    Block* y[L];
    for (int l = 0; l < L; ++l) {
        x[l] = v[l] + n * blocks;
        y[l] = x[l] + blocks;
        LoadLane(b[l], v[l], blocks);
    }
    const Block* from[L];
    const Block* with[L];
    Block* to[L];
    for (std::uint64_t i = 0; i < n; ++i) {
        for (int l = 0; l < L; ++l) {
            from[l] = v[l] + i * blocks;
            to[l] = i + 1 < n ? v[l] + (i + 1) * blocks : x[l];
        }
        BlockMix<Ops, K, false>(from, from, to, r);
    }
    for (std::uint64_t i = 0; i < n; ++i) {
        for (int l = 0; l < L; ++l) {
            // Integerify: word 0 of the last block, which the stored form keeps in place.
            const auto j = static_cast<std::uint32_t>(_mm_cvtsi128_si32(x[l][blocks - 1].v[0])) & (n - 1);
            from[l] = x[l];
            with[l] = v[l] + j * blocks;
        }
        BlockMix<Ops, K, true>(from, with, y, r);
        for (int l = 0; l < L; ++l)
            std::swap(x[l], y[l]);
    }
    for (int l = 0; l < L; ++l)
        StoreLane(x[l], b[l], blocks);
}

} // namespace

// ROMix of four lanes at once on a processor with AVX2 (two lanes in each 256-bit vector, two
// vectors in lock-step); defined in ScryptAvx2.cpp, called only when the processor has AVX2.
void RoMixFourAvx2(std::uint8_t* const* b, std::size_t r, std::uint64_t n, Block* const* v);
// ROMix of two lanes at once with AVX2.
void RoMixTwoAvx2(std::uint8_t* const* b, std::size_t r, std::uint64_t n, Block* const* v);

} // namespace corecrypt::scrypt
