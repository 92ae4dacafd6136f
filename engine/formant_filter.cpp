#include "engine/formant_filter.h"

void CXFormantFilter::set(float hz, float bandwidth, float gain) {
    if (!curves) return;
    float n0, n1, n2;
    if (mode == 1) {
        n0 = curves->notchA(bandwidth);
        n1 = curves->notchB(bandwidth);
        n2 = curves->notchCosine(hz);
    } else {
        float radius = curves->resonatorRadius(bandwidth);
        float c2 = 2 * curves->resonatorCosine(hz) * radius;
        float r2 = radius * radius;
        n0 = gain * curves->resonatorGain(hz) * (r2 + 1 - c2);
        n1 = c2;
        n2 = r2;
    }
    d0 = (n0 - c0) * rampFactor;
    d1 = (n1 - c1) * rampFactor;
    d2 = (n2 - c2) * rampFactor;
    t0 = n0;
    t1 = n1;
    t2 = n2;
    remaining = rampFactor > 0 ? int(1.0f / rampFactor + 0.5f) : 1;
}
