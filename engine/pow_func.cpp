#include "engine/pow_func.h"

#include <cmath>

void CPowFunc::setExponent(float p) {
    power = p;
    for (int i = 0; i <= kSize; ++i) table[i] = float(std::pow(double(i) / kSize, double(p)));
}

float CPowFunc::value(float x) const {
    float t = x * kSize;
    if (t >= 0.0f && t < float(kSize - 1)) {
        int i = int(t);
        float f = t - float(i);
        return table[i] + f * (table[i + 1] - table[i]);
    }
    if (x <= 0.0f) return x == 0.0f ? (power > 0 ? 0.0f : 1.0f) : 0.0f;
    return std::pow(x, power);
}
