#include "engine/pow_func.h"

#include <cmath>

void CPowFunc::setExponent(float p) {
    power = p;
    for (int i = 0; i <= kSize; ++i) table[i] = float(std::pow(double(i) / kSize, double(p)));
}

