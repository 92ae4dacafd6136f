// A formant resonator (mode 0: two-pole resonance with zeros at 0 Hz and the
// Nyquist frequency) or anti-resonance (mode 1: second-order notch with unity
// gain away from the notch). Coefficients come from the generated tables and
// glide to new values over one engine block.
#pragma once

#include "engine/gen/tl_parameter.h"
#include "engine/modul_base.h"

class CXFormantFilter : public CXModulBase {
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

    // Current coefficients: mode 0 (g, b1, b2); mode 1 (A, B, Cn).
    float c0 = 0, c1 = 0, c2 = 0;
    float d0 = 0, d1 = 0, d2 = 0;
    float t0 = 0, t1 = 0, t2 = 0;  // the values the glide ends on
    int remaining = 0;               // samples left in the glide

private:
    // One step of the coefficient glide; the last step lands exactly on the
    // targets instead of on the sum of rounded increments, and the glide
    // stops there.
    void glide() {
        if (remaining <= 0) return;
        if (--remaining == 0) {
            c0 = t0;
            c1 = t1;
            c2 = t2;
            return;
        }
        c0 += d0;
        c1 += d1;
        c2 += d2;
    }
    const CTLParameter* curves;
    float s1 = 0, s2 = 0, y1 = 0, y2 = 0;
};
