// The parameter and coefficient curves of the engine. Rebuilt whenever the
// sample rate changes (the partial-frequency and Butterworth curves depend
// on it); read-only in between and shared by all parts.
#pragma once

#include "engine/gen/tl_base.h"

class CTLParameter {
public:
    static constexpr int kSegments = 4096;
    static constexpr int kLevelSegments = 1024;

    CTLParameter() { build(44100); }
    void build(int rate);

    // Pitch value (1.0 = 22050 Hz, 1/16 per octave) -> normalized frequency
    // f / (rate / 2).
    float partialFrequency(float pitch) const { return pitchToPartial.lookup(pitch); }
    // Pitch value -> 25-bit phase increment of the time-domain oscillator.
    float oscillatorIncrement(float pitch) const { return pitchToIncrement.lookup(pitch); }
    // Rate value 0..1 -> 24-bit phase increment per block (1.0 = a cycle per block).
    float lfoIncrement(float rate) const { return lfoRate.lookup(rate); }
    // Frequency in Hz -> pitch value.
    float pitchOfFrequency(float hz) const { return frequencyToPitch.lookup(hz); }
    // Level value (1.0 = unity, 0.0 = -100 dB) -> linear gain.
    float gain(float level) const { return levelToGain.lookup(level); }

    // Filter coefficient curves, inputs in Hz (0..20000 or 0..2000) or v 0..1.
    float resonatorCosine(float hz) const { return resCosine.lookup(hz); }
    float resonatorRadius(float bw) const { return resRadius.lookup(bw); }
    float resonatorGain(float hz) const { return resGain.lookup(hz); }
    float notchCosine(float hz) const { return notchCos.lookup(hz); }
    float notchA(float bw) const { return notchATable.lookup(bw); }
    float notchB(float bw) const { return notchBTable.lookup(bw); }
    float butterworthA0(float v) const { return bwA0.lookup(v); }
    float butterworthNegA1(float v) const { return bwNegA1.lookup(v); }
    float butterworthNegA2(float v) const { return bwNegA2.lookup(v); }

    int rate() const { return builtRate; }
    // The two curves of the harmonic loop, for its vectorised lookups.
    const CTLBase& partialTable() const { return pitchToPartial; }
    const CTLBase& gainTable() const { return levelToGain; }

private:
    int builtRate = 0;
    CTLBase pitchToPartial, pitchToIncrement, lfoRate, frequencyToPitch, levelToGain;
    CTLBase resCosine, resRadius, resGain, notchCos, notchATable, notchBTable;
    CTLBase bwA0, bwNegA1, bwNegA2;
};
