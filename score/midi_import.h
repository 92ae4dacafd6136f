// A melody with lyrics from a Standard MIDI File into one part's note list.
//
// The file is read in up to three passes: a scan that picks the channel that
// carries the lyrics (automatic channel only), the notes of that channel with
// their pitch-bend and expression curves, and the lyrics (automatic channel
// only), which become the notes' syllables and, through the dictionary, their
// phonemes. Every imported note then gets its phoneme timing so it can be
// played. Tempo and time signature are returned for the sequencer to take.
//
// Use importMidiFile() / importMidiBytes(); CSMImport is the reader that does
// the work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "score/sm_file.h"

class CDictionary;
class CPhoneme;
class CSQEvent;
class CSQEventList;

constexpr int kImportChannelAuto = 16;

struct SMImportOptions {
    int language = 0;                   // 0 English, 1 German
    int channel = kImportChannelAuto;   // 0..15, or automatic (lyrics are imported only then)
    float bendSemitones = 3;            // the part's pitch-bend range ("Bend")
    const CPhoneme* model = nullptr;    // the part's phoneme model; nullptr: typical durations
    CDictionary* dictionary = nullptr;  // nullptr: the process's dictionary
    bool log = true;                    // one line per event into the diagnostic log
};

// A word of the lyrics the dictionary does not know.
struct SMUnknownWord {
    static constexpr int kTextLen = 16 * 34;
    char syllables[kTextLen];  // as the lyrics hold them: "Ly- re- na"
    float tick;                // start of its first note
};

struct SMImportResult {
    static constexpr int kMaxUnknown = 64;
    static constexpr int kErrorLen = 96;

    bool opened = false;      // the file could be read
    bool isMidi = false;      // it begins with a MIDI header
    int format = 0, tracks = 0, division = 0;
    int channel = 0;          // the channel imported, 0..15
    int notes = 0;            // notes appended to the part
    int syllables = 0;        // lyric syllables placed on notes
    int words = 0;            // words looked up
    int unknownCount = 0;     // words not found (the first kMaxUnknown are listed)
    SMUnknownWord unknown[kMaxUnknown];
    bool tempoFound = false;
    float tempo = 120;        // beats per minute, the last tempo of the file
    bool timeSignatureFound = false;
    int numerator = 4, denominator = 4;
    int errors = 0;           // malformed data met (reading went on)
    char firstError[kErrorLen] = "";
};

// Imports into list (cleared first, its language set) and fills result.
// False, with the list unchanged, when the bytes are not a MIDI file or the
// file cannot be read; a MIDI file with errors imports what could be read.
bool importMidiBytes(const uint8_t* data, size_t size, CSQEventList& list, const SMImportOptions& options,
                     SMImportResult& result);
bool importMidiFile(const char* path, CSQEventList& list, const SMImportOptions& options, SMImportResult& result);

// The lyric cleaning of the import: letters and apostrophes kept, umlauts
// and sharp s (Windows ANSI or UTF-8) spelled out, anything else dropped;
// at most 31 characters are read. startsWord: the first character was
// dropped; open: the last character was kept, or is a hyphen (the word goes
// on in the next syllable).
void cleanLyric(const uint8_t* text, int length, char out[32], bool& startsWord, bool& open);

class CSMImport : public CSMRead {
public:
    static constexpr int kSamplerPoints = 400;
    static constexpr int kScanTracks = 32;
    static constexpr int kScanNotes = 100;
    static constexpr int kScanTexts = 100;
    static constexpr int kWordSyllables = 16;

    CSMImport(CSQEventList& list, const SMImportOptions& options, SMImportResult& result);
    // All passes over the file; the list must already be cleared.
    void run(const uint8_t* data, size_t size);

    // Linear (tick, value) points of one curve source, restarted at every
    // note start.
    struct Sampler {
        float ticks[kSamplerPoints];
        float values[kSamplerPoints];
        int count = 0;
        void restart() { count = 0; }
        void add(float tick, float value);
        // Value at fraction x of the note start..end.
        float at(float start, float end, float x) const;
    };

protected:
    void onHeader(int format, int ntrks, int division) override;
    void onTrackStart() override;
    void onTrackEnd() override;
    void onNoteOn(int chan, int pitch, int velocity) override;
    void onNoteOff(int chan, int pitch, int velocity) override;
    void onPressure(int chan, int pitch, int pressure) override;
    void onParameter(int chan, int controller, int value) override;
    void onPitchBend(int chan, int lsb, int msb) override;
    void onText(int type, int length, const uint8_t* data, int kept) override;
    void onTempo(int microsPerQuarter) override;
    void onTimeSignature(int numerator, int denominatorPower, int clocksPerClick, int thirtySecondsPer24Clocks) override;
    void onError(const char* text) override;

private:
    struct Syllable {
        CSQEvent* note;
        char text[32];
        bool joins;  // may continue the word of the syllable before
    };

    float tick() const { return float(double(time) * tickFactor); }
    void noteStart(int pitch, int velocity);
    void noteEnd();
    void buildCurves(CSQEvent& note);
    void lyric(const uint8_t* text, int length);
    void chooseScannedChannel();
    void assembleWords();
    void segmentRun(int from, int to);
    void lookUpWord(int from, int to);
    bool knownWord(int from, int to) const;
    void setPhonemes(CSQEvent& note, const uint8_t* numbers, const uint8_t* marks);

    CSQEventList& list;
    const SMImportOptions& options;
    SMImportResult& result;
    CDictionary* dict;

    int pass = 0;
    int importChannel = 0;
    double tickFactor = 1;
    int openPitch = -1;
    CSQEvent* openNote = nullptr;
    float lastTick = 0;  // latest event appended: the list stays ordered
    Sampler bend, expression;
    int lastNoteChannel = -1;

    // Channel scan.
    int scanChannel[kScanTracks];
    double scanTimes[kScanTracks][kScanNotes];
    int scanCount[kScanTracks];
    double textTimes[kScanTexts];
    int textCount = 0;
    bool wordsFlag = false;
    bool lyricsSeen = false;
    bool channelFound = false;  // the lyrics rules named a channel
    bool channelHasNotes[16];
    bool trackHasText[kScanTracks];

    // Lyrics, in order of their notes.
    std::vector<Syllable> syllables;
    bool previousOpen = false;
};
