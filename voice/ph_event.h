// The phoneme event queue of one part and the articulation that fills it.
//
// When a part starts a note, its phonemes become a short timed script for
// the engine: formant targets, spectral targets, source envelopes (voicing
// ramps and noise bursts) and a marker where the main vowel begins. Each
// phoneme is handled by an articulation builder chosen from a 7x7x7 table
// over the classes of the previous, current and next phoneme. Times are
// seconds after the moment the note was triggered; the sequencer decides
// when an entry is due and applies it to the part's voice slot.
//
// Everything runs on the audio thread: no allocation (the queue is a fixed
// ring, formant blocks are local values), bounded work per note.
#pragma once

#include "score/sq_event.h"
#include "voice/ff_block.h"

class CEngine;
class CPhoneme;

// Kinds of queue entries.
enum { kPHFormant = 0, kPHSpectrum = 2, kPHSource = 3, kPHMainVowel = 5 };

struct CPHEntry {
    static constexpr int kFormants = 10;
    static constexpr int kBands = 48;

    int kind = kPHFormant;
    float time = 0;
    // kind 0
    float frequency[kFormants] = {};
    float level[kFormants] = {};
    float bandwidth[kFormants] = {};
    float ramp[kFormants] = {};
    float maxRamp = 0;
    float trillRate = 0, trillAmount = 0;
    int phonemeClass = 0;
    // kind 2
    float spectrum[kBands] = {};
    int spectralFlag = 0;
    int hasSpectrum = 0;
    // kind 3: mode 0 voicing (level, 0, ramp, 0); 1 and 2 noise (level,
    // attack, decay, sustain)
    int mode = 0;
    float source[4] = {};
};

// What the builders read about the phoneme being articulated.
struct CPHContext {
    int P = 198, C = 198, N = 198;  // phoneme ids, 198 none
    float T0 = 0, T1 = 0, D = 0;     // seconds
    float S = 1;                     // articulation scale
    float V = 0.8f;                  // vowel stress level
    float VN = 0.72f;                // nasal level
    float L = 1;                     // phoneme level (scales noise)
    bool last = false, mainVowel = false, continues = false;
};

class CPHEvent {
public:
    static constexpr int kEntries = 64;
    static constexpr int kMaxPhonemes = 31;  // phonemes 0..30 of a note are rendered

    // Builders of the dispatch table; 0 does nothing.
    enum Builder {
        kNone = 0,
        kVowelIsolated, kVowelAfterSilence, kVowelPhraseEnd, kVowelAfterVowel, kVowelAfterPlosiveEnd,
        kVowelAfterPlosive, kVowelBeforeVoiced, kVowelBeforeObstruent,
        kPlosivePhraseEnd, kPlosiveAfterSilence, kPlosiveAfterSound,
        kNasalPhraseEnd, kNasalBeforePlosive, kNasalAfterSilence, kNasalAfterSound,
        kLiquidPhraseEnd, kLiquidBeforeFricative, kLiquidBeforePlosive, kLiquidAfterVoiced, kLiquidAfterUnvoiced,
        kFricativePhraseEnd, kFricativeBeforePlosive, kFricativeSilenceVowel, kFricativeBeforeVowel,
        kFricativeAfterSilence, kFricativeBetween,
    };

    CPHEvent();
    virtual ~CPHEvent() = default;
    CPHEvent(const CPHEvent&) = delete;
    CPHEvent& operator=(const CPHEvent&) = delete;

    // The builder for the classes of the previous, current and next phoneme
    // (classes outside 0..6 read as none).
    static int dispatch(int previousClass, int currentClass, int nextClass);

    // ---- queue ----
    // The entry at the write index, to be filled in place and committed.
    CPHEntry& writeEntry() { return entries[writeIndex]; }
    // Advances the write index unless the ring is full; then the next event
    // overwrites the same entry.
    void commit();
    bool empty() const { return readIndex == writeIndex; }
    int pending() const { return (writeIndex - readIndex + kEntries) % kEntries; }
    const CPHEntry* head() const { return empty() ? nullptr : &entries[readIndex]; }
    void consume();
    void discard() { readIndex = writeIndex; }
    void makeDue();  // every pending entry becomes due at once (time 0)

    // Applies an entry of kind 0, 2 or 3 to the part's voice slot.
    static void applyToEngine(const CPHEntry& e, CEngine& engine, int part);

    // ---- articulation ----
    // a is the part's articulation-speed value ("Softness"): S = 10^(0.3 a).
    void setArticulationSpeed(float a);
    float articulationScale() const { return S; }

    // Appends the events of a note (a start event whose next event is its
    // end): previous is the note before it (for legato, else nullptr), bpm
    // the tempo. A note whose timing-valid flag is clear is timed here from
    // the model, on a scratch copy; the score note is only read.
    void renderNote(const CPhoneme& model, const CSQEvent& note, const CSQEvent* previous, float bpm, bool legato);

    // Runs one builder with the given context (tests and renderNote).
    void build(const CPhoneme& model, const CPHContext& context);

private:
    // Event helpers; t is the entry's time.
    void voice(float t, float level, float ramp);
    // maxDecay > 0 shortens the segment's decay (an unaspirated release).
    void noise(float t, int segment, float duration, int mode = 1, float maxDecay = 0);
    void spectrum(float t);
    void filter(float t, int slot, float ramp);
    void mark(float t);
    void block(float t, const CFFBlock& b);
    void fillFrication(CFFBlock& b, int slot, float ramp) const;

    float glide() const;
    int classOf(int id) const;
    bool isVoicedId(int id) const;
    void plosiveApproach(float u);
    void labialRelease(float t);
    void alveolarRelease(float t);
    void velarRelease(float t);
    void vowelGlide(float u);
    void vowelRelease();

    void vowel(int builder);
    void plosive(int builder);
    void nasal(int builder);
    void liquid(int builder);
    void fricative(int builder);

    CPHEntry entries[kEntries];
    int readIndex = 0, writeIndex = 0;
    float S = 1;

    // The builders' shared state while one phoneme is articulated.
    const CPhoneme* model = nullptr;
    CPHContext x;

    // Scratch copy of a note whose timing is computed at render time.
    CSQEvent scratchNote, scratchEnd;
};
