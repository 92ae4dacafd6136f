// The engine frame, voice slots and the Spectral model, driven through the
// engine's own fields and target functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "engine/engine.h"
#include "files/global_data.h"
#include "tests/support/harmonic_envelope.h"

// Counts heap allocations while `gCounting` is set.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(std::size_t n) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr float kA2 = (45 - 69) / 192.0f;  // 110 Hz as a note pitch

// Formants of the vowel AA: F1..F4, then quiet upper formants, an inactive
// anti-resonance (level 1) and the glottal formant slot.
CXFormantTarget vowelAA(float seconds = 0) {
    CXFormantTarget t;
    const float f[10] = {730, 1090, 2440, 3400, 4500, 5500, 6500, 7500, 8000, 100};
    const float l[10] = {1, 0.6f, 0.35f, 0.25f, 0.01f, 0.01f, 0.01f, 0.01f, 1, 0};
    const float b[10] = {80, 90, 120, 150, 200, 250, 300, 350, 100, 100};
    for (int k = 0; k < 10; ++k) {
        t.frequency[k] = f[k];
        t.level[k] = l[k];
        t.bandwidth[k] = b[k];
        t.time[k] = seconds;
    }
    return t;
}

struct EngineTest : ::testing::Test {
    void SetUp() override {
        globalData().setSampleRate(44100);
        e = std::make_unique<CEngine>();
        e->setSampleRate(44100);
        e->loadNeutralMaster();
        for (int p = 0; p < kEngineParts; ++p) e->loadNeutralVoice(p);
        out.assign(2 * kEngineBlock, 0);
    }

    // A sustained AA on part p's slot, all harmonics, voiced at level 1.
    void sing(int p, float pitch = kA2, int partials = 256) {
        e->part[p].current[32] = e->part[p].target[32] = float(partials);
        ASSERT_TRUE(e->noteStart(p, 45, 100, pitch));
        e->setFormantTarget(p, vowelAA());
        const float silent[48] = {};
        e->setSpectralTarget(p, silent, 0);
        e->setSourceEnvelope(p, kSourceVoicing, 1.0f, 0.01f);
    }

    // Renders n blocks; returns the left channel.
    std::vector<float> render(int blocks) {
        std::vector<float> left;
        for (int b = 0; b < blocks; ++b) {
            e->renderBlock(out.data());
            for (int i = 0; i < kEngineBlock; ++i) left.push_back(out[2 * i]);
        }
        return left;
    }

    static double rms(const std::vector<float>& x, size_t from) {
        double s = 0;
        for (size_t i = from; i < x.size(); ++i) s += double(x[i]) * x[i];
        return std::sqrt(s / double(x.size() - from));
    }

    // Partial records of a slot in this block's render list (no fillers).
    std::vector<int> harmonicsInList(int s) {
        std::vector<int> n;
        for (int i = 0; i < e->listCount; ++i)
            if (e->listSlot[i] == s && e->listRecord[i] != &e->silentPartial)
                n.push_back(int(e->listRecord[i] - e->slot[s].partials));
        return n;
    }

    std::unique_ptr<CEngine> e;
    std::vector<float> out;
};

}  // namespace

TEST_F(EngineTest, SlotAllocationFollowsRequestsInPartOrder) {
    struct Case { int request[8]; int slotPart[8]; int voices; };
    const Case cases[] = {
        {{3, 3, 3, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 1, 2, 2}, 8},
        {{16, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, 8},
        {{1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7}, 8},
        {{0, 2, 0, 1, 0, 0, 0, 0}, {1, 1, 3, -2, -2, -2, -2, -2}, 3},
    };
    for (const Case& c : cases) {
        for (int p = 0; p < 8; ++p) e->part[p].voiceCount = c.request[p];
        e->allocate();
        EXPECT_EQ(e->voiceCount, c.voices);
        for (int s = 0; s < c.voices; ++s) EXPECT_EQ(e->slot[s].part, c.slotPart[s]) << s;
        for (int p = 0; p < 8; ++p) EXPECT_EQ(e->part[p].link, c.request[p] > 0 ? p : -1) << p;
    }
    // Parts 3..7 of the first case get nothing although linked requests were 0.
    for (int p = 0; p < 8; ++p) e->part[p].voiceCount = 0;
    e->part[0].voiceCount = 3, e->part[1].voiceCount = 3, e->part[2].voiceCount = 3, e->part[3].voiceCount = 1;
    e->allocate();
    for (int s = 0; s < 8; ++s) EXPECT_NE(e->slot[s].part, 3);
    // Slots beyond the count are not started.
    e->part[0].voiceCount = 1;
    for (int p = 1; p < 8; ++p) e->part[p].voiceCount = 0;
    e->allocate();
    EXPECT_FALSE(e->noteStart(1, 60, 100, 0));
}

TEST_F(EngineTest, SoloAndMuteSilenceParts) {
    e->part[1].solo = 1;
    EXPECT_TRUE(e->isSilenced(0));
    EXPECT_FALSE(e->noteStart(0, 60, 100, 0));
    EXPECT_TRUE(e->noteStart(1, 60, 100, 0));
    e->part[1].solo = 0;
    e->part[0].mute = 1;
    EXPECT_FALSE(e->noteStart(0, 60, 100, 0));
    EXPECT_TRUE(e->noteStart(2, 60, 100, 0));
    // Solo wins over mute for the soloed part.
    e->part[0].solo = 1;
    EXPECT_FALSE(e->isSilenced(0));
    EXPECT_TRUE(e->isSilenced(2));
}

TEST_F(EngineTest, VowelHasItsPitchAndFormantPeaks) {
    sing(0);
    std::vector<float> x = render(172);  // one second
    const size_t from = x.size() - 16384;
    ASSERT_GT(rms(x, from), 1e-3);

    // Pitch by autocorrelation around the expected period.
    double best = -1;
    int lag = 0;
    std::vector<double> ac(600, 0);
    for (int l = 300; l < 600; ++l) {
        double s = 0;
        for (size_t i = from; i + size_t(l) < x.size(); ++i) s += double(x[i]) * x[i + size_t(l)];
        ac[size_t(l)] = s;
        if (s > best) best = s, lag = l;
    }
    double a = ac[size_t(lag - 1)], b = ac[size_t(lag)], c = ac[size_t(lag + 1)];
    double period = lag + 0.5 * (a - c) / (a - 2 * b + c);
    double f0 = 44100 / period;
    EXPECT_NEAR(f0, 110.0, 0.55);

    // Harmonic levels (dB) at multiples of the measured pitch: amp[n] is
    // harmonic n.
    std::vector<double> amp = envelope::harmonicLevels(x, 44100, from, x.size(), f0, 40);
    amp.insert(amp.begin(), -1e9);
    // Each formant has a local maximum of the harmonic envelope within
    // about one and a half harmonics.
    for (double formant : {730.0, 1090.0, 2440.0, 3400.0}) {
        bool found = false;
        for (int n = 2; n < 40; ++n) {
            bool peak = amp[size_t(n)] > amp[size_t(n - 1)] && amp[size_t(n)] >= amp[size_t(n + 1)];
            if (peak && std::fabs(n * f0 - formant) < 1.6 * f0) found = true;
        }
        EXPECT_TRUE(found) << formant;
    }
    // Between F2 and F3 the envelope dips well below both peaks.
    EXPECT_LT(amp[16], 0.5 * amp[10]);
    EXPECT_LT(amp[16], amp[22]);
}

TEST_F(EngineTest, OutputStageKeepsEveryFrameWithinUnity) {
    e->globalGainTarget = e->globalGain = 5000;
    e->part[0].current[74] = 0;
    sing(0);
    float largest = 0;
    for (int b = 0; b < 20; ++b) {
        e->renderBlock(out.data());
        for (float v : out) largest = std::max(largest, std::fabs(v));
    }
    EXPECT_LE(largest, 1.0f);
    EXPECT_GT(largest, 0.9f);
}

TEST_F(EngineTest, SilentSlotStopsAfter251QuietBlocks) {
    e->part[0].current[12] = 0;  // Volume 0: every block is quiet
    e->part[0].target[12] = 0;
    sing(0);
    for (int b = 0; b < 250; ++b) e->renderBlock(out.data());
    EXPECT_TRUE(e->slotRenders(0));
    EXPECT_EQ(e->slot[0].silence, 1000);
    e->renderBlock(out.data());
    EXPECT_FALSE(e->slotRenders(0));
    e->renderBlock(out.data());
    EXPECT_EQ(e->listCount, 0);  // costs nothing now

    // A loud block before the limit resets the counter.
    e->part[1].current[12] = e->part[1].target[12] = 0;
    sing(1);
    for (int b = 0; b < 200; ++b) e->renderBlock(out.data());
    e->part[1].current[12] = e->part[1].target[12] = 0.33f;
    e->part[1].current[74] = 1;
    e->renderBlock(out.data());
    e->renderBlock(out.data());
    EXPECT_EQ(e->slot[1].silence, 0);
}

TEST_F(EngineTest, FormantRampsCompleteInExactlyNBlocks) {
    sing(0);
    e->renderBlock(out.data());
    const float blockSeconds = globalData().blockMilliseconds / 1000;
    CXFormantTarget t = vowelAA(3 * blockSeconds);
    t.frequency[0] = 300;
    t.level[1] = 0.1f;
    e->setFormantTarget(0, t);
    e->renderBlock(out.data());
    e->renderBlock(out.data());
    EXPECT_GT(e->slot[0].formantFrequency[0].current, 301.0f);
    EXPECT_GT(e->slot[0].formantLevel[1].current, 0.11f);
    e->renderBlock(out.data());
    EXPECT_FLOAT_EQ(e->slot[0].formantFrequency[0].current, 300.0f);
    EXPECT_FLOAT_EQ(e->slot[0].formantLevel[1].current, 0.1f);

    // Time 0: in force at the next block, without a ramp.
    t = vowelAA(0);
    t.frequency[0] = 900;
    e->setFormantTarget(0, t);
    e->renderBlock(out.data());
    EXPECT_FLOAT_EQ(e->slot[0].formantFrequency[0].current, 900.0f);
}

TEST_F(EngineTest, GenderScalesFormantsAndOpenNeutralises) {
    struct Case { float gender, factor; };
    for (const Case& c : {Case{0.5f, 1}, Case{1.0f, 2}, Case{0.0f, 0.5f}}) {
        e->part[0].gender = c.gender;
        e->setFormantTarget(0, vowelAA());
        EXPECT_FLOAT_EQ(e->slot[0].formantFrequency[2].current, 2440 * c.factor) << c.gender;
        EXPECT_FLOAT_EQ(e->slot[0].formantBandwidth[2].current, 120 * c.factor) << c.gender;
    }
    // Open 1 moves F1..F4 to the neutral vowel whatever the phoneme.
    e->part[0].gender = 0.5f;
    e->part[0].formantScale = 1.1f;
    e->part[0].current[11] = e->part[0].target[11] = 1;
    sing(0);
    e->renderBlock(out.data());
    const float neutral[4] = {500, 1500, 2500, 3500};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(e->slot[0].formantHz[k], neutral[k] * 1.1f, 0.01f) << k;
    EXPECT_NEAR(e->slot[0].formantHz[4], 4500, 0.01f);
}

TEST_F(EngineTest, PartialsSettingLimitsTheHarmonics) {
    sing(0, kA2, 10);
    e->renderBlock(out.data());
    EXPECT_EQ(harmonicsInList(0), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(e->listCount % 4, 0);

    // Partials 0: one harmonic per band, first of each band, at most 80.
    e->part[0].current[32] = 0;
    e->renderBlock(out.data());
    std::vector<int> h = harmonicsInList(0);
    EXPECT_LE(h.size(), 80u);
    EXPECT_GE(h.size(), 70u);
    for (size_t i = 1; i < h.size(); ++i) EXPECT_NE(e->bandOfHarmonic[h[i]], e->bandOfHarmonic[h[i - 1]]);
    EXPECT_EQ(h[32], 33);  // band 32 starts at harmonic 33
}

TEST_F(EngineTest, HarmonicsAbovePitchLimitAreSilent) {
    // 2 kHz: harmonic 10 lies just below the limit, harmonic 11 above.
    float pitch = float(1 + std::log2(2000.0 / 22050) / 16) - 0.6470571f;
    sing(0, pitch, 256);
    for (int b = 128; b < 208; ++b) e->part[0].current[b] = 1;  // loud bands
    for (int b = 0; b < 3; ++b) e->renderBlock(out.data());
    std::vector<int> h = harmonicsInList(0);
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h.back(), 9);
    EXPECT_EQ(e->slot[0].partials[11].gainL, 0.0f);
    EXPECT_EQ(e->slot[0].partials[11].gainR, 0.0f);
}

TEST_F(EngineTest, AgcHoldsTheLevelWhenEveryHarmonicDoubles) {
    auto levelWith = [&](float agc, float bandBoost) {
        SetUp();
        e->globalGainTarget = e->globalGain = 0.5f;  // well inside the saturator's linear range
        CXPart& pt = e->part[0];
        pt.current[74] = agc;
        for (int b = 128; b < 208; ++b) pt.current[b] += bandBoost;
        sing(0);
        return rms(render(60), 40 * kEngineBlock);
    };
    const float doubling = float(std::log10(2.0) / 5);  // +6 dB in level values
    double onBase = levelWith(1, 0), onDouble = levelWith(1, doubling);
    double offBase = levelWith(0, 0), offDouble = levelWith(0, doubling);
    EXPECT_GT(onBase, 1e-4);
    EXPECT_NEAR(onDouble / onBase, 1.0, 0.01);
    EXPECT_NEAR(offDouble / offBase, 2.0, 0.04);
}

TEST_F(EngineTest, BusyAndUnlinkedPartsStaySilent) {
    sing(0);
    render(20);
    e->part[0].busy = 1;
    std::vector<float> x = render(3);
    for (float v : x) EXPECT_EQ(v, 0.0f);
    EXPECT_GT(e->slot[0].amplitude.current, 0.5f);  // the slot keeps its state
    e->part[0].busy = 0;
    EXPECT_GT(rms(render(3), 0), 1e-4);

    // No slot for part 0: its parameters may change, nothing sounds.
    e->part[0].voiceCount = 0;
    e->allocate();
    e->part[0].current[12] = 1;
    x = render(5);
    for (float v : x) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(e->listCount, 0);
}

TEST_F(EngineTest, BreathBurstAndNoiseReachTheOutput) {
    // A fricative: spectral flag with band levels, noise envelope, no voicing.
    ASSERT_TRUE(e->noteStart(0, 57, 100, 0));
    e->setFormantTarget(0, vowelAA());
    float bands[48];
    for (float& b : bands) b = 0.8f;
    e->setSpectralTarget(0, bands, 1);
    e->setSourceEnvelope(0, kSourceBurst, 0.5f, 0.01f, 0.05f, 0.1f);
    std::vector<float> x = render(40);
    double early = rms(std::vector<float>(x.begin(), x.begin() + 20 * 256), 0);
    double late = rms(std::vector<float>(x.end() - 5 * 256, x.end()), 0);
    EXPECT_GT(early, 1e-4);
    EXPECT_LT(late, 0.05 * early);  // the envelope faded out after hold and decay
    EXPECT_EQ(e->slot[0].breathState, kBreathFade);
}

TEST_F(EngineTest, ScalarAndSseEnginesAgree) {
    auto run = [&](bool sse) {
        SetUp();
        e->useSSE = sse;
        sing(0);
        sing(3, kA2 + 7 / 192.0f);
        return render(30);
    };
    std::vector<float> a = run(true), b = run(false);
    double diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff = std::max(diff, double(std::fabs(a[i] - b[i])));
    EXPECT_LT(diff, 1e-4);
    EXPECT_GT(rms(a, 0), 1e-3);
}

TEST_F(EngineTest, RenderingNeverAllocates) {
    for (int p = 0; p < 8; ++p) sing(p, kA2 + float(p) / 192);
    e->part[2].busy = 1;
    e->part[5].current[78] = 1;  // Time model with a 16-oscillator choir
    e->part[5].current[85] = 16;
    for (int p = 0; p < 8; ++p) {
        float* c = e->part[p].current;
        c[59] = c[60] = c[61] = 1;  // every insert effect, modulation type by part
        c[39] = float(p % 3);
        c[57] = 1;
        e->part[p].chorusSend = 0.5f;
        e->part[p].reverbSendTarget = 0.5f;
    }
    e->reverb.on = 1;
    e->masterReverbTarget = 0.5f;
    gAllocations = 0;
    gCounting = true;
    for (int b = 0; b < 200; ++b) {
        if (b % 50 == 10) {
            for (int p = 0; p < 8; ++p) {
                e->setFormantTarget(p, vowelAA(0.05f));
                float bands[48] = {0.5f};
                e->setSpectralTarget(p, bands, b % 2);
                e->setSourceEnvelope(p, kSourceNoise, 0.3f, 0.01f, 0.02f, 0.01f);
                e->part[p].eqUpdate[kEQMid] = 1;
                e->part[p].target[75] = 6;
            }
            e->noteStart(1, 50, 90, -0.1f);
            e->fadeOut(4);
            e->requestReverbRebuild();
        }
        e->renderBlock(out.data());
    }
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
}
