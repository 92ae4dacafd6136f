// Band-limited sawtooth tables of the time-domain oscillator: 16 tables of
// 512 segments over one cycle (zero mean, peak 1). Table 0 is the naive
// ramp, tables 1..15 additive sawtooths with 192 .. 1 harmonics. The band
// table picks the richest table that stays below the Nyquist frequency
// for a phase increment.
#pragma once

#include <cstdint>

#include "engine/gen/tl_base.h"

class CTLWaves {
public:
    static constexpr int kTables = 16;
    static constexpr int kSegments = 512;
    static constexpr int kHarmonics[kTables] = {0, 192, 128, 96, 64, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2, 1};

    CTLWaves();

    const CTLBase& table(int i) const { return tables[(i < 0 || i >= kTables) ? 0 : i]; }
    // Table for a 25-bit phase increment (k = 512 f / rate = its high byte).
    static int bandOf(int32_t increment);

private:
    CTLBase tables[kTables];
};

// The process's tables, built on first use (at engine construction).
const CTLWaves& oscillatorWaves();
