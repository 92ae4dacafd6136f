// Sharing a note's length among its phonemes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "score/phoneme_timing.h"
#include "score/sq_event.h"
#include "voice/phoneme.h"

namespace {

struct Phon {
    int number;
    int mark;
};

// Segment times in seconds for the consonants used below.
void setTimes(CPhoneme& m, int number, float t1, float t2, float t3) {
    m.timeModel[number][CPhoneme::kTime1] = t1;
    m.timeModel[number][CPhoneme::kTime2] = t2;
    m.timeModel[number][CPhoneme::kTime3] = t3;
}

CPhoneme model() {
    CPhoneme m;
    setTimes(m, 28, 0.03f, 0.06f, 0.03f);  // S 120 ms
    setTimes(m, 23, 0.02f, 0.05f, 0.02f);  // NG 90 ms
    setTimes(m, 30, 0.03f, 0.01f, 0.03f);  // T 70 ms
    setTimes(m, 27, 0.02f, 0.04f, 0.02f);  // R 80 ms
    setTimes(m, 19, 0.04f, 0.01f, 0.03f);  // K 80 ms
    setTimes(m, 31, 0.02f, 0.06f, 0.02f);  // TH 100 ms
    setTimes(m, 15, 0.01f, 0.04f, 0.01f);  // HH / h 60 ms
    setTimes(m, 20, 0.02f, 0.03f, 0.02f);  // L 70 ms
    setTimes(m, 6, 0.03f, 0.01f, 0.02f);   // B 60 ms
    setTimes(m, 35, 0.02f, 0.04f, 0.02f);  // W 80 ms
    return m;
}

struct Case {
    const char* word;
    int language;
    float beats;  // note length in quarter notes at 120 BPM
    std::vector<Phon> phonemes;
    int mainVowel;
    std::vector<float> expected;  // expected fractions (tolerance 2/8192), empty: checked by rule below
};

}  // namespace

TEST(PhonemeTiming, Examples) {
    CPhoneme m = model();
    const Case cases[] = {
        // 0.25 s: the 210 ms of consonants are squeezed into 40 % in proportion.
        {"sing, eighth", 0, 0.5f, {{28, 0}, {16, 1}, {23, 0}}, 1, {0.4f * 120 / 210, 0.6f, 0.4f * 90 / 210}},
        // 2 s: consonants keep their natural length, the vowel takes the rest.
        {"sing, half", 0, 4, {{28, 0}, {16, 1}, {23, 0}}, 1, {0.06f, 1 - 0.105f, 0.045f}},
        {"strengths, sixteenth",
         0,
         0.25f,
         {{28, 0}, {30, 0}, {27, 0}, {10, 1}, {23, 0}, {19, 0}, {31, 0}, {28, 0}},
         3,
         {}},
        {"lone vowel", 0, 1, {{0, 1}}, 0, {1}},
        {"melisma on -", 1, 2, {{4, 3}}, 0, {1}},
        {"Haus", 1, 1, {{15, 0}, {4, 3}, {28, 0}}, 1, {0.12f, 1 - 0.36f, 0.24f}},
        // Two vowels on one note: the long stressed one leads, schwa is short.
        {"Liebe on one note", 1, 2, {{20, 0}, {17, 2}, {6, 0}, {51, 0}}, 1, {}},
        {"water on one note", 0, 2, {{35, 0}, {3, 1}, {30, 0}, {11, 0}}, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        CSQEvent note;
        for (size_t i = 0; i < c.phonemes.size(); ++i) {
            note.phonemes[i] = uint8_t(2 * c.phonemes[i].number);
            note.phonemeBytes[i] = uint8_t(c.phonemes[i].mark);
        }
        float seconds = c.beats * 0.5f;
        computePhonemeTiming(note, seconds, c.language, &m);
        EXPECT_TRUE(note.timingValid);
        EXPECT_EQ(note.mainVowel, c.mainVowel);
        int units = 0;
        for (size_t i = 0; i < c.phonemes.size(); ++i) {
            float u = note.fractions[i] * kFractionUnits;
            EXPECT_EQ(u, std::floor(u)) << "whole 1/8192 units";
            EXPECT_GT(note.fractions[i], 0.0f);
            units += int(u);
            if (!c.expected.empty()) EXPECT_NEAR(note.fractions[i], c.expected[i], 2.0f / kFractionUnits) << i;
        }
        EXPECT_EQ(units, kFractionUnits) << "the phonemes fill the note exactly";
        EXPECT_GE(note.fractions[c.mainVowel], 0.3f) << "the main vowel carries the note";
    }
}

TEST(PhonemeTiming, ShortNotesKeepAVowelMajorityAndConsonantProportions) {
    CPhoneme m = model();
    CSQEvent note;
    const int word[] = {28, 30, 27, 10, 23, 19, 31, 28};  // strengths
    for (int i = 0; i < 8; ++i) note.phonemes[i] = uint8_t(2 * word[i]), note.phonemeBytes[i] = i == 3 ? 1 : 0;
    for (float seconds : {0.05f, 0.125f, 0.5f, 1.0f, 4.0f}) {
        computePhonemeTiming(note, seconds, 0, &m);
        EXPECT_GE(note.fractions[3], 0.6f - 1e-3f) << seconds;
        // S (120 ms) to T (70 ms), whether squeezed or not.
        EXPECT_NEAR(note.fractions[0] / note.fractions[1], 120.0f / 70, 0.02f) << seconds;
    }
    computePhonemeTiming(note, 4.0f, 0, &m);
    EXPECT_NEAR(note.fractions[0] * 4.0f, 0.12f, 1e-3f) << "a long note leaves the consonants their natural length";

    CSQEvent hum;  // consonants only: shared as they are, the longest leads
    hum.phonemes[0] = 2 * 15, hum.phonemes[1] = 2 * 28;
    computePhonemeTiming(hum, 1.0f, 0, &m);
    EXPECT_EQ(hum.mainVowel, 1);
    EXPECT_NEAR(hum.fractions[0], 60.0f / 180, 2.0f / kFractionUnits);

    CSQEvent empty;
    computePhonemeTiming(empty, 1.0f, 0, nullptr);
    EXPECT_TRUE(empty.timingValid);
    EXPECT_EQ(empty.fractions[0], 0.0f);
}

TEST(PhonemeTiming, NoteSecondsAtTempo) {
    CSQEvent start, end;
    start.start = 15360;
    end.endFlag = 1;
    end.start = 15360 + 7680;
    start.next = &end;
    EXPECT_FLOAT_EQ(noteSeconds(start, 120), 0.25f);
    EXPECT_EQ(noteSeconds(start, 0), 0.0f);
    start.next = nullptr;
}
