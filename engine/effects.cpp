#include "engine/effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/gen/tl_lfo_waves.h"
#include "engine/gen/tl_parameter.h"
#include "engine/gen/tl_shapes.h"

namespace {

constexpr float kPerSample = 1.0f / 256;  // coefficient ramps span one engine block
constexpr float kDenormalGuard = 1e-13f;
constexpr double kPi = 3.14159265358979323846;
// The tone filters are tuned at this rate: their cutoffs are part of the sound.
constexpr double kToneRate = 44100.0;

// Line written (row) from the line outputs (columns): nearly orthogonal, so
// the lines' energy is kept and only the line gains and damping decay it.
const float kMatrix[6][6] = {
    {0, 0.666f, 0, -0.333f, 0, 0.666f},  {0.666f, 0, -0.333f, 0, 0.666f, 0}, {0, 0.666f, 0, 0.666f, 0, -0.333f},
    {0, -0.333f, 0, 0.666f, 0, 0.666f},  {0.666f, 0, 0.666f, 0, -0.333f, 0}, {-0.333f, 0, 0.666f, 0, 0.666f, 0},
};

const CXChorusPreset kChorusTable[CXMasterEffects::kChorusPresets] = {
    {"Light", {40, 50, 40, 64, 60}},       {"Detuned", {30, 40, 70, 64, 80}},
    {"Deep 1", {45, 70, 90, 64, 90}},      {"Deep 2", {35, 85, 100, 70, 100}},
    {"Box 1", {50, 30, 50, 80, 70}},       {"Box 2", {55, 25, 60, 90, 70}},
    {"Leslie", {75, 35, 70, 64, 90}},      {"Slow", {20, 60, 80, 64, 80}},
    {"Fast&Light", {70, 40, 30, 64, 60}},  {"Feedback 1", {40, 50, 60, 100, 70}},
    {"Feedback 2", {35, 60, 70, 20, 70}},  {"Dry 1", {40, 50, 50, 64, 30}},
    {"Dry 2", {30, 60, 60, 64, 20}},       {"Dry&Deep", {35, 80, 100, 64, 35}},
    {"Warm", {30, 70, 60, 72, 85}},        {"Strange 1", {85, 45, 110, 100, 80}},
    {"Strange 2", {90, 90, 120, 30, 80}},  {"Destruct 1", {100, 30, 127, 115, 90}},
    {"Destruct 2", {110, 100, 127, 10, 100}}, {"Echo 1", {25, 120, 20, 100, 80}},
    {"Echo 2", {20, 127, 30, 110, 90}},    {"Room 1", {30, 100, 40, 85, 60}},
    {"Room 2", {25, 110, 50, 90, 70}},     {"Cute", {65, 20, 45, 64, 75}},
};

// Blocks the master chorus keeps running after its bus fell silent (its
// longest delay with feedback has died away by then).
constexpr int kChorusTailBlocks = 400;

}  // namespace

const CXChorusPreset& chorusPreset(int n) { return kChorusTable[std::clamp(n, 0, 23)]; }

// ---- modulation effect ----

void CXModulationEffect::update(const CTLParameter& curves, const CTLLFOWaves& waves, const CXEffectClock& clock,
                                int t, bool sync, float rate, float delay, float depth, float fb, float lvl) {
    type = t;
    // Four LFOs a little apart in rate so the chorus voices never lock.
    const float offsets[4] = {0, 0.01f, -0.01f, 0.02f};
    for (int k = 0; k < 4; ++k) {
        float inc = sync ? rate * clock.tickIncrement : curves.lfoIncrement(std::clamp(rate + offsets[k], 0.0f, 1.0f));
        increment[k] = uint32_t(std::max(inc, 0.0f)) & 0xFFFFFFu;
        phase[k] = (phase[k] + increment[k]) & 0xFFFFFFu;
        lfo[k] = waves.value(0, phase[k]);
        float target = (lfo[k] * delay * depth + delay) * 2047;
        delayTime[k].to(std::clamp(target, 0.0f, 2047.0f * 2), kPerSample);
    }
    feedback.to(fb, kPerSample);
    level = lvl;
}

float CXModulationEffect::read(int n, float t) const {
    // Linear interpolation between the two samples around t; a delay below
    // one sample would read the line before it is written.
    t = std::clamp(t, 1.0f, float(kLine - 2));
    int u = int(t + 0.5f);
    float d = t - float(u);
    int j = (write - u) & (kLine - 1);
    return (0.5f + d) * line[n][j] + (0.5f - d) * line[n][(j + 1) & (kLine - 1)];
}

void CXModulationEffect::process(float& left, float& right) {
    for (CXRamped& d : delayTime) d.next();
    float fb = feedback.next();
    if (type == kPhaser) {
        float a = std::clamp(delayTime[0].value * (1.0f / kLine), 0.0f, 0.5f);
        float x = left + right + fb * lastOutput;
        for (float& w1 : allpass) {
            float w = x + a * w1;
            x = w1 - a * w;
            w1 = w + kDenormalGuard;
        }
        lastOutput = x;
        left += level * x;
        right += level * x;
    } else if (type == kFlanger) {
        float rl = read(0, delayTime[0].value), rr = read(1, delayTime[0].value);
        line[0][write] = left - fb * rl + kDenormalGuard;
        line[1][write] = right + fb * rr + kDenormalGuard;
        left += level * rl;
        right += level * rr;
    } else {
        float r[4];
        for (int n = 0; n < 4; ++n) r[n] = read(n, delayTime[n].value);
        line[0][write] = left - fb * r[0] + kDenormalGuard;
        line[1][write] = left + fb * r[1] + kDenormalGuard;
        line[2][write] = right + fb * r[2] + kDenormalGuard;
        line[3][write] = right + fb * r[3] + kDenormalGuard;
        left += level * (r[0] + r[1]);
        right += level * (r[2] + r[3]);
    }
    write = (write + 1) & (kLine - 1);
}

void CXModulationEffect::clear() {
    std::memset(line, 0, sizeof line);
    std::memset(allpass, 0, sizeof allpass);
    lastOutput = 0;
    write = 0;
    for (CXRamped& d : delayTime) d.step = 0;
    feedback.step = 0;
}

// ---- part effects ----

void CXPartEffects::lowPass(float hz, float& gain, float& b) {
    if (hz > 22000) {
        gain = 1;
        b = 0;
        return;
    }
    double d = 2 - std::cos(2 * kPi * hz / kToneRate);
    double bb = std::sqrt(d * d - 1) - d;
    gain = float(1 + bb);
    b = float(bb);
}

void CXPartEffects::update(const float* c, const CXEffectClock& clock) {
    distortionOn = c[59] >= 0.5f;
    delayOn = c[60] >= 0.5f;
    modulationOn = c[61] >= 0.5f;
    const bool sync = c[58] >= 0.5f;

    if (modulationOn && curves && waves)
        modulation.update(*curves, *waves, clock, int(c[39] + 0.5f), sync, c[40], c[42], c[43], c[44], c[45]);

    if (delayOn) {
        delayType = int(c[46] + 0.5f);
        for (int k = 0; k < 2; ++k) {
            float d = c[47 + k];
            length[k] = c[52] >= 0.5f ? int(d * clock.tickSamples) & (kDelayLine - 1)
                                      : std::clamp(int(d * kDelayLine + 1), 1, kDelayLine - 1);
        }
        // Recomputed only when the cutoff moved: a cosine and a root per change.
        if (c[51] != delayCutoff) {
            delayCutoff = c[51];
            lowPass(delayCutoff, delayGain, delayB);
        }
        delayFeedback = c[49];
        delayLevel = c[50];
    }

    if (distortionOn) {
        distortionType = std::clamp(int(c[53] + 0.5f), 0, 3);
        if (c[54] != distortionCutoff) {
            distortionCutoff = c[54];
            lowPass(distortionCutoff, lpCoef[0], lpCoef[1]);
            float q = 1 - std::min(distortionCutoff, 22050.0f) / 22050;
            hpCoef[0] = 2 - q;
            hpCoef[1] = q;
        }
        const float lvl = c[56], drv = c[57];
        lpGain.to(lpCoef[0] * lvl, kPerSample);
        lpFeedback.to(lpCoef[1], kPerSample);
        hpGain.to(hpCoef[0] * lvl, kPerSample);
        hpFeedback.to(hpCoef[1], kPerSample);
        drive.to(drv, kPerSample);
        compensation.to(drv < 1 ? 1 / (drv + 0.01f) : 1.0f, kPerSample);
        tone = std::clamp(c[55], 0.0f, 1.0f);
    }
}

void CXPartEffects::distortion(float& left, float& right) {
    float x = (left + right) * drive.next();
    float lg = lpGain.next(), lf = lpFeedback.next(), hg = hpGain.next(), hf = hpFeedback.next();
    float comp = compensation.next();
    // Hard types read the shape at 8x the input (scale 16384 of 2048), the
    // harmonic series at 1x with the output compensation.
    static const int kShape[4] = {1, 2, 3, 4};
    float y;
    if (distortionType < 2)
        y = shapes->value(kShape[distortionType], x * 8);
    else
        y = shapes->value(kShape[distortionType], x) * comp;
    // The guards keep both feedback memories out of the denormal range when
    // the input falls silent.
    lp = y * lg - lp * lf + kDenormalGuard;
    float hin = y * hg;
    hp = hin - hpInput + hp * hf + kDenormalGuard;
    hpInput = hin;
    float out = lp * (1 - tone) + 2 * tone * hp + kDenormalGuard;
    dc = 0.9995f * dc + 0.0005f * out;
    out -= dc;
    left = right = out;
}

void CXPartEffects::delay(float& left, float& right) {
    const int i = delayWrite;
    float y1 = delayGain * delayLine[0][i] - delayB * delayOut[0] + kDenormalGuard;
    float y2 = delayGain * delayLine[1][i] - delayB * delayOut[1] + kDenormalGuard;
    delayOut[0] = y1;
    delayOut[1] = y2;
    const float fb = delayFeedback, lvl = delayLevel;
    float in1, in2;
    switch (delayType) {
    case 1:
        in1 = left + right + fb * y1;
        in2 = left + right + fb * y2;
        left += lvl * (y1 + y2);
        right += lvl * (y1 + y2);
        break;
    case 2:
        in1 = left + right + fb * y2;
        in2 = y1;
        left += lvl * y1;
        right += lvl * y2;
        break;
    default:
        in1 = left + fb * y1;
        in2 = right + fb * y2;
        left += lvl * y1;
        right += lvl * y2;
        break;
    }
    delayLine[0][(i + length[0]) & (kDelayLine - 1)] = in1;
    delayLine[1][(i + length[1]) & (kDelayLine - 1)] = in2;
    delayWrite = (i + 1) & (kDelayLine - 1);
}

void CXPartEffects::clear() {
    lp = hp = hpInput = dc = 0;
    for (CXRamped* r : {&lpGain, &lpFeedback, &hpGain, &hpFeedback, &drive, &compensation}) r->step = 0;
    std::memset(delayLine, 0, sizeof delayLine);
    delayOut[0] = delayOut[1] = 0;
    delayWrite = 0;
    modulation.clear();
}

// ---- reverb ----

int CXReverb::primeAtLeast(double n) {
    // Sieve once; the table holds every prime below the line length.
    static const auto sieve = [] {
        struct Table {
            bool composite[kLine] = {};
        } t;
        t.composite[0] = t.composite[1] = true;
        for (int i = 2; i * i < kLine; ++i)
            if (!t.composite[i])
                for (int j = i * i; j < kLine; j += i) t.composite[j] = true;
        return t;
    }();
    int k = n <= 0 ? 0 : (n >= kLine ? kLine : int(std::ceil(n)));
    for (; k < kLine; ++k)
        if (!sieve.composite[k]) return k;
    return 0;
}

void CXReverb::rebuild(const CXReverbSettings& s, int rate) {
    if (rate <= 0) rate = 44100;
    predelayLength = std::max(s.predelay, 0) & (kLine - 1);
    const double m = double(rate) * s.size / 340.0;  // samples sound travels across the room
    lineLength[0] = primeAtLeast(m);
    lineLength[1] = primeAtLeast(0.894 * m);
    for (int n = 2; n < kLines; ++n) lineLength[n] = primeAtLeast(lineLength[n - 2] * double(s.structure));
    const double chain[2][2] = {{2048, 0.79}, {1911, 0.8}};
    for (int side = 0; side < 2; ++side) {
        allpassLength[side][0] = primeAtLeast(s.fusion * chain[side][0]);
        for (int k = 1; k < kAllpasses; ++k)
            allpassLength[side][k] = primeAtLeast(allpassLength[side][k - 1] * chain[side][1]);
        for (int k = 0; k < kAllpasses; ++k) allpassLength[side][k] &= kAllpassLine - 1;
    }
    if (s.time > 0) {
        // A full ring (length 0) counts as its whole length.
        double l0 = lineLength[0] > 0 ? lineLength[0] : kLine;
        float g = float(std::pow(0.001, l0 / (double(rate) * s.time)));
        for (int n = 0; n < kLines; ++n) lineGain[n] = (n % 2 == 0) ? -g : g;
    }
    inputGain = 1;
    float a = 0.7f;
    for (float& c : allpassCoef) {
        c = a;
        a *= 0.96f;
    }
    dampG = 1 - std::clamp(s.damping, 0.0f, 1.0f) / 2;
}

void CXReverb::process(const float* bus, float* out, int frames, float level) {
    const float g = dampG, h = 1 - dampG;
    for (int f = 0; f < frames; ++f) {
        const int i = index;
        float pre = predelay[i];
        predelay[(i + predelayLength) & (kLine - 1)] = (bus[2 * f] + bus[2 * f + 1] + kDenormalGuard) * inputGain;
        float o[kLines];
        float sum = 0;
        for (int n = 0; n < kLines; ++n) {
            float x = line[n][i];
            for (float& prev : damp[n]) {
                float y = g * x + h * prev;
                prev = x;
                x = y;
            }
            o[n] = x * lineGain[n];
            sum += o[n];
        }
        for (int n = 0; n < kLines; ++n) {
            float w = pre * lineGain[n] + kDenormalGuard;
            for (int m = 0; m < kLines; ++m) w += kMatrix[n][m] * o[m];
            line[n][(i + lineLength[n]) & (kLine - 1)] = w;
        }
        const float s = pre + inputGain * sum;
        const int k = allpassIndex;
        for (int side = 0; side < 2; ++side) {
            float x = s;
            for (int a = 0; a < kAllpasses; ++a) {
                float* ap = allpass[side][a];
                float r = ap[k];
                float w = allpassCoef[a] * r + x;
                ap[(k + allpassLength[side][a]) & (kAllpassLine - 1)] = w;
                x = allpassCoef[a] * w - r;
            }
            out[2 * f + side] += level * x;
        }
        index = (i + 1) & (kLine - 1);
        allpassIndex = (k + 1) & (kAllpassLine - 1);
    }
}

void CXReverb::clear() {
    std::memset(predelay, 0, sizeof predelay);
    std::memset(line, 0, sizeof line);
    std::memset(allpass, 0, sizeof allpass);
    std::memset(damp, 0, sizeof damp);
    index = allpassIndex = 0;
}

// ---- master effects ----

void CXMasterEffects::setChorusPreset(int n) {
    if (n >= 0 && n < kChorusPresets) chorusPreset = n;
}

void CXMasterEffects::update(const CXEffectClock& clock) {
    if (!curves || !waves || chorusActive <= 0) return;
    const int* v = kChorusTable[chorusPreset].values;
    const float n[5] = {v[0] / 127.0f, v[1] / 127.0f, v[2] / 127.0f, v[3] / 127.0f, v[4] / 127.0f};
    // The same conversions as the part chorus entries (Rate, Delay, Depth,
    // Feedback, Level), at the tone rate like the part's Delay entry.
    chorus.update(*curves, *waves, clock, CXModulationEffect::kChorus, false, n[0] * 0.8f,
                  n[1] * n[1] + 0.00002f, n[2] * n[2] * n[2], (v[3] - 64) * 0.99f / 64, n[4]);
}

void CXMasterEffects::process(const float* reverbBus, const float* chorusBus, float* master, int frames,
                              float reverbLevel, bool reverbOn) {
    if (reverbOn) reverb.process(reverbBus, master, frames, reverbLevel);
    // The chorus runs while its bus carries sound and for its tail after.
    bool heard = false;
    for (int i = 0; i < 2 * frames && !heard; ++i) heard = std::fabs(chorusBus[i]) > 1e-9f;
    if (heard) {
        if (chorusActive <= 0) {
            chorusActive = kChorusTailBlocks;
            update(CXEffectClock());  // LFOs and ramps before the first frame
        }
        chorusActive = kChorusTailBlocks;
    }
    if (chorusActive <= 0) return;
    --chorusActive;
    for (int f = 0; f < frames; ++f) {
        // Wet only: the dry signal already reached the master bus.
        float l = chorusBus[2 * f], r = chorusBus[2 * f + 1];
        float wl = l, wr = r;
        chorus.process(wl, wr);
        master[2 * f] += wl - l;
        master[2 * f + 1] += wr - r;
    }
}

void CXMasterEffects::clear() {
    reverb.clear();
    chorus.clear();
    chorusActive = 0;
}
