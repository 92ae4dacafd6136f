#include "engine/oscillator.h"

#include <algorithm>
#include <cstdlib>

CXOscillator::CXOscillator() { setupSources(); }

void CXOscillator::setupSources() {
    periodSource.setup(0, 3, 1, 1638350);
    amplitudeSource.setup(0, 5, 0.5, 1);
}

void CXOscillator::init(int w, float jitter, float shimmer) {
    waveform = w;
    jitterAmount = jitter * 0.04f;
    shimmerAmount = shimmer * 10;
}

void CXOscillator::setFrequency(float pitch, float) {
    if (!curves || !waves) return;
    const int32_t target = int32_t(std::clamp(curves->oscillatorIncrement(pitch), 0.0f, float(kPhaseMask)));
    // A per-sample step of 1/256 of the way; a difference below one step is
    // taken at once. (The arithmetic shift rounds toward minus infinity.)
    incrementStep = (target - increment) >> 8;
    if (incrementStep == 0) increment = target;
    table = &waves->table(CTLWaves::bandOf(target));
}

CXOscillatorBank::CXOscillatorBank() {
    for (int i = 0; i < kOscillators; ++i) {
        float r = float(std::rand() & 0x7FFF) / 32767;
        gain[i] = 1 + 0.4f * r;
        r = float(std::rand() & 0x7FFF) / 32767;
        detune[i] = r - 0.5f;
    }
}

void CXOscillatorBank::init(int count, float jitter, float shimmer) {
    active = std::clamp(count, 1, kOscillators);
    for (int i = 0; i < active; ++i) osc[i].init(0, jitter, shimmer);
}

void CXOscillatorBank::setFrequency(float pitch, float glide, float d, float shift) {
    for (int i = 0; i < active; ++i) osc[i].setFrequency(pitch * (1 + detune[i] * d) + shift, glide);
}
