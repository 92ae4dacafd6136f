// One part of the choir inside the engine: its parameter blocks, mixer
// strip, buffers, equaliser, power curves, source spectrum and the values
// the sequencer delivers for the sounding note.
#pragma once

#include <cstdint>

#include "engine/biquad.h"
#include "engine/effects.h"
#include "engine/fractal_noise.h"
#include "engine/partial_renderer.h"
#include "engine/pow_func.h"
#include "engine/resynator.h"

constexpr int kPartParams = 512;

// Note lanes as the sequencer samples them for the current block.
enum { kLaneVolume = 0, kLaneTension, kLaneBreath, kLaneOpen, kLaneVibrato, kLanes };

// The three EQ bands and their filters (left filters 0..2, right 3..5).
enum { kEQLow = 0, kEQMid = 1, kEQHigh = 2 };

struct CXPart {
    explicit CXPart(uint32_t seed = 1) : drift(seed) {}

    int active = 0;  // produced sound recently; only active parts are rendered
    int busy = 0;    // program being replaced: neither rendered nor mixed
    int link = -1;   // the part itself when it owns a voice slot, else -1

    // Signal of the block, 256 interleaved stereo frames each.
    alignas(16) float buffer[2 * kRenderFrames] = {};
    alignas(16) float breath[2 * kRenderFrames] = {};
    CXLaneBuffer lanes = {};
    int cleared = 0;  // buffers cleared in this block

    float levelFollower = 0;
    float peak = 0;    // largest squared output sample since the meter read it
    float energy = 0;  // sum of squared samples after EQ and breath, this block

    // Voice parameters in engine units, indexed like the voice entries.
    // The parameter interface writes `target` (and `current` for entries
    // that are not smoothed); the control step moves the smoothed entries
    // of `current` 5 % toward `target` per block.
    float target[kPartParams] = {};
    float current[kPartParams] = {};

    // Mixer strip in engine units. Level, pan and reverb send are smoothed
    // toward their targets; pan 1.0 is full left.
    float levelTarget = 0, level = 0;
    float panTarget = 0.5f, pan = 0.5f;
    float reverbSendTarget = 0, reverbSend = 0;
    float chorusSend = 0;
    int outputBus = 0;
    int voiceCount = 1;  // requested voice slots
    int mute = 0, solo = 0;

    // Equaliser: the parameter interface sets eqUpdate[band] after a change
    // of entries 65..68 or 75..77; the next control step rebuilds the band
    // from the target entries.
    CBiQuad eq[6];
    int eqUpdate[3] = {1, 1, 1};

    CPowFunc harmonicPower, noisePower;  // exponents 2v+0.5 and 4v+0.5 of entry 62
    CFractalNoise drift;
    CResynator spectrum;       // the active source spectrum
    CResynator spectra[3];     // kept for editing and morphing
    uint32_t noiseState = 1;   // white-noise generator of the noise synthesis

    // Noise transfer (0..47, entries 208..255) and glottal filter curve
    // (48..95, entries 256..303) as gains 1000^(v - 1).
    float bandLevel[96] = {};

    // Effective note settings (the sequencer sets them before each formant
    // target), the formant-frequency scale of the phoneme set and the
    // sounding note's lanes and pitch curve (semitones, glide included).
    float gender = 0.5f, balance = 0.5f, breathAmount = 0;
    float formantScale = 1;
    float glideLength = 0;
    float lane[kLanes] = {1, 0, 1, 0, 0};
    float pitchCurve = 0;
    float pressure = 0;  // aftertouch 0..1

    float smoothing = 1;  // 1 after a reset or note start: jump to targets

    int voiceModel() const { return int(current[78] + 0.5f) == 1 ? 1 : 0; }

    CXPartEffects effects;
};
