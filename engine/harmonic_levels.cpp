#include "engine/harmonic_levels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

// Power response of a formant at cos w = c1 and cos 2w = c2 (negative:
// the denominator is not positive and the level counts unweighted).
float response(const CXHarmonicFrame& h, int k, float c1, float c2) {
    float den = h.d0[k] + h.d1[k] * c1 + h.d2[k] * c2;
    return den > 0 ? h.g2[k] / den : -1.0f;
}

}  // namespace

void CXHarmonicFrame::prepare() {
    frequencyCurve = {frequency->data(), frequency->origin(), frequency->inverseStep(), float(frequency->segments() - 1)};
    gainCurve = {gain->data(), gain->origin(), gain->inverseStep(), float(gain->segments() - 1)};
    powerTable = power->data();
}

float harmonicPower(const CPowFunc& p, float x) { return p.value(x); }

void harmonicLevelsScalar(const CXHarmonicFrame& h) {
    const float tension = h.tension, bt = h.loudness, bw = h.brightness;
    const CPowFunc& power = *h.power;
    for (int i = 0; i < h.count; ++i) {
        const int n = h.number[i];
        const float pitch = h.pitch[i];
        float f = h.frequency->lookup(pitch);
        float hz = f * h.rate * 0.5f;

        // Spectral tilt by tension and loudness.
        float tilt;
        if (hz < 500)
            tilt = -0.0004f * tension * (500 - hz);
        else if (hz < 3500)
            tilt = 0.00005f * tension * (hz - 500);
        else if (hz < 4500)
            tilt = 0.15f * tension + 0.00015f * tension * (3500 - hz);
        else
            tilt = 0.0499f * tension;
        tilt -= 0.15f;
        if (n > 1) {
            if (hz >= 400 && hz < 4000)
                tilt += 0.8f * bt;
            else if (hz >= 4000 && hz < 6000)
                tilt += 0.3f * bt;
            else if (hz >= 6000)
                tilt -= bt;
        }
        float level = h.sourceLevel[n] * bw + h.bandLevel[h.band[i]] + 0.15f * (bw - 1) + 0.1f + tilt;
        float a = h.gain->lookup(level);

        // Formant resonances (8 is an anti-resonance, 9 the glottal formant).
        float c1 = std::cos(kPi * f);
        float c2 = 2 * c1 * c1 - 1;
        float sum = 0;
        for (int k = 0; k < 10; ++k) {
            if (k == 8) continue;
            float r = response(h, k, c1, c2);
            sum += r < 0 ? h.formantGain[k] : h.formantGain[k] * power.value(r);
        }
        float r8 = response(h, 8, c1, c2);
        float notch = r8 < 0 ? 1.0f : std::max(0.0f, 1 - power.value(r8) * (1 - h.formantGain[8]));
        a *= sum * notch;

        // Glottal filter curve over the 48 bands.
        float x = (pitch - 0.5f) * 96;
        int b = int(std::floor(x));
        b = std::min(std::max(b, 0), 47);
        float frac = std::min(std::max(x - float(b), 0.0f), 1.0f);
        float curve = b < 47 ? h.glottal[b] + frac * (h.glottal[b + 1] - h.glottal[b]) : h.glottal[47];
        h.frequencyOut[i] = f;
        h.levelOut[i] = a * curve;
    }
}

#if defined(__SSE2__)

#include <emmintrin.h>

namespace {

#define LYRENA_HL_WIDTH 4
#include "engine/harmonic_levels_simd.h"

// SSE2 has no gather: four loads.
inline F gather(const float* table, I index) {
    return F{table[index[0]], table[index[1]], table[index[2]], table[index[3]]};
}
inline void gatherPair(const float* table, I index, F& lo, F& hi) {
    lo = gather(table, index);
    hi = gather(table + 1, index);
}
inline bool anyLane(I mask) { return _mm_movemask_ps(__m128(mask)) != 0; }

}  // namespace

void harmonicLevelsSSE(const CXHarmonicFrame& h) { harmonicLevelsVector(h); }

#else

void harmonicLevelsSSE(const CXHarmonicFrame& h) { harmonicLevelsScalar(h); }

#endif
