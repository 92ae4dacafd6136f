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

void CBiQuad::processStereo(CBiQuad& left, CBiQuad& right, float* x, int frames) {
    const bool settledL = left.settle(), settledR = right.settle();
    const float* c = left.current;
    const float* d = right.current;
    const bool flatL = c[0] == 1 && c[1] == c[3] && c[2] == c[4];
    const bool flatR = d[0] == 1 && d[1] == d[3] && d[2] == d[4];
    if (!settledL || !settledR || flatL || flatR) {
        left.processBlock(x, frames, 2);
        right.processBlock(x + 1, frames, 2);
        return;
    }
    // Two independent recursions side by side: each waits on its own last
    // output only, so they overlap.
    const float b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[3], a2 = c[4];
    const float e0 = d[0], e1 = d[1], e2 = d[2], f1 = d[3], f2 = d[4];
    float p1 = left.x1, p2 = left.x2, q1 = left.y1, q2 = left.y2;
    float r1 = right.x1, r2 = right.x2, s1 = right.y1, s2 = right.y2;
    for (int n = 0; n < frames; ++n) {
        float inL = x[2 * n], inR = x[2 * n + 1];
        float yl = b0 * inL + b1 * p1 + b2 * p2 - a1 * q1 - a2 * q2 + 1e-11f;
        float yr = e0 * inR + e1 * r1 + e2 * r2 - f1 * s1 - f2 * s2 + 1e-11f;
        p2 = p1, p1 = inL, q2 = q1, q1 = yl;
        r2 = r1, r1 = inR, s2 = s1, s1 = yr;
        x[2 * n] = yl;
        x[2 * n + 1] = yr;
    }
    left.x1 = p1, left.x2 = p2, left.y1 = q1, left.y2 = q2;
    right.x1 = r1, right.x2 = r2, right.y1 = s1, right.y2 = s2;
}
