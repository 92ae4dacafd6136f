// The harmonic loop sixteen lanes wide. This unit alone is compiled for
// AVX-512 (see CMakeLists.txt); the engine calls it only where the CPU has it.
#include "engine/harmonic_levels.h"

#if defined(__AVX512F__)

#include <immintrin.h>

namespace {

#define LYRENA_HL_WIDTH 16
#include "engine/harmonic_levels_simd.h"

inline F gather(const float* table, I index) { return F(_mm512_mask_i32gather_ps(_mm512_setzero_ps(), __mmask16(0xFFFF), __m512i(index), table, 4)); }
// Both values of a lane in one 64-bit read: half the gathered elements.
inline void gatherPair(const float* table, I index, F& lo, F& hi) {
    const long long* base = reinterpret_cast<const long long*>(table);  // 4-byte steps, unaligned pairs
    const __m512i i = __m512i(index);
    __m512 a = _mm512_castsi512_ps(_mm512_i32gather_epi64(_mm512_castsi512_si256(i), base, 4));
    __m512 b = _mm512_castsi512_ps(_mm512_i32gather_epi64(_mm512_extracti64x4_epi64(i, 1), base, 4));
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    lo = F(_mm512_permutex2var_ps(a, even, b));
    hi = F(_mm512_permutex2var_ps(a, _mm512_add_epi32(even, _mm512_set1_epi32(1)), b));
}
inline bool anyLane(I mask) { return _mm512_test_epi32_mask(__m512i(mask), __m512i(mask)) != 0; }

}  // namespace

void harmonicLevelsAVX512(const CXHarmonicFrame& h) { harmonicLevelsVector(h); }
bool harmonicLevelsHasAVX512() {
    static const bool has = __builtin_cpu_supports("avx512f");
    return has;
}

#else

void harmonicLevelsAVX512(const CXHarmonicFrame& h) { harmonicLevelsAVX2(h); }
bool harmonicLevelsHasAVX512() { return false; }

#endif
