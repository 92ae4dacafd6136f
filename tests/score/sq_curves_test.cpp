// Pitch curves and detail lanes of a note.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "score/sq_event_list.h"

namespace {

struct TwoNotes : testing::Test {
    CSQEventList list;
    CSQEvent* a = nullptr;
    CSQEvent* b = nullptr;
    void SetUp() override {
        list.append(true, 0, 60, 100);
        list.append(false, 3000, 0, 0);
        list.append(true, 3500, 62, 100);  // 500 ticks later: legato
        list.append(false, 3500 + 4000, 0, 0);
        a = list.head();
        b = a->next->next;
        ASSERT_EQ(b->glidePartner, a);
    }
};

}  // namespace

TEST_F(TwoNotes, LineOverTheWholeNoteSetsEveryPoint) {
    a->drawPitchLine(0, 62, 3000, 62);
    for (float p : a->pitchCurve) EXPECT_EQ(p, 2.0f);
    a->drawLaneLine(kNoteLaneTension, 0, 0.5f, 3000, 0.5f);
    for (float v : a->lanes[kNoteLaneTension]) EXPECT_EQ(v, 0.5f);
}

TEST_F(TwoNotes, ShortLineBlendsIntoItsNeighbourhood) {
    // Points 49..51 (reversed ends are ordered), blended over 4 points each side.
    a->drawPitchLine(51 * 3000 / 99.0f + 1, 61, 49 * 3000 / 99.0f + 1, 61);
    EXPECT_EQ(a->pitchCurve[50], 1.0f);
    EXPECT_EQ(a->pitchCurve[49], 1.0f);
    EXPECT_NEAR(a->pitchCurve[47], (std::cos(M_PI * 2 / 4) + 1) / 2, 1e-6);
    EXPECT_NEAR(a->pitchCurve[54], (std::cos(M_PI * 3 / 4) + 1) / 2, 1e-6);
    EXPECT_EQ(a->pitchCurve[45], 0.0f);
    EXPECT_EQ(a->pitchCurve[55], 0.0f);
}

TEST_F(TwoNotes, EvaluationEndsAndRounding) {
    for (int i = 0; i < kPitchPoints; ++i) a->pitchCurve[i] = float(i);
    EXPECT_EQ(a->pitchAtTick(-500, 0), 0.0f);
    EXPECT_EQ(a->pitchAtTick(9000, 0), 99.0f);
    float t = 10.3f * 3000 / 99;  // u = 10.3
    EXPECT_NEAR(a->pitchAtTick(t, 0, kRoundTruncate), 10.3f, 1e-4);
    EXPECT_NEAR(a->pitchAtTick(t, 0, kRoundNearest), 10.3f, 1e-4);
    // The editor extends the segment backwards on a nonlinear curve.
    a->pitchCurve[11] = 20;
    EXPECT_NEAR(a->pitchAtTick(t, 0, kRoundTruncate), 0.7f * 10 + 0.3f * 20, 1e-4);
    float t2 = 10.7f * 3000 / 99;
    EXPECT_NEAR(a->pitchAtTick(t2, 0, kRoundTruncate), 0.3f * 10 + 0.7f * 20, 1e-4);
    EXPECT_NEAR(a->pitchAtTick(t2, 0, kRoundNearest), 1.3f * 20 - 0.3f * 12, 1e-4);
    EXPECT_NEAR(a->laneAtTick(kNoteLaneVolume, 1500), 1.0f, 1e-6);
}

TEST_F(TwoNotes, LegatoBlendsFromThePartnersEnd) {
    a->pitchCurve[99] = 1;  // partner ends one semitone up: 61, i.e. -1 from 62
    float w = a->pitchAtTick(0, 0);  // no partner: plain curve
    EXPECT_EQ(w, 0.0f);
    // 100 ticks in, glide 400: c = 0.75, w = 0.854.
    float value = b->pitchAtTick(3500 + 100, 400);
    EXPECT_NEAR(value, 0.8535534f * -1.0f, 1e-5);
    EXPECT_NEAR(b->pitchAtTick(3500, 400), -1.0f, 1e-6);
    EXPECT_NEAR(b->pitchAtTick(3500 + 400, 400), 0.0f, 1e-6);
    EXPECT_NEAR(b->pitchAtTickFrom(3500 + 100, 400, 0.5f, 0.5f + 2.0f / 192), 0.8535534f * 2, 1e-4);

    a->lanes[kNoteLaneOpen][39] = 1;
    EXPECT_NEAR(b->laneAtTick(kNoteLaneOpen, 3500 + 100), 0.8535534f, 1e-5);
}

TEST_F(TwoNotes, ScaleAndInvert) {
    EXPECT_EQ(a->largestPitchPoint(), 0.0f);
    a->scalePitchCurve(3);  // flat curve: nothing to scale
    EXPECT_EQ(a->pitchCurve[0], 0.0f);
    a->pitchCurve[3] = -2;
    a->pitchCurve[4] = 1;
    a->scalePitchCurve(-4);
    EXPECT_EQ(a->pitchCurve[3], -4.0f);
    EXPECT_EQ(a->pitchCurve[4], 2.0f);
    a->invertPitchCurve();
    EXPECT_EQ(a->pitchCurve[3], 4.0f);
    a->scalePitchCurve(0);
    EXPECT_NEAR(a->largestPitchPoint(), 0.001f, 1e-7);
}

TEST(NoteValues, PhonemeLevelAndClone) {
    CSQEvent e;
    e.setPhonemeLevel(0, 0.5f);
    e.setPhonemeLevel(1, 7);
    e.setPhonemeLevel(2, -1);
    EXPECT_NEAR(e.levels[0], 1.0f, 1e-6);
    EXPECT_NEAR(e.levels[1], 10.0f, 1e-5);
    EXPECT_NEAR(e.levels[2], 0.1f, 1e-6);
    e.setLyric("a-very-long-lyric-that-goes-on-and-on");
    EXPECT_EQ(std::strlen(e.lyric), 31u);
    e.mainVowel = 3;
    e.pitchCurve[50] = 2;
    std::unique_ptr<CSQEvent> c(e.clone());
    EXPECT_STREQ(c->lyric, e.lyric);
    EXPECT_EQ(c->pitchCurve[50], 2.0f);
    EXPECT_EQ(c->mainVowel, 0);
    EXPECT_EQ(c->next, nullptr);
}
