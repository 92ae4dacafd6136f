// The time-domain voice's source: a band-limited sawtooth oscillator whose
// period (jitter) and amplitude (shimmer) are perturbed period by period by
// two slow random sources, and a bank of up to 16 detuned oscillators for a
// choir.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/gen/tl_parameter.h"
#include "engine/gen/tl_waves.h"
#include "engine/modul_base.h"
#include "engine/random_source.h"

class CXOscillator : public CXModulBase {
public:
    static constexpr int32_t kPhaseMask = (1 << 25) - 1;  // one cycle = 2^25

    CXOscillator();
    void setTables(const CTLWaves* w, const CTLParameter* c) {
        waves = w;
        curves = c;
    }
    using CXModulBase::init;  // the ramp form stays callable beside this one
    // Waveform set (0, the sawtooth), jitter and shimmer amounts 0..1.
    void init(int waveform, float jitter, float shimmer);
    // Pitch value P (1.0 = half a cycle per sample at any rate); the glide
    // value is not used by the increment rule.
    void setFrequency(float pitch, float glide);
    // The rate the random sources run at (pitch correction is the caller's).
    void setRate(double rate) {
        periodSource.setRate(rate);
        amplitudeSource.setRate(rate);
        setupSources();
    }
    float next() {
        if (!table) return 0;
        increment += incrementStep;
        const int32_t previous = phase;
        phase = (previous + increment + jitterOffset) & kPhaseMask;
        const int seg = phase >> 16;
        const float value = table->at(seg, float(phase) * (1.0f / 65536.0f));
        // Both random sources step every sample; their values are used at
        // the start of a period.
        const double p = periodSource.next(), a = amplitudeSource.next();
        if (phase < previous) {
            const int32_t j = int32_t(float(increment) * jitterAmount);
            jitterOffset = j < 1 ? 0 : int32_t(std::fmax(std::fmin(p, 2e9), -2e9)) % j;
            amplitude = float(a) * shimmerAmount + 1;
        }
        output = value * amplitude;
        return output;
    }
    float process(float) override { return next(); }
    void clear() override {
        phase = 0;
        jitterOffset = 0;
        amplitude = 1;
        output = 0;
    }

    int waveform = 0;
    float jitterAmount = 0, shimmerAmount = 0;
    const CTLBase* table = nullptr;
    int32_t increment = 0, incrementStep = 0;
    int32_t phase = 0;
    int32_t jitterOffset = 0;
    float amplitude = 1;
    float output = 0;
    CXRandomSource periodSource, amplitudeSource;

private:
    void setupSources();
    const CTLWaves* waves = nullptr;
    const CTLParameter* curves = nullptr;
};

class CXOscillatorBank : public CXModulBase {
public:
    static constexpr int kOscillators = 16;

    // Draws each oscillator's gain (1 .. 1.4) and detune offset (-0.5 .. 0.5).
    CXOscillatorBank();
    void setTables(const CTLWaves* w, const CTLParameter* c) {
        for (CXOscillator& o : osc) o.setTables(w, c);
    }
    void setRate(double rate) {
        for (CXOscillator& o : osc) o.setRate(rate);
    }
    using CXModulBase::init;
    // Sounds the first count oscillators (1..16).
    void init(int count, float jitter, float shimmer);
    // Oscillator i sings P (1 + offset_i d) + shift: the detune scales the
    // pitch value; shift moves them all (rate correction).
    void setFrequency(float pitch, float glide, float detune, float shift = 0);
    float next() {
        float sum = 0;
        for (int i = 0; i < active; ++i) sum += osc[i].next() * gain[i];
        return sum;
    }
    float process(float) override { return next(); }
    void clear() override {
        for (CXOscillator& o : osc) o.clear();
    }

    CXOscillator osc[kOscillators];
    int active = 1;
    float gain[kOscillators];
    float detune[kOscillators];
};
