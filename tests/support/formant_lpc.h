// Formant frequencies of sung audio by linear prediction, for tests that
// check what the synthesis really sounds like: the signal is low-passed and
// decimated to about 11 kHz, each frame is pre-emphasised, windowed and
// fitted with an all-pole model (autocorrelation method, Levinson-Durbin),
// and the resonances are the angles of the predictor's complex roots. The
// frame estimates are pooled by their median, as a phonetician reads a
// steady vowel. Header-only; no allocation concerns (test code).
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace lpc {

constexpr double kPi = 3.14159265358979323846;

// Samples from..to of x, low-passed below 0.45 of the new rate (Blackman
// windowed sinc) and kept every factor-th sample.
inline std::vector<double> decimate(const std::vector<float>& x, size_t from, size_t to, int factor) {
    const int half = 32 * factor;
    std::vector<double> h(static_cast<size_t>(2 * half + 1));
    const double fc = 0.45 / factor;  // cycles per input sample
    for (int i = -half; i <= half; ++i) {
        double s = i == 0 ? 2 * fc : std::sin(2 * kPi * fc * i) / (kPi * i);
        double w = 0.42 + 0.5 * std::cos(kPi * i / half) + 0.08 * std::cos(2 * kPi * i / half);
        h[size_t(i + half)] = s * w;
    }
    std::vector<double> y;
    to = std::min(to, x.size());
    for (size_t n = from + size_t(half); n + size_t(half) < to; n += size_t(factor)) {
        double acc = 0;
        for (int k = 0; k <= 2 * half; ++k) acc += h[size_t(k)] * x[n - size_t(half) + size_t(k)];
        y.push_back(acc);
    }
    return y;
}

// Predictor a[0..order] (a[0] = 1) of n samples: pre-emphasis from 50 Hz,
// Hamming window, autocorrelation, Levinson-Durbin. Empty when the frame is
// silent.
inline std::vector<double> predictor(const double* x, int n, int order, double rate) {
    const double pre = std::exp(-2 * kPi * 50 / rate);
    std::vector<double> w(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double e = x[i] - (i > 0 ? pre * x[i - 1] : 0.0);
        w[size_t(i)] = e * (0.54 - 0.46 * std::cos(2 * kPi * i / (n - 1)));
    }
    std::vector<double> r(static_cast<size_t>(order + 1));
    for (int k = 0; k <= order; ++k)
        for (int i = k; i < n; ++i) r[size_t(k)] += w[size_t(i)] * w[size_t(i - k)];
    if (r[0] <= 0) return {};
    r[0] *= 1 + 1e-9;  // a whisper of white noise keeps the recursion stable
    std::vector<double> a(static_cast<size_t>(order + 1)), prev;
    a[0] = 1;
    double err = r[0];
    for (int i = 1; i <= order; ++i) {
        double acc = r[size_t(i)];
        for (int j = 1; j < i; ++j) acc += a[size_t(j)] * r[size_t(i - j)];
        double k = -acc / err;
        prev = a;
        for (int j = 1; j < i; ++j) a[size_t(j)] = prev[size_t(j)] + k * prev[size_t(i - j)];
        a[size_t(i)] = k;
        err *= 1 - k * k;
        if (err <= 0) return {};
    }
    return a;
}

// Roots of z^p + a[1] z^(p-1) + ... + a[p] (Durand-Kerner iteration).
inline std::vector<std::complex<double>> roots(const std::vector<double>& a) {
    using C = std::complex<double>;
    const int p = int(a.size()) - 1;
    std::vector<C> z(static_cast<size_t>(p));
    for (int i = 0; i < p; ++i) z[size_t(i)] = std::polar(0.9, 2 * kPi * (i + 0.25) / p);
    auto value = [&](C x) {
        C v = 1;
        for (int k = 1; k <= p; ++k) v = v * x + a[size_t(k)];
        return v;
    };
    for (int iter = 0; iter < 500; ++iter) {
        double moved = 0;
        for (int i = 0; i < p; ++i) {
            C den = 1;
            for (int j = 0; j < p; ++j)
                if (j != i) den *= z[size_t(i)] - z[size_t(j)];
            C step = value(z[size_t(i)]) / den;
            z[size_t(i)] -= step;
            moved = std::max(moved, std::abs(step));
        }
        if (moved < 1e-12) break;
    }
    return z;
}

struct Resonance {
    double hz, bandwidth;
};

// Resonances of one frame in ascending frequency: roots above the real axis
// between 90 Hz and 150 Hz below Nyquist, narrower than 700 Hz.
inline std::vector<Resonance> frameResonances(const double* x, int n, int order, double rate) {
    std::vector<Resonance> out;
    std::vector<double> a = predictor(x, n, order, rate);
    if (a.empty()) return out;
    for (const std::complex<double>& z : roots(a)) {
        if (z.imag() <= 0) continue;
        double hz = std::arg(z) * rate / (2 * kPi);
        double bw = -std::log(std::abs(z)) * rate / kPi;
        if (hz > 90 && hz < rate / 2 - 150 && bw < 700) out.push_back({hz, bw});
    }
    std::sort(out.begin(), out.end(), [](const Resonance& l, const Resonance& r) { return l.hz < r.hz; });
    return out;
}

struct Estimate {
    double f1 = 0, f2 = 0;
    int frames = 0;
};

// Median F1 and F2 over frames (40 ms every 10 ms) of x[from, to) sampled at
// rate: decimated by factor, predictor order `order`.
inline Estimate medianF1F2(const std::vector<float>& x, double rate, size_t from, size_t to, int factor = 4,
                           int order = 12) {
    Estimate e;
    const double r = rate / factor;
    std::vector<double> y = decimate(x, from, to, factor);
    const int n = int(0.04 * r), hop = int(0.01 * r);
    std::vector<double> f1, f2;
    for (size_t at = 0; at + size_t(n) <= y.size(); at += size_t(hop)) {
        std::vector<Resonance> f = frameResonances(&y[at], n, order, r);
        if (f.size() < 2) continue;
        f1.push_back(f[0].hz);
        f2.push_back(f[1].hz);
    }
    if (f1.empty()) return e;
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    e.frames = int(f1.size());
    e.f1 = median(f1);
    e.f2 = median(f2);
    return e;
}

}  // namespace lpc
