#include "engine/spectral_model.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LYRENA_FORMANT_SSE 1
#else
#define LYRENA_FORMANT_SSE 0
#endif

#include "engine/engine.h"
#include "files/global_data.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.2831853f;
// The formant coefficients are tuned at this rate and kept at every rate.
constexpr float kFormantRate = 44100.0f;
const float kNeutral[4] = {500, 1500, 2500, 3500};

float clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

// The sum of the resonant formants' shaped responses (all but 8, the
// anti-resonance) at cos w = c1, one harmonic at a time.
float formantSum(const CXVoiceSlot& v, const CPowFunc& power, float c1) {
    float c2 = 2 * c1 * c1 - 1;
    float sum = 0;
    for (int k = 0; k < kFormants; ++k) {
        if (k == 8) continue;
        float r = CXSpectralModel::response(v.responseG2[k], v.responseD0[k], v.responseD1[k], v.responseD2[k], c1, c2);
        sum += r < 0 ? v.formantGain[k] : v.formantGain[k] * power.value(r);
    }
    return sum;
}

// The same for count harmonics, four at a time with SSE: the same operations
// in the same order, so the sums equal formantSum's.
void formantSums(const CXVoiceSlot& v, const CPowFunc& power, const float* c1s, float* sums, int count) {
    int i = 0;
#if LYRENA_FORMANT_SSE
    const float* table = power.data();
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f);
    const __m128 size = _mm_set1_ps(float(CPowFunc::kSize)), last = _mm_set1_ps(float(CPowFunc::kSize - 1));
    for (; i + 4 <= count; i += 4) {
        __m128 c1 = _mm_loadu_ps(c1s + i);
        __m128 c2 = _mm_sub_ps(_mm_mul_ps(_mm_mul_ps(two, c1), c1), one);
        __m128 sum = zero;
        for (int k = 0; k < kFormants; ++k) {
            if (k == 8) continue;
            __m128 den = _mm_add_ps(_mm_add_ps(_mm_set1_ps(v.responseD0[k]), _mm_mul_ps(_mm_set1_ps(v.responseD1[k]), c1)),
                                    _mm_mul_ps(_mm_set1_ps(v.responseD2[k]), c2));
            __m128 pos = _mm_cmpgt_ps(den, zero);
            __m128 r = _mm_div_ps(_mm_set1_ps(v.responseG2[k]), _mm_or_ps(_mm_and_ps(pos, den), _mm_andnot_ps(pos, one)));
            __m128 t = _mm_mul_ps(r, size);
            __m128 inTable = _mm_and_ps(_mm_cmpge_ps(t, zero), _mm_cmplt_ps(t, last));
            __m128i idx = _mm_cvttps_epi32(_mm_and_ps(t, inTable));
            __m128 frac = _mm_sub_ps(t, _mm_cvtepi32_ps(idx));
            alignas(16) int ix[4];
            alignas(16) float rr[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(ix), idx);
            _mm_store_ps(rr, r);
            const int inMask = _mm_movemask_ps(inTable), posMask = _mm_movemask_ps(pos);
            alignas(16) float lo[4], hi[4];
            for (int j = 0; j < 4; ++j) {
                lo[j] = table[ix[j]];
                hi[j] = table[ix[j] + 1];
            }
            __m128 lov = _mm_load_ps(lo);
            __m128 val = _mm_add_ps(lov, _mm_mul_ps(frac, _mm_sub_ps(_mm_load_ps(hi), lov)));
            if ((posMask & ~inMask) != 0) {
                // Responses outside the table: the lookup's own slow path.
                alignas(16) float vals[4];
                _mm_store_ps(vals, val);
                for (int j = 0; j < 4; ++j)
                    if ((posMask >> j & 1) && !(inMask >> j & 1)) vals[j] = power.value(rr[j]);
                val = _mm_load_ps(vals);
            }
            __m128 gain = _mm_set1_ps(v.formantGain[k]);
            __m128 term = _mm_mul_ps(gain, val);
            sum = _mm_add_ps(sum, _mm_or_ps(_mm_and_ps(pos, term), _mm_andnot_ps(pos, gain)));
        }
        _mm_storeu_ps(sums + i, sum);
    }
#endif
    for (; i < count; ++i) sums[i] = formantSum(v, power, c1s[i]);
}

}  // namespace

float CXSpectralModel::response(float g2, float d0, float d1, float d2, float c1, float c2) {
    float den = d0 + d1 * c1 + d2 * c2;
    return den > 0 ? g2 / den : -1.0f;
}

void CXSpectralModel::voiceStep(CEngine& e, int p, int s, bool spectral) {
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const CGlobalData& g = globalData();
    const float rate = float(g.sampleRate);

    v.advanceFormantRamps();
    v.advanceAmplitudeRamp(spectral);
    v.velocityGain += (v.velocityGainTarget - v.velocityGain) * 0.33f;
    v.modulation.modWheel = c[23];
    v.modulation.pressure = pt.pressure;
    v.modulation.velocityGain = v.velocityGain;

    // Pitch: note + bend + transposition + the note's curve.
    v.bentPitch = v.notePitch + c[24] * c[28];
    float p0 = v.bentPitch + c[29] + pt.pitchCurve * (1.0f / 192);

    // Humanize: slow fractal drift of rate, depth and amplitude.
    float humanize = c[3];
    float vibRate = clamp01(c[6]);
    float vibDepth = c[7];
    float drift = 0;
    if (spectral) {
        float n = pt.drift.next();
        float b = (n * humanize + 1) * 0.5f * kTwoPi * g.blockMilliseconds * 0.001f;
        const float speed[3] = {12.7f, 7.1f, 4.7f};
        for (int i = 0; i < 3; ++i) {
            v.humanPhase[i] += speed[i] * b;
            v.humanPhase[i] -= kTwoPi * std::floor(v.humanPhase[i] / kTwoPi);
        }
        drift = 3 * (0.0003f * std::sin(v.humanPhase[0]) + 0.0005f * std::sin(v.humanPhase[1]) +
                     0.0007f * std::sin(v.humanPhase[2]));
        p0 += e.random01() * humanize * 0.0625f * 0.02f;
        vibRate *= 1 + 0.1f * n * humanize;
        vibDepth *= 1 + 0.3f * n * humanize;
    }
    float ampDrift = 1 + humanize * 100 * drift;

    // Vibrato: the part's depth plus the note's vibrato lane (semitones),
    // optionally scaled by the LFO Amnt source.
    float d = vibDepth + pt.lane[kLaneVibrato] * (1.0f / 192);
    int lfoSource = int(c[79]);
    if (lfoSource > 0) d *= modulationSource(lfoSource, v.modulation);
    float vib = v.vibrato.value;
    p0 += vib * d;
    float bright = c[1];
    if (!v.brightnessIgnoresVibrato) bright += vib * std::min(10 * d, 0.2f);
    float ampFactor = (1 + vib * std::min(50 * d, 0.3f)) * (1 + v.tremolo * v.tremoloDepth) *
                      (1 + v.trill.value * v.trillAmount);
    v.pitch = p0;

    // Brightness with its modulation source.
    float m = c[16];
    float u = modulationSource(int(c[26]), v.modulation);
    float b = m > 0 ? bright - m * bright * u : bright - m * u * (1 - bright);
    v.brightness += (b - v.brightness) * 0.5f;

    // Levels.
    const CTLParameter& t = e.curves;
    float volLane = pt.lane[kLaneVolume];
    float gh = t.gain(0.9f + 0.1f * volLane), gn = t.gain(0.9f + 0.05f * volLane);
    float amp = v.amplitude.current * ampFactor;
    v.baseLevel = ampDrift * c[12] * gn * v.velocityGain;
    v.harmonicLevel = v.baseLevel * gh * amp;
    float noise = ampDrift * c[12] * gn * amp;
    v.noiseIncrement = (noise - v.noiseLevel) * (1.0f / kEngineBlock);
    v.vibratoRate = vibRate;
    v.vibratoDepth = vibDepth;
    v.pan = clamp01(c[13]);

    // Formant coefficients.
    float scale = pt.formantScale;
    float open = clamp01(pt.lane[kLaneOpen] * 0.5f + c[11]);
    float f0 = t.partialFrequency(p0) * rate * 0.5f;
    for (int k = 0; k < kFormants; ++k) {
        float f = v.formantFrequency[k].current * (k < 8 ? c[100 + k] : 1.0f);
        float w = v.formantBandwidth[k].current;
        float level = v.formantLevel[k].current;
        if (k < 4) f = scale * open * kNeutral[k] + (1 - open) * f;
        if (k == 9) {
            f = c[81] * scale;
            w = c[82];
            level = c[80];
        }
        if (k == 0) f = std::max(f, f0);
        if (k == 1 || k == 8) f = std::max(f, 2 * f0);
        float theta = kTwoPi * f / kFormantRate;
        float r = 1 - kPi * w / kFormantRate;
        float ct = 2 * r * std::cos(theta) / (r * r + 1);
        ct = std::min(std::max(ct, -1.0f), 1.0f);
        float s1 = std::sqrt(1 - ct * ct);
        float a1 = -2 * r * ct, a2 = r * r;
        float gain = (1 - r * r) * s1;
        v.formantHz[k] = f;
        v.formantWidth[k] = w;
        v.formantGain[k] = level;
        v.responseG2[k] = gain * gain;
        v.responseD0[k] = a1 * a1 + 1 + a2 * a2;
        v.responseD1[k] = 2 * (a1 + a1 * a2);
        v.responseD2[k] = 2 * a2;
    }
}

void CXSpectralModel::compute(CEngine& e, int p, int s) {
    voiceStep(e, p, s, true);
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const CTLParameter& t = e.curves;
    const CResynator& src = pt.spectrum;
    const float rate = float(globalData().sampleRate);
    const float p0 = v.pitch;
    const float tension = pt.lane[kLaneTension];
    const float bt = (pt.lane[kLaneVolume] - 0.5f) * 0.2f;
    const float bw = v.brightness + v.brightnessOffset;
    const float ensemble = c[2];
    const float a0 = e.globalGain * v.harmonicLevel;
    const float ramp = v.amplitude.current;
    const float* glottal = pt.bandLevel + 48;

    int limit = int(c[32]);
    bool perBand = limit <= 0;
    if (perBand) limit = 255;
    if (limit > kHarmonics) limit = kHarmonics;

    // Keep room for the padding of this slot's last group.
    const int first = e.listCount;
    const int room = kRenderListCapacity - 4;
    v.energy = 0;
    int lastBand = -1;
    int kept[kHarmonics];
    float levels[kHarmonics], cosines[kHarmonics], pitches[kHarmonics];
    int count = 0;
    for (int n = 1; n < kHarmonics; ++n) {
        CXPartial& rec = v.partials[n];
        int band = e.bandOfHarmonic[n];
        bool sing = n < limit && src.ratio[n] > 0 && e.listCount + count < room;
        if (sing && perBand) {
            sing = band != lastBand;
            lastBand = band;
        }
        float pitch = v.harmonicOffset[n] + p0;
        if (!sing || pitch > 0.99f) {
            // Silent from here: when it sings again it fades in from 0.
            rec.gainL = rec.gainR = rec.endL = rec.endR = rec.incL = rec.incR = 0;
            continue;
        }
        float f = t.partialFrequency(pitch);
        float hz = f * rate * 0.5f;

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

        float level = src.level[n] * bw + c[128 + band] + 0.15f * (bw - 1) + 0.1f + tilt;
        float a = t.gain(level);

        // Formant resonances (8 is an anti-resonance, 9 the glottal formant):
        // summed for all harmonics below.
        rec.frequency = f;
        levels[count] = a;
        cosines[count] = std::cos(kPi * f);
        pitches[count] = pitch;
        kept[count++] = n;
        if (n == 1) {
            v.fundamentalFrequency = f;
            v.fundamentalPhase = rec.phase;
        }
    }

    float sums[kHarmonics];
    if (e.useSSE)
        formantSums(v, pt.harmonicPower, cosines, sums, count);
    else
        for (int i = 0; i < count; ++i) sums[i] = formantSum(v, pt.harmonicPower, cosines[i]);

    for (int i = 0; i < count; ++i) {
        const int n = kept[i];
        CXPartial& rec = v.partials[n];
        const float pitch = pitches[i];
        const float c1 = cosines[i];
        float a = levels[i];
        float c2 = 2 * c1 * c1 - 1;
        float r8 = response(v.responseG2[8], v.responseD0[8], v.responseD1[8], v.responseD2[8], c1, c2);
        float notch = r8 < 0 ? 1.0f : std::max(0.0f, 1 - pt.harmonicPower.value(r8) * (1 - v.formantGain[8]));
        a *= sums[i] * notch;

        // Glottal filter curve over the 48 bands.
        float x = (pitch - 0.5f) * 96;
        int b = int(std::floor(x));
        b = std::min(std::max(b, 0), 47);
        float frac = std::min(std::max(x - float(b), 0.0f), 1.0f);
        float curve = b < 47 ? glottal[b] + frac * (glottal[b + 1] - glottal[b]) : glottal[47];
        a *= curve;
        v.energy += a * a;
        a *= ramp;

        // Ensemble: a slow random detune of the upper harmonics' amplitudes.
        float ens = 0;
        int step = int(float(n) * ensemble * 131072.0f * 6.0f * (p0 - 0.25f));
        if (step != 0) {
            v.ensemblePhase[n] = (v.ensemblePhase[n] + uint32_t(step)) & 0x7FFFFFFFu;
            ens = (1 - 1.0f / float(n)) * e.waves.random(v.ensemblePhase[n]);
        }
        float amp = a0 * a * (1 + 4 * ens * (p0 - 0.25f));
        rec.endL = (1 - v.pan) * amp;  // targets until the gain pass below
        rec.endR = v.pan * amp;
    }

    // Gains ramp to their targets over the block (normalised by AGC).
    float norm = 1;
    if (c[74] >= 0.5f && v.energy > 0) norm = 0.015f / std::sqrt(v.energy);
    for (int i = 0; i < count; ++i) {
        CXPartial& rec = v.partials[kept[i]];
        float tl = rec.endL, tr = rec.endR;
        if (tl >= 0 && tl < 10 && tr >= 0 && tr < 10) {
            rec.endL = tl * norm;
            rec.endR = tr * norm;
            rec.incL = (rec.endL - rec.gainL) * (1.0f / kEngineBlock);
            rec.incR = (rec.endR - rec.gainR) * (1.0f / kEngineBlock);
        } else {
            // A bad target freezes the harmonic's gain for the block.
            rec.endL = rec.gainL;
            rec.endR = rec.gainR;
            rec.incL = rec.incR = 0;
        }
        e.listRecord[e.listCount] = &rec;
        e.listSlot[e.listCount] = s;
        e.listPart[e.listCount] = p;
        ++e.listCount;
    }
    while ((e.listCount - first) % 4 != 0) {
        e.listRecord[e.listCount] = &e.silentPartial;
        e.listSlot[e.listCount] = s;
        e.listPart[e.listCount] = p;
        ++e.listCount;
    }
}
