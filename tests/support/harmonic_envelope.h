// F1 and F2 of a sung vowel from its harmonics: with the fundamental known
// exactly, each harmonic's amplitude is the projection of the stretch onto
// cos and sin at k f0, and a formant is a peak of that envelope, placed
// between harmonics by a parabola through the log amplitudes of the peak
// harmonic and its neighbours. Unlike linear prediction this reads the
// synthesis' own formant placement at 110 and 220 Hz (linear prediction
// leans toward single harmonics and toward the energy between formants);
// its limits: a formant that lies two harmonics or less from a stronger one
// shows no peak of its own.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace envelope {

constexpr double kPi = 3.14159265358979323846;

// dB amplitude of harmonics 1..count of x[from, to) at f0 (the stretch is cut
// to a whole number of periods).
inline std::vector<double> harmonicLevels(const std::vector<float>& x, double rate, size_t from, size_t to, double f0,
                                          int count) {
    const double period = rate / f0;
    const size_t n = size_t(std::floor(double(to - from) / period) * period);
    std::vector<double> db;
    for (int k = 1; k <= count; ++k) {
        // cos and sin of w i by rotation, renormalised now and then.
        const double w = 2 * kPi * k * f0 / rate, cw = std::cos(w), sw = std::sin(w);
        double re = 1, im = 0, c = 0, s = 0;
        for (size_t i = 0; i < n; ++i) {
            c += x[from + i] * re;
            s += x[from + i] * im;
            const double r = re * cw - im * sw;
            im = re * sw + im * cw;
            re = r;
            if ((i & 1023) == 1023) {
                const double g = 1 / std::hypot(re, im);
                re *= g, im *= g;
            }
        }
        db.push_back(20 * std::log10(std::hypot(c, s) / double(n) + 1e-12));
    }
    return db;
}

// Frequency of the envelope peak at harmonic index i (0-based: harmonic i + 1).
inline double peakAt(const std::vector<double>& db, size_t i, double f0) {
    double k = double(i + 1);
    if (i > 0 && i + 1 < db.size()) {
        double a = db[i - 1], b = db[i], c = db[i + 1], d = a - 2 * b + c;
        if (d < 0) k += 0.5 * (a - c) / d;
    }
    return k * f0;
}

struct Peaks {
    double f1 = 0, f2 = 0;
};

// F1: the strongest harmonic between 150 and 1100 Hz; F2: the first local
// maximum at least 150 Hz above F1 and below 3 kHz.
inline Peaks formantPeaks(const std::vector<double>& db, double f0) {
    Peaks p;
    size_t best = db.size();
    for (size_t i = 0; i < db.size(); ++i) {
        double hz = double(i + 1) * f0;
        if (hz >= 150 && hz <= 1100 && (best == db.size() || db[i] > db[best])) best = i;
    }
    if (best == db.size()) return p;
    p.f1 = peakAt(db, best, f0);
    for (size_t i = best + 1; i + 1 < db.size(); ++i) {
        double hz = double(i + 1) * f0;
        if (hz > 3000) break;
        if (hz >= p.f1 + 150 && db[i] >= db[i - 1] && db[i] >= db[i + 1]) {
            p.f2 = peakAt(db, i, f0);
            break;
        }
    }
    return p;
}

}  // namespace envelope
