#include "engine/gen/tl_waves.h"

#include <cmath>

namespace {
constexpr double kTwoPi = 6.28318530717958647692;
}

CTLWaves::CTLWaves() {
    double v[kSegments + 1];
    for (int t = 0; t < kTables; ++t) {
        const int h = kHarmonics[t];
        for (int i = 0; i <= kSegments; ++i) {
            if (h == 0) {
                v[i] = 0.88 - 1.76 * i / kSegments;
            } else {
                double s = 0;
                for (int j = 1; j <= h; ++j) s += std::sin(kTwoPi * j * i / kSegments) / j;
                v[i] = s;
            }
        }
        // Zero mean over the cycle, then peak 1.
        double mean = 0;
        for (int i = 0; i < kSegments; ++i) mean += v[i];
        mean /= kSegments;
        double peak = 0;
        for (int i = 0; i < kSegments; ++i) peak = std::fmax(peak, std::fabs(v[i] - mean));
        for (double& x : v) x = (x - mean) / peak;
        tables[t].buildWave(kSegments, 1.0, true, [&](double i) { return v[int(i + 0.5)]; });
    }
}

int CTLWaves::bandOf(int32_t increment) {
    const int k = (increment >> 16) & 0xFF;
    if (k == 0) return 0;
    if (k == 1) return 2;
    if (k <= 3) return 4;
    if (k == 4) return 5;
    if (k <= 7) return 6;
    if (k <= 9) return 7;
    if (k <= 15) return 8;
    if (k <= 20) return 9;
    if (k <= 31) return 10;
    if (k <= 41) return 11;
    if (k <= 63) return 12;
    if (k <= 84) return 13;
    if (k <= 127) return 14;
    return 15;
}

const CTLWaves& oscillatorWaves() {
    static const CTLWaves waves;
    return waves;
}
