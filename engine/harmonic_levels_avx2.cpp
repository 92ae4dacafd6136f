// The harmonic loop eight lanes wide. This unit alone is compiled for AVX2
// (see CMakeLists.txt); the engine calls it only where the CPU has it.
#include "engine/harmonic_levels.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace {

#define LYRENA_HL_WIDTH 8
#include "engine/harmonic_levels_simd.h"

inline F gather(const float* table, I index) { return F(_mm256_i32gather_ps(table, __m256i(index), 4)); }
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
