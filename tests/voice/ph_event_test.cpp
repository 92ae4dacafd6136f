#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "score/sq_event.h"
#include "voice/ph_event.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

namespace {

// Phoneme ids (English).
constexpr int AA = 0, B = 12, D = 16, K = 38, L = 40, S = 56, Z = 74;

// A model whose formants tell their slot: F(k) of slot s = 100 s + 10 k + 200.
std::unique_ptr<CPhoneme> makeModel() {
    auto m = std::make_unique<CPhoneme>();
    for (int s = 0; s < kPhonemeSlots; ++s) {
        for (int k = 0; k < 10; ++k) {
            m->formants[s][k][0] = float(100 * s + 10 * k + 200);
            m->formants[s][k][1] = 1.0f;
            m->formants[s][k][2] = 50.0f + float(k);
        }
        for (int b = 0; b < 48; ++b) m->spectra[s][b] = 0.01f * float(b);
    }
    for (int n = 0; n < kPhonemeNumbers; ++n) {
        float* t = m->timeModel[n];
        t[CPhoneme::kLevel1] = 0.5f, t[CPhoneme::kLevel2] = 0.6f, t[CPhoneme::kLevel3] = 0.7f;
        t[CPhoneme::kAttack1] = t[CPhoneme::kAttack2] = t[CPhoneme::kAttack3] = 0.01f;
        t[CPhoneme::kDecay1] = t[CPhoneme::kDecay2] = t[CPhoneme::kDecay3] = 0.02f;
        t[CPhoneme::kSustain1] = t[CPhoneme::kSustain2] = t[CPhoneme::kSustain3] = 0.03f;
    }
    return m;
}

// A part's list: notes of (start, end, ids, lyric) linked start -> end -> next start.
struct Score {
    std::vector<std::unique_ptr<CSQEvent>> events;
    CSQEvent* add(float start, float end, std::vector<int> ids, const char* lyric = "la", bool timed = true) {
        auto s = std::make_unique<CSQEvent>();
        auto e = std::make_unique<CSQEvent>();
        s->start = start;
        s->pitch = 60;
        e->start = end;
        e->endFlag = 1;
        e->type = 1;
        for (size_t i = 0; i < ids.size() && i < 32; ++i) s->phonemes[i] = uint8_t(ids[i]);
        s->setLyric(lyric);
        if (timed && !ids.empty()) {
            s->timingValid = true;
            for (size_t i = 0; i < ids.size() && i < 32; ++i) s->fractions[i] = 1.0f / float(ids.size());
        }
        s->next = e.get();
        e->partner = s.get();
        if (!events.empty()) events.back()->next = s.get();
        CSQEvent* r = s.get();
        events.push_back(std::move(s));
        events.push_back(std::move(e));
        return r;
    }
};

std::vector<CPHEntry> drain(CPHEvent& q) {
    std::vector<CPHEntry> out;
    while (const CPHEntry* e = q.head()) {
        out.push_back(*e);
        q.consume();
    }
    return out;
}

bool isVoice(const CPHEntry& e, float level, float ramp, float t) {
    return e.kind == kPHSource && e.mode == 0 && std::fabs(e.source[0] - level) < 1e-5f &&
           std::fabs(e.source[2] - ramp) < 1e-5f && std::fabs(e.time - t) < 1e-5f;
}
bool isFilter(const CPHEntry& e, int slot, float ramp, float t) {
    return e.kind == kPHFormant && std::fabs(e.frequency[0] - float(100 * slot + 200)) < 1e-3f &&
           std::fabs(e.ramp[0] - ramp) < 1e-5f && std::fabs(e.time - t) < 1e-5f;
}

TEST(PHEventQueue, RingKeepsUnreadEntriesAndOverwritesTheLastWhenFull) {
    CPHEvent q;
    for (int i = 0; i < 100; ++i) {
        CPHEntry& e = q.writeEntry();
        e.kind = kPHSource;
        e.time = float(i);
        q.commit();
    }
    EXPECT_EQ(q.pending(), 63);
    std::vector<CPHEntry> all = drain(q);
    ASSERT_EQ(all.size(), 63u);
    for (int i = 0; i < 62; ++i) EXPECT_EQ(all[i].time, float(i));
    EXPECT_EQ(all[62].time, 62.0f);  // later commits were dropped, never an unread entry

    for (int i = 0; i < 5; ++i) {
        q.writeEntry().time = 1.0f + float(i);
        q.commit();
    }
    q.makeDue();
    for (const CPHEntry& e : drain(q)) EXPECT_EQ(e.time, 0.0f);
    q.writeEntry().time = 3;
    q.commit();
    q.discard();
    EXPECT_TRUE(q.empty());
}

TEST(PHEventQueue, DispatchTableChoosesBuilderByClasses) {
    const int none = kClassNone, vow = kClassVowel, liq = kClassLiquid, fri = kClassFricative,
              aff = kClassAffricative, plo = kClassPlosive, nas = kClassNasal;
    struct Case {
        int p, c, n, builder;
    } cases[] = {
        {none, vow, none, CPHEvent::kVowelIsolated},      {none, vow, plo, CPHEvent::kVowelAfterSilence},
        {vow, vow, none, CPHEvent::kVowelPhraseEnd},      {vow, vow, nas, CPHEvent::kVowelAfterVowel},
        {plo, vow, none, CPHEvent::kVowelAfterPlosiveEnd}, {plo, vow, fri, CPHEvent::kVowelAfterPlosive},
        {nas, vow, none, CPHEvent::kVowelPhraseEnd},      {fri, vow, liq, CPHEvent::kVowelBeforeVoiced},
        {aff, vow, plo, CPHEvent::kVowelBeforeObstruent}, {liq, vow, aff, CPHEvent::kVowelBeforeObstruent},
        {vow, plo, none, CPHEvent::kPlosivePhraseEnd},    {none, plo, vow, CPHEvent::kPlosiveAfterSilence},
        {fri, plo, plo, CPHEvent::kPlosiveAfterSound},    {none, nas, none, CPHEvent::kNasalPhraseEnd},
        {vow, nas, plo, CPHEvent::kNasalBeforePlosive},   {none, nas, fri, CPHEvent::kNasalAfterSilence},
        {liq, nas, vow, CPHEvent::kNasalAfterSound},      {vow, liq, none, CPHEvent::kLiquidPhraseEnd},
        {vow, liq, fri, CPHEvent::kLiquidBeforeFricative}, {vow, liq, plo, CPHEvent::kLiquidBeforePlosive},
        {nas, liq, aff, CPHEvent::kLiquidAfterVoiced},    {fri, liq, vow, CPHEvent::kLiquidAfterUnvoiced},
        {none, liq, nas, CPHEvent::kLiquidAfterUnvoiced}, {vow, fri, none, CPHEvent::kFricativePhraseEnd},
        {vow, fri, plo, CPHEvent::kFricativeBeforePlosive}, {none, fri, vow, CPHEvent::kFricativeSilenceVowel},
        {plo, fri, vow, CPHEvent::kFricativeBeforeVowel}, {none, fri, nas, CPHEvent::kFricativeAfterSilence},
        {vow, fri, aff, CPHEvent::kFricativeBetween},     {vow, aff, vow, CPHEvent::kNone},
        {vow, none, vow, CPHEvent::kNone},                {9, vow, -3, CPHEvent::kVowelIsolated},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPHEvent::dispatch(c.p, c.c, c.n), c.builder) << c.p << " " << c.c << " " << c.n;
}

TEST(PHEventRender, IsolatedVowelGivesOnsetFilterGlideMarkerRelease) {
    auto m = makeModel();
    Score sc;
    CSQEvent* n = sc.add(0, 15360, {AA});  // one beat at 120 BPM: 0.5 s
    n->phonemeBytes[0] = 1;                // primary stress: V = 0.95
    CPHEvent q;
    q.setArticulationSpeed(0);  // S = 1
    q.renderNote(*m, *n, nullptr, 120, false);
    std::vector<CPHEntry> e = drain(q);
    ASSERT_EQ(e.size(), 5u);
    const float Dur = 0.5f, g = std::min(0.7f * Dur, 0.8f), u = Dur - g - 0.02f, mk = std::max(u, Dur / 2);
    EXPECT_TRUE(isVoice(e[0], 0.95f, std::min(0.3f * Dur, 0.03f), 0));
    EXPECT_TRUE(isFilter(e[1], AA, 0, 0));
    EXPECT_TRUE(isFilter(e[2], AA + 1, g, u));
    EXPECT_EQ(e[3].kind, kPHMainVowel);
    EXPECT_NEAR(e[3].time, mk, 1e-5f);
    EXPECT_TRUE(isVoice(e[4], 0, 0.08f, std::max(mk, Dur - 0.08f)));
    EXPECT_EQ(e[1].phonemeClass, kClassVowel);
}

TEST(PHEventRender, SameVowelCarriedIntoHyphenNoteHasNoGlideOrApproach) {
    auto m = makeModel();
    for (float gap : {767.0f, 768.0f}) {
        Score sc;
        CSQEvent* a = sc.add(0, 15360, {K, AA});
        sc.add(15360 + gap, 30720, {AA}, "-");
        CPHEvent q;
        q.renderNote(*m, *a, nullptr, 120, false);
        int glides = 0;
        for (const CPHEntry& e : drain(q))
            if (e.kind == kPHFormant && e.frequency[0] == float(100 * (AA + 1) + 200)) ++glides;
        EXPECT_EQ(glides, gap < 768 ? 0 : 1) << gap;
    }
    // A different first phoneme in the next note leads to a plosive approach
    // block (F1 lowered to 0.8) after the glide.
    Score sc;
    CSQEvent* a = sc.add(0, 15360, {AA});
    sc.add(15360, 30720, {D, AA}, "da");
    CPHEvent q;
    q.setArticulationSpeed(0);
    q.renderNote(*m, *a, nullptr, 120, false);
    std::vector<CPHEntry> e = drain(q);
    ASSERT_GE(e.size(), 5u);
    const CPHEntry& ap = e[4];
    const float f2 = float(100 * (AA + 1) + 210);
    EXPECT_NEAR(ap.frequency[0], 0.8f * float(100 * (AA + 1) + 200), 1e-3f);
    EXPECT_NEAR(ap.frequency[1], (0.38f * f2 + 1223 + f2) / 2, 1e-2f);
    EXPECT_NEAR(ap.ramp[0], 0.02f, 1e-6f);
    EXPECT_NEAR(ap.time, 0.5f - 0.02f, 1e-5f);
}

TEST(PHEventRender, LabialReleaseRampsToTheVowel) {
    auto m = makeModel();
    Score sc;
    CSQEvent* n = sc.add(0, 15360, {B, AA});
    n->fractions[0] = 0.01f;  // 5 ms plosive: r = min(D, 0.02 S)
    n->fractions[1] = 0.99f;
    n->levels[0] = 2.0f;
    CPHEvent q;
    q.setArticulationSpeed(0);
    q.renderNote(*m, *n, nullptr, 120, false);
    std::vector<CPHEntry> e = drain(q);
    ASSERT_GE(e.size(), 5u);
    EXPECT_TRUE(isVoice(e[0], 0.8f, 0.03f, 0));  // B's own onset is not scaled
    EXPECT_EQ(e[1].kind, kPHSpectrum);
    EXPECT_EQ(e[2].kind, kPHSource);
    EXPECT_EQ(e[2].mode, 1);
    EXPECT_NEAR(e[2].source[0], 0.5f * 2.0f, 1e-6f);  // noise level x phoneme level
    const CPHEntry& shape = e[3];
    EXPECT_EQ(shape.frequency[0], 50.0f);
    EXPECT_EQ(shape.level[0], 0.5f);
    EXPECT_NEAR(shape.frequency[1], 0.813f * float(100 * AA + 210) + 231, 1e-2f);
    for (int k = 1; k <= 7; ++k) EXPECT_EQ(shape.level[k], 0.0f) << k;
    EXPECT_EQ(shape.level[8], 1.0f);
    EXPECT_TRUE(isFilter(e[4], AA, 0.005f, 0));
}

TEST(PHEventRender, UntimedNoteIsTimedWithoutChangingTheScore) {
    auto m = makeModel();
    Score sc;
    CSQEvent* n = sc.add(0, 30720, {S, AA, L}, "sal", false);
    CPHEvent q;
    q.renderNote(*m, *n, nullptr, 120, false);
    EXPECT_FALSE(n->timingValid);
    float lastTime = 0;
    for (const CPHEntry& e : drain(q)) lastTime = std::max(lastTime, e.time);
    EXPECT_GT(lastTime, 0.5f);  // the phonemes spread over the second
    EXPECT_LE(lastTime, 1.0f);
}

TEST(PHEventRender, ThirtySecondPhonemeIsNeverRendered) {
    auto m = makeModel();
    const int silent = 2 * 60;  // a number without a class: no events, time elapses
    for (int vowelAt : {30, 31}) {
        std::vector<int> ids(32, silent);
        ids[vowelAt] = AA;
        Score sc;
        CSQEvent* n = sc.add(0, 15360, ids);
        CPHEvent q;
        q.renderNote(*m, *n, nullptr, 120, false);
        EXPECT_EQ(q.empty(), vowelAt == 31) << vowelAt;
    }
}

TEST(PHEventRender, BadNotesRenderNothing) {
    auto m = makeModel();
    Score sc;
    CSQEvent* n = sc.add(0, 15360, {AA});
    CPHEvent q;
    n->type = 2;
    q.renderNote(*m, *n, nullptr, 120, false);
    n->type = 0;
    q.renderNote(*m, *n->next, nullptr, 120, false);  // an end event
    CSQEvent broken;
    broken.tag = 0;
    q.renderNote(*m, *n, &broken, 120, true);
    EXPECT_TRUE(q.empty());
}

TEST(PHEventRender, LegatoTakesThePreviousNotesLastPhoneme) {
    auto m = makeModel();
    Score sc;
    CSQEvent* a = sc.add(0, 15360, {AA, L});
    CSQEvent* b = sc.add(15400, 30720, {AA});
    // After a liquid the vowel builder skips its own initial filter (P liquid,
    // next none: phrase end with lag 0.05); without legato it is isolated.
    CPHEvent q;
    q.renderNote(*m, *b, a, 120, true);
    std::vector<CPHEntry> legato = drain(q);
    q.renderNote(*m, *b, a, 120, false);
    std::vector<CPHEntry> plain = drain(q);
    ASSERT_FALSE(legato.empty());
    EXPECT_TRUE(isFilter(plain[1], AA, 0, 0));
    EXPECT_FALSE(legato[1].kind == kPHFormant && legato[1].time == 0 && legato[1].ramp[0] == 0);
}

TEST(PHEventRender, FricativeNoiseStretchesSustainAndVoicedFricativeUsesFrication) {
    auto m = makeModel();
    CPHEvent q;
    CPHContext c;
    c.P = AA, c.C = Z, c.N = AA, c.T0 = 1, c.T1 = 1.2f, c.D = 0.2f, c.S = 1;
    q.build(*m, c);  // fricative before vowel, P vowel
    std::vector<CPHEntry> e = drain(q);
    ASSERT_GE(e.size(), 5u);
    EXPECT_EQ(e[0].frequency[0], 200.0f);      // frication block from N: the voice bar
    EXPECT_NEAR(e[0].ramp[0], 0.1f, 1e-6f);     // ramp D/2
    EXPECT_TRUE(isVoice(e[1], 0.6f, 0.02f, 1));
    const float w = 0;  // only the affricates wait before the frication noise
    EXPECT_EQ(e[2].kind, kPHSpectrum);
    EXPECT_NEAR(e[2].time, 1 + w, 1e-5f);
    // Noise over the rest plus half a decay, its sustain stretched to fill it.
    EXPECT_EQ(e[3].mode, 1);
    EXPECT_NEAR(e[3].source[3], (0.2f - w + 0.01f) - 0.01f - 0.02f, 1e-5f);
    const float v = std::min(0.3f * 0.2f, 0.06f);
    EXPECT_TRUE(isFilter(e[4], AA, v, 1.2f - v));
}

}  // namespace
