#include "engine/gen/tl_shapes.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Linear below the knee k, a parabola that meets +-1 with zero slope above.
double knee(double u, double k) {
    double a = std::fabs(u);
    if (a > 1) a = 1;
    double y = a < k ? a * 2 / (1 + k) : 1 - (1 - a) * (1 - a) / (1 - k * k);
    return u < 0 ? -y : y;
}

double chebyshev(double u, const double* a, int n) {
    if (u > 1) u = 1;
    if (u < -1) u = -1;
    double t0 = 1, t1 = u, sum = a[0] + (n > 1 ? a[1] * u : 0);
    for (int i = 2; i < n; ++i) {
        double t2 = 2 * u * t1 - t0;
        sum += a[i] * t2;
        t0 = t1;
        t1 = t2;
    }
    return sum;
}

}  // namespace

CTLShapes::CTLShapes() {
    const double h = 1.0 / 2048;
    shapes[0].build(kSegments, -1.0, h, true, [](double u) { return knee(u, 0.5); });
    shapes[1].build(kSegments, -1.0, h, true, [](double u) { return knee(u, 0.99); });
    shapes[2].build(kSegments, -1.0, h, true, [](double u) { return std::sin(kPi * u / 2) * (0.9 - 0.1 * u); });
    static const double a[9] = {0.19, 1, 0.08, -0.1, -0.06, 0.06, 0.03, -0.05, -0.02};
    static const double b[11] = {0.34, 1, 0.1, 0, -0.08, 0, 0.06, 0, -0.05, 0, 0.05};
    shapes[3].build(kSegments, -1.0, h, true, [](double u) { return chebyshev(u, a, 9); });
    shapes[4].build(kSegments, -1.0, h, true, [](double u) { return chebyshev(u, b, 11); });
}
