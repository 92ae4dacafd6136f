// The harmonic loop sixteen lanes wide. This unit alone is compiled for
// AVX-512 (see CMakeLists.txt); the engine calls it only where the CPU has it.
#include "engine/harmonic_levels.h"

#if defined(__AVX512F__)

#include <immintrin.h>

namespace {

#define LYRENA_HL_WIDTH 16
#include "engine/harmonic_levels_simd.h"

inline F gather(const float* table, I index) { return F(_mm512_mask_i32gather_ps(_mm512_setzero_ps(), __mmask16(0xFFFF), __m512i(index), table, 4)); }
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
