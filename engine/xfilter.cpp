#include "engine/xfilter.h"

#include <algorithm>

namespace {
constexpr float kTwoPi = 6.2831853f;
// The one-pole forms are tuned at twice 44.1 kHz and kept at every rate.
constexpr float kTwiceRate = 88200.0f;
}  // namespace

void CXFilter::set(float cutoff, float, float z) {
    float n0 = 0, n1 = 0, n2 = 0;
    if (mode == 0 || mode == 1) {
        float w = kTwoPi * std::min(std::max(cutoff, 0.0f), 20000.0f);
        float e = 1.0f / (w + kTwiceRate);
        if (mode == 0) {
            n0 = w * e * z;
            n1 = w * e;
        } else {
            n0 = kTwiceRate * e;
            n1 = -kTwiceRate * e;
        }
        n2 = e * (kTwiceRate - w);
    } else if (mode == 2 && curves) {
        float v = std::min(cutoff, 1.0f);
        n0 = curves->butterworthA0(v);
        n1 = curves->butterworthNegA1(v);
        n2 = curves->butterworthNegA2(v);
    }
    glideTo(n0, n1, n2);
}
