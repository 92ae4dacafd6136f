// The harmonic loop eight lanes wide. This unit alone is compiled for AVX2
// (see CMakeLists.txt); the engine calls it only where the CPU has it.
#include "engine/harmonic_levels.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace {

#define LYRENA_HL_WIDTH 8
#include "engine/harmonic_levels_simd.h"

inline F gather(const float* table, I index) { return F(_mm256_i32gather_ps(table, __m256i(index), 4)); }
// Both values of a lane in one 64-bit read: half the gathered elements.
inline void gatherPair(const float* table, I index, F& lo, F& hi) {
    const long long* base = reinterpret_cast<const long long*>(table);  // 4-byte steps, unaligned pairs
    const __m256i i = __m256i(index);
    __m256 a = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(i), 4));
    __m256 b = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(i, 1), 4));
    // The shuffles leave the lanes in the order 0 1 4 5 2 3 6 7; the
    // permutation puts them back.
    lo = F(_mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0x88)), 0xD8)));
    hi = F(_mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8)));
}
inline bool anyLane(I mask) { return _mm256_movemask_ps(__m256(mask)) != 0; }

}  // namespace

void harmonicLevelsAVX2(const CXHarmonicFrame& h) { harmonicLevelsVector(h); }
bool harmonicLevelsHasAVX2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#else

void harmonicLevelsAVX2(const CXHarmonicFrame& h) { harmonicLevelsSSE(h); }
bool harmonicLevelsHasAVX2() { return false; }

#endif
