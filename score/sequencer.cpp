#include "score/sequencer.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "files/cu_file.h"
#include "files/global_data.h"
#include "params/pi_base.h"
#include "plugin/vst_synth.h"
#include "score/midi.h"
#include "voice/phoneme.h"

namespace {

constexpr int kMaxTriggersPerBlock = 64;   // bounded work after a forward jump
constexpr int kMaxEventsPerBlock = CPHEvent::kEntries;
constexpr float kRebaseUnits = 1.0e6f;     // keeps the free-running position precise
constexpr int kAuditionPitch = 36;
constexpr float kAuditionTicks = 3840;

bool isStart(const CSQEvent* e) { return e && !e->isEnd(); }

}  // namespace

CSequencer::CSequencer(CVSTSynth* p) : plugin(p) {
    for (PartState& s : part) {
        s.soundingNote.next = &s.soundingEnd;
        s.soundingEnd.endFlag = 1;
        s.soundingEnd.type = 1;
        s.soundingEnd.partner = &s.soundingNote;
    }
    auditionNote.next = &auditionEnd;
    auditionEnd.endFlag = 1;
    auditionEnd.type = 1;
    auditionNote.setLyric("x");
    recomputeBlockUnits();
}

CEngine* CSequencer::engine() const { return plugin ? &plugin->getEngine() : nullptr; }
CMIDI* CSequencer::midi() const { return plugin ? plugin->getMidi() : nullptr; }

const CPhoneme* CSequencer::modelOf(int p) const {
    return plugin && p >= 0 && p < kParts ? &plugin->getParameters().phonemes[p] : nullptr;
}

bool CSequencer::articulates(int p) const {
    const CPhoneme* m = modelOf(p);
    return m && m->articulation != 0;
}

// ---- settings ----

void CSequencer::recomputeBlockUnits() {
    float rate = float(std::max(globalData().sampleRate, 1));
    blockUnits = float(kEngineBlock) * tempo * 96 / (rate * 60);
    if (CMIDI* m = midi()) m->setTickLength(rate * 60 / (tempo * 96));
    if (CEngine* e = engine()) e->setTempo(tempo);  // tempo-synced delay and chorus rates
}

void CSequencer::setTempo(float bpm) {
    if (!(bpm > 0 && bpm < 10000)) return;
    tempo = bpm;
    recomputeBlockUnits();
}

void CSequencer::setSwing(float amount) {
    if (std::isfinite(amount)) swing = amount;
}

int CSequencer::quantizeTicks(int value) {
    static const int kTicks[18] = {61440, 30720, 15360, 7680, 3840, 1920, 40960, 20480, 10240,
                                   5120,  2560,  1280,  92160, 46080, 23040, 11520, 5760, 2880};
    return value >= 0 && value < 18 ? kTicks[value] : 3840;
}

void CSequencer::setQuantizeValue(int value) {
    quantizeValue = value;
    quantizeGrid = quantizeTicks(value);
}

void CSequencer::setTimeSignature(int numerator, int denominator) {
    if (numerator >= 1 && numerator <= 32) timeSigNumerator = numerator;
    if (denominator >= 1 && denominator <= 32) timeSigDenominator = denominator;
}

bool CSequencer::setLoopStart(int ticks) {
    if (ticks < 0 || ticks >= loopEnd) return false;
    loopStart = ticks;
    rangeChanged = true;
    return true;
}

bool CSequencer::setLoopEnd(int ticks) {
    if (ticks <= loopStart) return false;
    loopEnd = ticks;
    rangeChanged = true;
    return true;
}

void CSequencer::setLoopRange(int startTicks, int endTicks) {
    if (startTicks == endTicks) return;
    if (startTicks != loopStart || endTicks != loopEnd) rangeChanged = true;
    loopStart = startTicks;
    loopEnd = endTicks;
}

void CSequencer::setOptions(bool sync, bool repeatOn, bool audition) {
    hostSync = sync;
    repeat = repeatOn;
    phonemeAudition = audition;
}

// ---- transport ----

void CSequencer::stopNotes(bool) {
    CMIDI* m = midi();
    CEngine* e = engine();
    for (int p = 0; p < kParts; ++p) {
        PartState& s = part[p];
        if (!s.pointer && !s.sounding) continue;
        if (m) m->noteOff(p, s.heldKey);
        if (articulates(p)) {
            queues[p].discard();
            if (e) e->fadeOut(p);
            s.lastNoteOff = kNoNoteOff;
            s.legato = false;
        }
        s.sounding = false;
        s.previous = nullptr;
        s.holding = false;
        s.queuePaused = false;
    }
}

void CSequencer::stop() {
    editCursor = playing ? position : 0;
    stopNotes(true);
    playing = false;
}

void CSequencer::start(float ticks) {
    playing = true;
    locate(ticks);
}

void CSequencer::locate(float ticks) {
    position = std::isfinite(ticks) ? std::max(ticks / kTicksPerUnit, 0.0f) : 0.0f;
    reposition = true;
    if (!playing) {
        editCursor = position;
        for (PartState& s : part) s.sounding = false;
        // The pointers are placed by the audio thread under the lists' read
        // guard, at its next block or live step.
        placePending.store(true);
    }
}

void CSequencer::hostLocate(float ticks) {
    if (stopAtLoopEnd || !std::isfinite(ticks)) return;
    float target = std::max(ticks / kTicksPerUnit, 0.0f);
    if (position - target > blockUnits) reposition = true;  // forward jumps are followed
    position = target;
}

void CSequencer::rewind() {
    stopNotes(true);
    float now = position * kTicksPerUnit;
    locate(loopEnabled && float(loopStart) < now ? float(loopStart) : 0.0f);
    rangeChanged = true;
}

void CSequencer::goToEnd(int p) {
    if (p < 0 || p >= kParts) return;
    stopNotes(true);
    // The editor's thread owns the lists' edits, so it may walk them.
    float last = 0;
    for (CSQEvent* e = lists[p].head(); e; e = e->next) last = e->start;
    locate(last);
}

void CSequencer::playLoopRegionRecord() {
    if (playing) stop();
    if (loopStart >= loopEnd) return;
    locate(float(loopStart));
    for (PartState& s : part) {
        s.sounding = false;
        s.previous = nullptr;
        s.triggerPosition = position;
    }
    start(float(loopStart));
    stopAtLoopEnd = true;
}

int CSequencer::playLoopRegionRender() {
    if (playing) stop();
    if (loopStart >= loopEnd) return 0;
    locate(float(loopStart));
    for (PartState& s : part) {
        s.sounding = false;
        s.previous = nullptr;
        s.triggerPosition = position;
    }
    start(float(loopStart));
    float ticksPerSample = tempo * 15360 / (float(globalData().sampleRate) * 60);
    return int(float(loopEnd - loopStart) / ticksPerSample);
}

// ---- pointers (audio thread, inside the read guard) ----

void CSequencer::placePointers(int p) {
    // The last event at or before the position.
    float t = position * kTicksPerUnit;
    CSQEvent* found = nullptr;
    for (CSQEvent* e = lists[p].head(); e && e->start <= t; e = e->next) found = e;
    part[p].pointer = found;
}

CSQEvent* CSequencer::firstStartFrom(int p, float ticks) const {
    return lists[p].findStart(ticks, false);
}

CSQEvent* CSequencer::nextStartAfter(int p, CSQEvent* from, bool& restarted) {
    restarted = false;
    CSQEvent* n = nullptr;
    if (from && from->isValid())
        for (n = from->next; n && n->isEnd(); n = n->next) {
        }
    else
        n = firstStartFrom(p, 0);
    if (n && loopEnabled && loopStart < loopEnd && n->start >= float(loopEnd)) {
        n = firstStartFrom(p, float(loopStart));
        restarted = true;
    } else if (!n) {
        n = firstStartFrom(p, loopEnabled ? float(loopStart) : 0.0f);
        restarted = true;
    }
    return n;
}

// ---- per block ----

void CSequencer::blockStep() {
    bool replaced = listsReplaced.exchange(false);
    bool place = placePending.exchange(false);
    for (int p = 0; p < kParts; ++p) {
        PartState& s = part[p];
        if (replaced) s.pointer = s.previous = nullptr;
        if (!s.enabled) continue;
        if (articulates(p)) deliver(p);

        CSQEventList& list = lists[p];
        if (!place && !playing) continue;
        if (!list.tryBeginRead()) {
            if (place) placePending.store(true);  // try again next block
            continue;
        }
        if (s.previous && !s.previous->isValid()) s.previous = nullptr;
        if (place && !playing) placePointers(p);
        if (playing) {
            bool refind = reposition || replaced || (s.pointer && !s.pointer->isValid());
            if (refind) {
                s.pointer = list.findStart(wrapped ? float(loopStart) : position * kTicksPerUnit, true);
                if (wrapped) s.previous = nullptr;
            }
            const float now = position * kTicksPerUnit;
            for (int n = 0; n < kMaxTriggersPerBlock && s.pointer && s.pointer->start <= now; ++n) {
                CSQEvent* e = s.pointer;
                if (!e->isValid()) {
                    s.pointer = list.findStart(now, true);
                    continue;
                }
                s.pointer = e->next;
                trigger(p, e);
            }
        }
        list.endRead();
        // Events at the very start of a note just triggered take effect in
        // this block rather than the next, so onsets keep block accuracy.
        if (playing && articulates(p)) deliver(p);
    }

    reposition = false;
    wrapped = false;

    if (playing) {
        const float now = position * kTicksPerUnit;
        if (stopAtLoopEnd && now > float(loopEnd)) {
            stopAtLoopEnd = false;
            stop();
            stopNotified = true;
        } else if (loopEnabled && !hostSync && loopStart < loopEnd && now > float(loopEnd)) {
            position -= float(loopEnd - loopStart) / kTicksPerUnit;
            reposition = wrapped = true;
            for (PartState& s : part) {
                s.pointer = nullptr;  // found again from the loop start
                s.sounding = false;
                s.previous = nullptr;
                s.holding = false;
                s.legato = false;
                s.lastNoteOff = kNoNoteOff;
            }
        }
    }

    for (int p = 0; p < kParts; ++p)
        if (part[p].sounding && !part[p].queuePaused) publish(p);
}

void CSequencer::blockAdvance() {
    if (playing) {
        float g = float(quantizeGrid) / kTicksPerUnit;
        float factor = 1;
        if (g > 0) factor += swing * (std::fmod(std::trunc(position), 2 * g) - g) / g / 200;
        position += blockUnits * factor;
    } else {
        position += blockUnits;
        if (position > kRebaseUnits) {
            // Only differences matter while stopped: move everything back.
            float shift = position;
            position = 0;
            for (PartState& s : part) s.triggerPosition -= shift;
        }
    }
}

void CSequencer::trigger(int p, CSQEvent* e) {
    PartState& s = part[p];
    CMIDI* m = midi();
    CEngine* eng = engine();
    if (!e->isEnd()) {
        if (eng && (eng->isSilenced(p) || eng->part[p].busy)) return;
        int velocity = std::clamp(int(e->values[0] * 127), 0, 127);
        if (m) m->noteOn(p, std::clamp(e->pitch, 0, 127), std::max(velocity, 1), false);
        s.holding = true;
        s.heldKey = e->pitch;
        s.heldVelocity = velocity;
        renderNote(p, *e, s.legato);
        s.lastNoteOff = kNoNoteOff;
        s.legato = false;
    } else {
        if (m) m->noteOff(p, s.heldKey);
        s.holding = false;
        s.lastNoteOff = position;
        const CSQEvent* n = e->next;
        s.legato = e->type == 1 && n && n->isValid() && !n->isEnd() && n->type == 0 &&
                   n->start - e->start < float(kLegatoGapTicks);
    }
}

void CSequencer::renderNote(int p, const CSQEvent& note, bool legato) {
    PartState& s = part[p];
    const CPhoneme* model = modelOf(p);
    if (model && model->articulation != 0 && note.isValid()) {
        editCursor = note.start / kTicksPerUnit;
        s.triggerPosition = position;
        if (playing) queues[p].makeDue();
        else queues[p].discard();

        // The engine's curves read this copy, never the list.
        s.soundingNote.copyContentFrom(note);
        s.soundingNote.mainVowel = note.mainVowel;
        s.soundingNote.tag = CSQEvent::kValidTag;
        s.soundingEnd.start = note.end();
        s.soundingNote.glidePartner = nullptr;
        if (legato && s.previous && s.previous->isValid()) {
            s.glideNote.copyContentFrom(*s.previous);
            s.soundingNote.glidePartner = &s.glideNote;
        }
        s.sounding = true;
        s.queuePaused = false;
        float softness = plugin ? plugin->getParameters().getVoiceValue(p, 88) : 1.0f;
        queues[p].setArticulationSpeed(softness);
        queues[p].renderNote(*model, note, s.previous, tempo, legato);
        if (CEngine* e = engine()) {
            e->part[p].active = 1;
            e->part[p].levelFollower = 0.00001f;
        }
    }
    s.previous = note.isValid() && &note != &auditionNote ? const_cast<CSQEvent*>(&note) : nullptr;
}

void CSequencer::deliver(int p) {
    PartState& s = part[p];
    CPHEvent& q = queues[p];
    CEngine* eng = engine();
    const float unitsPerSecond = tempo * 96 / 60;
    for (int n = 0; n < kMaxEventsPerBlock; ++n) {
        const CPHEntry* e = q.head();
        if (!e) return;
        if (s.queuePaused) {
            if (s.holding) return;  // the main vowel sustains while the key is held
            // Released: the rest of the note follows from now.
            s.triggerPosition = position - e->time * unitsPerSecond;
            s.queuePaused = false;
            q.consume();
            continue;
        }
        if (position < s.triggerPosition + e->time * unitsPerSecond) return;
        if (e->kind == kPHMainVowel) {
            if (!playing && s.holding) {
                s.queuePaused = true;
                return;
            }
        } else if (eng) {
            // The note's settings go in before its first formant or spectral
            // target: the spectral target reads the balance.
            if ((e->kind == kPHFormant || e->kind == kPHSpectrum) && s.sounding) {
                const float* v = s.soundingNote.values;
                eng->setNoteSettings(p, v[1], v[3], v[2]);
            }
            CPHEvent::applyToEngine(*e, *eng, p);
        }
        q.consume();
    }
}

void CSequencer::publish(int p) {
    CEngine* eng = engine();
    if (!eng) return;
    PartState& s = part[p];
    CXPart& pt = eng->part[p];
    float t = s.soundingNote.start + (position - s.triggerPosition) * kTicksPerUnit;
    float glideTicks = pt.glideLength * tempo * float(kTicksPerQuarter) / 60;
    float pitch = s.soundingNote.pitchAtTick(t, glideTicks);
    if (std::isfinite(pitch)) pt.pitchCurve = pitch;
    for (int l = 0; l < kLanes && l < kNoteLanes; ++l) {
        float v = s.soundingNote.laneAtTick(l, t);
        if (std::isfinite(v)) pt.lane[l] = v;
    }
}

// ---- live stepping ----

void CSequencer::liveNote(int p, bool on, int key, int velocity) {
    if (playing || p < 0 || p >= kParts) return;
    PartState& s = part[p];
    CMIDI* m = midi();
    CSQEventList& list = lists[p];
    if (!list.tryBeginRead()) return;
    if (placePending.load()) placePointers(p);
    if (s.pointer && !s.pointer->isValid()) placePointers(p);
    if (s.previous && !s.previous->isValid()) s.previous = nullptr;
    CSQEvent* cur = s.pointer;

    if (on) {
        s.heldKey = key;
        s.heldVelocity = velocity;
        bool sustained = m && m->keyboard.part[p].sustain;
        if (phonemeAudition) {
            float t = position * kTicksPerUnit;
            auditionNote.start = t;
            auditionEnd.start = t + kAuditionTicks;
            auditionNote.pitch = kAuditionPitch;
            auditionNote.phonemes[0] = uint8_t(std::clamp(2 * key - 48, 0, 76));
            auditionNote.phonemes[1] = kNoPhonemeId;
            auditionNote.timingValid = true;
            auditionNote.fractions[0] = 1;
            renderNote(p, auditionNote, true);
            if (m) m->noteOn(p, kAuditionPitch, velocity, true);
        } else if (repeat && sustained && cur) {
            CSQEvent* note = cur->isEnd() ? cur->partner : cur;
            if (!s.holding && note && note->isValid()) renderNote(p, *note, false);
            if (m) m->noteOn(p, key, velocity, true);
        } else {
            bool restarted = false;
            CSQEvent* n = nextStartAfter(p, cur, restarted);
            if (!n) {
                list.endRead();
                return;
            }
            if (restarted) s.previous = nullptr;
            s.pointer = n;
            renderNote(p, *n, s.holding);
            if (m) m->noteOn(p, key, velocity, false);
        }
        s.holding = true;
    } else if (key == s.heldKey && s.holding && cur) {
        if (m) m->noteOff(p, s.heldKey);
        int other = m ? m->keyboard.findHeld(p, m->keyPriority(p) == CMIDI::kPriorityLow) : -1;
        if (other >= 0) {
            bool restarted = false;
            CSQEvent* n = nextStartAfter(p, cur, restarted);
            if (n) {
                if (restarted) s.previous = nullptr;
                s.pointer = n;
                renderNote(p, *n, true);
            }
            s.heldKey = other;
        } else {
            s.holding = false;
        }
    }
    if (!on && m && !m->keyboard.anyHeld(p)) s.holding = false;
    list.endRead();
}

// ---- stored form ----

void CSequencer::write(CUFile& f) const {
    f.writeInt(globalData().sampleRate);
    f.writeFloat(tempo);
    f.writeFloat(swing);
    for (int i = 0; i < 6; ++i) f.writeFloat(0);
    f.writeByte(loopEnabled);
    f.writeByte(hostSync);
    f.writeByte(repeat);
    f.writeByte(0);
    for (int v : {loopStart, loopEnd, timeSigNumerator, timeSigDenominator, quantizeGrid, quantizeValue}) f.writeInt(v);
    for (int i = 0; i < 4; ++i) f.writeInt(0);
    for (const CSQEventList& l : lists) l.write(f);
}

uint32_t CSequencer::storedSize() const {
    uint32_t size = 4 + 4 + 4 + 24 + 4 + 24 + 16;
    for (const CSQEventList& l : lists) size += l.storedSize();
    return size;
}

bool CSequencer::read(CUFile& f) {
    // Playback pauses while the lists are replaced; the audio thread finds
    // its pointers again afterwards.
    bool wasPlaying = playing;
    playing = false;
    bool ok = readStored(f);
    listsReplaced.store(true);
    reposition = true;
    recomputeBlockUnits();
    playing = wasPlaying;
    return ok;
}

bool CSequencer::readStored(CUFile& f) {
    // The stored rate is the one the song was saved at; the host's rate stays.
    f.readInt();
    float t = f.readFloat();
    f.readFloat();  // swing: reset on reading
    for (int i = 0; i < 6; ++i) f.readFloat();
    uint8_t flags[4];
    for (uint8_t& b : flags) b = f.readByte();
    int v[6];
    for (int& x : v) x = f.readInt();
    for (int i = 0; i < 4; ++i) f.readInt();
    if (f.readFailed() || f.status() != CUFile::kStatusReady) return false;

    if (std::isfinite(t) && t >= 10 && t <= 1000) tempo = t;
    swing = 0;
    loopEnabled = flags[0] != 0;
    hostSync = flags[1] != 0;
    repeat = flags[2] != 0;
    if (v[0] >= 0 && v[1] > v[0]) loopStart = v[0], loopEnd = v[1];
    if (v[2] >= 1 && v[2] <= 32) timeSigNumerator = v[2];
    if (v[3] == 1 || v[3] == 2 || v[3] == 4 || v[3] == 8 || v[3] == 16 || v[3] == 32) timeSigDenominator = v[3];
    if (v[4] > 0 && v[4] <= 92160) quantizeGrid = v[4];
    if (v[5] >= 0 && v[5] <= 17) quantizeValue = v[5];
    for (CSQEventList& l : lists)
        if (!l.read(f)) return false;
    return true;
}
