// The Spectral model's harmonic loop: the 4-, 8- and 16-lane versions
// against the scalar reference on real voice states.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine/engine.h"
#include "files/global_data.h"

namespace {

struct Case {
    const char* name;
    float notePitch;     // 1/192 per semitone, 0 at A4
    int partials;        // the part's partial limit
    float tension, volume;
    float f1, b1;        // first formant (Hz)
    float antiLevel;     // level of the anti-resonance (1: inactive)
    float powerSetting;  // the harmonic power curve's exponent is 2v + 0.5
};

const Case kCases[] = {
    {"A2 vowel, every harmonic", (45 - 69) / 192.0f, 256, 0, 1, 730, 80, 1, 0},
    {"tense and loud, active notch", (57 - 69) / 192.0f, 256, 1, 1, 600, 60, 0.2f, 0.25f},
    {"lax and soft, steep curve", (40 - 69) / 192.0f, 256, -0.5f, 0, 900, 120, 0.5f, 1},
    {"harmonic on a narrow formant", (45 - 69) / 192.0f, 256, 0.3f, 0.6f, 440, 20, 1, 0.1f},
    {"six harmonics: a partial group only", (45 - 69) / 192.0f, 7, 0, 1, 730, 80, 1, 0},
    {"high note, few harmonics below the limit", (93 - 69) / 192.0f, 256, 0.8f, 0.2f, 1000, 200, 0.7f, 0.5f},
};

// A voice of part 0 in the state the harmonic loop sees, with random band
// levels, glottal curve and source levels.
std::unique_ptr<CEngine> voice(const Case& c, std::mt19937& rng) {
    globalData().setSampleRate(44100);
    auto e = std::make_unique<CEngine>();
    e->setSampleRate(44100);
    e->loadNeutralMaster();
    e->loadNeutralVoice(0);
    CXPart& pt = e->part[0];
    std::uniform_real_distribution<float> u(0, 1);
    pt.current[32] = pt.target[32] = float(c.partials);
    pt.lane[kLaneTension] = c.tension;
    pt.lane[kLaneVolume] = c.volume;
    pt.harmonicPower.setExponent(2 * c.powerSetting + 0.5f);
    for (int b = 128; b < 208; ++b) pt.current[b] = pt.target[b] = 0.6f + 0.4f * u(rng);
    for (int b = 48; b < 96; ++b) pt.bandLevel[b] = 0.2f + u(rng);
    for (int n = 1; n < 256; ++n) pt.spectrum.level[n] -= 0.1f * u(rng);
    EXPECT_TRUE(e->noteStart(0, 45, 100, c.notePitch));
    CXFormantTarget t;
    const float f[10] = {c.f1, 1090, 2440, 3400, 4500, 5500, 6500, 7500, 3000, 150};
    const float l[10] = {1, 0.6f, 0.35f, 0.25f, 0.01f, 0.01f, 0.01f, 0.01f, c.antiLevel, 0.2f};
    const float b[10] = {c.b1, 90, 120, 150, 200, 250, 300, 350, 200, 100};
    for (int k = 0; k < 10; ++k) t.frequency[k] = f[k], t.level[k] = l[k], t.bandwidth[k] = b[k];
    e->setFormantTarget(0, t);
    const float bands[48] = {};
    e->setSpectralTarget(0, bands, 0);
    e->setSourceEnvelope(0, kSourceVoicing, 1.0f, 0.01f);
    std::vector<float> out(2 * kEngineBlock);
    for (int i = 0; i < 3; ++i) e->renderBlock(out.data());
    return e;
}

}  // namespace

TEST(HarmonicLevels, VectorLoopsMatchScalarReference) {
    struct Width {
        const char* name;
        bool available;
        void (*levels)(const CXHarmonicFrame&);
    };
    const Width widths[] = {
        {"4 lanes", true, harmonicLevelsSSE},
        {"8 lanes", harmonicLevelsHasAVX2(), harmonicLevelsAVX2},
        {"16 lanes", harmonicLevelsHasAVX512(), harmonicLevelsAVX512},
    };
    std::mt19937 rng(5);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        auto e = voice(c, rng);
        const CXVoiceSlot& v = e->slot[0];
        int number[kHarmonics], band[kHarmonics];
        float pitch[kHarmonics];
        int count = 0;
        for (int n = 1; n < std::min(c.partials, kHarmonics) && v.harmonicOffset[n] + v.pitch <= 0.99f; ++n) {
            number[count] = n;
            band[count] = e->bandOfHarmonic[n];
            pitch[count++] = v.harmonicOffset[n] + v.pitch;
        }
        ASSERT_GT(count, 0);
        CXHarmonicFrame h = CXSpectralModel::harmonicFrame(*e, 0, 0);
        h.count = count;
        h.number = number;
        h.band = band;
        h.pitch = pitch;
        float refFrequency[kHarmonics], refLevel[kHarmonics];
        h.frequencyOut = refFrequency;
        h.levelOut = refLevel;
        harmonicLevelsScalar(h);
        float peak = 0;
        for (int i = 0; i < count; ++i) peak = std::max(peak, refLevel[i]);
        ASSERT_GT(peak, 0.0f);

        h.prepare();
        for (const Width& w : widths) {
            if (!w.available) continue;
            SCOPED_TRACE(w.name);
            float frequency[kHarmonics + 1], level[kHarmonics + 1];
            frequency[count] = level[count] = -7;  // nothing is written past the last harmonic
            h.frequencyOut = frequency;
            h.levelOut = level;
            w.levels(h);
            for (int i = 0; i < count; ++i) {
                ASSERT_EQ(frequency[i], refFrequency[i]) << "harmonic " << number[i];
                ASSERT_NEAR(level[i], refLevel[i], 2e-4f * std::fabs(refLevel[i]) + 1e-6f * peak)
                    << "harmonic " << number[i];
            }
            EXPECT_EQ(frequency[count], -7);
            EXPECT_EQ(level[count], -7);
        }
    }
}
