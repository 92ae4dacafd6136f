#include "engine/biquad.h"

#include <cmath>

void CBiQuad::setCoefficients(int type, float gainDb, float hz, float rate, float octaves) {
    if (!(rate > 0) || !std::isfinite(gainDb) || !std::isfinite(hz) || !std::isfinite(octaves)) return;
    // A band at or above the Nyquist frequency has no meaning; keep it below.
    double f = hz < 1 ? 1 : hz;
    if (f > 0.45 * rate) f = 0.45 * rate;
    double A = std::pow(10.0, gainDb / 40.0);
    double w = 2 * 3.14159265358979323846 * f / rate;
    double cw = std::cos(w), sw = std::sin(w);
    double bw = octaves > 0.001f ? octaves : 0.001;
    double alpha = sw * std::sinh(std::log(2.0) / 2 * bw * w / sw);
    double b0, b1, b2, a0, a1, a2;
    if (type == kLowShelf || type == kHighShelf) {
        // Shelf slope 1: 2 sqrt(A) alpha becomes sqrt(2A) sin w.
        double s = std::sqrt(2 * A) * sw;
        double sign = type == kLowShelf ? 1 : -1;
        b0 = A * ((A + 1) - sign * (A - 1) * cw + s);
        b1 = sign * 2 * A * ((A - 1) - sign * (A + 1) * cw);
        b2 = A * ((A + 1) - sign * (A - 1) * cw - s);
        a0 = (A + 1) + sign * (A - 1) * cw + s;
        a1 = -sign * 2 * ((A - 1) + sign * (A + 1) * cw);
        a2 = (A + 1) + sign * (A - 1) * cw - s;
    } else {
        b0 = 1 + alpha * A;
        b1 = -2 * cw;
        b2 = 1 - alpha * A;
        a0 = 1 + alpha / A;
        a1 = -2 * cw;
        a2 = 1 - alpha / A;
    }
    target[0] = float(b0 / a0);
    target[1] = float(b1 / a0);
    target[2] = float(b2 / a0);
    target[3] = float(a1 / a0);
    target[4] = float(a2 / a0);
}

void CBiQuad::copyCoefficients(const CBiQuad& other) {
    for (int i = 0; i < 5; ++i) target[i] = other.target[i];
}

bool CBiQuad::settle() {
    if (std::fabs(k - 0.005f) > 1e-7f) return false;
    for (int i = 0; i < 5; ++i)
        if (std::fabs(target[i] - current[i]) > 1e-7f) return false;
    for (int i = 0; i < 5; ++i) current[i] = target[i];
    return true;
}

void CBiQuad::processBlock(float* x, int frames, int stride) {
    if (!settle()) {
        for (int n = 0; n < frames; ++n) x[n * stride] = process(x[n * stride]);
        return;
    }
    const float b0 = current[0], b1 = current[1], b2 = current[2], a1 = current[3], a2 = current[4];
    if (b0 == 1 && b1 == a1 && b2 == a2) {
        // A flat band: its output equals its input; keep the memories in step.
        if (frames >= 2) {
            x2 = y2 = x[(frames - 2) * stride];
            x1 = y1 = x[(frames - 1) * stride];
        }
        return;
    }
    float p1 = x1, p2 = x2, q1 = y1, q2 = y2;
    for (int n = 0; n < frames; ++n) {
        float in = x[n * stride];
        float y = b0 * in + b1 * p1 + b2 * p2 - a1 * q1 - a2 * q2 + 1e-11f;
        p2 = p1;
        p1 = in;
        q2 = q1;
        q1 = y;
        x[n * stride] = y;
    }
    x1 = p1;
    x2 = p2;
    y1 = q1;
    y2 = q2;
}
