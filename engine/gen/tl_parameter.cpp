#include "engine/gen/tl_parameter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The formant curves are tuned at this rate and kept there at every rate:
// it is part of the voice's sound.
constexpr double kFormantRate = 44100.0;

}  // namespace

void CTLParameter::build(int rate) {
    if (rate <= 0) rate = 44100;
    builtRate = rate;
    const int n = kSegments;
    const double unit = 1.0 / n;  // pitch and rate tables: inputs 0..1
    const double r = rate;

    pitchToPartial.build(n, 0.0, unit, false, [&](double x) {
        return std::exp2(x * n / 256.0) / 65536.0 * 44100.0 / r;
    });
    pitchToIncrement.build(n, 0.0, unit, false, [&](double x) { return std::exp2(x * n / 256.0) * 256.0; });
    lfoRate.build(n, 0.0, unit, false, [&](double x) { return std::exp2(x * n / 256.0) * 128.0 * (256.0 / 128.0); });
    frequencyToPitch.build(n, 0.0, 22050.0 / n, false, [&](double hz) {
        double t = hz * n / 22050.0;
        return t <= 0 ? 0.25 : std::log2(16.0 * t) / 16.0;
    });
    levelToGain.build(kLevelSegments, 0.0, 1.0 / kLevelSegments, false,
                      [](double u) { return std::pow(10.0, -5.0 * (1.0 - u)); });

    // Resonator and notch curves, closed so out-of-range inputs clamp.
    const double fStep = 20000.0 / n, bwStep = 2000.0 / n;
    resCosine.build(n, 0.0, fStep, true, [](double f) { return std::cos(2 * kPi * f / kFormantRate); });
    resRadius.build(n, 0.0, bwStep, true, [](double bw) { return std::exp(-kPi * bw / kFormantRate); });
    resGain.build(n, 0.0, fStep, true, [](double f) { return 660.0 / (f + 20.0); });
    notchCos.build(n, 0.0, fStep, true, [](double f) { return 2 * std::cos(2 * kPi * f / kFormantRate); });
    notchATable.build(n, 0.0, bwStep, true, [](double bw) { return 1.0 / (std::tan(kPi * bw / kFormantRate) + 1.0); });
    notchBTable.build(n, 0.0, bwStep, true, [](double bw) {
        double t = std::tan(kPi * bw / kFormantRate);
        return (1.0 - t) / (1.0 + t);
    });

    // Butterworth low-pass over v = 0..1 (20 Hz .. 20480 Hz). The corner is
    // kept below the Nyquist frequency so the tangent never wraps round.
    auto k = [r](double v) {
        double f = std::min(20.0 * std::exp2(10.0 * v), 0.49 * r);
        return std::tan(kPi * f / r);
    };
    bwA0.build(n, 0.0, unit, true, [&](double v) {
        double K = k(v);
        return K * K / (K * K + std::sqrt(2.0) * K + 1.0);
    });
    bwNegA1.build(n, 0.0, unit, true, [&](double v) {
        double K = k(v);
        return -2.0 * (K * K - 1.0) / (K * K + std::sqrt(2.0) * K + 1.0);
    });
    bwNegA2.build(n, 0.0, unit, true, [&](double v) {
        double K = k(v);
        return -(K * K - std::sqrt(2.0) * K + 1.0) / (K * K + std::sqrt(2.0) * K + 1.0);
    });
}
