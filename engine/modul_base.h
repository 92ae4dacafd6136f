// Base of the per-sample engine modules: a mode and a coefficient ramp
// factor (coefficients glide to new values over one engine block).
#pragma once

class CXModulBase {
public:
    virtual ~CXModulBase() = default;
    virtual void init(int m, float ramp) {
        mode = m;
        rampFactor = ramp;
    }
    virtual float process(float x) = 0;
    virtual void clear() = 0;

    int mode = 0;
    float rampFactor = 1.0f / 256;
};

// A second-order filter module whose three coefficients glide linearly to
// new values over one engine block.
class CXGlidingFilter : public CXModulBase {
public:
    // Current coefficients and their glide.
    float c0 = 0, c1 = 0, c2 = 0;
    float d0 = 0, d1 = 0, d2 = 0;
    float t0 = 0, t1 = 0, t2 = 0;  // the values the glide ends on
    int remaining = 0;               // samples left in the glide

protected:
    void glideTo(float n0, float n1, float n2) {
        d0 = (n0 - c0) * rampFactor;
        d1 = (n1 - c1) * rampFactor;
        d2 = (n2 - c2) * rampFactor;
        t0 = n0;
        t1 = n1;
        t2 = n2;
        remaining = rampFactor > 0 ? int(1.0f / rampFactor + 0.5f) : 1;
    }
    // One step of the glide; the last step lands exactly on the targets
    // instead of on the sum of rounded increments, and the glide stops there.
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
};
