#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/global_data.h"

namespace {

constexpr float kSmoothing = 0.05f;
constexpr float kDenormalGuard = 1e-13f;
// Initial states of the parts' white-noise generators.
const uint32_t kNoiseSeeds[kEngineParts] = {37913, 93051, 107733, 190233, 401797, 339771, 2994833, 1300291};

// Entries of the parameter block that glide toward their targets. Entry 15
// is delivered to `current` only and must keep that value, so it is left out.
bool isSmoothed(int e) {
    return (e >= 1 && e <= 24 && e != 15) || (e >= 42 && e <= 45) || e == 49 || e == 50 || (e >= 55 && e <= 57) ||
           (e >= 65 && e <= 68) || (e >= 75 && e <= 77);
}

int smoothedEntries[64];
int smoothedCount = [] {
    int n = 0;
    for (int e = 0; e < kPartParams; ++e)
        if (isSmoothed(e)) smoothedEntries[n++] = e;
    return n;
}();

}  // namespace

CEngine::CEngine() {
    for (int p = 0; p < kEngineParts; ++p) part[p].drift = CFractalNoise(uint32_t(7919 * (p + 1)));
    // Harmonic n -> partial band (80 bands, finer for the low harmonics).
    for (int n = 0; n <= kHarmonics; ++n) {
        int b;
        if (n <= 32)
            b = n - 1;
        else if (n <= 64)
            b = 31 + (n - 31) / 2;
        else if (n <= 128)
            b = 47 + (n - 63) / 4;
        else
            b = 63 + (n - 127) / 8;
        bandOfHarmonic[n] = std::min(std::max(b, 0), kPartialBands - 1);
    }
    for (int b = 0; b < kPartialBands; ++b) defaultBandWeight[b] = 0;
    for (int n = kHarmonics; n >= 1; --n)
        defaultBandWeight[bandOfHarmonic[n]] = float(-0.3 * std::log2(n + 1.0) + 0.25);
    curves.build(globalData().sampleRate);
    noise.init(curves);
    for (int p = 0; p < kEngineParts; ++p) {
        part[p].effects.setTables(&curves, &waves, &shapes);
        synth[p].setTables(&curves, &oscillatorWaves());
    }
    masterEffects.setTables(&curves, &waves);
    setTempo(120);
    init();
}

void CEngine::setTempo(float bpm) {
    if (!(bpm > 0)) return;
    effectTempo = bpm;
    // 96 ticks per quarter note.
    effectClock.tickSamples = float(globalData().sampleRate) * 60 / (bpm * 96);
    effectClock.tickIncrement = 16777216.0f * 256 / effectClock.tickSamples;
}

void CEngine::setSampleRate(int rate) {
    if (rate > 0 && rate != curves.rate()) curves.build(rate);
    setTempo(effectTempo);
}

void CEngine::init() {
    for (int p = 0; p < kEngineParts; ++p) {
        CXPart& pt = part[p];
        pt.active = pt.busy = 0;
        pt.link = -1;
        std::memset(pt.buffer, 0, sizeof pt.buffer);
        std::memset(pt.breath, 0, sizeof pt.breath);
        std::memset(pt.lanes.v, 0, sizeof pt.lanes.v);
        pt.levelFollower = pt.peak = pt.energy = 0;
        std::memset(pt.target, 0, sizeof pt.target);
        std::memset(pt.current, 0, sizeof pt.current);
        pt.levelTarget = pt.level = 0;
        pt.panTarget = pt.pan = 0.5f;
        pt.reverbSendTarget = pt.reverbSend = pt.chorusSend = 0;
        pt.outputBus = 0;
        pt.voiceCount = 1;
        pt.mute = pt.solo = 0;
        for (CBiQuad& q : pt.eq) q = CBiQuad();
        pt.eqUpdate[0] = pt.eqUpdate[1] = pt.eqUpdate[2] = 0;
        pt.harmonicPower.setExponent(1.0f);
        pt.noisePower.setExponent(1.0f);
        pt.spectrum.reset();
        for (CResynator& r : pt.spectra) r.reset();
        pt.noiseState = kNoiseSeeds[p];
        for (float& b : pt.bandLevel) b = 1.0f;
        pt.gender = pt.balance = 0.5f;
        pt.breathAmount = 0;
        pt.formantScale = 1;
        pt.glideLength = 0;
        pt.lane[kLaneVolume] = 1;
        pt.lane[kLaneTension] = 0;
        pt.lane[kLaneBreath] = 1;
        pt.lane[kLaneOpen] = 0;
        pt.lane[kLaneVibrato] = 0;
        pt.pitchCurve = 0;
        pt.pressure = 0;
        pt.smoothing = 1;
        pt.effects.clear();
        synth[p].clear();
    }
    for (CXVoiceSlot& v : slot) {
        v.clearRecord();
        v.part = -1;
    }
    voiceCount = 0;
    globalGainTarget = globalGain = 0;
    masterPanTarget = masterPan = 0.5f;
    masterReverbTarget = masterReverb = 0;
    reverb = CXReverbSettings();
    reverbRebuild = 1;  // lengths and gains of the default settings
    masterSmoothing = 1;
    masterEffects.clear();
    listCount = 0;
    silentPartial = CXPartial();
    std::memset(masterBus, 0, sizeof masterBus);
    std::memset(reverbBus, 0, sizeof reverbBus);
    std::memset(chorusBus, 0, sizeof chorusBus);
    blockCounter = 0;
    allocate();
}

float CEngine::random01() {
    randomState = randomState * 1664525u + 1013904223u;
    return float(randomState >> 8) * (1.0f / 16777216.0f);
}

// ---- voice slots ----

void CEngine::allocate() {
    int i = 0;
    for (int p = 0; p < kEngineParts; ++p) {
        int wanted = part[p].voiceCount;
        part[p].link = wanted >= 1 ? p : -1;
        for (int k = 0; k < wanted && i < kVoiceSlots; ++k) slot[i++].part = p;
    }
    voiceCount = i;
}

bool CEngine::isSilenced(int p) const {
    if (p < 0 || p >= kEngineParts) return true;
    for (const CXPart& pt : part)
        if (pt.solo) return !part[p].solo;
    return part[p].mute != 0;
}

bool CEngine::noteStart(int s, int note, int velocity, float notePitch, bool legato) {
    if (s < 0 || s >= voiceCount) return false;
    CXVoiceSlot& v = slot[s];
    int p = v.part;
    if (p < 0 || p >= kEngineParts || isSilenced(p)) return false;
    CXPart& pt = part[p];
    velocity = std::min(std::max(velocity, 0), 127);
    float vel = float(velocity) / 127;
    // The working pitch before this note, for glides; the first note glides from itself.
    v.previousPitch = v.sounded ? v.pitch : notePitch + pt.current[29];
    v.note = note;
    v.gate = 1;
    v.legato = legato ? 1 : 0;
    v.notePitch = notePitch;
    v.modulation.velocity = vel;
    v.velocityGainTarget = std::pow(10.0f, -3.0f * pt.current[14] * (1 - vel));
    v.modulation.keytrack = std::min(std::max(float(note - 33) / 72, 0.0f), 1.0f);
    for (int n = 0; n < kHarmonics; ++n) v.harmonicOffset[n] = pt.spectrum.pitchOffset[n];
    v.silence = 0;
    v.pending = 1;
    v.sounded = 1;
    pt.active = 1;
    pt.smoothing = 1;
    return true;
}

void CEngine::fadeOut(int s) {
    if (s < 0 || s >= kVoiceSlots) return;
    slot[s].fadeOut(globalData().blockMilliseconds);
}

void CEngine::setNoteSettings(int p, float noteGender, float noteBalance, float noteBrightness) {
    if (p < 0 || p >= kEngineParts) return;
    CXPart& pt = part[p];
    pt.gender = std::min(std::max(pt.current[4] + 0.5f * noteGender, 0.0f), 1.0f);
    pt.balance = std::min(std::max(pt.current[9] + 0.5f * noteBalance, 0.0f), 1.0f);
    pt.breathAmount = std::min(std::max(pt.current[5], 0.0f), 1.0f);
    if (p < kVoiceSlots) slot[p].brightnessOffset = -0.25f * noteBrightness;
}

void CEngine::setFormantTarget(int p, const CXFormantTarget& t) {
    if (p < 0 || p >= kEngineParts || p >= kVoiceSlots) return;
    slot[p].setFormantTarget(t, part[p].gender, globalData().blockMilliseconds);
}

void CEngine::setSpectralTarget(int p, const float* levels, int flag) {
    if (p < 0 || p >= kEngineParts || p >= kVoiceSlots || !levels) return;
    float r[kSpectralBands];
    for (float& x : r) x = random01();
    slot[p].setSpectralTarget(levels, flag, part[p].balance, r);
}

void CEngine::setSourceEnvelope(int p, int mode, float v0, float v1, float v2, float v3) {
    if (p < 0 || p >= kEngineParts || p >= kVoiceSlots) return;
    const float values[4] = {v0, v1, v2, v3};
    const CGlobalData& g = globalData();
    slot[p].setSourceEnvelope(mode, values, g.blockMilliseconds, g.sampleRate);
}

float CEngine::readPeak(int p) {
    if (p < 0 || p >= kEngineParts) return 0;
    float v = std::sqrt(part[p].peak);
    part[p].peak = 0;
    return std::max(v, part[p].levelFollower);
}

void CEngine::resetPart(int p) {
    for (int q = 0; q < kEngineParts; ++q) {
        if (p >= 0 && q != p) continue;
        CXPart& pt = part[q];
        pt.effects.clear();
        for (CBiQuad& b : pt.eq) b.clear();
        for (CXVoiceSlot& v : slot)
            if (v.part == q) v.clearRecord();  // silent (counter 10000) until the next note
        pt.smoothing = 1;
    }
    if (p < 0) {
        masterEffects.clear();
        masterSmoothing = 1;
    }
}

bool CEngine::slotRenders(int s) const {
    if (s < 0 || s >= voiceCount) return false;
    const CXVoiceSlot& v = slot[s];
    if (v.part < 0 || v.part >= kEngineParts) return false;
    const CXPart& pt = part[v.part];
    return pt.active && !pt.busy && pt.link == v.part && v.silence <= 1000;
}

// ---- control step ----

void CEngine::updateEqualiser(int p) {
    CXPart& pt = part[p];
    const float rate = float(globalData().sampleRate);
    const float* t = pt.target;
    if (pt.eqUpdate[kEQLow]) pt.eq[0].setCoefficients(CBiQuad::kLowShelf, t[65], t[66], rate, 1);
    if (pt.eqUpdate[kEQMid]) {
        float octaves = t[76] > 0 ? t[77] / t[76] : 1;
        pt.eq[1].setCoefficients(CBiQuad::kPeaking, t[75], t[76], rate, octaves);
    }
    if (pt.eqUpdate[kEQHigh]) pt.eq[2].setCoefficients(CBiQuad::kHighShelf, t[67], t[68], rate, 1);
    for (int b = 0; b < 3; ++b) {
        if (pt.eqUpdate[b]) pt.eq[3 + b].copyCoefficients(pt.eq[b]);
        pt.eqUpdate[b] = 0;
    }
}

void CEngine::smoothParameters() {
    const float m = masterSmoothing;
    globalGain += (globalGainTarget - globalGain) * m;
    masterPan += (masterPanTarget - masterPan) * m;
    masterReverb += (masterReverbTarget - masterReverb) * m;
    for (int p = 0; p < kEngineParts; ++p) {
        CXPart& pt = part[p];
        const float a = pt.smoothing;
        pt.level += (pt.levelTarget - pt.level) * a;
        pt.pan += (pt.panTarget - pt.pan) * a;
        pt.reverbSend += (pt.reverbSendTarget - pt.reverbSend) * a;
        if (pt.active)
            for (int i = 0; i < smoothedCount; ++i) {
                int e = smoothedEntries[i];
                pt.current[e] += (pt.target[e] - pt.current[e]) * a;
            }
        pt.current[29] = pt.current[30] + pt.current[31];
        if (pt.eqUpdate[0] | pt.eqUpdate[1] | pt.eqUpdate[2]) updateEqualiser(p);
    }
}

void CEngine::advanceModulators(int s) {
    CXVoiceSlot& v = slot[s];
    const float* c = part[v.part].current;
    int wave = int(c[34]);
    v.vibrato.advance(curves, waves, wave, v.vibratoRate);
    v.trill.advance(curves, waves, wave, v.trillRate);
}

void CEngine::controlStep() {
    ++blockCounter;
    // Float-to-integer conversions below truncate (C++ conversion rules), so
    // no rounding mode needs switching.

    // Note starts and new spectral targets: noise spectra and stream A now.
    for (int s = 0; s < voiceCount; ++s) {
        CXVoiceSlot& v = slot[s];
        if (!v.pending || v.part < 0) continue;
        v.spectralFlag = v.targetFlag;
        noise.computeSpectra(*this, v.part, s);
        noise.synthesise(*this, v.part, s, 0);
        v.pending = 0;
    }

    smoothParameters();
    if (reverbRebuild) {
        masterEffects.rebuildReverb(reverb, globalData().sampleRate);
        reverbRebuild = 0;
    }

    listCount = 0;
    bool rendered[kVoiceSlots] = {};
    for (int s = 0; s < voiceCount; ++s) {
        if (!slotRenders(s)) continue;
        rendered[s] = true;
        int p = slot[s].part;
        if (part[p].voiceModel() == 0) {
            spectral.compute(*this, p, s);
        } else {
            spectral.voiceStep(*this, p, s, false);
            synth[p].setup(*this, p, s);
        }
    }
    for (int s = 0; s < voiceCount; ++s)
        if (rendered[s]) advanceModulators(s);
    for (int p = 0; p < kEngineParts; ++p)
        if (part[p].link == p && part[p].active) part[p].effects.update(part[p].current, effectClock);
    masterEffects.update(effectClock);

    for (int s = 0; s < voiceCount; ++s)
        if (rendered[s]) noise.computeSpectra(*this, slot[s].part, s);
    for (int s = 0; s < voiceCount; ++s)
        if (rendered[s]) {
            noise.synthesise(*this, slot[s].part, s, 0);
            noise.synthesise(*this, slot[s].part, s, 1);
        }

    for (CXPart& pt : part) pt.smoothing = kSmoothing;
    masterSmoothing = kSmoothing;

    if (blockCounter % 25 == 0)
        for (CXPart& pt : part) {
            pt.levelFollower = std::max(0.3f * pt.levelFollower + 1e-7f, std::sqrt(pt.peak));
            pt.peak = 0;
        }
}

// ---- render step ----

void CEngine::clearPartBuffers(int p) {
    CXPart& pt = part[p];
    if (pt.cleared) return;
    std::memset(pt.buffer, 0, sizeof pt.buffer);
    std::memset(pt.breath, 0, sizeof pt.breath);
    std::memset(pt.lanes.v, 0, sizeof pt.lanes.v);
    pt.cleared = 1;
}

bool CEngine::groupsOfPart(int i, int groups, int p) const {
    for (int g = 0; g < groups; ++g)
        if (listPart[i + 4 * g] != p) return false;
    return true;
}

void CEngine::renderList() {
    int i = 0;
    const int n = listCount - listCount % 4;
    while (i < n) {
        int p = listPart[i];
        if (p < 0 || p >= kEngineParts) {
            i += 4;
            continue;
        }
        CXPart& pt = part[p];
        clearPartBuffers(p);
        pt.active = 1;
        if (pt.voiceModel() == 1) {
            i += 4;
            continue;
        }
        // Eight, four or two groups of the same part share one pass over the lanes.
        if (useAVX512 && useAVX && useSSE && i + 32 <= n && groupsOfPart(i, 8, p)) {
            renderPartialsAVX512x8(&listRecord[i], pt.lanes);
            i += 32;
        } else if (useAVX && useSSE && i + 16 <= n && listPart[i + 4] == p && listPart[i + 8] == p && listPart[i + 12] == p) {
            renderPartialsAVX4x(&listRecord[i], pt.lanes);
            i += 16;
        } else if (useSSE && i + 8 <= n && listPart[i + 4] == p) {
            renderPartialsSSE2x(&listRecord[i], pt.lanes);
            i += 8;
        } else {
            if (useSSE)
                renderPartialsSSE(&listRecord[i], pt.lanes);
            else
                renderPartialsScalar(&listRecord[i], pt.lanes);
            i += 4;
        }
    }
}

void CEngine::render(float* out) {
    // 1. Parts stay active while they are heard.
    for (int p = 0; p < kEngineParts; ++p) {
        CXPart& pt = part[p];
        pt.cleared = 0;
        pt.energy = 0;
        // A busy part keeps its state for when its program is in place.
        if (pt.link == p && pt.active && !pt.busy) {
            pt.active = pt.levelFollower > 1e-6f || pt.voiceModel() == 1;
            clearPartBuffers(p);
        }
    }
    // 2. Additive partials.
    renderList();
    // 3. Per-frame noise, breath and burst of each voice slot.
    for (int s = 0; s < voiceCount; ++s) {
        if (!slotRenders(s)) continue;
        const int p = slot[s].part;
        clearPartBuffers(p);
        if (part[p].voiceModel() == 1) synth[p].render(*this, p, s);
        noise.mixFrames(*this, p, s);
    }
    // 4. Mixing.
    std::memset(masterBus, 0, sizeof masterBus);
    std::memset(reverbBus, 0, sizeof reverbBus);
    std::memset(chorusBus, 0, sizeof chorusBus);
    for (int p = 0; p < kEngineParts; ++p) {
        CXPart& pt = part[p];
        if (pt.link != p || !pt.active || pt.busy || !pt.cleared) continue;
        const bool spectral = pt.voiceModel() == 0;
        const float gl = pt.level * pt.pan, gr = pt.level * (1 - pt.pan);
        const float rs = pt.reverbSend, cs = pt.chorusSend;
        float energy = 0, peak = pt.peak;
        // Frame i of the part, levelled and panned, onto the three buses.
        auto send = [&](int i, float l, float r) {
            masterBus[2 * i] += l;
            masterBus[2 * i + 1] += r;
            reverbBus[2 * i] += l * rs;
            reverbBus[2 * i + 1] += r * rs;
            chorusBus[2 * i] += l * cs;
            chorusBus[2 * i + 1] += r * cs;
        };
        // Partials into the part buffer, then the EQ bands channel by channel.
        if (spectral) {
            for (int i = 0; i < kEngineBlock; ++i) {
                const float* lane = pt.lanes.v + 8 * i;
                pt.buffer[2 * i] += (lane[0] + lane[1]) + (lane[2] + lane[3]);
                pt.buffer[2 * i + 1] += (lane[4] + lane[5]) + (lane[6] + lane[7]);
            }
        }
        for (int band = 0; band < 3; ++band) CBiQuad::processStereo(pt.eq[band], pt.eq[3 + band], pt.buffer, kEngineBlock);
        const CXPartEffects& fx = pt.effects;
        if (!fx.distortionOn && !fx.delayOn && !fx.modulationOn) {
            // Without insert effects the frames are independent: the buses
            // in one pass the compiler vectorises, then energy and peak in
            // frame order (the same sums as the loop below).
            alignas(16) float mixed[2 * kEngineBlock];
            for (int i = 0; i < kEngineBlock; ++i) {
                float l = (pt.buffer[2 * i] + pt.breath[2 * i] + kDenormalGuard) * gl;
                float r = (pt.buffer[2 * i + 1] + pt.breath[2 * i + 1] + kDenormalGuard) * gr;
                mixed[2 * i] = l;
                mixed[2 * i + 1] = r;
                send(i, l, r);
            }
            for (int i = 0; i < kEngineBlock; ++i) {
                float l = pt.buffer[2 * i] + pt.breath[2 * i];
                float r = pt.buffer[2 * i + 1] + pt.breath[2 * i + 1];
                energy += l * l + r * r;
            }
            // The largest square in four interleaved runs: the same maximum
            // (squares have no sign and a NaN is never taken), without one
            // long chain of comparisons.
            float top[4] = {peak, peak, peak, peak};
            for (int j = 0; j < 2 * kEngineBlock; j += 4)
                for (int q = 0; q < 4; ++q) {
                    float m = mixed[j + q] * mixed[j + q];
                    if (m >= top[q]) top[q] = m;
                }
            for (float m : top)
                if (m >= peak) peak = m;
            pt.energy = energy;
            pt.peak = peak;
            continue;
        }
        for (int i = 0; i < kEngineBlock; ++i) {
            float l = pt.buffer[2 * i] + pt.breath[2 * i];
            float r = pt.buffer[2 * i + 1] + pt.breath[2 * i + 1];
            energy += l * l + r * r;
            l += kDenormalGuard;
            r += kDenormalGuard;
            pt.effects.process(l, r);
            l *= gl;
            r *= gr;
            if (l * l >= peak) peak = l * l;
            if (r * r >= peak) peak = r * r;
            send(i, l, r);
        }
        pt.energy = energy;
        pt.peak = peak;
    }
    masterEffects.process(reverbBus, chorusBus, masterBus, kEngineBlock, masterReverb, reverb.on != 0);
    // 5. Output stage: the soft saturator.
    const CTLBase& sat = shapes.table(0);
    for (int i = 0; i < 2 * kEngineBlock; ++i) {
        float x = masterBus[i];
        float t = sat.position(x);
        out[i] = sat.at(int(t + 0.5f), t);
    }
    // 6. Silence detection: every slot follows its part's energy.
    for (int s = 0; s < voiceCount; ++s) {
        CXVoiceSlot& v = slot[s];
        if (v.part < 0) continue;
        if (part[v.part].energy > 1e-5f)
            v.silence = 0;
        else if (v.silence <= 1000)
            v.silence += 4;
    }
}

void CEngine::loadNeutralVoice(int p) {
    if (p < 0 || p >= kEngineParts) return;
    CXPart& pt = part[p];
    float* c = pt.current;
    std::memset(c, 0, sizeof pt.current);
    const float tiny = 0.0000001f;
    c[1] = 1 - 0.9999999f;  // Bright 127
    c[2] = c[3] = 1e-14f;
    c[4] = c[5] = c[6] = c[9] = c[10] = c[11] = tiny;
    c[7] = tiny * 24 / 192;
    c[12] = std::pow(10.0f, (-60 + 80 * 80.0f / 127) / 20) + tiny;  // Volume 80
    c[13] = 64.0f / 127 + tiny;                                      // Pan centre
    c[14] = 32.0f / 127 + tiny;                                      // Velocity 32
    c[16] = tiny;
    c[24] = 2 * tiny;
    c[28] = 3.0f / 192;
    c[30] = 0.6470571f + tiny;  // Semitone 48: A4 as the base of note pitches
    c[31] = tiny;
    c[29] = c[30] + c[31];
    c[32] = 16;  // Partials 7
    c[65] = c[67] = c[75] = tiny * 40;
    c[66] = 64.0f / 127 * 450 + 50;
    c[68] = 64.0f / 127 * 12000 + 4000;
    c[76] = 64.0f / 127 * 7800 + 200;
    c[77] = 64.0f / 127 * 4900 + 100;
    c[80] = tiny;
    c[81] = c[82] = tiny * 1950 + 50;
    for (int e = 100; e < 116; ++e) c[e] = 1;
    for (int e = 128; e < 184; ++e) c[e] = 0.88f;
    for (int e = 256; e < 304; ++e) c[e] = 1;
    std::memcpy(pt.target, pt.current, sizeof pt.target);
    for (int b = 0; b < 96; ++b) pt.bandLevel[b] = std::pow(1000.0f, c[208 + b] - 1);
    pt.harmonicPower.setExponent(2 * tiny + 0.5f);
    pt.noisePower.setExponent(4 * tiny + 0.5f);
    pt.eqUpdate[0] = pt.eqUpdate[1] = pt.eqUpdate[2] = 1;
    float mixLevel = 4 * std::pow(10.0f, (-64 + 76 * std::sqrt(92.0f / 127)) / 20) + tiny;
    pt.levelTarget = pt.level = mixLevel;
    pt.panTarget = pt.pan = 0.5f + tiny;
    pt.reverbSendTarget = pt.reverbSend = tiny;
    pt.gender = pt.balance = 0.5f;
    pt.breathAmount = 0;
}

void CEngine::loadNeutralMaster() {
    // Master 0.725 and centred pan.
    globalGainTarget = globalGain = 20 * std::pow(10.0f, (-64 + 76 * std::sqrt(92.0f / 127)) / 20) + 0.0000001f;
    masterPanTarget = masterPan = 0.5f;
}
