// The tone filter: one-pole low-pass (mode 0), one-pole high-pass (mode 1) or
// two-pole Butterworth low-pass (mode 2, cutoff as v = 0..1 over 20 Hz ..
// 20480 Hz). Coefficients glide to new values over one engine block.
#pragma once

#include "engine/gen/tl_parameter.h"
#include "engine/modul_base.h"

class CXFilter : public CXGlidingFilter {
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

private:
    const CTLParameter* curves;
    float x1 = 0, y1 = 0, u1 = 0, u2 = 0;
};
