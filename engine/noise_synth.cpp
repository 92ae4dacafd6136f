#include "engine/noise_synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/engine.h"
#include "files/global_data.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Band b (0..47) and the fraction toward b + 1 of a pitch value.
inline void bandPosition(float pitch, int& b, float& frac) {
    float x = (pitch - 0.5f) * 96;
    b = int(std::floor(x));
    b = std::min(std::max(b, 0), 47);
    frac = std::min(std::max(x - float(b), 0.0f), 1.0f);
}

inline float interpolate(const float* curve, int b, float frac) {
    return b < 47 ? curve[b] + frac * (curve[b + 1] - curve[b]) : curve[47];
}

constexpr uint32_t kMul = 1664525u, kAdd = 1013904223u;

inline float whiteValue(uint32_t state) {
    uint32_t bits = (state & 0x7FFFFFu) | 0x3F800000u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f - 1.0f;
}

// The generator's step taken n times at once: state -> mul * state + add.
struct Jump {
    uint32_t mul = 1, add = 0;
    constexpr explicit Jump(int n) {
        for (int i = 0; i < n; ++i) {
            mul *= kMul;
            add = add * kMul + kAdd;
        }
    }
    constexpr uint32_t operator()(uint32_t s) const { return s * mul + add; }
};
constexpr Jump kStep4(4), kStepBlock(CFFT::kSize);

// One synthesis block of white noise: four interleaved runs of the
// generator, each jumping four steps, give the same sequence without one
// long chain of multiplies.
void whiteBlock(uint32_t& state, float* out) {
    uint32_t s[4];
    s[0] = state * kMul + kAdd;
    for (int q = 1; q < 4; ++q) s[q] = s[q - 1] * kMul + kAdd;
    for (int i = 0; i < CFFT::kSize; i += 4)
        for (int q = 0; q < 4; ++q) {
            out[i + q] = whiteValue(s[q]);
            if (i + 4 < CFFT::kSize) s[q] = kStep4(s[q]);
        }
    state = kStepBlock(state);
}

}  // namespace

void CXNoiseSynth::init(const CTLParameter& curves) {
    for (int i = 0; i < 256; ++i) {
        window[i] = float((std::cos(kPi * i / 256) + 1) / 2);
        binPitch[i] = i > 0 ? curves.pitchOfFrequency(float(i) * kBinHz) : 0.0f;
        binCos[i] = float(std::cos(kPi * i / 256));
        binCos2[i] = float(std::cos(2 * kPi * i / 256));
        bandPosition(binPitch[i], binBand[i], binFrac[i]);
    }
    for (int j = 0; j < 24; ++j) clickShape[j] = float(1 - std::cos(j * kPi / 12));
    raisedCos.build(1024, 0.0, kPi / 1024, true, [](double ph) { return (std::cos(ph) + 1) / 2; });
}

void CXNoiseSynth::computeSpectra(CEngine& e, int p, int s) {
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float breath = pt.breathAmount;
    const bool timeModel = pt.voiceModel() == 1;
    const float* transfer = pt.bandLevel;

    // Stream A fades its upper bins faster while the breath envelope fades.
    float fading = 1;
    if (v.breathState == kBreathFade && v.levelA > 0) fading = v.envelope / v.levelA;
    const float lStep = fading < 1 ? std::pow(1e-6f, (1 - fading) / 256.0f) : 1.0f;
    float l = 1;

    // The formant sum depends on the block's formant terms and the noise
    // power alone: recomputed only when one of them changed.
    float key[5 * 8 + 1];
    for (int k = 0; k < 8; ++k) {
        key[5 * k] = v.responseG2[k];
        key[5 * k + 1] = v.responseD0[k];
        key[5 * k + 2] = v.responseD1[k];
        key[5 * k + 3] = v.responseD2[k];
        key[5 * k + 4] = v.formantGain[k];
    }
    key[40] = pt.noisePower.exponent();
    bool same = v.noiseFormantValid;
    for (int i = 0; i < 41 && same; ++i) same = key[i] == v.noiseFormantKey[i];
    if (!same) {
        for (int i = 0; i < 41; ++i) v.noiseFormantKey[i] = key[i];
        v.noiseFormantValid = true;
    }

    float threshold = 0, r = 0;
    v.noiseGainA[0] = v.noiseGainB[0] = 0;
    for (int q = 1; q < 256; ++q) {
        l *= lStep;
        float pq = binPitch[q];
        if (same) {
            r = v.noiseFormantSum[q];
        } else if (pq >= threshold) {
            // The formant sum changes slowly with pitch: every 0.2 octave.
            while (threshold <= pq) threshold += 0.0125f;
            r = 0;
            for (int k = 0; k < 8; ++k) {
                float x = CXSpectralModel::response(v.responseG2[k], v.responseD0[k], v.responseD1[k],
                                                    v.responseD2[k], binCos[q], binCos2[q]);
                r += x < 0 ? v.formantGain[k] : v.formantGain[k] * pt.noisePower.value(x);
            }
        }
        v.noiseFormantSum[q] = r;
        const int b = binBand[q];
        const float frac = binFrac[q];
        float tn = interpolate(transfer, b, frac);
        float sb = interpolate(v.band, b, frac);
        v.noiseGainA[q] = v.spectralFlag ? (r + 0.05f) * sb * l * 0.0625f : sb * 0.000625f;
        v.noiseGainB[q] = timeModel ? breath * tn * 0.0625f : breath * tn * r * 0.0625f;
    }
}

void CXNoiseSynth::synthesise(CEngine& e, int p, int s, int stream) {
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* gains = stream == 0 ? v.noiseGainA : v.noiseGainB;
    float* buf = stream == 0 ? v.noiseA : v.noiseB;
    const float extra = stream == 0 ? 1.0f : pt.lane[kLaneBreath];

    float largest = 0;
    for (int q = 0; q < 256; ++q) largest = std::max(largest, std::fabs(gains[q] * extra));
    if (largest == 0) {
        // A silent spectrum filters to silence: skip both transforms but keep
        // the generator's sequence as if they had run.
        pt.noiseState = kStepBlock(pt.noiseState);
        std::memset(fresh, 0, sizeof fresh);
    } else {
        whiteBlock(pt.noiseState, white);
        e.fft.forward(white, re, im);
        for (int q = 0; q < 256; ++q) {
            float g = gains[q] * extra;
            re[q] *= g;
            im[q] *= g;
        }
        re[256] = im[256] = 0;
        e.fft.inverse(re, im, fresh);
    }
    // Crossfade the new block's first half with the previous block's second.
    for (int i = 0; i < 256; ++i) buf[i] = window[i] * buf[i + 256] + (1 - window[i]) * fresh[i];
    std::memcpy(buf + 256, fresh + 256, sizeof(float) * 256);
    v.noiseRead = 0;
}

void CXNoiseSynth::mixFrames(CEngine& e, int p, int s) {
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const float gg = e.globalGain;
    const float noiseMod = c[10];
    const float pan = std::min(std::max(c[13], 0.0f), 1.0f);
    const bool spectral = pt.voiceModel() == 0;
    const float breathAmount = pt.breathAmount;
    const float pi = float(kPi);

    // Noise modulator: a sine at the fundamental from the stored phase.
    const float w = pi * v.fundamentalFrequency;
    const float a = 2 * pi * v.fundamentalPhase;
    const float k = rendererTwoCos(w);
    float y1 = rendererSin(a - w), y2 = rendererSin(a - 2 * w);

    int idx = std::min(std::max(v.noiseRead, 0), kNoiseBlock - kEngineBlock);
    for (int i = 0; i < kEngineBlock; ++i, ++idx) {
        float y = k * y1 - y2;
        y2 = y1;
        y1 = y;
        float mod = (1 - noiseMod) + noiseMod * (y > 0 ? y * y : 0.0f);
        if (spectral) {
            float n = v.noiseB[idx] * gg * v.noiseLevel * breathAmount * 32;
            pt.buffer[2 * i] += (1 - pan) * mod * n;
            pt.buffer[2 * i + 1] += pan * mod * n;
        }
        // The time-domain model writes its output frame here once it exists.
        v.noiseLevel += v.noiseIncrement;

        // Breath and burst envelope.
        float x = 0;
        bool crossfade = false;
        switch (v.breathState) {
            case kBreathClick: {
                int j = v.clickCounter;
                float shape = clickShape[j % 24];
                x = (j <= 24 ? 0.002f : -0.0008f) * v.levelA * shape * gg * v.baseLevel;
                if (++v.clickCounter > 120) v.breathState = kBreathAttack;
                crossfade = true;
                break;
            }
            case kBreathAttack: crossfade = true; break;
            case kBreathHold:
                if (--v.hold < 0) v.breathState = kBreathFade;
                break;
            default: {
                float f = 0;
                if (v.fadePhase < pi) {
                    v.fadePhase += v.fadeIncrement;
                    f = raisedCosine(v.fadePhase);
                }
                v.envelope = f * v.levelA;
                break;
            }
        }
        if (crossfade) {
            float f = 0;
            if (v.crossfadePhase < pi) {
                v.crossfadePhase += v.crossfadeIncrement;
                f = raisedCosine(v.crossfadePhase);
            } else if (v.breathState == kBreathAttack) {
                v.breathState = kBreathHold;
            }
            v.envelope = f * v.levelB + (1 - f) * v.levelA;
        }
        float breath = gg * 1024 * v.baseLevel * v.envelope * v.noiseA[idx];
        pt.breath[2 * i] = (1 - pan) * (breath + x);
        pt.breath[2 * i + 1] = pan * (breath + x);
    }
    v.noiseRead = idx;
    float ph = v.fundamentalPhase + kEngineBlock * v.fundamentalFrequency * 0.5f;
    v.fundamentalPhase = ph - std::floor(ph);
}
