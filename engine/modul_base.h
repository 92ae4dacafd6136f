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
