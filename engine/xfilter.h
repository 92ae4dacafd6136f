// The tone filter: one-pole low-pass (mode 0), one-pole high-pass (mode 1) or
// two-pole Butterworth low-pass (mode 2, cutoff as v = 0..1 over 20 Hz ..
// 20480 Hz). Coefficients glide to new values over one engine block.
#pragma once

#include "engine/gen/tl_parameter.h"
#include "engine/modul_base.h"

class CXFilter : public CXModulBase {
public:
    explicit CXFilter(const CTLParameter* tables = nullptr) : curves(tables) {}
    void setTables(const CTLParameter* tables) { curves = tables; }

    // Modes 0 and 1: cutoff in Hz, z weights the direct input of the
    // low-pass. Mode 2: cutoff is v (at most 1). The middle value is unused.
    void set(float cutoff, float unused, float z);
    float process(float x) override {
        glide();
        if (mode == 0 || mode == 1) {
            float y = x * c0 + x1 * c1 + y1 * c2;
            x1 = x;
            y1 = y;
            return y;
        }
        if (mode == 2) {
            float u = c0 * x + c1 * u1 + c2 * u2;
            float y = u + 2 * u1 + u2;
            u2 = u1;
            u1 = u;
            return y;
        }
        return 0;
    }
    void clear() override { x1 = y1 = u1 = u2 = 0; }

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
    float x1 = 0, y1 = 0, u1 = 0, u2 = 0;
};
