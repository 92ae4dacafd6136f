// MIDI input of the instrument: host events (queued by engine block) and
// the editor's on-screen keyboard acting on the eight parts. Notes are
// offered to the sequencer's live hook, which decides what a part sings;
// controllers, pitch bend, aftertouch and program changes act on the
// part's voice; MIDI clock can drive the tempo. Per part it also holds the
// key states and the key pitches read from tuning files.
//
// Runs on the audio thread (enqueue, step) without allocation or locks;
// the tuning and assignment files are read at construction and the
// assignment file written at destruction.
#pragma once

#include <cstdint>

#include "params/midi_assign.h"
#include "score/keyboard.h"
#include "score/midi_queue.h"
#include "score/tuning.h"

class CEngine;
class CVSTSynth;
class CPIBase;
class CVSTProgram;
class CSequencer;

class CMIDI {
public:
    static constexpr int kParts = 8;
    static constexpr int kActivityReads = 30;
    enum { kPriorityLast = 0, kPriorityLow = 1, kPriorityHigh = 2 };

    // plugin may be null (tools and tests): parts then listen on the channel
    // of their number, without splits, and no parameters are set.
    CMIDI(CEngine* engine, CVSTSynth* plugin);
    ~CMIDI();
    CMIDI(const CMIDI&) = delete;
    CMIDI& operator=(const CMIDI&) = delete;

    // Reads "Tuning/part%d.scl" then "Tuning/part%d.tun" for parts 1..8
    // below the installation folder (done by the constructor).
    void readTuningFiles();
    // A tuning file's text for part p (0..7); false when it was ignored.
    bool applyTuning(int p, const char* data, size_t size, const char* name);

    // ---- audio thread ----
    bool enqueue(uint32_t block, int message, int extra = -1, int flag = 0, int legato = 0);
    // Dispatches every queued entry due at engine block b.
    void step(uint32_t b);
    // Samples per 1/96 quarter note; ignored unless 10 < x < 1000.
    void setTickLength(float samples);

    // ---- acting on parts ----
    void dispatch(int message, int milliseconds = 0);
    // Note on/off for one part as the live hook and the keyboard call them.
    void noteOn(int p, int key, int velocity, bool legato);
    void noteOff(int p, int key);
    void allNotesOff();
    void resetPart(int p);  // -1: all parts
    // The editor's on-screen keyboard: every part on the selected part's
    // channel, bypassing the queue and the live hook.
    void keyboardNoteOn(int key);
    void keyboardNoteOff(int key);
    bool partIndicator(int p);

    void setExternalClock(bool on) { extSync = on; }
    void setExternalTransport(bool on) { extTransport = on; }
    // The sequencer whose live hook takes the notes, when it is not the
    // plug-in's own; without any a part plays its keys itself.
    void setLiveHook(CSequencer* s) { liveHook = s; }
    // Off: notes are played by the parts directly, never offered to the
    // sequencer (tools and tests).
    bool keysToSequencer = true;

    // ---- part settings (from the programs and the voice) ----
    int channelOf(int p) const;
    bool admitsKey(int p, int key) const;
    bool isSilenced(int p) const;
    int keyPriority(int p) const;
    bool isMonophonic(int p) const;
    float keyPitch(int p, int key) const;

    CMIDIQueue queue;
    CKeyboard keyboard;
    CMIDIAssign assignment;

    int rotating[kParts] = {};
    int lastSlot[kParts] = {};
    int bank = 0;
    bool activity[16] = {};
    int activityCountdown = 0;
    bool extSync = true;
    bool extTransport = true;

    // MIDI clock.
    bool clockRunning = false;
    int clockCount = 0;
    int lastClockMs = 0;
    bool clockSeen = false;
    double clockSamples = 0;
    // Engine clock values: samples per 1/96 quarter, its phase increment per
    // engine block (2^24 * 256 / tick length) and the tempo ratio to 120 BPM.
    float tickLength = 0;
    float tickIncrement = 0;
    float tempoRatio = 1;

    float pitchBend[kParts] = {};  // last pitch bend, 0..1 (0.5 centre)
    float modWheel[kParts] = {};
    bool tuned[kParts] = {};
    float tuning[kParts][CTuning::kKeys];

private:
    void startNote(int slot, int p, int key, int velocity, bool legato);
    void releaseSlot(int slot);
    void handleClock(int status, int milliseconds);
    void controlChange(int p, int n, int v);
    void freeSlotEarly(int channel, int key);
    int slotCount() const;
    CSequencer* sequencer() const;

    CEngine* engine;
    CVSTSynth* plugin;
    CPIBase* parameters = nullptr;
    CVSTProgram* programs = nullptr;
    CSequencer* liveHook = nullptr;
};
