// The score of one part: a singly linked list of events ordered by start,
// alternating start and end events, with the editing operations of the
// score editor, MIDI import and recording.
//
// Sharing with the audio thread: the audio thread reads notes (walking the
// list, or a note a voice holds) only between tryBeginRead() and endRead();
// editors change them only inside an EditScope. The two exclude each other
// without the audio thread ever waiting: while an edit is under way,
// tryBeginRead() fails and the audio thread keeps last block's values.
// Events taken out of the list are not freed at once: their tag is cleared
// (so a holder sees they are gone) and they are freed only after the audio
// thread has finished two further reads, so a note a voice kept from an
// earlier read stays readable until it has looked at the tag again. While
// no audio runs (suspended, or before the first block) releaseRetired(true)
// frees them at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "score/sq_event.h"

class CUFile;

class CSQEventList {
public:
    CSQEventList() = default;
    ~CSQEventList();
    CSQEventList(const CSQEventList&) = delete;
    CSQEventList& operator=(const CSQEventList&) = delete;

    // ---- sharing with the audio thread ----
    class EditScope {
    public:
        explicit EditScope(CSQEventList& list);
        ~EditScope();

    private:
        CSQEventList& list;
    };
    bool tryBeginRead();
    void endRead();
    // Frees retired events the audio thread can no longer hold; force frees
    // all (only when no audio thread runs).
    void releaseRetired(bool force);
    int retiredCount() const { return int(retired.size()); }

    // ---- reading ----
    CSQEvent* head() const { return first; }
    // First start event at or after t (end events too when includeEnds).
    CSQEvent* findStart(float t, bool includeEnds = false) const;
    // The event starting exactly at t.
    CSQEvent* findAt(float t) const;
    // Start event of the note whose span contains t (start <= t <= end).
    CSQEvent* findNote(float t) const;
    CSQEvent* lastInserted() const { return lastNote; }
    int noteCount() const;

    // ---- editing ----
    // A note of 1920 ticks at t: refused when t0 or t lies within a note or
    // the next note starts less than 1920 ticks after t.
    bool insertNote(float t0, float t, int pitch);
    // Moves the end of the last inserted note to t (at most the next start);
    // refused when it would become shorter than 1920 ticks.
    bool extendLastInserted(float t);
    // A note from t to end wherever it overlaps nothing; nullptr if it would.
    CSQEvent* insertSpan(float t, float end, int pitch);
    // At the end of the list, as MIDI recording and import build a part.
    CSQEvent* append(bool isStart, float tick, int pitch, int velocity);
    void deleteNote(CSQEvent* note);
    void selectAll(bool on);
    CSQEvent* nextSelected(CSQEvent* after) const;  // nullptr starts at the head
    // Copies of the selected notes, positions relative to the first one.
    CSQEventList* copySelected() const;
    // Inserts copies of the block at t when it fits before the next note.
    bool paste(const CSQEventList& block, float t);
    // Moves the selected notes, clamped between their unselected neighbours
    // and to pitches 0..95; false when nothing could move.
    bool moveSelection(float tickDelta, int semitoneDelta);

    enum DragMode { kDragNone, kDragPitch, kDragStart, kDragEnd, kDragMove };
    // Grabs the note under t; the mode follows from p and where t lies.
    bool grab(float t, int pitch);
    void setDragMoveMode();
    void drag(float t, int pitch, bool link);
    void releaseDrag();
    DragMode dragMode() const { return dragModeValue; }

    // Lyric and phoneme numbers (99 ends) of the note starting at t.
    bool setLyricAndPhonemes(float t, const char* lyric, const uint8_t* numbers, const uint8_t* bytes);
    // Lyrics of the word that continues into the first selected note.
    int collectWordBefore(const char* syllables[16]) const;
    // Copies automation of source into every selected note: 16 pitch and all
    // lanes, 17 pitch, 18 vibrato, 19 volume, 20 tension, 21 open, 22 breath.
    void pasteAutomation(const CSQEvent& source, int selector);
    void clear();

    // ---- stored form ----
    void write(CUFile& f) const;
    uint32_t storedSize() const;
    // Replaces the list; false (list unchanged) when the records are broken.
    bool read(CUFile& f);

    int language = 0;  // 0 English, 1 German: the default phoneme of appended notes

private:
    void linkAfter(CSQEvent* after, CSQEvent* start, CSQEvent* end);
    CSQEvent* lastEndAtOrBefore(float t) const;
    CSQEvent* previousNote(const CSQEvent* note) const;
    CSQEvent* nextNote(const CSQEvent* note) const;
    bool insideNote(float t) const;
    void retire(CSQEvent* e);
    void updateLegato();

    CSQEvent* first = nullptr;
    CSQEvent* cursor = nullptr;
    CSQEvent* lastNote = nullptr;
    DragMode dragModeValue = kDragNone;
    CSQEvent* dragNote = nullptr;
    float dragGrabTick = 0, dragStart = 0, dragEnd = 0;

    std::atomic<bool> editing{false};
    std::atomic<bool> reading{false};
    std::atomic<uint32_t> walks{0};
    int editDepth = 0;
    struct Retired {
        CSQEvent* event;
        uint32_t walk;
    };
    std::vector<Retired> retired;
};
