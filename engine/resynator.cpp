#include "engine/resynator.h"

#include <cmath>
#include <cstdio>

void CResynator::reset() {
    partialCount = kPartials;
    std::snprintf(name, sizeof name, "%s", "Synthetic");
    for (int i = 0; i < kPartials; ++i) {
        ratio[i] = float(i);
        // A partial without a ratio has no pitch; it is never sung (the
        // level sits far below the table's floor).
        baseOffset[i] = i > 0 ? float(std::log2(double(i)) / 16.0) : 0.0f;
        pitchOffset[i] = baseOffset[i];
        level[i] = i > 0 ? float(0.2 - 0.2 * std::log2(double(i + 1))) : -1000.0f;
    }
}

void CResynator::applyMetallic(float v) {
    double b = v > 0.00001f ? std::pow(10.0, 4.0 * v) / 100000.0 : 0.0;
    double p1 = std::log2(std::sqrt(1.0 + b)) / 16.0;  // pitch of ratio 1 stretched
    for (int i = 0; i < kPartials; ++i) {
        double r = ratio[i];
        if (r <= 0) {
            pitchOffset[i] = baseOffset[i];
            continue;
        }
        // P(r sqrt(1 + B r^2)) - P(1): the stretched pitch relative to the
        // stretched fundamental; the offset a spectrum stores beyond its
        // ratio (a correction) is kept.
        double correction = baseOffset[i] - std::log2(r) / 16.0;
        pitchOffset[i] = float(std::log2(r * std::sqrt(1.0 + b * r * r)) / 16.0 - p1 + correction);
    }
}
