// One event of a part's score: a note is a start event followed directly by
// its end event. The start event carries everything the note sings: lyric,
// phonemes with their timing and levels, the pitch curve and the detail
// lanes.
#pragma once

#include <cstdint>

class CUFile;
class CSQController;
class CSQAutoEnv;

constexpr int kTicksPerQuarter = 15360;
constexpr int kMinNoteTicks = 1920;   // shortest note the editor makes
constexpr int kLegatoGapTicks = 768;  // a gap below this glides into the next note
constexpr int kPitchPoints = 100;
constexpr int kNoteLanes = 5;
constexpr int kLanePoints = 40;
constexpr int kNoteValues = 10;
constexpr int kNotePhonemes = 32;
constexpr int kLyricLen = 32;

enum NoteLane { kNoteLaneVolume = 0, kNoteLaneTension = 1, kNoteLaneBreath = 2, kNoteLaneOpen = 3, kNoteLaneVibrato = 4 };

// How a curve position becomes a point index: the engine truncates, the
// editor rounds to nearest.
enum CurveRounding { kRoundTruncate, kRoundNearest };

class CSQEvent {
public:
    static constexpr uint32_t kValidTag = 0x39149207;

    CSQEvent();
    virtual ~CSQEvent();
    CSQEvent(const CSQEvent&) = delete;
    CSQEvent& operator=(const CSQEvent&) = delete;

    bool isValid() const { return tag == kValidTag; }
    bool isEnd() const { return endFlag != 0; }
    float end() const;  // start of the end event (own start for end events)
    float length() const { return end() - start; }
    // Ticks to the next event; 0 for end events or at the end of the list.
    float durationToNext() const;
    bool isLegato() const;
    bool wordContinues() const;
    bool startsWithHyphen() const;
    int phonemeCount() const;

    // A deep copy without list links, glide partner or legacy automation.
    CSQEvent* clone() const;
    void copyContentFrom(const CSQEvent& other);
    void setLyric(const char* text);
    // From an editor value 0..1 (clamped): 10^(2x - 1).
    void setPhonemeLevel(int index, float x);

    // Curves.
    void drawPitchLine(float t1, float pitch1, float t2, float pitch2);
    void drawLaneLine(int lane, float t1, float v1, float t2, float v2);
    void scalePitchCurve(float depth);
    void invertPitchCurve();
    float largestPitchPoint() const;
    // Semitone offset at tick t; legato notes blend from the glide partner's
    // curve end over the glide time g (ticks).
    float pitchAtTick(float t, float glide, CurveRounding rounding = kRoundTruncate) const;
    // Always blended towards the engine pitch step p1 - p0 (1/192 semitone units).
    float pitchAtTickFrom(float t, float glide, float p0, float p1, CurveRounding rounding = kRoundTruncate) const;
    float laneAtTick(int lane, float t, CurveRounding rounding = kRoundTruncate) const;

    // Stored form. Start events carry the body; end events stop after start.
    void write(CUFile& f) const;
    static uint32_t storedSize(const CSQEvent& e);
    // version >= 3 reads the current form, 1 and 2 the older forms with
    // their legacy automation. False when the stream ran out.
    bool read(CUFile& f, int version);

    uint32_t tag = kValidTag;
    int type = 0;  // 0 ordinary note start, 1 end event
    int endFlag = 0;
    int pitch = 0;
    float start = 0;
    float values[kNoteValues] = {0.8f};
    char lyric[kLyricLen] = "";
    int handEdited = 0;
    CSQEvent* next = nullptr;
    CSQEvent* partner = nullptr;  // end event: its start event
    uint8_t phonemes[kNotePhonemes];
    uint8_t phonemeBytes[kNotePhonemes] = {};
    bool timingValid = false;
    float fractions[kNotePhonemes] = {};
    float levels[kNotePhonemes];
    float noteScale = 1.0f;
    float pitchCurve[kPitchPoints] = {};
    float lanes[kNoteLanes][kLanePoints];
    float laneLevels[kNoteLanes];
    int mainVowel = 0;
    CSQEvent* glidePartner = nullptr;
    bool selected = false;
    CSQAutoEnv* envelopes = nullptr;     // legacy, read only
    CSQController* controller = nullptr;  // legacy, read only
};

// "bar.beat.sixteenth.tick" of a position for a time signature num/den.
void positionText(float ticks, int numerator, int denominator, char* out, int size);
