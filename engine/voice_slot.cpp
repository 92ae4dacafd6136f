#include "engine/voice_slot.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

// Blocks of a transition of `seconds`.
int blocksOf(float seconds, float blockMs) { return int(seconds * 1000.0f / blockMs); }

void startRamp(CXRamp& r, float target, int n) {
    r.start = r.current;
    r.target = target;
    r.phase = 0;
    r.increment = kPi / float(n);
}

void setRamp(CXRamp& r, float value) {
    r.current = r.start = r.target = value;
    r.phase = kPi;
    r.increment = 0;
}

// Advances a ramp's phase; returns the weight of the start value (0 at rest).
// The phase snaps to pi within rounding so that an n-block ramp ends in
// exactly n blocks.
float ramp(CXRamp& r, bool linear) {
    if (r.phase >= kPi) return 0;
    r.phase += r.increment;
    if (r.phase >= kPi * 0.99999f) {
        r.phase = kPi;
        return 0;
    }
    return linear ? 1 - r.phase / kPi : (std::cos(r.phase) + 1) * 0.5f;
}

}  // namespace

void CXVoiceSlot::clearRecord() {
    int keepPart = part;
    *this = CXVoiceSlot();
    part = keepPart;
}

void CXVoiceSlot::setFormantTarget(const CXFormantTarget& t, float gender, float blockMs) {
    float g = std::min(std::max(gender, 0.0f), 1.0f);
    float q = std::pow(4.0f, g - 0.5f);
    for (int k = 0; k < kFormants; ++k) {
        float f = t.frequency[k] * q, b = t.bandwidth[k] * q, l = t.level[k];
        int n = blocksOf(t.time[k], blockMs);
        if (n < 1) {
            setRamp(formantFrequency[k], f);
            setRamp(formantBandwidth[k], b);
            setRamp(formantLevel[k], l);
        } else {
            startRamp(formantFrequency[k], f, n);
            startRamp(formantBandwidth[k], b, n);
            startRamp(formantLevel[k], l, n);
        }
    }
    trillAmount = t.hasTrill ? std::min(std::max(t.trillAmount, 0.0f), 1.0f) : 0.0f;
    if (t.hasTrill) trillRate = t.trillRate;
}

void CXVoiceSlot::setSpectralTarget(const float* levels, int flag, float balance, const float* r01) {
    float b = std::min(std::max(balance, 0.0f), 1.0f);
    float scale = std::pow(100.0f, b) * 0.1f;
    for (int i = 0; i < kSpectralBands; ++i) {
        float v = levels[i];
        band[i] = (v > 0 && v <= 1) ? v * scale * (1 + 0.2f * r01[i]) : 0.0f;
    }
    targetFlag = flag;
    trillAmount = 0;
    envelope = 0;
    pending = 1;
}

void CXVoiceSlot::setSourceEnvelope(int mode, const float* v, float blockMs, int rate) {
    if (mode == kSourceVoicing) {
        int n = std::max(1, blocksOf(v[1] + 0.00001f, blockMs));
        startRamp(amplitude, v[0], n);
        falling = amplitude.target < amplitude.start;
        return;
    }
    if (mode != kSourceNoise && mode != kSourceBurst) return;
    float attack = v[1] + 0.00001f, decayTime = v[2] + 0.00001f, sustain = v[3];
    breathMode = mode;
    if (mode == kSourceBurst) {
        breathState = kBreathClick;
        clickCounter = 0;
    } else {
        breathState = kBreathAttack;
    }
    crossfadePhase = 0;
    crossfadeIncrement = kPi / (float(rate) * attack);
    fadePhase = 0;
    fadeIncrement = kPi / (float(rate) * decayTime);
    levelB = envelope;
    levelA = v[0];
    hold = int(float(rate) * std::max(sustain, 0.0f));
    envelope = levelA;
}

void CXVoiceSlot::fadeOut(float blockMs) {
    int n = std::max(1, int(80.0f / blockMs));
    startRamp(amplitude, 0.0f, n);
    falling = 1;
}

void CXVoiceSlot::advanceFormantRamps() {
    for (int k = 0; k < kFormants; ++k) {
        CXRamp& f = formantFrequency[k];
        float e = ramp(f, false);
        f.current = e * f.start + (1 - e) * f.target;
        CXRamp& b = formantBandwidth[k];
        e = ramp(b, false);
        b.current = e * b.start + (1 - e) * b.target;
        // Levels cross over geometrically (a straight line in dB).
        CXRamp& l = formantLevel[k];
        l.start = std::max(l.start, 1e-7f);
        l.target = std::max(l.target, 1e-7f);
        e = ramp(l, false);
        l.current = e == 0 ? l.target : std::exp(e * std::log(l.start) + (1 - e) * std::log(l.target));
    }
}

void CXVoiceSlot::advanceAmplitudeRamp(bool linear) {
    float e = ramp(amplitude, linear);
    amplitude.current = e * amplitude.start + (1 - e) * amplitude.target;
    falling = amplitude.target < amplitude.start;
}
