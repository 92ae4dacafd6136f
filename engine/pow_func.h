// x^p by table for 0 <= x < 1023/1024 (linear interpolation), computed
// directly elsewhere. Shapes the formant responses of the Spectral model.
#pragma once

class CPowFunc {
public:
    static constexpr int kSize = 1024;

    CPowFunc() { setExponent(1.0f); }
    void setExponent(float p);
    float exponent() const { return power; }

    float value(float x) const;

private:
    float power = 1;
    float table[kSize + 1];
};
