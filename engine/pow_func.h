// x^p by table for 0 <= x < 1023/1024 (linear interpolation), computed
// directly elsewhere. Shapes the formant responses of the Spectral model.
#pragma once

#include <cmath>

class CPowFunc {
public:
    static constexpr int kSize = 1024;

    CPowFunc() { setExponent(1.0f); }
    void setExponent(float p);
    float exponent() const { return power; }

    // Inline: the harmonic loop calls it nine times per harmonic.
    float value(float x) const {
        float t = x * kSize;
        if (t >= 0.0f && t < float(kSize - 1)) {
            int i = int(t);
            float f = t - float(i);
            return table[i] + f * (table[i + 1] - table[i]);
        }
        if (x <= 0.0f) return x == 0.0f && power <= 0 ? 1.0f : 0.0f;
        return std::pow(x, power);
    }

    // The table (kSize + 1 values), for vectorised lookups that take value()
    // for inputs outside the table.
    const float* data() const { return table; }

private:
    float power = 1;
    float table[kSize + 1];
};
