// Generated tables, modulator waves, shapes, modulation sources and the
// fractal drift.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/fractal_noise.h"
#include "engine/gen/tl_lfo_waves.h"
#include "engine/gen/tl_parameter.h"
#include "engine/gen/tl_shapes.h"
#include "engine/modulators.h"

TEST(Tables, LookupIsExactAtZeroAndNearlyTheEndValueBelowOne) {
    CTLParameter t;
    t.build(44100);
    // Pitch table: f(0) = 2^0 / 65536; near 1 -> 2^16 / 65536 = 1.
    EXPECT_FLOAT_EQ(t.partialFrequency(0.0f), 1.0f / 65536);
    EXPECT_NEAR(t.partialFrequency(0.9999999f), 1.0f, 1e-4f);
    // Level table: 1e-5 at 0 and 1 at 1 (the end of the last segment).
    EXPECT_FLOAT_EQ(t.gain(0.0f), 1e-5f);
    EXPECT_NEAR(t.gain(1.0f), 1.0f, 1e-5f);
    EXPECT_NEAR(t.gain(0.8f), std::pow(10.0f, -1.0f), 1e-4f);
    // A rising input never makes the level table fall.
    for (float u = 0.001f; u < 1; u += 0.0137f) EXPECT_LE(t.gain(u - 0.001f), t.gain(u) * 1.0000001f);
}

TEST(Tables, PitchCurvesMatchTheirFormulas) {
    CTLParameter t;
    struct Case { int rate; float pitch; float hz; };
    const Case cases[] = {{44100, 0.5f, 86.1328125f}, {48000, 0.5f, 86.1328125f}, {44100, float(1 + std::log2(440.0 / 22050) / 16), 440.0f},
                          {22050, 0.75f, 22050.0f / 256 * 16}};
    for (const Case& c : cases) {
        t.build(c.rate);
        float hz = t.partialFrequency(c.pitch) * c.rate / 2;
        EXPECT_NEAR(hz, c.hz, c.hz * 2e-5f) << c.rate << " " << c.pitch;
        EXPECT_NEAR(t.pitchOfFrequency(c.hz), c.pitch, 2e-5f) << c.hz;
    }
    t.build(44100);
    EXPECT_NEAR(t.partialFrequency(0.5f), std::exp2(-8.0f), 1e-9f);
    // One LFO cycle per block at rate 1, 256 blocks per cycle at 0.5.
    EXPECT_NEAR(t.lfoIncrement(0.9999999f), 16777216.0f, 20.0f);
    EXPECT_NEAR(t.lfoIncrement(0.5f), 65536.0f, 1.0f);
    EXPECT_FLOAT_EQ(t.pitchOfFrequency(0.0f), 0.25f);
}

TEST(Tables, LfoWaves) {
    CTLLFOWaves w;
    EXPECT_FLOAT_EQ(w.value(2, 0x7FFFFF), -1.0f);  // just before half a cycle
    EXPECT_FLOAT_EQ(w.value(2, 0x800000), 1.0f);   // exactly at half a cycle
    EXPECT_NEAR(w.value(0, 0x400000), 1.0f, 1e-4f);  // sine at a quarter
    EXPECT_NEAR(w.value(0, 0xC00000), -1.0f, 1e-4f);
    EXPECT_NEAR(w.value(3, 0x000000), -1.0f, 1e-6f);  // rising ramp
    EXPECT_NEAR(w.value(3, 0x800000), 0.0f, 1e-6f);
    EXPECT_NEAR(w.value(4, 0x400000), 0.5f, 1e-6f);  // falling ramp
    // The random wave stays within the sum of its weights and moves.
    float lo = 1, hi = -1;
    for (uint32_t ph = 0; ph < 0x7FFFFFFFu; ph += 0x10000 * 7 + 3) {
        float v = w.random(ph);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GE(lo, -1.12f);
    EXPECT_LE(hi, 1.12f);
    EXPECT_GT(hi - lo, 0.5f);
}

TEST(Tables, OutputSaturator) {
    CTLShapes s;
    struct Case { float x, y; };
    const Case cases[] = {{0.25f, 1.0f / 3}, {-0.25f, -1.0f / 3}, {1.0f, 1.0f}, {-1.0f, -1.0f}, {0.0f, 0.0f},
                          {3.0f, 1.0f}, {-7.5f, -1.0f}, {0.75f, 1 - 4.0f / 3 * 0.0625f}};
    for (const Case& c : cases) EXPECT_NEAR(s.value(0, c.x), c.y, 2e-6f) << c.x;
    // Distortion shapes: odd knee, sine shape and the two Chebyshev series at +-1.
    EXPECT_NEAR(s.value(1, 0.5f), 0.5f * 2 / 1.99f, 1e-5f);
    EXPECT_NEAR(s.value(2, 1.0f), 0.8f, 1e-5f);
    EXPECT_NEAR(s.value(3, 1.0f), 0.19f + 1 + 0.08f - 0.1f - 0.06f + 0.06f + 0.03f - 0.05f - 0.02f, 1e-5f);
    EXPECT_NEAR(s.value(4, 0.0f), 0.34f - 0.1f - 0.08f - 0.06f - 0.05f - 0.05f, 1e-5f);
}

TEST(Modulators, SourcesAndOscillator) {
    CXModulationInputs in;
    in.keytrack = 0.25f;
    in.velocity = 0.5f;
    in.pressure = 0.1f;
    in.modWheel = 0.8f;
    in.velocityGain = 0.7f;
    const float expect[9] = {0, 0.25f, 0.5f, 0.1f, 0.8f, 0.75f, 0.5f, 0.9f, 0.2f};
    for (int s = 0; s < 9; ++s) EXPECT_FLOAT_EQ(modulationSource(s, in), expect[s]) << s;
    EXPECT_FLOAT_EQ(modulationSource(2, in, true), 0.7f);
    EXPECT_FLOAT_EQ(modulationSource(9, in), 0.0f);
    EXPECT_FLOAT_EQ(modulationSource(-1, in), 0.0f);

    // A vibrato at rate 0.5 completes one cycle in 256 blocks.
    CTLParameter t;
    CTLLFOWaves w;
    CXLFO lfo;
    for (int b = 0; b < 64; ++b) lfo.advance(t, w, 0, 0.5f);
    EXPECT_NEAR(lfo.value, 1.0f, 1e-3f);
    for (int b = 0; b < 192; ++b) lfo.advance(t, w, 0, 0.5f);
    EXPECT_EQ(lfo.phase, 0u);
}

TEST(FractalNoise, BoundedDeterministicAndSlow) {
    CFractalNoise a(5), b(5), c(6);
    float lo = 1e9f, hi = -1e9f, largestStep = 0, prev = a.next();
    b.next();
    c.next();
    bool differs = false;
    for (int i = 0; i < 20000; ++i) {
        float x = a.next();
        EXPECT_EQ(x, b.next());
        if (x != c.next()) differs = true;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        largestStep = std::max(largestStep, std::fabs(x - prev));
        prev = x;
    }
    EXPECT_TRUE(differs);
    EXPECT_GT(hi - lo, 0.05f);
    EXPECT_LT(std::max(hi, -lo), 3.0f);
    // Neighbouring values differ by about the finest level's weight.
    EXPECT_LT(largestStep, 0.2f);
}
