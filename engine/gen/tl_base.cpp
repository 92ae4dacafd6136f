#include <cstddef>
#include "engine/gen/tl_base.h"

void CTLBase::begin(int n, double x0v, double hv) {
    if (n < 1) n = 1;
    seg.assign(size_t(2 * n), 0.0f);  // same size on rebuilds: no new memory
    last = n - 1;
    x0f = float(x0v);
    scale = float(1.0 / hv);
}

void CTLBase::set(int j, double slope, double offset) {
    seg[size_t(2 * j)] = float(slope);
    seg[size_t(2 * j + 1)] = float(offset);
}

void CTLBase::setLine(int j, double a, double b) {
    double slope = b - a;
    set(j, slope, a - j * slope);
}
