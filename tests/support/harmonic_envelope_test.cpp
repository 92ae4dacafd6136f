// The vowel tests' formant reader on harmonic spectra whose formants are
// known: parallel two-pole resonances sampled at the harmonics of 110 and
// 220 Hz, as the synthesis sums them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/harmonic_envelope.h"

namespace {

struct Formant {
    double hz, level, width;
};

// Amplitude of a two-pole resonator peaking at f (bandwidth w) at frequency hz.
double resonance(double f, double w, double hz) {
    const double rate = 44100, theta = 2 * envelope::kPi * f / rate, r = 1 - envelope::kPi * w / rate;
    const double ct = 2 * r * std::cos(theta) / (r * r + 1), s1 = std::sqrt(1 - ct * ct);
    const double a1 = -2 * r * ct, a2 = r * r, g = (1 - r * r) * s1, om = 2 * envelope::kPi * hz / rate;
    return std::sqrt(g * g / (a1 * a1 + 1 + a2 * a2 + 2 * (a1 + a1 * a2) * std::cos(om) + 2 * a2 * std::cos(2 * om)));
}

std::vector<double> harmonicDb(double f0, const std::vector<Formant>& formants) {
    std::vector<double> db;
    for (int k = 1; k * f0 < 3200; ++k) {
        double a = 0;
        for (const Formant& f : formants) a += f.level * resonance(f.hz, f.width, k * f0);
        db.push_back(20 * std::log10(a));
    }
    return db;
}

TEST(HarmonicEnvelope, ReadsF1AndF2BetweenSparseHarmonics) {
    struct Case {
        const char* vowel;
        double f0;
        std::vector<Formant> formants;
    } cases[] = {
        {"AA low", 110, {{730, 1, 90}, {1090, 0.5, 110}, {2440, 0.05, 160}}},
        {"IY low", 110, {{270, 1, 60}, {2290, 0.1, 100}, {3010, 0.06, 200}}},
        {"UW low", 110, {{380, 1, 70}, {990, 0.3, 80}, {2400, 0.03, 150}}},
        {"EH high", 220, {{727, 1, 90}, {2063, 0.2, 110}, {2900, 0.05, 180}}},
        // F2 one or two harmonics above a stronger F1: no peak of its own.
        {"AO high", 220, {{804, 1, 90}, {1188, 0.447, 100}, {2824, 0.02, 80}}},
        {"AH high", 220, {{760, 1, 90}, {1416, 0.3, 100}, {2800, 0.03, 120}}},
        {"OW high", 220, {{472, 1, 80}, {996, 0.282, 70}, {2828, 0.022, 70}}},
        {"OW narrow", 220, {{472, 1, 50}, {996, 0.158, 60}, {2700, 0.0178, 170}}},
    };
    for (const Case& c : cases) {
        const envelope::Peaks p = envelope::formantPeaks(harmonicDb(c.f0, c.formants), c.f0);
        EXPECT_NEAR(p.f1, c.formants[0].hz, 0.03 * c.formants[0].hz) << c.vowel;
        EXPECT_NEAR(p.f2, c.formants[1].hz, 0.03 * c.formants[1].hz) << c.vowel;
    }
}

TEST(HarmonicEnvelope, DividesTheLoudnessShelfOut) {
    // At full volume the source lifts harmonics at 400..4000 Hz by 8 dB;
    // an F1 just under 400 Hz would read at the first lifted harmonic.
    const std::vector<Formant> uw = {{380, 1, 70}, {990, 0.3, 80}, {2400, 0.03, 150}};
    std::vector<double> db = harmonicDb(110, uw);
    for (size_t i = 1; i < db.size(); ++i)
        if ((i + 1) * 110.0 >= 400) db[i] += 8;
    EXPECT_GT(envelope::formantPeaks(db, 110).f1, 400);
    envelope::removeLoudnessShelf(db, 110, 1.0);
    EXPECT_NEAR(envelope::formantPeaks(db, 110).f1, 380, 0.03 * 380);
}

}  // namespace
