#include "engine/random_source.h"

#include <cmath>
#include <cstdlib>

CXRandomSource::CXRandomSource() {
    // An odd seed keeps the multiplicative generator off its zero cycle.
    state = (uint32_t(std::rand() & 0x7FFF) << 1) | 1u;
}

void CXRandomSource::setup(int m, double fc, double bandwidth, double d) {
    mode = m;
    if (fc <= 0) return;
    const double pi = 3.14159265358979323846;
    double r = std::exp(-pi * bandwidth / rate);
    c1 = 2 * r * std::cos(2 * pi * fc / rate);
    c2 = std::exp(-2 * pi * bandwidth / rate);
    gain = d * 660 / fc * (1 - c1 + c2);
}
