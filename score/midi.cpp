#include "score/midi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "files/global_data.h"
#include "params/pi_base.h"
#include "plugin/vst_program.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"
#include "support/debug.h"
#include "support/o_system.h"

namespace {

constexpr int kMaxTuningFile = 64 * 1024;
constexpr float kTiny = 0.0000001f;

}  // namespace

CMIDI::CMIDI(CEngine* e, CVSTSynth* p) : engine(e), plugin(p) {
    if (plugin) {
        parameters = &plugin->getParameters();
        programs = &plugin->getPrograms();
    }
    for (int q = 0; q < kParts; ++q) CTuning::equalTemperament(tuning[q]);
    readTuningFiles();
    COSystem os;
    CMIDIAssign::load(os.path("QSMIDI.qsm"));
}

CMIDI::~CMIDI() {
    COSystem os;
    CMIDIAssign::save(os.path("QSMIDI.qsm"));
}

// ---- tunings ----

bool CMIDI::applyTuning(int p, const char* data, size_t size, const char* name) {
    if (p < 0 || p >= kParts) return false;
    CTuning::Result r = CTuning::read(data, size, tuning[p]);
    if (r != CTuning::kOk) {
        CDebug::format("Tuning %s ignored: %s; part %d stays in equal temperament", name ? name : "?",
                       CTuning::resultText(r), p + 1);
        return false;
    }
    tuned[p] = true;
    return true;
}

void CMIDI::readTuningFiles() {
    static char text[kMaxTuningFile];
    for (int p = 0; p < kParts; ++p) {
        const char* kinds[2] = {"scl", "tun"};
        for (const char* kind : kinds) {
            char name[64];
            std::snprintf(name, sizeof name, "Tuning/part%d.%s", p + 1, kind);
            COSystem os;
            std::FILE* f = std::fopen(os.path(name), "r");
            if (!f) continue;
            size_t n = std::fread(text, 1, sizeof text, f);
            std::fclose(f);
            applyTuning(p, text, n, name);
        }
    }
}

// ---- part settings ----

int CMIDI::channelOf(int p) const {
    if (!programs) return p;
    float v = programs->mixer[std::clamp(p, 0, kParts - 1)][4];
    return std::isfinite(v) ? std::clamp(int(v + 0.5f), 0, 15) : 0;
}

bool CMIDI::admitsKey(int p, int key) const {
    if (!programs) return true;
    const float* m = programs->mixer[std::clamp(p, 0, kParts - 1)];
    int lo = std::isfinite(m[5]) ? int(m[5] + 0.5f) : 0;
    int hi = std::isfinite(m[6]) ? int(m[6] + 0.5f) : 0;
    return (lo == 0 && hi == 0) || hi < lo || (lo <= key && key <= hi);
}

bool CMIDI::isSilenced(int p) const { return engine ? engine->isSilenced(p) : false; }

int CMIDI::keyPriority(int p) const {
    if (!programs) return kPriorityLast;
    float v = programs->valuesOfPart(std::clamp(p, 0, kParts - 1))[38];
    int k = std::isfinite(v) ? int(v + 0.5f) : 0;
    return k == kPriorityLow || k == kPriorityHigh ? k : kPriorityLast;
}

bool CMIDI::isMonophonic(int p) const {
    if (!engine) return true;
    int n = 0;
    for (int s = 0; s < engine->voiceCount; ++s)
        if (engine->slot[s].part == p) ++n;
    return n <= 1;
}

float CMIDI::keyPitch(int p, int key) const {
    key = std::clamp(key, 0, CTuning::kKeys - 1);
    if (p < 0 || p >= kParts) return float(key - 69) / 192;
    return tuning[p][key];
}

CSequencer* CMIDI::sequencer() const {
    if (liveHook) return liveHook;
    return plugin ? plugin->getSequencer() : nullptr;
}

int CMIDI::slotCount() const { return engine ? std::clamp(engine->voiceCount, 0, kVoiceSlots) : 0; }

// ---- queue ----

bool CMIDI::enqueue(uint32_t block, int message, int extra, int flag, int legato) {
    return queue.enqueue(block, message, extra, flag, legato);
}

void CMIDI::freeSlotEarly(int channel, int key) {
    if (!engine) return;
    int n = slotCount();
    for (int p = 0; p < kParts; ++p) {
        if (channelOf(p) != channel || isMonophonic(p) || n == 0) continue;
        bool playsKey = false, allBusy = true;
        for (int s = 0; s < n; ++s) {
            const CXVoiceSlot& v = engine->slot[s];
            if (v.part != p) continue;
            if (v.gate && v.note == key) playsKey = true;
            if (!v.gate) allBusy = false;
        }
        if (playsKey || !allBusy) continue;
        for (int i = 1; i <= n; ++i) {
            int s = (lastSlot[p] + i) % n;
            if (engine->slot[s].part == p) {
                releaseSlot(s);
                break;
            }
        }
    }
}

void CMIDI::step(uint32_t b) {
    if (queue.empty()) return;
    // Display pass: activity lights, and a voice freed ahead of the note.
    while (const CMIDIQueueEntry* e = queue.nextDisplayDue(b)) {
        int status = e->message & 0xF0, ch = e->message & 0x0F;
        int d1 = (e->message >> 8) & 0x7F, d2 = (e->message >> 16) & 0x7F;
        if ((e->message & 0xFF) < 0xF0 && (status == 0x80 || status == 0x90)) {
            activity[ch] = true;
            activityCountdown = kActivityReads;
            if (status == 0x90 && d2 > 0) freeSlotEarly(ch, d1);
        }
        queue.consumeDisplay();
    }
    // Main pass: key states first, then the message.
    while (const CMIDIQueueEntry* e = queue.nextDue(b)) {
        int message = e->message, ms = e->milliseconds;
        queue.consume();
        int status = message & 0xF0, ch = message & 0x0F;
        int d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
        if ((message & 0xFF) < 0xF0 && (status == 0x80 || status == 0x90)) {
            for (int p = 0; p < kParts; ++p) {
                if (channelOf(p) != ch || !admitsKey(p, d1)) continue;
                if (status == 0x90 && d2 > 0) keyboard.press(p, d1, d2);
                else keyboard.release(p, d1);
            }
        }
        dispatch(message, ms);
    }
}

// ---- dispatch ----

void CMIDI::dispatch(int message, int milliseconds) {
    int s = message & 0xFF;
    if (s >= 0xF0) {
        handleClock(s, milliseconds);
        return;
    }
    int status = s & 0xF0, ch = s & 0x0F;
    int d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
    bool isNote = status == 0x80 || status == 0x90;
    bool on = status == 0x90 && d2 > 0;
    for (int p = 0; p < kParts; ++p) {
        if (channelOf(p) != ch) continue;
        if (on && isSilenced(p)) continue;
        if (isNote) {
            if (!admitsKey(p, d1)) continue;
            CSequencer* seq = keysToSequencer ? sequencer() : nullptr;
            if (seq) {
                seq->liveNote(p, on, d1, d2);
            } else if (on) {
                noteOn(p, d1, d2, false);
            } else {
                noteOff(p, d1);
            }
            continue;
        }
        switch (status) {
            case 0xA0:  // polyphonic aftertouch
                if (engine)
                    for (int i = 0; i < slotCount(); ++i)
                        if (engine->slot[i].part == p && engine->slot[i].gate && engine->slot[i].note == d1)
                            engine->part[p].pressure = float(d2) / 127;
                break;
            case 0xD0:  // channel aftertouch
                if (engine) engine->part[p].pressure = float(d1) / 127;
                break;
            case 0xE0: {
                float x = float(d2) / 128 + float(d1) / 16384 + kTiny;
                pitchBend[p] = x;
                if (parameters) parameters->setVoiceValue(p, 24, x, false);
                break;
            }
            case 0xB0:
                controlChange(p, d1, d2);
                break;
            case 0xC0:
                if (d1 < kPrograms && plugin) plugin->assignProgramWithEffect(p, d1);
                break;
            default:
                break;
        }
    }
}

void CMIDI::controlChange(int p, int n, int v) {
    if (n == 32) {
        bank = v;
    } else if (n >= 122) {
        if (n == 123) allNotesOff();
        return;
    } else if (n == 1) {
        float x = float(v) / 127 + kTiny;
        modWheel[p] = x;
        if (parameters) parameters->setVoiceValue(p, 23, x, false);
    } else if (n == 80) {
        if (CSequencer* seq = sequencer()) seq->rewind();
    } else if (n == 27) {
        if (CSequencer* seq = sequencer()) seq->part[p].enabled = v > 63;
    } else if (n == 64) {
        keyboard.part[p].sustain = v >= 64;
    }
    assignment.apply(p, n, v, parameters);
}

// ---- notes ----

void CMIDI::startNote(int s, int p, int key, int velocity, bool legato) {
    if (!engine || isSilenced(p) || s < 0 || s >= slotCount() || engine->slot[s].part < 0) return;
    engine->noteStart(s, key, velocity, keyPitch(p, key), legato);
}

void CMIDI::releaseSlot(int s) {
    if (engine && s >= 0 && s < kVoiceSlots) engine->slot[s].gate = 0;
}

void CMIDI::noteOn(int p, int key, int velocity, bool legato) {
    if (!engine || p < 0 || p >= kParts || key < 0 || key > 127) return;
    if (velocity <= 0) {
        noteOff(p, key);
        return;
    }
    int n = slotCount();
    if (n == 0) return;
    int t = rotating[p] + 1;
    auto slotAt = [&](int i) { return ((t + i) % n + n) % n; };
    if (legato) {
        for (int i = 0; i < n; ++i) {
            int s = slotAt(i);
            if (engine->slot[s].part == p && engine->slot[s].sounded) {
                startNote(s, p, key, velocity, true);
                lastSlot[p] = s;
                return;
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        int s = slotAt(i);
        if (engine->slot[s].part == p && !engine->slot[s].gate) {
            startNote(s, p, key, velocity, false);
            lastSlot[p] = s;
            return;
        }
    }
    // Every slot of the part is busy: take the next one after the last used.
    for (int i = 1; i <= n; ++i) {
        int s = (lastSlot[p] + i) % n;
        if (engine->slot[s].part != p) continue;
        if (isMonophonic(p)) {
            int current = engine->slot[s].note;
            int prio = keyPriority(p);
            if (prio == kPriorityLow && key >= current) return;
            if (prio == kPriorityHigh && key <= current) return;
            startNote(s, p, key, velocity, true);
        } else {
            startNote(s, p, key, velocity, false);
            rotating[p] = s;
        }
        return;
    }
}

void CMIDI::noteOff(int p, int key) {
    if (!engine || p < 0 || p >= kParts) return;
    for (int s = 0; s < slotCount(); ++s) {
        CXVoiceSlot& v = engine->slot[s];
        if (v.part != p || !v.gate || v.note != key) continue;
        if (!isMonophonic(p)) {
            releaseSlot(s);
            continue;
        }
        int other = keyboard.findHeld(p, keyPriority(p) == kPriorityLow);
        if (other >= 0 && other != key) startNote(s, p, other, keyboard.velocityOf(p, other), true);
        else releaseSlot(s);
    }
}

void CMIDI::allNotesOff() {
    keyboard.clear(-1);
    for (int s = 0; s < kVoiceSlots; ++s) releaseSlot(s);
}

void CMIDI::resetPart(int p) {
    if (!engine) return;
    for (int s = 0; s < kVoiceSlots; ++s)
        if (p < 0 || engine->slot[s].part == p) releaseSlot(s);
    engine->resetPart(p);
}

void CMIDI::keyboardNoteOn(int key) {
    int sel = programs ? std::clamp(programs->selectedPart, 0, kParts - 1) : 0;
    int ch = channelOf(sel);
    for (int p = 0; p < kParts; ++p) {
        if (channelOf(p) != ch || !admitsKey(p, key)) continue;
        keyboard.press(p, key, 127);
        noteOn(p, key, 127, false);
    }
}

void CMIDI::keyboardNoteOff(int key) {
    int sel = programs ? std::clamp(programs->selectedPart, 0, kParts - 1) : 0;
    int ch = channelOf(sel);
    for (int p = 0; p < kParts; ++p) {
        if (channelOf(p) != ch || !admitsKey(p, key)) continue;
        keyboard.release(p, key);
        noteOff(p, key);
    }
}

bool CMIDI::partIndicator(int p) {
    int ch = channelOf(p);
    bool on = activity[ch];
    if (activityCountdown > 0) --activityCountdown;
    else activity[ch] = false;
    return on;
}

// ---- clock ----

void CMIDI::setTickLength(float x) {
    if (!(x > 10 && x < 1000)) return;
    tickLength = x;
    tickIncrement = 16777216.0f * 256 / x;
    float rate = float(globalData().sampleRate);
    tempoRatio = 120 / (rate * 60 / (x * 96));
}

void CMIDI::handleClock(int status, int ms) {
    if (status == 0xF8) {
        if (!extSync) return;
        if (clockSeen) clockSamples += double(ms - lastClockMs) * double(globalData().sampleRate) / 4000.0;
        else clockSeen = true;
        lastClockMs = ms;
        if (++clockCount % 16 == 0) {
            double average = clockSamples / 16;
            clockSamples = 0;
            if (average > 0 && std::fabs(average - double(tickLength)) > 5) {
                float rate = float(globalData().sampleRate);
                float bpm = rate * 60 / (float(average) * 96);
                if (average > 10 && average < 1000) {
                    tickLength = float(average);
                    tempoRatio = 120 / bpm;
                    if (CSequencer* seq = sequencer()) seq->setTempo(bpm);
                }
            }
            if (tickLength > 0) tickIncrement = 16777216.0f * 256 / tickLength;
        }
        return;
    }
    if (!extTransport || !extSync) return;
    if (status == 0xFA) {
        clockCount = 0;
        clockSamples = 0;
        clockSeen = false;
        clockRunning = true;
    } else if (status == 0xFB) {
        clockRunning = true;
    } else if (status == 0xFC) {
        clockRunning = false;
        allNotesOff();
    }
}
