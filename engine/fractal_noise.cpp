#include "engine/fractal_noise.h"

#include <cstring>

CFractalNoise::CFractalNoise(uint32_t seed) : state(seed) {
    for (int i = 0; i <= 12; ++i) {
        float d = i <= 6 ? float(7 - i) : float(i - 6);
        weight[i] = 1.0f / (d * d);
    }
    std::memset(ring, 0, sizeof ring);
    // The first half is complete before anything is read.
    startHalf(0);
    for (int i = 0; i < kHalf; ++i) refineStep();
    startHalf(1);
}

float CFractalNoise::white() {
    state = state * 1664525u + 1013904223u;
    uint32_t bits = (state & 0x7FFFFFu) | 0x3F800000u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f - 1.5f;
}

void CFractalNoise::startHalf(int half) {
    buildHalf = half;
    level = 0;
    position = 0;
}

void CFractalNoise::refineStep() {
    // Points of a half: t = 0 is the previous half's end, t = 4096 this
    // half's end; ring index of t > 0 is base + t - 1.
    const int base = buildHalf * kHalf;
    auto at = [&](int t) -> float& { return ring[(base + t - 1 + 2 * kHalf) % (2 * kHalf)]; };
    if (level == 0) {
        at(kHalf) = white() * weight[0];
        level = 1;
        position = kHalf >> 1;
        return;
    }
    if (level > 12) return;  // half complete
    const int stride = kHalf >> level;
    at(position) = 0.5f * (at(position - stride) + at(position + stride)) + white() * weight[level];
    position += 2 * stride;
    if (position >= kHalf) {
        ++level;
        position = (kHalf >> level) ;
        if (level > 12) position = 0;
    }
}

float CFractalNoise::next() {
    float v = ring[readIndex];
    refineStep();
    readIndex = (readIndex + 1) % (2 * kHalf);
    if (readIndex % kHalf == 0) startHalf(readIndex == 0 ? 1 : 0);
    return v;
}
