#include "params/pi_base.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "files/global_data.h"
#include "params/value_lists.h"
#include "plugin/vst_editor.h"
#include "plugin/vst_program.h"

namespace {

constexpr float kTiny = 0.0000001f;

int clampPart(int p) { return (p < 0 || p >= CPIBase::kParts) ? 0 : p; }

bool isUserSet(int set) { return (set >= 1 && set <= 16) || (set >= 40 && set <= 55); }

}  // namespace

void CPIBase::init(CEngine* e, CVSTProgram* p) {
    engine = e;
    programs = p;
}

const ParamDescriptor& CPIBase::voiceDescriptor(int entry) const {
    return voiceDescriptors()[((entry % 1024) + 1024) % 1024 % kVoiceEntries];
}

const ParamDescriptor& CPIBase::descriptor(int group, int entry) const {
    static const ParamDescriptor undefined;
    switch (group) {
    case kGroupVoice: return voiceDescriptor(entry);
    case kGroupMixer: return (entry >= 0 && entry < kMixerEntries) ? mixerDescriptors()[entry] : undefined;
    case kGroupMaster: return (entry >= 0 && entry < kMasterEntries) ? masterDescriptors()[entry] : undefined;
    case kGroupSystem: return (entry >= 0 && entry < kSystemEntries) ? systemDescriptors()[entry] : undefined;
    default: return undefined;
    }
}

void CPIBase::notify(int part, int group, int entry) {
    if (editor) editor->valueChanged(part, group, entry);
}

float* CPIBase::stored(int part, int entry) const { return &programs->valuesOfPart(clampPart(part))[entry]; }

// ---- voice ----

void CPIBase::setVoiceValue(int part, int entry, float x, bool immediate) {
    if (!programs || entry < 0 || entry >= kVoiceEntries || !std::isfinite(x)) return;
    part = clampPart(part);
    x = std::clamp(x, 0.0f, 1.0f);  // normalized by contract; anything else would overflow conversions
    const ParamDescriptor& d = voiceDescriptors()[entry];
    float q = x * d.maximum;
    if (entry != 71 && d.listMaximum > 0 && q > d.listMaximum) q = d.listMaximum;
    float previous = *stored(part, entry);
    *stored(part, entry) = q;
    if (entry == 71) {
        phonemeSetCommand(part, int(q + 0.4999f), previous);
        return;
    }
    deliverVoice(part, entry, q, immediate);
}

float CPIBase::getVoiceValue(int part, int entry) const {
    if (!programs || entry < 0 || entry >= kVoiceEntries) return 0;
    return *stored(part, entry) / voiceDescriptors()[entry].maximum;
}

void CPIBase::resendProgram(int part) {
    for (int e = 0; e < kVoiceEntries; ++e) setVoiceValue(part, e, getVoiceValue(part, e), true);
}

void CPIBase::deliverVoice(int p, int e, float q, bool immediate) {
    float* raw = stored(p, e);
    int r = int(q + 0.4999f);
    float n = q / 127 + kTiny;
    if (!engine) return;
    CXPart& part = engine->part[p];
    float* target = part.target;
    float* current = part.current;
    const int rate = globalData().sampleRate;
    auto targetImmediate = [&](float v) {
        target[e] = v;
        if (immediate) current[e] = v;
    };
    auto targetAlways = [&](float v) { target[e] = current[e] = v; };
    auto rawAsInt = [&] { *raw = float(r); };

    switch (e) {
    case 1: {
        float v = q / 127;
        targetImmediate(1 - (v == 1 ? 0.9999999f : v));
        break;
    }
    case 2: case 3: targetImmediate(q / 127 + 1e-14f); break;
    case 4: case 9: case 11: case 14: targetAlways(n); break;
    case 5: targetAlways(n * n); break;
    case 6: case 10: target[e] = n; break;
    case 7: target[e] = ((q * q / 16129) + kTiny) * 24 / 192; break;
    case 8:
        target[e] = n;
        part.spectrum.applyMetallic(n);
        break;
    case 12: targetImmediate(r == 0 ? kTiny : std::pow(10.0f, (-60 + 80 * q / 127) / 20) + kTiny); break;
    case 13: case 23: case 45: case 50: case 55: targetImmediate(n); break;
    // Delivered to both so the smoothing never draws it away from the user's value.
    case 15: target[e] = current[e] = n; break;
    case 16: targetImmediate((q - 64) / 64 + kTiny); break;
    case 24: targetImmediate(2 * std::clamp((q - 64) / 126 + kTiny, -0.5f, 0.5f)); break;
    case 25: case 26: case 79:
        rawAsInt();
        current[e] = float(r >= 0 && r <= 8 ? r : 0);
        break;
    case 27: {
        float t = r > 0 ? std::pow(10.0f, q / 25) / 1000 : kTiny;
        float blocks = t * 1000 / globalData().blockMilliseconds;
        current[e] = 1 - std::pow(0.2f, 1 / blocks);
        part.glideLength = std::max(t, 0.001f) * 30720;
        break;
    }
    case 28: current[e] = float(r) / 192; break;
    case 30:
        rawAsInt();
        current[e] = float(r - 48) / 192 + 0.6470571f + kTiny;
        break;
    case 31: {
        float d = (q - 50) * (q - 50) / 50;
        if (q < 50) d = -d;
        current[e] = d * 0.0000520833f + kTiny;
        break;
    }
    case 32: current[e] = float(r == 126 ? 256 : r == 127 ? 0 : 2 * r + 2); break;
    case 33:
        rawAsInt();
        current[e] = float(r - 48) / 192 + kTiny;
        break;
    case 34:
        rawAsInt();
        if (r >= 0 && r < 7) current[e] = float(r);
        break;
    case 35: case 36: case 37: case 38: case 39: case 46: case 53: case 59: case 60: case 61:
        rawAsInt();
        current[e] = float(r);
        break;
    case 40:
        if (*stored(p, 58) >= 0.5f)
            current[e] = 1.0f / float(noteLength(q / 127 * 23).units);
        else
            current[e] = n * 0.8f;
        break;
    case 42: targetImmediate(float(rate) / 44100 * n * n + 0.00002f); break;
    case 43: targetImmediate(n * n * n); break;
    case 44: targetImmediate((q - 64) * 0.99f / 64 + kTiny); break;
    case 47: case 48:
        if (*stored(p, 52) == 0) {
            float g = q / 127 * 0.99f + kTiny;
            current[e] = std::min(float(rate) / 44100 * g * g, 0.99f);
        } else {
            current[e] = float(noteLength(n * 10).units);
        }
        break;
    case 49: targetImmediate(q / 127 * 0.99f + kTiny); break;
    case 51: current[e] = 345 * std::pow(2.0f, 6 * q / 128); break;
    case 52:
        rawAsInt();
        current[e] = float(r);
        for (int k : {47, 48}) {
            deliverVoice(p, k, *stored(p, k), true);
            notify(p, kGroupVoice, k);
        }
        break;
    case 54: current[e] = 40 * std::pow(2.0f, 8 * q / 127); break;
    case 56: targetImmediate(std::pow(10.0f, (-20 + 20 * q / 127) / 20) + kTiny); break;
    case 57: targetImmediate(std::pow(10.0f, (-12 + 72 * q / 127) / 20) * 0.03125f + kTiny); break;
    case 58:
        rawAsInt();
        current[e] = float(r);
        deliverVoice(p, 40, *stored(p, 40), true);
        notify(p, kGroupVoice, 40);
        break;
    case 62:
        current[e] = n;
        part.harmonicPower.setExponent(2 * n + 0.5f);
        part.noisePower.setExponent(4 * n + 0.5f);
        break;
    case 63: {
        int v = (r < 1 || r >= 33) ? 1 : r;
        *raw = float(v);
        if (v != part.voiceCount) {
            programs->mixer[p][10] = float(v);
            part.voiceCount = v;
            engine->allocate();
        }
        break;
    }
    case 64:
        part.reverbSendTarget = r == 0 ? kTiny : std::pow(10.0f, (-40 + 40 * q / 127) / 20) + kTiny;
        programs->mixer[p][0] = float(r);
        break;
    case 65: case 67: case 75:
        target[e] = ((q - 64) / 64 + kTiny) * 40;
        part.eqUpdate[e == 65 ? kEQLow : e == 67 ? kEQHigh : kEQMid] = 1;
        break;
    case 66:
        target[e] = n * 450 + 50;
        part.eqUpdate[kEQLow] = 1;
        break;
    case 68:
        target[e] = n * 12000 + 4000;
        part.eqUpdate[kEQHigh] = 1;
        break;
    case 76: case 77:
        target[e] = e == 76 ? n * 7800 + 200 : n * 4900 + 100;
        part.eqUpdate[kEQMid] = 1;
        break;
    case 70:
        rawAsInt();
        current[e] = float(r - 40) / 100 + kTiny;
        break;
    case 78:
        rawAsInt();
        current[e] = float(r);
        if (editor) editor->requestRefresh();
        break;
    case 80: case 83: case 86: case 87: case 88: case 89: case 90: current[e] = n; break;
    case 81: case 82: current[e] = n * 1950 + 50; break;
    case 84:
        rawAsInt();
        current[e] = float(r - 48);
        break;
    case 85: {
        int v = (r < 1 || r >= 17) ? 1 : r;
        *raw = float(v);
        current[e] = float(v);
        break;
    }
    default:
        if (e >= 100 && e <= 107)
            current[e] = std::pow(2.0f, (q - 64) / 64);
        else if (e >= 108 && e <= 115)
            current[e] = std::pow(2.0f, 3 * (q - 64) / 64);
        else
            current[e] = q;
        if (e >= 208 && e <= 303) part.bandLevel[e - 208] = std::pow(1000.0f, q - 1);
        break;
    }
}

void CPIBase::phonemeSetCommand(int p, int r, float previous) {
    float* raw = stored(p, 71);
    CPhoneme& model = phonemes[p];
    auto restore = [&] { *raw = previous; };
    if (r < 99) {
        if (r >= 0 && model.loadSet(r)) {
            *raw = float(r);
            if (engine) engine->part[p].current[71] = float(r);
            if (editor) editor->requestRefresh();
        } else {
            restore();
        }
        return;
    }
    switch (r) {
    case 99:
        if (isUserSet(model.setNumber)) model.saveSet(model.setNumber);
        restore();
        break;
    case 100:
        clipboard.copyFrom(model);
        clipboardValid = true;
        restore();
        break;
    case 101:
        if (clipboardValid) {
            int keep = model.setNumber;
            model.copyFrom(clipboard);
            model.setNumber = keep;
            if (editor) editor->requestRefresh();
            setVoiceValue(p, 36, float(model.language) / 127, true);
        }
        break;
    case 111: break;
    default: restore(); break;
    }
}

// ---- mixer and master ----

void CPIBase::setMixerValue(int p, int e, float x) {
    if (!programs || e < 0 || e >= kMixerEntries || !std::isfinite(x)) return;
    p = clampPart(p);
    // Entry 15 keeps a program number against a maximum of 1, so bound the raw value, not x.
    float raw = std::clamp(x * mixerDescriptors()[e].maximum, 0.0f, 1e6f);
    float* strip = programs->mixer[p];
    strip[e] = raw;
    int r = int(raw + 0.1f);
    float a = raw / 127;
    CXPart* part = engine ? &engine->part[p] : nullptr;
    switch (e) {
    case 0:
        if (part) part->reverbSendTarget = r == 0 ? kTiny : std::pow(10.0f, (-40 + 40 * raw / 127) / 20) + kTiny;
        break;
    case 1:
        if (part) part->chorusSend = a + kTiny;
        break;
    case 2:
        if (part)
            part->levelTarget =
                r == 0 ? kTiny : 4 * std::pow(10.0f, (-64 + 76 * std::sqrt(std::max(a, 0.0f))) / 20) + kTiny;
        break;
    case 3:
        if (part) part->panTarget = 1 - a + kTiny;
        break;
    case 5:
        if (r > 0) {
            strip[5] = float(r);
            if (strip[6] == 0) strip[6] = 108;
            if (strip[6] < float(r)) strip[6] = float(r);
        } else {
            strip[5] = strip[6] = 0;
        }
        notify(p, kGroupMixer, 6);
        break;
    case 6:
        if (r > 0) {
            strip[6] = float(r);
            if (strip[5] == 0) strip[5] = 12;
            if (float(r) < strip[5]) strip[5] = float(r);
        } else {
            strip[5] = strip[6] = 0;
        }
        notify(p, kGroupMixer, 5);
        break;
    case 9:
        if (part) part->mute = r;
        break;
    case 10: {
        int v = (r < 1 || r > 16) ? 1 : r;
        if (part) {
            part->voiceCount = v;
            engine->allocate();
        }
        programs->valuesOfPart(p)[63] = float(v);
        break;
    }
    case 11:
        if (part) part->solo = r;
        break;
    case 14:
        if (part) part->outputBus = std::clamp(r, 0, 7);
        break;
    default: break;  // 4 (channel) and 15 (program) are read where they are used
    }
}

float CPIBase::getMixerValue(int p, int e) const {
    if (!programs || e < 0 || e >= kMixerEntries) return 0;
    return programs->mixer[clampPart(p)][e] / mixerDescriptors()[e].maximum;
}

void CPIBase::setMasterValue(int e, float x) {
    if (!programs || e < 0 || e >= kMasterEntries || !std::isfinite(x)) return;
    float raw = float(int(std::clamp(x, 0.0f, 1.0f) * 127 + 0.1f));
    programs->master[e] = raw;
    if (!engine) return;
    float a = raw / 127, d = a + kTiny;
    CXReverbSettings& rv = engine->reverb;
    switch (e) {
    case 2:
        engine->globalGainTarget =
            raw == 0 ? kTiny : 20 * std::pow(10.0f, (-64 + 76 * std::sqrt(std::max(a, 0.0f))) / 20) + kTiny;
        break;
    case 3: engine->masterPanTarget = 1 - a + kTiny; break;
    case 4: engine->masterReverbTarget = d; break;
    case 5: rv.preset = int(raw); break;
    case 6: rv.predelay = int(a * 4410 + 1); engine->requestReverbRebuild(); break;
    case 7: rv.time = raw == 127 ? 999999.0f : std::pow(2.0f, raw / 10) * 0.05f; engine->requestReverbRebuild(); break;
    case 8: rv.size = d * 99 + 1; engine->requestReverbRebuild(); break;
    case 9: rv.structure = d; engine->requestReverbRebuild(); break;
    case 10: rv.fusion = d; engine->requestReverbRebuild(); break;
    case 11: rv.damping = d; engine->requestReverbRebuild(); break;
    case 12: rv.on = int(raw); break;
    default: break;
    }
}

float CPIBase::getMasterValue(int e) const {
    if (!programs || e < 0 || e >= kMasterEntries) return 0;
    return programs->master[e] / masterDescriptors()[e].maximum;
}

void CPIBase::resendMixerAndMaster() {
    for (int p = 0; p < kParts; ++p)
        for (int e = 0; e < kMixerEntries; ++e) setMixerValue(p, e, getMixerValue(p, e));
    for (int e = 0; e < kMasterEntries; ++e) setMasterValue(e, getMasterValue(e));
    if (engine) engine->requestReverbRebuild();
}

void CPIBase::applyReverbPreset(int n) {
    const ReverbPreset& preset = reverbPreset(n);
    const int entries[6] = {6, 7, 8, 9, 10, 11};
    const int values[6] = {preset.values[0], preset.values[0], preset.values[1],
                           preset.values[2], preset.values[3], preset.values[4]};
    for (int i = 0; i < 6; ++i) {
        setMasterValue(entries[i], float(values[i]) / 127);
        notify(0, kGroupMaster, entries[i]);
    }
}

void CPIBase::setSampleRate(int rate) {
    if (rate <= 0) return;
    globalData().setSampleRate(rate);
    if (programs)
        for (int p = 0; p < kParts; ++p)
            for (int e : {42, 47, 48}) setVoiceValue(p, e, getVoiceValue(p, e), true);
    if (engine) {
        engine->requestReverbRebuild();
        engine->setSampleRate(rate);
    }
}
