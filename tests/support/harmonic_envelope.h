// F1 and F2 of a sung vowel from its harmonics: with the fundamental known
// exactly, each harmonic's amplitude is the projection of the stretch onto
// cos and sin at k f0, and a formant is found as a two-pole resonance fitted
// to the harmonics around an envelope peak, which places it between
// harmonics however sparse they are. This is linear prediction of order two
// on the harmonic amplitudes, local to each formant: unlike prediction over
// the whole waveform it does not lean toward single harmonics at 110 and
// 220 Hz. An F2 close above F1 is read by fitting both at once. Its limit:
// F2 and F3 within about three harmonics of each other show as one peak.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace envelope {

constexpr double kPi = 3.14159265358979323846;
// The synthesis computes its formant resonators at 44.1 kHz whatever the
// output rate, and so do the fits below.
constexpr double kResonatorRate = 44100;

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

// Divides the source's loudness shelf out of harmonic levels, leaving the
// formant filter's response: at Volume lane v every harmonic above the first
// gets 0.8 (v - 0.5) x 0.2 level units (100 dB each) at 400..4000 Hz, 0.3 x
// that at 4000..6000 Hz and minus 1 x above.
inline void removeLoudnessShelf(std::vector<double>& db, double f0, double volumeLane) {
    const double bt = (volumeLane - 0.5) * 0.2 * 100;
    for (size_t i = 1; i < db.size(); ++i) {
        const double hz = double(i + 1) * f0;
        db[i] -= hz < 400 ? 0 : hz < 4000 ? 0.8 * bt : hz < 6000 ? 0.3 * bt : -bt;
    }
}

// Solves m x = v (3 x 3) by Cramer's rule; false when m is singular.
inline bool solve3(const double (&m)[3][3], const double (&v)[3], double (&x)[3]) {
    auto det = [](const double (&q)[3][3]) {
        return q[0][0] * (q[1][1] * q[2][2] - q[1][2] * q[2][1]) - q[0][1] * (q[1][0] * q[2][2] - q[1][2] * q[2][0]) +
               q[0][2] * (q[1][0] * q[2][1] - q[1][1] * q[2][0]);
    };
    const double d = det(m);
    if (d == 0) return false;
    for (int k = 0; k < 3; ++k) {
        double q[3][3];
        for (int j = 0; j < 3; ++j)
            for (int l = 0; l < 3; ++l) q[j][l] = l == k ? v[j] : m[j][l];
        x[k] = det(q) / d;
    }
    return true;
}

// One resonance fitted to three harmonics. A two-pole resonator's power
// response is 1 / (a + b cos w + c cos 2w) with its peak where cos w =
// -b / (4 c), so three harmonic amplitudes fix it exactly for a lone
// resonance wherever it falls between harmonics (a parabola through dB values
// pulls it toward the nearest harmonic when harmonics are sparse).
struct Resonance {
    double f = 0;               // 0: the three points describe no resonance
    double a = 0, b = 0, c = 0;  // inverse power relative to `peak`
    double peak = 0;             // amplitude of the middle harmonic

    // The fitted resonance's amplitude at frequency hz.
    double at(double hz) const {
        const double w = 2 * kPi * hz / kResonatorRate, d = a + b * std::cos(w) + c * std::cos(2 * w);
        return f > 0 && d > 0 ? peak / std::sqrt(d) : 0;
    }
};

// Fits amplitudes amp[i - 1 .. i + 1] (linear, harmonic j + 1 at index j);
// accepts a peak within a harmonic of harmonic `near` (the middle one unless
// given).
inline Resonance fitResonance(const std::vector<double>& amp, size_t i, double f0, size_t near = SIZE_MAX) {
    constexpr double rate = kResonatorRate;
    if (near == SIZE_MAX) near = i;
    Resonance r;
    if (i == 0 || i + 1 >= amp.size() || amp[i] <= 0) return r;
    double m[3][3], y[3];
    for (int j = 0; j < 3; ++j) {
        const double w = 2 * kPi * double(i + size_t(j)) * f0 / rate, v = amp[i - 1 + size_t(j)];
        if (v <= 0) return r;
        m[j][0] = 1, m[j][1] = std::cos(w), m[j][2] = std::cos(2 * w);
        y[j] = (amp[i] / v) * (amp[i] / v);
    }
    double x[3];
    if (!solve3(m, y, x)) return r;
    r.a = x[0], r.b = x[1], r.c = x[2];
    r.peak = amp[i];
    const double cw = r.c > 0 ? -r.b / (4 * r.c) : 2;
    if (cw > -1 && cw < 1) {
        const double f = std::acos(cw) * rate / (2 * kPi);
        if (f > double(near) * f0 && f < double(near + 2) * f0) r.f = f;
    }
    return r;
}

// Envelope peak at index i placed by a parabola through the dB values.
inline double parabolaAt(const std::vector<double>& db, size_t i, double f0) {
    double k = double(i + 1);
    if (i > 0 && i + 1 < db.size()) {
        double a = db[i - 1], b = db[i], c = db[i + 1], d = a - 2 * b + c;
        if (d < 0) k += 0.5 * (a - c) / d;
    }
    return k * f0;
}

// Amplitude at hz of a two-pole resonance peaking at f with bandwidth w (as
// in a + b cos w + c cos 2w above), 1 at its peak.
inline double resonanceShape(double f, double w, double hz) {
    const double rate = kResonatorRate, r = 1 - kPi * w / rate, ct = 2 * r * std::cos(2 * kPi * f / rate) / (r * r + 1);
    const double a1 = -2 * r * ct, a2 = r * r;
    auto den = [&](double x) {
        const double om = 2 * kPi * x / rate;
        return a1 * a1 + 1 + a2 * a2 + 2 * (a1 + a1 * a2) * std::cos(om) + 2 * a2 * std::cos(2 * om);
    };
    return std::sqrt(den(f) / den(hz));
}

struct Pair {
    double f1 = 0, f2 = 0;
};

// Two formants too close for a peak each: the sum of two resonances (free
// frequencies, bandwidths 40..250 Hz, levels) and a constant floor fitted to
// harmonics 1..last by least squares on the relative error, F1 within a
// harmonic of `peak` and F2 between F1 + 100 Hz and a harmonic above `near`.
// A coarse grid, then a finer one around its best point.
inline Pair fitPair(const std::vector<double>& amp, double f0, double peak, double near, size_t last) {
    Pair best;
    double bestError = 1e300, bw1 = 0, bw2 = 0;
    const double widths[] = {40, 60, 90, 130, 180, 250};
    auto trial = [&](double f1, double f2, double w1, double w2) {
        // Normal equations of sum ((l1 r1 + l2 r2 + c - a) / a)^2.
        double m[3][3] = {}, v[3] = {};
        for (size_t h = 0; h < last; ++h) {
            const double hz = double(h + 1) * f0, g = 1 / amp[h];
            const double x[3] = {resonanceShape(f1, w1, hz) * g, resonanceShape(f2, w2, hz) * g, g};
            for (int j = 0; j < 3; ++j) {
                for (int k = 0; k < 3; ++k) m[j][k] += x[j] * x[k];
                v[j] += x[j];
            }
        }
        double l[3];
        if (!solve3(m, v, l)) return;
        if (l[0] <= 0 || l[1] <= 0 || l[2] < 0) return;
        double e = 0;
        for (size_t h = 0; h < last; ++h) {
            const double hz = double(h + 1) * f0;
            const double y = (l[0] * resonanceShape(f1, w1, hz) + l[1] * resonanceShape(f2, w2, hz) + l[2]) / amp[h] - 1;
            e += y * y;
        }
        if (e < bestError) bestError = e, best.f1 = f1, best.f2 = f2, bw1 = w1, bw2 = w2;
    };
    for (double f1 = std::max(peak - f0, 0.5 * f0); f1 <= peak + f0; f1 += 10)
        for (double f2 = f1 + 100; f2 <= near + f0; f2 += 20)
            for (double w1 : widths)
                for (double w2 : widths) trial(f1, f2, w1, w2);
    if (best.f1 <= 0) return best;
    const Pair coarse = best;
    const double w1 = bw1, w2 = bw2;
    for (double f1 = coarse.f1 - 10; f1 <= coarse.f1 + 10; f1 += 1)
        for (double f2 = coarse.f2 - 20; f2 <= coarse.f2 + 20; f2 += 2)
            for (double s1 : {0.8, 1.0, 1.25})
                for (double s2 : {0.8, 1.0, 1.25}) trial(f1, f2, w1 * s1, w2 * s2);
    return best;
}

struct Peaks {
    double f1 = 0, f2 = 0;
};

// F1 is fitted at the strongest harmonic between 150 and 1100 Hz (through
// harmonics 1..3 when that is the first). An F2 one to three harmonics above
// a stronger F1 shows no clear peak of its own; it is looked for first: where
// the amplitudes minus the fitted F1 resonance peak and F2 owns at least half
// of the harmonic, or where F1's resonance fitted on its lower side (which F2
// barely reaches) reads over 3 % lower than the one through both neighbours.
// Such a pair is read by fitPair. Otherwise F2 is the first clear peak
// (1.5 dB above the dip before it) at least 150 Hz above F1 and below 3 kHz,
// fitted without F1's skirt.
inline Peaks formantPeaks(const std::vector<double>& db, double f0) {
    Peaks p;
    const size_t n = db.size();
    size_t best = n;
    for (size_t i = 0; i < n; ++i) {
        double hz = double(i + 1) * f0;
        if (hz >= 150 && hz <= 1100 && (best == n || db[i] > db[best])) best = i;
    }
    if (best == n || n < 3) return p;
    std::vector<double> amp(n);
    for (size_t i = 0; i < n; ++i) amp[i] = std::pow(10.0, db[i] / 20);
    const Resonance whole = fitResonance(amp, best == 0 ? 1 : best, f0);
    const Resonance lower = best >= 2 ? fitResonance(amp, best - 1, f0, best) : Resonance{};
    p.f1 = whole.f > 0 ? whole.f : parabolaAt(db, best, f0);
    const bool lifted = lower.f > 0 && whole.f > 0 && lower.f < 0.97 * whole.f;
    const Resonance& r1 = lifted ? lower : whole;
    if (r1.f > 0) {
        std::vector<double> rest(n);
        for (size_t i = 0; i < n; ++i) rest[i] = std::max(amp[i] - r1.at(double(i + 1) * f0), 1e-3 * amp[i]);
        for (size_t i = best + 1; i + 1 < n && i <= best + 3; ++i) {
            if (double(i + 1) * f0 < r1.f + 150 || rest[i] < rest[i - 1] || rest[i] < rest[i + 1]) continue;
            if (!lifted && rest[i] < 0.5 * amp[i]) continue;
            const Pair pair = fitPair(amp, f0, double(best + 1) * f0, double(i + 1) * f0, std::min(n, i + 4));
            p.f1 = pair.f1 > 0 ? pair.f1 : r1.f;
            p.f2 = pair.f1 > 0 ? pair.f2 : double(i + 1) * f0;
            return p;
        }
    }
    double dip = 1e300;
    for (size_t i = best + 1; i + 1 < n; ++i) {
        const double hz = double(i + 1) * f0;
        if (hz > 3000) break;
        dip = std::min(dip, db[i]);
        if (hz >= p.f1 + 150 && db[i] >= db[i - 1] && db[i] >= db[i + 1] && db[i] >= dip + 1.5) {
            // Fitted without F1's skirt where F1's resonance is known.
            std::vector<double> rest(amp);
            if (whole.f > 0)
                for (size_t j = 0; j < n; ++j) rest[j] = std::max(amp[j] - whole.at(double(j + 1) * f0), 1e-3 * amp[j]);
            Resonance r2 = fitResonance(rest, i, f0);
            if (r2.f <= 0) r2 = fitResonance(amp, i, f0);
            p.f2 = r2.f > 0 ? r2.f : parabolaAt(db, i, f0);
            break;
        }
    }
    return p;
}

}  // namespace envelope
