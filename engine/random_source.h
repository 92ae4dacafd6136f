// A band-limited random signal: white noise from a multiplicative generator
// through a two-pole resonator. The oscillator's period jitter and shimmer
// read one value per sample.
#pragma once

#include <cstdint>

#include "engine/modul_base.h"

class CXRandomSource : public CXModulBase {
public:
    // Seeds the generator from the runtime's 15-bit random numbers.
    CXRandomSource();

    // Mode 0: filtered noise; any other mode is silent. Centre frequency and
    // bandwidth in Hz, d scales the output. A centre frequency <= 0 keeps the
    // previous coefficients.
    void setup(int mode, double fc, double bandwidth, double d);
    // The rate the coefficients are computed for (44100 unless corrected).
    void setRate(double r) { rate = r > 0 ? r : 44100; }

    double next() {
        if (mode != 0) return 0;
        double w = gain * double(int32_t(state)) * (1.0 / 2147483648.0);
        state *= 69069u;
        double y = w - w2 + c1 * y1 - c2 * y2;
        w2 = w1;
        w1 = w;
        y2 = y1;
        y1 = y;
        return y;
    }
    float process(float) override { return float(next()); }
    void clear() override { w1 = w2 = y1 = y2 = 0; }

    uint32_t state = 1;
    double gain = 0, c1 = 0, c2 = 0;
    double rate = 44100;

private:
    double w1 = 0, w2 = 0, y1 = 0, y2 = 0;
};
