// Block-rate modulators of a voice slot (vibrato and trill oscillators) and
// the modulation sources that voice entries can select.
#pragma once

#include <cstdint>

#include "engine/gen/tl_lfo_waves.h"
#include "engine/gen/tl_parameter.h"

// One block-rate oscillator: 24-bit phase, per-block increment, value.
class CXLFO {
public:
    // Advances one block at rate r (0..1 on the LFO rate curve) with wave w.
    void advance(const CTLParameter& curves, const CTLLFOWaves& waves, int w, float r) {
        increment = uint32_t(curves.lfoIncrement(r));
        phase = (phase + increment) & 0xFFFFFFu;
        value = waves.value(w, phase);
    }

    uint32_t phase = 0;
    uint32_t increment = 0;
    float value = 0;
};

// What a modulation source reads from a voice slot and its part.
struct CXModulationInputs {
    float keytrack = 0;     // clamp((note - 33) / 72, 0, 1)
    float velocity = 0;     // note velocity / 127
    float pressure = 0;     // aftertouch / 127
    float modWheel = 0;     // voice entry 23
    float velocityGain = 1; // smoothed velocity gain (entry 25's "Velocity")
};

// Source values of the modulation-source lists: 0 off, 1 keytrack,
// 2 velocity, 3 aftertouch, 4 mod wheel, 5..8 their complements. `smoothedVelocity` selects the
// smoothed velocity gain for source 2. Unknown selectors mean off (0).
float modulationSource(int selector, const CXModulationInputs& in, bool smoothedVelocity = false);
