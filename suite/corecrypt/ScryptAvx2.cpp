// The key derivation's ROMix for processors with AVX2: two lanes share each 256-bit vector, one in
// the low half and one in the high half. This file alone is compiled for AVX2, and its functions
// run only after the processor said it has it.
#include "corecrypt/ScryptCore.h"

namespace corecrypt::scrypt {
namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr int kLanes = 2;
    static V Load(const Block* const* p, int v) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(p[0]->v[v]), p[1]->v[v], 1);
    }
    static void Store(V x, Block* const* p, int v) {
        p[0]->v[v] = _mm256_castsi256_si128(x);
        p[1]->v[v] = _mm256_extracti128_si256(x, 1);
    }
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Rotl(V x, int n) {
        return _mm256_xor_si256(_mm256_slli_epi32(x, n), _mm256_srli_epi32(x, 32 - n));
    }
    template <int M>
    static V Shuffle(V x) {
        return _mm256_shuffle_epi32(x, M); // within each 128-bit half, so each lane keeps to itself
    }
};

} // namespace

void RoMixFourAvx2(std::uint8_t* const* b, std::size_t r, std::uint64_t n, Block* const* v) {
    RoMix<Avx2, 2>(b, r, n, v);
}

void RoMixTwoAvx2(std::uint8_t* const* b, std::size_t r, std::uint64_t n, Block* const* v) {
    RoMix<Avx2, 1>(b, r, n, v);
}

} // namespace corecrypt::scrypt
