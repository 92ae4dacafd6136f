// Insert effects and the reverb: driven on their own with engine-unit
// parameter blocks, and the reverb's decay measured from impulse responses.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/effects.h"
#include "engine/engine.h"
#include "files/global_data.h"

namespace {

struct Tables {
    CTLParameter curves;
    CTLLFOWaves waves;
    CTLShapes shapes;
};

// Every effect entry at a setting that changes the sound, all switches off.
void loudSettings(float* c) {
    c[39] = 2;       // chorus
    c[40] = 0.5f;    // rate
    c[42] = 0.3f;    // delay
    c[43] = 0.5f;    // depth
    c[44] = 0.5f;    // feedback
    c[45] = 1;       // level
    c[46] = 0;       // stereo delay
    c[47] = c[48] = 0.01f;
    c[49] = 0.5f;
    c[50] = 1;
    c[51] = 5000;
    c[53] = 1;
    c[54] = 2000;
    c[55] = 0.5f;
    c[56] = 1;
    c[57] = 1;
}

struct PartFx {
    std::unique_ptr<Tables> t = std::make_unique<Tables>();
    std::unique_ptr<CXPartEffects> fx = std::make_unique<CXPartEffects>();
    float c[512] = {};
    PartFx() {
        fx->setTables(&t->curves, &t->waves, &t->shapes);
        fx->clear();
        loudSettings(c);
    }
    // Runs blocks of an input (left, right per frame); returns the output.
    std::vector<float> run(const std::vector<float>& in) {
        std::vector<float> out(in.size());
        for (size_t f = 0; f < in.size() / 2; ++f) {
            if (f % 256 == 0) fx->update(c, CXEffectClock{1378, 16777216.0f * 256 / 1378});
            float l = in[2 * f], r = in[2 * f + 1];
            fx->process(l, r);
            out[2 * f] = l;
            out[2 * f + 1] = r;
        }
        return out;
    }
};

std::vector<float> noise(size_t frames, bool leftOnly = false) {
    std::vector<float> x(2 * frames);
    uint32_t s = 12345;
    for (float& v : x) {
        s = s * 1664525u + 1013904223u;
        v = (float(s >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    if (leftOnly)
        for (size_t f = 0; f < frames; ++f) x[2 * f + 1] = 0;
    return x;
}

}  // namespace

TEST(PartEffects, SwitchesOffPassTheSignalUnchangedAndEachSwitchChangesIt) {
    PartFx p;
    const std::vector<float> in = noise(4096);
    EXPECT_EQ(p.run(in), in);
    for (int sw : {59, 60, 61}) {
        PartFx q;
        q.c[sw] = 1;
        std::vector<float> out = q.run(in);
        double diff = 0;
        for (size_t i = 0; i < in.size(); ++i) diff += std::fabs(out[i] - in[i]);
        EXPECT_GT(diff, 1.0) << "entry " << sw;
    }
}

TEST(PartEffects, DistortionIsMonoForAHardPannedInput) {
    const std::vector<float> in = noise(2048, true);
    for (int type = 0; type < 4; ++type) {
        PartFx p;
        p.c[59] = 1;
        p.c[53] = float(type);
        std::vector<float> out = p.run(in);
        double energy = 0;
        for (size_t f = 0; f < out.size() / 2; ++f) {
            ASSERT_EQ(out[2 * f], out[2 * f + 1]) << "type " << type << " frame " << f;
            energy += double(out[2 * f]) * out[2 * f];
        }
        EXPECT_GT(energy, 1e-3) << type;
    }
}

TEST(PartEffects, DelayTypesPlaceTheirEchoes) {
    // Open filter (above 22 kHz): echoes are exact copies of the impulse.
    const int frames = 4096;
    struct Case {
        int type;
        float level;
        int leftAt, rightAt;  // frames of the single echo on each side, -1 none
    };
    PartFx probe;
    probe.c[60] = 1;
    probe.c[47] = 0.02f;
    probe.c[48] = 0.05f;
    probe.run(std::vector<float>(2 * 256, 0));
    const int l1 = probe.fx->length[0], l2 = probe.fx->length[1];
    ASSERT_EQ(l1, int(0.02f * 32768 + 1));
    ASSERT_EQ(l2, int(0.05f * 32768 + 1));
    const Case cases[] = {
        {2, 0.5f, l1, l1 + l2},  // cross: left after length 1, right after both
        {0, 0.5f, l1, -1},       // stereo: a left impulse echoes on the left only
    };
    for (const Case& k : cases) {
        PartFx p;
        p.c[60] = 1;
        p.c[46] = float(k.type);
        p.c[47] = 0.02f;
        p.c[48] = 0.05f;
        p.c[49] = 0;
        p.c[50] = k.level;
        p.c[51] = 22500;
        std::vector<float> in(2 * frames, 0);
        in[0] = 1;
        std::vector<float> out = p.run(in);
        for (int f = 1; f < frames; ++f) {
            float wantL = f == k.leftAt ? k.level : 0, wantR = f == k.rightAt ? k.level : 0;
            ASSERT_NEAR(out[2 * f], wantL, 1e-6) << "type " << k.type << " frame " << f;
            ASSERT_NEAR(out[2 * f + 1], wantR, 1e-6) << "type " << k.type << " frame " << f;
        }
    }
}

TEST(PartEffects, LowPassHasUnityGainAtDcAndCutsAboveItsCutoff) {
    for (float hz : {345.0f, 2000.0f, 10000.0f}) {
        float g, b;
        CXPartEffects::lowPass(hz, g, b);
        EXPECT_NEAR(g / (1 + b), 1.0f, 1e-5);  // DC gain of y = g x - b y[-1]
        // Magnitude at the cutoff is close to -3 dB.
        double w = 2 * M_PI * hz / 44100;
        double re = 1 + b * std::cos(w), im = -b * std::sin(w);
        EXPECT_NEAR(g / std::hypot(re, im), std::sqrt(0.5), 0.05) << hz;
    }
}

namespace {

// Impulse response of the reverb (left output), seconds long.
std::vector<float> impulseResponse(CXReverb& rv, double seconds, int rate = 44100) {
    const int frames = int(seconds * rate);
    std::vector<float> ir(size_t(frames), 0);
    float bus[2 * 256], out[2 * 256];
    for (int f0 = 0; f0 < frames; f0 += 256) {
        for (float& x : bus) x = 0;
        for (float& x : out) x = 0;
        if (f0 == 0) bus[0] = 1;
        rv.process(bus, out, 256, 1.0f);
        for (int i = 0; i < 256 && f0 + i < frames; ++i) ir[size_t(f0 + i)] = out[2 * i];
    }
    return ir;
}

// RT60 from the late decay: the energy of 20 ms windows in dB from 0.4 s
// (after the first passes through the longest line and the ringing of the
// diffusing allpasses) until it has fallen 40 dB, a least-squares line
// through them, extrapolated to 60 dB.
double rt60(const std::vector<float>& ir, int rate = 44100) {
    const size_t w = size_t(rate / 50);
    std::vector<double> t, db;
    for (size_t i = size_t(0.4 * rate); i + w <= ir.size(); i += w) {
        double e = 0;
        for (size_t k = i; k < i + w; ++k) e += double(ir[k]) * ir[k];
        double d = 10 * std::log10(e + 1e-300);
        if (!db.empty() && d < db.front() - 40) break;
        t.push_back(double(i) / rate);
        db.push_back(d);
    }
    const double n = double(t.size());
    double st = 0, sd = 0, stt = 0, std_ = 0;
    for (size_t i = 0; i < t.size(); ++i) st += t[i], sd += db[i], stt += t[i] * t[i], std_ += t[i] * db[i];
    const double slope = (n * std_ - st * sd) / (n * stt - st * st);  // dB per second
    return slope < 0 ? -60 / slope : 1e9;
}

CXReverbSettings settings(int timeRaw, int sizeRaw) {
    CXReverbSettings s;
    s.predelay = 1;
    s.time = timeRaw == 127 ? 999999.0f : std::pow(2.0f, float(timeRaw) / 10) * 0.05f;
    s.size = float(sizeRaw) / 127 * 99 + 1;
    s.structure = 0.7f;
    s.fusion = 0.4f;
    s.damping = 0.3f;
    s.on = 1;
    return s;
}

}  // namespace

// The line gain is derived from the first line's length so that the decay
// follows Time whatever the room: Size changes the echo spacing, not the
// decay time.
TEST(Reverb, DecayTimeFollowsTimeAndNotSize) {
    auto rv = std::make_unique<CXReverb>();
    auto measure = [&](int t, int s) {
        rv->clear();
        rv->rebuild(settings(t, s), 44100);
        double r = rt60(impulseResponse(*rv, 6.0));
        std::printf("RT60 time %d size %d: %.3f s\n", t, s, r);
        return r;
    };
    // Time raw 30, 40, 50: 0.4, 0.8, 1.6 s nominal.
    double t30 = measure(30, 40), t40 = measure(40, 40), t50 = measure(50, 40);
    EXPECT_LT(t30, t40);
    EXPECT_LT(t40, t50);
    EXPECT_GT(t50, 2 * t30);
    double s10 = measure(40, 10), s40 = measure(40, 40), s90 = measure(40, 90);
    EXPECT_NEAR(s10 / s40, 1.0, 0.2);
    EXPECT_NEAR(s90 / s40, 1.0, 0.2);
}

TEST(Reverb, Time127IsPracticallyEndless) {
    auto rv = std::make_unique<CXReverb>();
    CXReverbSettings s = settings(127, 60);
    s.damping = 0;
    rv->rebuild(s, 44100);
    EXPECT_GT(std::fabs(rv->lineGain[0]), 0.99999f);
    std::vector<float> ir = impulseResponse(*rv, 6.0);
    auto energy = [&](double from, double to) {
        double e = 0;
        for (size_t i = size_t(from * 44100); i < size_t(to * 44100); ++i) e += double(ir[i]) * ir[i];
        return e;
    };
    // Five seconds on, the tail has lost less than 10 dB.
    EXPECT_GT(energy(5, 6), 0.1 * energy(0.5, 1.5));
    for (float x : ir) ASSERT_TRUE(std::isfinite(x));
}

TEST(Reverb, PrimeLengthsAndTheFullRingFallback) {
    EXPECT_EQ(CXReverb::primeAtLeast(0), 2);
    EXPECT_EQ(CXReverb::primeAtLeast(14), 17);
    EXPECT_EQ(CXReverb::primeAtLeast(16381), 16381);
    EXPECT_EQ(CXReverb::primeAtLeast(16382), 0);  // none below the ring size
    auto rv = std::make_unique<CXReverb>();
    CXReverbSettings s = settings(40, 127);
    rv->rebuild(s, 96000);  // 100 m at 96 kHz is longer than a line
    EXPECT_EQ(rv->lineLength[0], 0);
    std::vector<float> ir = impulseResponse(*rv, 1.0, 96000);
    for (float x : ir) ASSERT_TRUE(std::isfinite(x));
}

TEST(MasterEffects, ChorusBusFeedsTheMasterChorusOnlyWhileItSounds) {
    auto t = std::make_unique<Tables>();
    auto m = std::make_unique<CXMasterEffects>();
    m->setTables(&t->curves, &t->waves);
    m->clear();
    float rev[512] = {}, cho[512], master[512];
    std::vector<float> in = noise(256);
    for (int i = 0; i < 512; ++i) cho[i] = in[size_t(i)];
    double wet = 0;
    for (int b = 0; b < 20; ++b) {
        for (float& x : master) x = 0;
        m->update(CXEffectClock());
        m->process(rev, cho, master, 256, 0, false);
        if (b > 2)
            for (float x : master) wet += std::fabs(x);
    }
    EXPECT_GT(wet, 1.0);
    // Silent bus: after the tail the chorus stops and adds nothing.
    for (float& x : cho) x = 0;
    for (int b = 0; b < 500; ++b) m->process(rev, cho, master, 256, 0, false);
    EXPECT_EQ(m->chorusActive, 0);
    for (float& x : master) x = 0;
    m->process(rev, cho, master, 256, 0, false);
    for (float x : master) EXPECT_EQ(x, 0.0f);
}
