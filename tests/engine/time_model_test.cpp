// The Time model: oscillator, bank, increment rule, and a part singing a
// vowel through the engine at 44.1 and 48 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "engine/oscillator.h"
#include "files/global_data.h"

namespace {

struct Osc {
    std::unique_ptr<CTLParameter> curves = std::make_unique<CTLParameter>();
    CXOscillator osc;
    Osc() { osc.setTables(&oscillatorWaves(), curves.get()); }
};

}  // namespace

TEST(TimeOscillator, HumanizeZeroIsStrictlyPeriodicAndHumanizeIsNot) {
    for (float humanize : {0.0f, 1.0f}) {
        Osc o;
        o.osc.init(0, humanize, humanize);
        // An increment of 2^25 / 256: a period of exactly 256 samples.
        o.osc.increment = 131072;
        o.osc.incrementStep = 0;
        o.osc.table = &oscillatorWaves().table(CTLWaves::bandOf(131072));
        std::vector<float> x(256 * 40);
        for (float& v : x) v = o.osc.next();
        double diff = 0;
        for (size_t i = 256; i < x.size(); ++i) diff = std::max(diff, double(std::fabs(x[i] - x[i - 256])));
        if (humanize == 0) {
            EXPECT_EQ(diff, 0.0);
            EXPECT_EQ(o.osc.jitterOffset, 0);
            EXPECT_EQ(o.osc.amplitude, 1.0f);
        } else {
            EXPECT_GT(diff, 1e-3);
        }
    }
}

TEST(TimeOscillator, IncrementJumpsWithinOneStepAndGlidesOtherwise) {
    Osc o;
    const float pitch = 0.55f;
    const int32_t target = int32_t(o.curves->oscillatorIncrement(pitch));
    struct Case {
        int32_t below;  // current increment = target - below
        int32_t step;   // expected per-sample step (0: taken at once)
    };
    const Case cases[] = {{0, 0}, {1, 0}, {255, 0}, {256, 1}, {1000, 3}, {-1, -1}, {-1000, -4}, {-256, -1}};
    for (const Case& k : cases) {
        o.osc.increment = target - k.below;
        o.osc.setFrequency(pitch, 0.98f);
        EXPECT_EQ(o.osc.incrementStep, k.step) << k.below;
        if (k.step == 0) EXPECT_EQ(o.osc.increment, target) << k.below;
        for (int i = 0; i < 256; ++i) o.osc.next();
        EXPECT_EQ(o.osc.increment, k.step == 0 ? target : target - k.below + 256 * k.step) << k.below;
        // Within a step of the target after one block; the next set-up lands on it.
        o.osc.setFrequency(pitch, 0.98f);
        for (int i = 0; i < 256; ++i) o.osc.next();
        EXPECT_EQ(o.osc.increment, target) << k.below;
    }
}

TEST(TimeOscillator, BandTableKeepsHarmonicsBelowNyquist) {
    // Highest harmonic of the chosen table times the fundamental stays below
    // half the rate for every increment byte k (f = k / 512 of the rate).
    for (int k = 1; k < 256; ++k) {
        int t = CTLWaves::bandOf(k << 16);
        double topHarmonic = CTLWaves::kHarmonics[t] * (k + 1) / 512.0;
        EXPECT_LE(topHarmonic, 0.5 + 1e-9) << k;
    }
    const CTLBase& saw = oscillatorWaves().table(8);
    float lo = 0, hi = 0, sum = 0;
    for (int i = 0; i < 512; ++i) {
        float v = saw.at(i, float(i));
        lo = std::min(lo, v), hi = std::max(hi, v), sum += v;
    }
    EXPECT_NEAR(std::max(-lo, hi), 1.0f, 1e-5);
    EXPECT_NEAR(sum / 512, 0.0f, 1e-4);
}

namespace {

constexpr float kA2 = (45 - 69) / 192.0f;  // 110 Hz

CXFormantTarget vowelAA() {
    CXFormantTarget t;
    const float f[10] = {730, 1090, 2440, 3400, 4500, 5500, 6500, 7500, 8000, 100};
    const float l[10] = {1, 0.6f, 0.35f, 0.25f, 0.01f, 0.01f, 0.01f, 0.01f, 1, 0};
    const float b[10] = {80, 90, 120, 150, 200, 250, 300, 350, 100, 100};
    for (int k = 0; k < 10; ++k) t.frequency[k] = f[k], t.level[k] = l[k], t.bandwidth[k] = b[k];
    return t;
}

struct TimeModel {
    std::unique_ptr<CEngine> e;
    int rate;
    explicit TimeModel(int r, int choir = 1, float open = 0) : rate(r) {
        globalData().setSampleRate(r);
        e = std::make_unique<CEngine>();
        e->setSampleRate(r);
        e->loadNeutralMaster();
        e->loadNeutralVoice(0);
        float* c = e->part[0].current;
        c[78] = 1;  // Time model
        c[85] = float(choir);
        c[11] = open;
        c[1] = 0.05f;              // Bright (engine value: 0 is brightest): little glottal tilt
        c[62] = 0.5f;              // Reson: bandwidths x 0.45
        c[86] = 1;                 // cutoff filter open
        c[87] = 0;                 // high-pass at 20 Hz
        c[89] = 0.1f, c[90] = 0.1f;  // glottal resonance
        c[80] = 0;
        std::copy(c, c + 512, e->part[0].target);
        EXPECT_TRUE(e->noteStart(0, 45, 100, kA2));
        e->setFormantTarget(0, vowelAA());
        const float silent[48] = {};
        e->setSpectralTarget(0, silent, 0);
        e->setSourceEnvelope(0, kSourceVoicing, 1.0f, 0.01f);
    }
    ~TimeModel() { globalData().setSampleRate(44100); }
    std::vector<float> render(int blocks) {
        std::vector<float> out(2 * kEngineBlock), left;
        for (int b = 0; b < blocks; ++b) {
            e->renderBlock(out.data());
            for (int i = 0; i < kEngineBlock; ++i) left.push_back(out[2 * i]);
        }
        return left;
    }
    // Resonator k's centre in Hz from its coefficients (b1 = 2 r cos w, b2 = r^2);
    // the tables are read at 44.1 kHz.
    double centre(int k) const {
        const CXFormantFilter& f = e->synth[0].formant[k];
        double w = std::acos(f.c1 / (2 * std::sqrt(f.c2)));
        return w * 44100 / (2 * M_PI) * rate / 44100;
    }
};

}  // namespace

TEST(TimeModel, ChoirSoundsExactlyThatManyOscillators) {
    for (int k = 1; k <= 16; ++k) {
        TimeModel m(44100, k);
        std::vector<float> x = m.render(8);
        const CXSynthEngine& s = m.e->synth[0];
        int moving = 0;
        for (const CXOscillator& o : s.bank.osc) moving += o.phase != 0;
        EXPECT_EQ(moving, k == 1 ? 0 : k) << k;
        EXPECT_EQ(s.osc.phase != 0, k == 1) << k;
        double e = 0;
        for (float v : x) e += double(v) * v;
        EXPECT_GT(e, 1e-6) << k;
        if (k == 16)
            for (int i = 0; i < 16; ++i) {
                EXPECT_GE(s.bank.gain[i], 1.0f);
                EXPECT_LE(s.bank.gain[i], 1.4f);
                EXPECT_LE(std::fabs(s.bank.detune[i]), 0.5f);
            }
    }
}

TEST(TimeModel, OpenOneSetsTheFirstFourResonatorsToTheNeutralVowel) {
    for (int rate : {44100, 48000}) {
        TimeModel m(rate, 1, 1.0f);
        m.e->part[0].formantScale = 1.1f;
        m.render(4);
        const double want[4] = {550, 1650, 2750, 3850};
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(m.e->synth[0].formantHz[k], want[k], 0.01) << k;
            EXPECT_NEAR(m.centre(k), want[k], 8.0) << "rate " << rate << " resonator " << k;
        }
    }
}

TEST(TimeModel, VowelHasItsPitchAndFormantPeaksAtBothRates) {
    for (int rate : {44100, 48000}) {
        TimeModel m(rate);
        std::vector<float> x = m.render(rate / 256);  // one second
        const size_t n = 16384, from = x.size() - n;
        double rms = 0;
        for (size_t i = from; i < x.size(); ++i) rms += double(x[i]) * x[i];
        rms = std::sqrt(rms / n);
        ASSERT_GT(rms, 1e-3) << rate;
        EXPECT_LT(rms, 0.7) << rate;

        // Hann-windowed DFT magnitudes at the harmonics of 110 Hz (the model
        // must keep the pitch in Hz at both rates).
        auto magnitude = [&](double hz) {
            double re = 0, im = 0;
            for (size_t i = 0; i < n; ++i) {
                double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
                double ph = 2 * M_PI * hz * double(i) / rate;
                re += w * x[from + i] * std::cos(ph);
                im += w * x[from + i] * std::sin(ph);
            }
            return std::hypot(re, im);
        };
        // Pitch: the strongest line near the fundamental.
        double best = 0, f0 = 0;
        for (double hz = 100; hz <= 120; hz += 0.25) {
            double a = magnitude(hz);
            if (a > best) best = a, f0 = hz;
        }
        EXPECT_NEAR(f0, 110.0, 0.75) << rate;
        std::vector<double> amp(41, 0);
        for (int h = 1; h <= 40; ++h) amp[size_t(h)] = magnitude(h * f0);
        for (double formant : {730.0, 1090.0, 2440.0}) {
            bool found = false;
            for (int h = 2; h < 40; ++h) {
                bool peak = amp[size_t(h)] > amp[size_t(h - 1)] && amp[size_t(h)] >= amp[size_t(h + 1)];
                if (peak && std::fabs(h * f0 - formant) < 1.6 * f0) {
                    found = true;
                    std::printf("rate %d: formant %.0f Hz -> peak at harmonic %d (%.0f Hz)\n", rate, formant, h,
                                h * f0);
                }
            }
            EXPECT_TRUE(found) << "rate " << rate << " formant " << formant;
        }
        // The envelope dips between F2 and F3.
        EXPECT_LT(amp[16], 0.5 * amp[10]) << rate;
    }
}
