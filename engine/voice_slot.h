// A voice slot: one singer being rendered. Holds the voice record (formant,
// amplitude and pitch state, modulators, spectral levels, noise spectra,
// breath envelope), the partial records of its harmonics and its two noise
// streams. The phoneme layer writes targets into it between blocks.
#pragma once

#include <cstdint>

#include "engine/modulators.h"
#include "engine/partial_renderer.h"

constexpr int kFormants = 10;
constexpr int kSpectralBands = 48;
constexpr int kHarmonics = 256;        // harmonic pitch offsets, ensemble phases, noise bins
constexpr int kPartialRecords = 512;   // per slot, indexed by harmonic number
constexpr int kNoiseBlock = 512;

// A raised-cosine (or linear) ramp between two values over whole blocks.
struct CXRamp {
    float current = 0, start = 0, target = 0;
    float phase = 3.14159265f, increment = 0;  // phase runs 0..pi; at pi the ramp rests
};

// Formant target of a phoneme: ten formants, each with frequency (Hz),
// level (linear), bandwidth (Hz) and ramp time (s); an optional trill.
struct CXFormantTarget {
    float frequency[kFormants] = {};
    float level[kFormants] = {};
    float bandwidth[kFormants] = {};
    float time[kFormants] = {};
    bool hasTrill = false;
    float trillAmount = 0, trillRate = 0;
};

// Source envelope modes.
enum { kSourceVoicing = 0, kSourceNoise = 1, kSourceBurst = 2 };

// Breath envelope states.
enum { kBreathClick = -1, kBreathAttack = 0, kBreathHold = 1, kBreathFade = 2 };

class CXVoiceSlot {
public:
    // Clears the voice record (a part reset); the slot table entry stays.
    void clearRecord();

    // q = 4^(gender - 0.5) scales frequencies and bandwidths; blockMs is the
    // engine block duration.
    void setFormantTarget(const CXFormantTarget& t, float gender, float blockMs);
    // levels[48] in 0..1; r01 are 48 uniform random numbers in [0, 1].
    void setSpectralTarget(const float* levels, int flag, float balance, const float* r01);
    void setSourceEnvelope(int mode, const float* values, float blockMs, int rate);
    void fadeOut(float blockMs);

    // Per block: formant ramps (raised cosine, geometric for levels).
    void advanceFormantRamps();
    // Per block: amplitude ramp, linear (Spectral model) or raised cosine.
    void advanceAmplitudeRamp(bool linear);

    // ---- slot table ----
    int part = -1;         // owning part, -1 when free
    int silence = 10000;   // 0 after a loud block, +4 per quiet block; skipped above 1000
    int pending = 0;       // note start or spectral target waiting for the control step

    // ---- voice record ----
    CXRamp formantFrequency[kFormants], formantBandwidth[kFormants], formantLevel[kFormants];
    CXRamp amplitude;
    int falling = 0;

    float notePitch = 0;      // pitch value written at note start (offset from A4 on the pitch scale)
    float bentPitch = 0;      // after pitch bend
    float pitch = 0;          // working pitch P0 of the block
    float previousPitch = 0;  // working pitch before the note started (glides)
    int note = 0, gate = 0, legato = 0;
    int sounded = 0;          // the slot has started a note before

    CXModulationInputs modulation;  // keytrack, velocity, pressure, wheel, velocity gain
    float velocityGainTarget = 1, velocityGain = 1;
    float baseLevel = 0;
    float harmonicLevel = 0, harmonicIncrement = 0;
    float noiseLevel = 0, noiseIncrement = 0;

    CXLFO vibrato, trill;
    float trillAmount = 0, trillRate = 0;
    float vibratoRate = 0, vibratoDepth = 0;
    float tremolo = 0, tremoloDepth = 0;
    float humanPhase[3] = {0, 0, 0};
    float brightness = 0, brightnessOffset = 0;
    int brightnessIgnoresVibrato = 0;

    float band[kSpectralBands] = {};
    int spectralFlag = 0, targetFlag = 0;

    float harmonicOffset[kHarmonics] = {};
    uint32_t ensemblePhase[kHarmonics] = {};
    float noiseGainA[kHarmonics] = {};
    float noiseGainB[kHarmonics] = {};

    int breathMode = 0, breathState = kBreathFade, clickCounter = 0;
    float crossfadePhase = 3.14159265f, crossfadeIncrement = 0;
    float fadePhase = 3.14159265f, fadeIncrement = 0;
    float levelA = 0, levelB = 0;
    int hold = 0;
    float envelope = 0, decay = 0;

    float energy = 0;  // sum of squared harmonic amplitudes of the block (AGC)

    // Formants of the block after scaling, neutralisation and limits (Hz),
    // their levels and the terms of each resonator's power response
    // g2 / (d0 + d1 cos w + d2 cos 2w).
    float formantHz[kFormants] = {}, formantWidth[kFormants] = {}, formantGain[kFormants] = {};
    float responseG2[kFormants] = {}, responseD0[kFormants] = {}, responseD1[kFormants] = {},
          responseD2[kFormants] = {};
    float pan = 0.5f;  // J: right share of the harmonics

    // The noise spectra's formant sum per bin and what it was computed from
    // (formants 0..7: g2, d0, d1, d2, level; then the noise power exponent):
    // reused while none of these changes.
    float noiseFormantSum[kHarmonics] = {};
    float noiseFormantKey[5 * 8 + 1] = {};
    bool noiseFormantValid = false;

    // ---- render state ----
    CXPartial partials[kPartialRecords];
    float noiseA[kNoiseBlock] = {}, noiseB[kNoiseBlock] = {};
    int noiseRead = 0;
    float fundamentalFrequency = 0, fundamentalPhase = 0;
};
