// Formant resonator and notch, tone filters, equaliser bands, power curve.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/biquad.h"
#include "engine/formant_filter.h"
#include "engine/gen/tl_parameter.h"
#include "engine/pow_func.h"
#include "engine/xfilter.h"

namespace {

// Amplitude of the filter's steady response to a sine (after settling).
template <class Filter>
double sineGain(Filter& f, double hz, double rate, int settle, int measure) {
    double peak = 0;
    for (int n = 0; n < settle + measure; ++n) {
        double y = f.process(float(std::sin(2 * M_PI * hz * n / rate)));
        if (n >= settle) peak = std::max(peak, std::fabs(y));
    }
    return peak;
}

struct FilterTables : ::testing::Test {
    CTLParameter tables;
};

}  // namespace

TEST_F(FilterTables, ResonatorHasZerosAtDcAndNyquist) {
    for (float gain : {0.5f, 1.0f, 8.0f}) {
        CXFormantFilter f(&tables);
        f.init(0, 1.0f / 256);
        f.set(700, 80, gain);
        for (int n = 0; n < 256; ++n) f.process(0);  // coefficients settle
        double dc = 0, nyq = 0;
        for (int n = 0; n < 20000; ++n) {
            double y = f.process(1.0f);
            if (n > 15000) dc = std::max(dc, std::fabs(y));
        }
        f.clear();
        for (int n = 0; n < 20000; ++n) {
            double y = f.process(n % 2 ? -1.0f : 1.0f);
            if (n > 15000) nyq = std::max(nyq, std::fabs(y));
        }
        EXPECT_LT(dc, 1e-4) << gain;
        EXPECT_LT(nyq, 1e-4) << gain;
        // And it resonates: the centre passes far more than a distant tone.
        f.clear();
        double centre = sineGain(f, 700, 44100, 8000, 2000);
        f.clear();
        double far = sineGain(f, 5000, 44100, 8000, 2000);
        EXPECT_GT(centre, 10 * far);
    }
}

TEST_F(FilterTables, NotchRemovesItsFrequencyAndPassesDc) {
    CXFormantFilter f(&tables);
    f.init(1, 1.0f / 256);
    f.set(1000, 100, 123.0f);  // the gain is ignored
    for (int n = 0; n < 256; ++n) f.process(0);
    EXPECT_LT(sineGain(f, 1000, 44100, 20000, 4000), 2e-3);
    f.clear();
    double dc = 0;
    for (int n = 0; n < 20000; ++n) dc = f.process(1.0f);
    EXPECT_NEAR(dc, 1.0, 1e-3);
    f.clear();
    EXPECT_NEAR(sineGain(f, 8000, 44100, 20000, 4000), 1.0, 0.02);
}

TEST_F(FilterTables, CoefficientsLandExactlyAfter256Samples) {
    CXFormantFilter f(&tables);
    f.init(0, 1.0f / 256);
    f.set(500, 60, 1);
    for (int n = 0; n < 256; ++n) f.process(0);
    f.set(2500, 200, 2);
    float t0 = f.t0, t1 = f.t1, t2 = f.t2;
    for (int n = 0; n < 255; ++n) f.process(0);
    EXPECT_NE(f.c1, t1);
    f.process(0);
    EXPECT_EQ(f.c0, t0);
    EXPECT_EQ(f.c1, t1);
    EXPECT_EQ(f.c2, t2);
    for (int n = 0; n < 100; ++n) f.process(0);  // and stays there
    EXPECT_EQ(f.c1, t1);

    CXFilter lp(&tables);
    lp.init(0, 1.0f / 256);
    lp.set(1000, 0, 1);
    for (int n = 0; n < 256; ++n) lp.process(0);
    EXPECT_EQ(lp.c2, lp.t2);
    float w = 2 * 3.14159265f * 1000, e = 1 / (w + 88200);
    EXPECT_NEAR(lp.c0, w * e, 1e-7f);
    EXPECT_NEAR(lp.c2, e * (88200 - w), 1e-7f);
}

TEST_F(FilterTables, OnePoleFiltersAndUnknownMode) {
    CXFilter lp(&tables), hp(&tables), none(&tables);
    lp.init(0, 1.0f / 256);
    hp.init(1, 1.0f / 256);
    none.init(7, 1.0f / 256);
    lp.set(500, 0, 1);
    hp.set(500, 0, 1);
    none.set(500, 0, 1);
    for (int n = 0; n < 256; ++n) lp.process(0), hp.process(0);
    EXPECT_GT(sineGain(lp, 50, 44100, 20000, 4000), 0.95);
    EXPECT_LT(sineGain(lp, 10000, 44100, 20000, 4000), 0.1);
    EXPECT_LT(sineGain(hp, 20, 44100, 20000, 4000), 0.1);
    EXPECT_GT(sineGain(hp, 10000, 44100, 20000, 4000), 0.95);
    EXPECT_EQ(none.process(1.0f), 0.0f);
}

TEST_F(FilterTables, ButterworthCornersAtBothEnds) {
    struct Case { float v; double corner; };
    for (const Case& c : {Case{0.0f, 20.0}, Case{1.0f, 20480.0}}) {
        CXFilter f(&tables);
        f.init(2, 1.0f / 256);
        f.set(c.v, 0, 0);
        for (int n = 0; n < 256; ++n) f.process(0);
        f.clear();
        double g = sineGain(f, c.corner, 44100, c.v == 0 ? 200000 : 20000, 10000);
        EXPECT_NEAR(g, std::sqrt(0.5), 0.02) << c.v;
    }
    // At v = 1 and 32 kHz the corner is held below the Nyquist frequency: a
    // stable low-pass that passes low tones.
    CTLParameter t32;
    t32.build(32000);
    CXFilter f(&t32);
    f.init(2, 1.0f / 256);
    f.set(1.0f, 0, 0);
    for (int n = 0; n < 256; ++n) f.process(0);
    f.clear();
    EXPECT_NEAR(sineGain(f, 1000, 32000, 20000, 4000), 1.0, 0.02);
}

TEST(BiQuad, BandsReachTheirGainAndZeroDbPasses) {
    const float rate = 44100;
    struct Case { int type; float db, hz, oct, probe; double expect; };
    const Case cases[] = {
        {CBiQuad::kPeaking, 12, 1000, 1, 1000, std::pow(10, 12 / 20.0)},
        {CBiQuad::kPeaking, -12, 3000, 0.5f, 3000, std::pow(10, -12 / 20.0)},
        {CBiQuad::kLowShelf, 10, 200, 1, 30, std::pow(10, 10 / 20.0)},
        {CBiQuad::kHighShelf, -10, 6000, 1, 16000, std::pow(10, -10 / 20.0)},
        {CBiQuad::kPeaking, 0, 1000, 1, 1000, 1.0},
        {CBiQuad::kLowShelf, 10, 200, 1, 8000, 1.0},
    };
    for (const Case& c : cases) {
        CBiQuad q;
        q.setCoefficients(c.type, c.db, c.hz, rate, c.oct);
        for (int n = 0; n < 20000; ++n) q.process(0);  // smoothing settles
        EXPECT_NEAR(sineGain(q, c.probe, rate, 40000, 6000), c.expect, c.expect * 0.03) << c.type << " " << c.db;
    }
    CBiQuad a, b;
    a.setCoefficients(CBiQuad::kPeaking, 6, 500, rate, 1);
    b.copyCoefficients(a);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a.target[i], b.target[i]);
}

TEST(PowFunc, TableAndDirectValues) {
    CPowFunc p;
    EXPECT_FLOAT_EQ(p.value(0.3f), 0.3f);  // exponent 1 at start
    p.setExponent(0.5f);
    EXPECT_FLOAT_EQ(p.value(0.25f), 0.5f);
    EXPECT_NEAR(p.value(0.3f), std::sqrt(0.3f), 1e-3f);
    EXPECT_FLOAT_EQ(p.value(4.0f), 2.0f);  // beyond the table: computed
    p.setExponent(2.5f);
    EXPECT_NEAR(p.value(0.999f), std::pow(0.999f, 2.5f), 1e-6f);
    EXPECT_EQ(p.value(0.0f), 0.0f);
}
