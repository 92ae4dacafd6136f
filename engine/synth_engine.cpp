#include "engine/synth_engine.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "files/global_data.h"

namespace {
constexpr float kBlockStep = 1.0f / kEngineBlock;
constexpr float kModelRate = 44100.0f;  // rate the model's constants are tuned at
const float kNeutral[4] = {500, 1500, 2500, 3500};
}  // namespace

CXSynthEngine::CXSynthEngine() {
    for (int k = 0; k < kFormants; ++k) formant[k].init(k == 8 ? 1 : 0, kBlockStep);
    glottal.init(0, kBlockStep);
    highPass.init(1, kBlockStep);
    cutoff.init(2, kBlockStep);
}

void CXSynthEngine::setTables(const CTLParameter* curves, const CTLWaves* waves) {
    osc.setTables(waves, curves);
    bank.setTables(waves, curves);
    for (CXFormantFilter& f : formant) f.setTables(curves);
    glottal.setTables(curves);
    highPass.setTables(curves);
    cutoff.setTables(curves);
}

void CXSynthEngine::setRate(int r) {
    rate = r;
    rateScale = kModelRate / float(r);
    pitchShift = float(std::log2(double(kModelRate) / r) / 16);
    osc.setRate(r);
    bank.setRate(r);
}

void CXSynthEngine::clear() {
    osc.clear();
    bank.clear();
    for (CXFormantFilter& f : formant) f.clear();
    glottal.clear();
    highPass.clear();
    cutoff.clear();
    sourceLevel = sourceIncrement = 0;
}

void CXSynthEngine::setup(CEngine& e, int p, int s) {
    const int r = globalData().sampleRate;
    if (r > 0 && r != rate) setRate(r);
    CXPart& pt = e.part[p];
    CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const CTLParameter& t = e.curves;

    // 1. Source: no random pitch jitter and no vibrato coupling here; the
    // jitter and shimmer of the oscillators replace them.
    const float humanize = std::clamp(c[3], 0.0f, 1.0f);
    const float p0 = v.pitch;
    choir = std::clamp(int(c[85] + 0.5f), 1, CXOscillatorBank::kOscillators);
    if (choir < 2) {
        osc.init(0, humanize, humanize);
        osc.setFrequency(p0 + pitchShift, 0.98f);
    } else {
        bank.init(choir, humanize, humanize);
        bank.setFrequency(p0, 0.96f, c[2] * 0.04f, pitchShift);
    }

    // 2. Shared values.
    const float f0 = t.partialFrequency(p0) * float(rate) * 0.5f;
    const float open = std::max(pt.lane[kLaneOpen] * 0.5f + c[11], 0.0f);
    const float tension = pt.lane[kLaneTension];
    const float scale = pt.formantScale;
    const float kr = std::exp(4 * (0.3f - c[62]));
    // Brightness with its modulation source (no vibrato coupling).
    const float m = c[16], u = modulationSource(int(c[26]), v.modulation);
    float bright = m > 0 ? c[1] - m * c[1] * u : c[1] - m * u * (1 - c[1]);
    bright = std::clamp(bright, 0.0f, 1.0f);
    const float kb = std::exp(8 * (1 - bright)) / 7.3890561f;

    // 3.-5. Tone filters (the one-poles read their cutoff at 44.1 kHz).
    glottal.set(f0 * kb * rateScale, 0, 100 / (f0 + 20) / (1.12f - bright));
    highPass.set((c[87] * 500 + 20) * rateScale, 0, 1);
    cutoff.set(c[86] * 0.75f + 0.25f, 0, 1);

    // 6. Formants.
    const float a = std::min(open, 1.0f);
    const float* glottalCurve = pt.bandLevel + 48;
    for (int k = 0; k < kFormants; ++k) {
        float f = v.formantFrequency[k].current * (k < 8 ? c[100 + k] : 1.0f);
        float w = v.formantBandwidth[k].current;
        if (k < 4) f = f * (1 - a) + scale * a * kNeutral[k];
        float gain = 1;
        if (k == 9) {
            f = std::max(f0 * (c[89] * 5 + 0.5f), 40.0f);
            w = ((c[90] + tension) * 4 + 0.2f) * f;
        } else {
            if (k == 0) f = std::max(f, f0);
            if (k == 1 || k == 8) f = std::max(f, 2 * f0);
            w *= kr;
            if (k < 8) {
                float x = (t.pitchOfFrequency(f) - 0.5f) * 96;
                int b = std::clamp(int(std::floor(x)), 0, 47);
                float frac = std::clamp(x - float(b), 0.0f, 1.0f);
                float g = b < 47 ? glottalCurve[b] + frac * (glottalCurve[b + 1] - glottalCurve[b]) : glottalCurve[47];
                gain = e.globalGain * std::sqrt(std::max(g, 0.0f)) * v.formantLevel[k].current;
            }
        }
        formantHz[k] = f;
        // The resonator gain table is read at the rescaled frequency; undo
        // its change so the level matches 44.1 kHz.
        const float fs = f * rateScale;
        formant[k].set(fs, w * rateScale, gain * (fs + 20) / (f + 20));
    }

    sourceIncrement = (v.harmonicLevel - sourceLevel) * kBlockStep;
}

void CXSynthEngine::render(CEngine& e, int p, int s) {
    CXPart& pt = e.part[p];
    const CXVoiceSlot& v = e.slot[s];
    const float* c = pt.current;
    const float gg = e.globalGain;
    const float noiseMod = c[10];
    const float breath = pt.breathAmount * gg * 32;
    const float pan = std::clamp(c[13], 0.0f, 1.0f);
    const bool useBank = choir >= 2;
    float noiseLevel = v.noiseLevel;  // the noise mixer ramps the slot's own copy afterwards
    const int first = std::clamp(v.noiseRead, 0, kNoiseBlock - kEngineBlock);
    const float outGain = gg * 0.025f;
    for (int i = 0; i < kEngineBlock; ++i) {
        const float src = useBank ? bank.next() : osc.next();
        const float mod = (1 - noiseMod) + noiseMod * (src > 0 ? src * src : 0.0f);
        float x = formant[9].process(formant[8].process(src));
        x += mod * v.noiseB[first + i] * noiseLevel * breath;
        noiseLevel += v.noiseIncrement;
        float y = 0;
        for (int k = 0; k < 8; ++k) y += formant[k].process(x);
        y = cutoff.process(glottal.process(highPass.process(y)));
        sourceLevel += sourceIncrement;
        const float out = y * sourceLevel * outGain;
        pt.buffer[2 * i] = (1 - pan) * out;
        pt.buffer[2 * i + 1] = pan * out;
    }
}
