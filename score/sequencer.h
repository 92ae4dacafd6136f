// The score sequencer: the eight parts' note lists and phoneme event
// queues, transport, tempo, loop, swing and quantize settings, and their
// stored form. Once per engine block it advances its play position,
// triggers the score notes that have become due, renders their phonemes and
// hands due phoneme events to the engine. It follows the host's tempo,
// position and cycle when host sync is on; while stopped, MIDI keys step
// through the syllables live.
//
// The per-block work runs on the audio thread without allocation or locks.
// It reads a part's notes only between the list's tryBeginRead() and
// endRead(); when a read is refused it keeps last block's values. The
// sounding note is held as a copy, so the engine's curves never follow a
// list pointer.
#pragma once

#include <atomic>
#include <cstdint>

#include "score/sq_event_list.h"
#include "voice/ph_event.h"

class CVSTSynth;
class CUFile;
class CEngine;
class CMIDI;

class CSequencer {
public:
    static constexpr int kParts = 8;
    static constexpr float kTicksPerUnit = 160;  // the play position counts 1/96 quarter notes
    static constexpr float kNoNoteOff = -1000;

    explicit CSequencer(CVSTSynth* plugin);

    // ---- settings ----
    float getTempo() const { return tempo; }
    // Recomputes the units per block and the MIDI clock length.
    void setTempo(float bpm);
    void setSwing(float amount);
    void setQuantizeValue(int value);
    static int quantizeTicks(int value);
    void setTimeSignature(int numerator, int denominator);
    bool setLoopStart(int ticks);
    bool setLoopEnd(int ticks);
    void setLoopEnabled(bool on) { loopEnabled = on; }
    // From the host: ignored when start equals end, otherwise taken as given.
    void setLoopRange(int startTicks, int endTicks);
    void setOptions(bool sync, bool repeatOn, bool audition);
    float unitsPerBlock() const { return blockUnits; }

    // ---- transport ----
    void start(float ticks);
    void stop();
    void locate(float ticks);
    void hostLocate(float ticks);
    void rewind();
    void goToEnd(int part);
    // Plays the loop from its start and stops at its end (wave recording).
    void playLoopRegionRecord();
    // Plays the loop from its start; returns its length in samples (0: none).
    int playLoopRegionRender();
    bool isPlaying() const { return playing; }
    bool isHostSynced() const { return hostSync; }
    float playTicks() const { return position * kTicksPerUnit; }
    float cursorTicks() const { return editCursor * kTicksPerUnit; }

    // ---- per engine block (audio thread), in this order ----
    void blockStep();
    void blockAdvance();

    // ---- live input ----
    // Every note-on/off the MIDI input receives for a part comes here.
    void liveNote(int part, bool on, int key, int velocity);

    // Stored form: settings, then the eight event lists. Reading keeps the
    // lists that were read completely when the stream ends early.
    void write(CUFile& f) const;
    uint32_t storedSize() const;
    bool read(CUFile& f);

    CSQEventList lists[kParts];
    CPHEvent queues[kParts];
    float tempo = 120;
    float swing = 0;
    bool loopEnabled = true;
    bool hostSync = false;
    bool repeat = false;
    bool phonemeAudition = false;
    int loopStart = 0, loopEnd = 61440;  // ticks
    int timeSigNumerator = 4, timeSigDenominator = 4;
    int quantizeGrid = 3840, quantizeValue = 4;

    // Transport (position and cursor in units of 160 ticks).
    bool playing = false;
    float position = 0;
    float editCursor = 0;
    bool stopAtLoopEnd = false;  // also the record-to-wave flag
    bool reposition = false, wrapped = false;
    bool rangeChanged = false;   // the editor shows the new loop
    bool stopNotified = false;   // stopped at the loop end: the editor refreshes

    struct PartState {
        CSQEvent* pointer = nullptr;  // next score event to trigger (a list event)
        CSQEvent* previous = nullptr; // previous note, for legato rendering (a list event)
        bool sounding = false;        // soundingNote holds the note whose phonemes were rendered last
        CSQEvent soundingNote, soundingEnd, glideNote;
        float triggerPosition = 0;
        int heldKey = 0, heldVelocity = 0;
        bool holding = false;
        bool legato = false;
        float lastNoteOff = kNoNoteOff;
        bool queuePaused = false;
        bool enabled = true;  // score playback (controller 27)
    };
    PartState part[kParts];

private:
    CEngine* engine() const;
    CMIDI* midi() const;
    const CPhoneme* modelOf(int p) const;
    bool articulates(int p) const;
    void recomputeBlockUnits();
    void stopNotes(bool fade);
    void deliver(int p);
    void trigger(int p, CSQEvent* e);
    void renderNote(int p, const CSQEvent& note, bool legato);
    void publish(int p);
    CSQEvent* nextStartAfter(int p, CSQEvent* from, bool& restarted);
    CSQEvent* firstStartFrom(int p, float ticks) const;
    void placePointers(int p);
    bool readStored(CUFile& f);

    CVSTSynth* plugin;
    float blockUnits = 0;
    // Set by the user-interface thread after it replaced the lists: the
    // audio thread finds its pointers again before walking them.
    std::atomic<bool> listsReplaced{false};
    // Set by a locate while stopped: the pointers rest on the last event at
    // or before the new position.
    std::atomic<bool> placePending{false};
    CSQEvent auditionNote, auditionEnd;
};
