// The vector harmonic loop, W lanes wide, written with the compiler's vector
// types. Each vector translation unit includes this file inside its own
// anonymous namespace and compiles it for its instruction set, so the
// instantiations never merge across units. The lanes repeat the scalar
// reference's operations in the same order; only cos is a polynomial.
// Before including: LYRENA_HL_WIDTH; each unit then defines the lane helpers
// gather() and gatherPair() (table reads by index) and anyLane() (whether
// any mask lane is set).
#pragma once

#include "engine/harmonic_levels.h"

constexpr int W = LYRENA_HL_WIDTH;
typedef float F __attribute__((vector_size(4 * W)));
typedef int I __attribute__((vector_size(4 * W)));

inline F gather(const float* table, I index);
// table[index] and table[index + 1].
inline void gatherPair(const float* table, I index, F& lo, F& hi);
inline bool anyLane(I mask);

inline F splat(float x) { return F{} + x; }
inline F select(I mask, F a, F b) { return (F)(((I)a & mask) | ((I)b & ~mask)); }
inline F maxF(F a, F b) { return select(a > b, a, b); }  // b where a is NaN
inline F minF(F a, F b) { return select(a < b, a, b); }
inline I toInt(F x) { return __builtin_convertvector(x, I); }  // truncates
inline F toFloat(I x) { return __builtin_convertvector(x, F); }

// CTLBase::lookup, lane by lane.
inline F lookup(const CXHarmonicFrame::Curve& t, F x) {
    F u = (x - t.origin) * t.scale;
    F clamped = minF(maxF(u, splat(0.0f)), splat(t.last));
    F slope, offset;
    gatherPair(t.segments, toInt(clamped) * 2, slope, offset);
    return u * slope + offset;
}

// CPowFunc::value of t = x * kSize; lanes of `use` outside the table take
// the function itself.
inline F powerValue(const CXHarmonicFrame& h, F t, I use) {
    I inTable = (t >= 0.0f) & (t < float(CPowFunc::kSize - 1));
    I i = toInt(select(inTable, t, splat(0.0f)));
    F frac = t - toFloat(i);
    F lo, hi;
    gatherPair(h.powerTable, i, lo, hi);
    F v = lo + frac * (hi - lo);
    I slow = use & ~inTable;
    if (anyLane(slow))
        for (int j = 0; j < W; ++j)
            if (slow[j]) v[j] = harmonicPower(*h.power, t[j] * (1.0f / CPowFunc::kSize));
    return v;
}

// cos(w) for w in [0, pi]: folded to [0, pi/2] (pi in two parts, so the fold
// adds no error of its own), then the Taylor terms to w^14.
inline F cosine(F w) {
    constexpr float kPiHi = 3.14159274f, kPiLo = -8.74227766e-8f, kHalfPi = 1.57079637f;
    I big = w > kHalfPi;
    F u = select(big, (kPiHi - w) + kPiLo, w);
    F u2 = u * u;
    F r = splat(-1.0f / 87178291200.0f);
    r = r * u2 + 1.0f / 479001600.0f;
    r = r * u2 - 1.0f / 3628800.0f;
    r = r * u2 + 1.0f / 40320.0f;
    r = r * u2 - 1.0f / 720.0f;
    r = r * u2 + 1.0f / 24.0f;
    r = r * u2 - 0.5f;
    r = r * u2 + 1.0f;
    return select(big, -r, r);
}

struct Lanes {
    F pitch, sourceLevel, bandLevel;
    I first;  // the fundamental (no loudness tilt)
};

inline void harmonicLanes(const CXHarmonicFrame& h, const Lanes& in, F& frequency, F& level) {
    constexpr float kPi = 3.14159265f;
    const F zero = splat(0.0f), one = splat(1.0f);
    F f = lookup(h.frequencyCurve, in.pitch);
    F hz = f * h.rate * 0.5f;

    // Spectral tilt by tension and loudness, branch-free.
    const float ts = h.tension, bt = h.loudness;
    F tilt = select(hz < 500.0f, -0.0004f * ts * (500.0f - hz),
                    select(hz < 3500.0f, 0.00005f * ts * (hz - 500.0f),
                           select(hz < 4500.0f, 0.15f * ts + 0.00015f * ts * (3500.0f - hz), splat(0.0499f * ts))));
    tilt -= 0.15f;
    F bend = select((hz >= 400.0f) & (hz < 4000.0f), splat(0.8f * bt),
                    select((hz >= 4000.0f) & (hz < 6000.0f), splat(0.3f * bt), select(hz >= 6000.0f, splat(-bt), zero)));
    tilt = select(in.first, tilt, tilt + bend);

    const float bw = h.brightness;
    F lv = in.sourceLevel * bw + in.bandLevel + 0.15f * (bw - 1) + 0.1f + tilt;
    F a = lookup(h.gainCurve, lv);

    // Formant resonances at cos w and cos 2w (8 is the anti-resonance).
    F c1 = cosine(kPi * f);
    F c2 = 2.0f * c1 * c1 - 1.0f;
    F sum = zero, notch = one;
    const float size = float(CPowFunc::kSize);
    for (int k = 0; k < 10; ++k) {
        F den = h.d0[k] + h.d1[k] * c1 + h.d2[k] * c2;
        I pos = den > 0.0f;
        // (g2 / den) * kSize, exactly: the scale is a power of two.
        F t = (h.g2[k] * size) / select(pos, den, one);
        F val = powerValue(h, t, pos);
        const float g = h.formantGain[k];
        if (k == 8)
            notch = select(pos, maxF(1.0f - val * (1.0f - g), zero), one);
        else
            sum += select(pos, g * val, splat(g));
    }
    a *= sum * notch;

    // Glottal filter curve over the 48 bands.
    F x = (in.pitch - 0.5f) * 96.0f;
    F xc = minF(maxF(x, splat(-1.0f)), splat(48.0f));  // keeps the integer conversion in range
    F fl = toFloat(toInt(xc));
    fl = select(fl > xc, fl - 1.0f, fl);
    F b = minF(maxF(fl, zero), splat(47.0f));
    F frac = minF(maxF(x - b, zero), one);
    I bi = toInt(b);
    F lo = gather(h.glottal, bi);
    F hi = gather(h.glottal, bi + ((b < 47.0f) & 1));
    F curve = select(b < 47.0f, lo + frac * (hi - lo), lo);
    frequency = f;
    level = a * curve;
}

inline void harmonicLevelsVector(const CXHarmonicFrame& h) {
    const int count = h.count;
    int i = 0;
    for (; i + W <= count; i += W) {
        Lanes in;
        I n, band;
        __builtin_memcpy(&in.pitch, h.pitch + i, sizeof(F));
        __builtin_memcpy(&n, h.number + i, sizeof(I));
        __builtin_memcpy(&band, h.band + i, sizeof(I));
        in.sourceLevel = gather(h.sourceLevel, n);
        in.bandLevel = gather(h.bandLevel, band);
        in.first = n <= 1;
        F f, a;
        harmonicLanes(h, in, f, a);
        __builtin_memcpy(h.frequencyOut + i, &f, sizeof(F));
        __builtin_memcpy(h.levelOut + i, &a, sizeof(F));
    }
    if (i == count) return;
    // The last group repeats its last harmonic in the unused lanes.
    Lanes in = {};
    for (int j = 0; j < W; ++j) {
        const int at = i + j < count ? i + j : count - 1;
        const int n = h.number[at];
        in.pitch[j] = h.pitch[at];
        in.sourceLevel[j] = h.sourceLevel[n];
        in.bandLevel[j] = h.bandLevel[h.band[at]];
        in.first[j] = n > 1 ? 0 : -1;
    }
    F f, a;
    harmonicLanes(h, in, f, a);
    for (int j = 0; i + j < count; ++j) {
        h.frequencyOut[i + j] = f[j];
        h.levelOut[i + j] = a[j];
    }
}
