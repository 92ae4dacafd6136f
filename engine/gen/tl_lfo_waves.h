// Modulator waves over a 24-bit phase (256 segments of 65536 phase units)
// and the random wave over a 31-bit phase (32768 segments).
#pragma once

#include <cstdint>

#include "engine/gen/tl_base.h"

class CTLLFOWaves {
public:
    static constexpr int kWaves = 6;
    static constexpr int kRandomWave = 5;

    CTLLFOWaves();

    // Wave 0..5 at a 24-bit phase. Wave value 6 of the menu ("Random") reads
    // the random wave as well; out-of-range waves read the sine.
    float value(int wave, uint32_t phase24) const;
    // The random wave at a 31-bit phase (ensemble modulation).
    float random(uint32_t phase31) const {
        phase31 &= 0x7FFFFFFFu;
        return randomWave.at(int(phase31 >> 16), float(phase31) * (1.0f / 65536.0f));
    }

private:
    CTLBase waves[kWaves - 1];
    CTLBase randomWave;
};
