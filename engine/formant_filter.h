// A formant resonator (mode 0: two-pole resonance with zeros at 0 Hz and the
// Nyquist frequency) or anti-resonance (mode 1: second-order notch with unity
// gain away from the notch). Coefficients come from the generated tables and
// glide to new values over one engine block.
#pragma once

#include "engine/gen/tl_parameter.h"
#include "engine/modul_base.h"

class CXFormantFilter : public CXGlidingFilter {
public:
    explicit CXFormantFilter(const CTLParameter* tables = nullptr) : curves(tables) {}
    void setTables(const CTLParameter* tables) { curves = tables; }

    // Centre frequency and bandwidth in Hz; gain is ignored by the notch.
    void set(float hz, float bandwidth, float gain);
    float process(float x) override {
        glide();
        if (mode == 0) {
            float s = c0 * x;
            float y = s - s2 + c1 * y1 - c2 * y2;
            s2 = s1;
            s1 = s;
            y2 = y1;
            y1 = y;
            return y;
        }
        if (mode == 1) {
            float s = c0 * x;
            float y = s - c2 * s1 + s2 + c0 * c2 * y1 - c1 * y2;
            s2 = s1;
            s1 = s;
            y2 = y1;
            y1 = y;
            return y;
        }
        return 0;
    }
    void clear() override { s1 = s2 = y1 = y2 = 0; }

private:
    const CTLParameter* curves;
    float s1 = 0, s2 = 0, y1 = 0, y2 = 0;
};
