// The Time model of one part: an oscillator (or a detuned bank for a choir)
// through the glottal resonator pair, the breath noise, eight parallel
// formant resonators and three tone filters. Set up once per block from the
// voice slot's ramps and the part's parameters, then run per frame.
//
// The resonator, random-source and one-pole constants are those of 44.1 kHz;
// at other rates pitch and filter frequencies are rescaled so a part sounds
// the same in Hz as it does at 44.1 kHz.
#pragma once

#include "engine/formant_filter.h"
#include "engine/oscillator.h"
#include "engine/xfilter.h"

class CEngine;

class CXSynthEngine {
public:
    static constexpr int kFormants = 10;

    CXSynthEngine();
    void setTables(const CTLParameter* curves, const CTLWaves* waves);

    // Per block, after the slot's voice step: oscillator, filter and
    // formant targets.
    void setup(CEngine& e, int part, int slot);
    // One block of frames into the part buffer (overwritten).
    void render(CEngine& e, int part, int slot);
    // Oscillator phases and filter memories.
    void clear();

    CXOscillator osc;
    CXOscillatorBank bank;
    CXFormantFilter formant[kFormants];
    CXFilter glottal, highPass, cutoff;

    int choir = 1;  // oscillators sounding: 1 the single oscillator, 2..16 the bank
    float sourceLevel = 0, sourceIncrement = 0;
    float formantHz[kFormants] = {};  // resonator centres of the block (Hz at any rate)

private:
    void setRate(int rate);
    int rate = 0;
    float rateScale = 1;   // 44100 / rate: filter frequencies as the 44.1 kHz tables read them
    float pitchShift = 0;  // log2(44100 / rate) / 16: the same pitch in Hz
};
