#include "engine/spectral_model.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "engine/harmonic_levels.h"
#include "files/global_data.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kTwoPi = 6.2831853f;
// The formant coefficients are tuned at this rate and kept at every rate.
constexpr float kFormantRate = 44100.0f;
const float kNeutral[4] = {500, 1500, 2500, 3500};

float clamp01(float x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }

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

CXHarmonicFrame CXSpectralModel::harmonicFrame(const CEngine& e, int p, int s) {
    const CXPart& pt = e.part[p];
    const CXVoiceSlot& v = e.slot[s];
    CXHarmonicFrame h;
    h.frequency = &e.curves.partialTable();
    h.gain = &e.curves.gainTable();
    h.power = &pt.harmonicPower;
    h.sourceLevel = pt.spectrum.level;
    h.bandLevel = pt.current + 128;
    h.glottal = pt.bandLevel + 48;
    h.g2 = v.responseG2;
    h.d0 = v.responseD0;
    h.d1 = v.responseD1;
    h.d2 = v.responseD2;
    h.formantGain = v.formantGain;
    h.rate = float(globalData().sampleRate);
    h.tension = pt.lane[kLaneTension];
    h.loudness = (pt.lane[kLaneVolume] - 0.5f) * 0.2f;
    h.brightness = v.brightness + v.brightnessOffset;
    return h;
}

void CXSpectralModel::compute(CEngine& e, int p, int s) {
    voiceStep(e, p, s, true);
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const CResynator& src = pt.spectrum;
    const float p0 = v.pitch;
    const float ensemble = c[2];
    const float a0 = e.globalGain * v.harmonicLevel;
    const float ramp = v.amplitude.current;

    int limit = int(c[32]);
    bool perBand = limit <= 0;
    if (perBand) limit = 255;
    if (limit > kHarmonics) limit = kHarmonics;

    // Keep room for the padding of this slot's last group.
    const int first = e.listCount;
    const int room = kRenderListCapacity - 4;
    v.energy = 0;
    int lastBand = -1;
    int kept[kHarmonics], bands[kHarmonics];
    float pitches[kHarmonics], frequencies[kHarmonics], levels[kHarmonics];
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
        pitches[count] = pitch;
        bands[count] = band;
        kept[count++] = n;
    }

    // Frequencies and levels of the sung harmonics.
    CXHarmonicFrame h = harmonicFrame(e, p, s);
    h.count = count;
    h.number = kept;
    h.band = bands;
    h.pitch = pitches;
    h.frequencyOut = frequencies;
    h.levelOut = levels;
    if (!e.useSSE) {
        harmonicLevelsScalar(h);
    } else {
        h.prepare();
        if (e.harmonicWidth >= 16)
            harmonicLevelsAVX512(h);
        else if (e.harmonicWidth >= 8)
            harmonicLevelsAVX2(h);
        else
            harmonicLevelsSSE(h);
    }
    if (count > 0 && kept[0] == 1) {
        v.fundamentalFrequency = frequencies[0];
        v.fundamentalPhase = v.partials[1].phase;
    }

    for (int i = 0; i < count; ++i) {
        const int n = kept[i];
        CXPartial& rec = v.partials[n];
        rec.frequency = frequencies[i];
        float a = levels[i];
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
