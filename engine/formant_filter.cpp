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
    glideTo(n0, n1, n2);
}
