#include "engine/gen/tl_lfo_waves.h"

#include <cmath>

namespace {
constexpr double kTwoPi = 6.28318530717958647692;
}

CTLLFOWaves::CTLLFOWaves() {
    waves[0].buildWave(256, 1.0, true, [](double j) { return std::sin(kTwoPi * j / 256); });
    waves[1].buildWave(256, 1.0, true, [](double j) {
        return 0.7 * std::sin(kTwoPi * j / 256) + 0.3 * std::sin(6 * kTwoPi * j / 256);
    });
    // The square is built from steps so that it changes sign exactly at half
    // a cycle instead of gliding through zero inside segment 127.
    waves[2].buildWave(256, 1.0, false, [](double j) { return j < 128 ? -1.0 : 1.0; });
    waves[3].buildWave(256, 1.0, true, [](double j) { return j / 128 - 1; });
    waves[4].buildWave(256, 1.0, true, [](double j) { return 1 - j / 128; });
    static const double freq[8] = {171, 353, 133, 282, 151, 203, 313, 197};
    static const double weight[8] = {0.15, 0.13, 0.17, 0.13, 0.15, 0.12, 0.16, 0.11};
    randomWave.buildWave(32768, 1.0, true, [](double j) {
        double v = 0;
        for (int k = 0; k < 8; ++k) v += weight[k] * std::sin(kTwoPi * freq[k] * j / 32768);
        return v;
    });
}

float CTLLFOWaves::value(int wave, uint32_t phase) const {
    phase &= 0xFFFFFFu;
    if (wave >= kRandomWave && wave <= 6) return random(phase << 7);
    const CTLBase& w = waves[(wave < 0 || wave >= kRandomWave) ? 0 : wave];
    return w.at(int(phase >> 16), float(phase) * (1.0f / 65536.0f));
}
