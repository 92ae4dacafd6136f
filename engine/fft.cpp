#include "engine/fft.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LYRENA_FFT_SSE 1
#else
#define LYRENA_FFT_SSE 0
#endif

namespace {
constexpr double kTwoPi = 6.28318530717958647692;
}

CFFT::CFFT() {
    int bits = 0;
    while ((1 << bits) < kHalf) ++bits;
    for (int i = 0; i < kHalf; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        bitReverse[i] = r;
        if (r > i) {
            swapFirst[swapCount] = short(i);
            swapSecond[swapCount++] = short(r);
        }
    }
    for (int k = 0; k < kHalf / 2; ++k) {
        cosTable[k] = float(std::cos(kTwoPi * k / kHalf));
        sinTable[k] = float(std::sin(kTwoPi * k / kHalf));
    }
    for (int half = 1; half < kHalf; half <<= 1)
        for (int k = 0; k < half; ++k) {
            stageCos[half - 1 + k] = cosTable[k * (kHalf / (2 * half))];
            stageSin[half - 1 + k] = sinTable[k * (kHalf / (2 * half))];
        }
    stageCos[kHalf - 1] = stageSin[kHalf - 1] = 0;
    for (int k = 0; k <= kHalf; ++k) {
        postCos[k] = float(std::cos(kTwoPi * k / kSize));
        postSin[k] = float(std::sin(kTwoPi * k / kSize));
    }
}

void CFFT::complexTransform(float* re, float* im, bool inverse) const {
    for (int n = 0; n < swapCount; ++n) {
        const int i = swapFirst[n], j = swapSecond[n];
        float t = re[i]; re[i] = re[j]; re[j] = t;
        t = im[i]; im[i] = im[j]; im[j] = t;
    }
    const float sign = inverse ? 1.0f : -1.0f;
    for (int len = 2; len <= kHalf; len <<= 1) {
        const int half = len >> 1, step = kHalf / len;
#if LYRENA_FFT_SSE
        if (half <= 2) {
            // The first two stages, eight values (four butterflies) at a time:
            // the a and b halves gathered by shuffles, the same operations
            // as the scalar loop below.
            const float c0 = cosTable[0], s0 = sign * sinTable[0];
            // The first stage (step kHalf / 2) uses only the twiddle at 0: its
            // step would read one past the tables.
            const int second = half == 1 ? 0 : step;
            const float c1 = cosTable[second], s1 = sign * sinTable[second];
            const __m128 wr = half == 1 ? _mm_set1_ps(c0) : _mm_setr_ps(c0, c1, c0, c1);
            const __m128 wi = half == 1 ? _mm_set1_ps(s0) : _mm_setr_ps(s0, s1, s0, s1);
            for (int start = 0; start < kHalf; start += 8) {
                float *r = re + start, *m = im + start;
                __m128 r0 = _mm_loadu_ps(r), r1 = _mm_loadu_ps(r + 4);
                __m128 m0 = _mm_loadu_ps(m), m1 = _mm_loadu_ps(m + 4);
                __m128 ar, br, ai, bi;
                if (half == 1) {
                    ar = _mm_shuffle_ps(r0, r1, _MM_SHUFFLE(2, 0, 2, 0));
                    br = _mm_shuffle_ps(r0, r1, _MM_SHUFFLE(3, 1, 3, 1));
                    ai = _mm_shuffle_ps(m0, m1, _MM_SHUFFLE(2, 0, 2, 0));
                    bi = _mm_shuffle_ps(m0, m1, _MM_SHUFFLE(3, 1, 3, 1));
                } else {
                    ar = _mm_movelh_ps(r0, r1);
                    br = _mm_movehl_ps(r1, r0);
                    ai = _mm_movelh_ps(m0, m1);
                    bi = _mm_movehl_ps(m1, m0);
                }
                __m128 tr = _mm_sub_ps(_mm_mul_ps(br, wr), _mm_mul_ps(bi, wi));
                __m128 ti = _mm_add_ps(_mm_mul_ps(br, wi), _mm_mul_ps(bi, wr));
                __m128 nbr = _mm_sub_ps(ar, tr), nbi = _mm_sub_ps(ai, ti);
                __m128 nar = _mm_add_ps(ar, tr), nai = _mm_add_ps(ai, ti);
                if (half == 1) {
                    _mm_storeu_ps(r, _mm_unpacklo_ps(nar, nbr));
                    _mm_storeu_ps(r + 4, _mm_unpackhi_ps(nar, nbr));
                    _mm_storeu_ps(m, _mm_unpacklo_ps(nai, nbi));
                    _mm_storeu_ps(m + 4, _mm_unpackhi_ps(nai, nbi));
                } else {
                    _mm_storeu_ps(r, _mm_movelh_ps(nar, nbr));
                    _mm_storeu_ps(r + 4, _mm_movehl_ps(nbr, nar));
                    _mm_storeu_ps(m, _mm_movelh_ps(nai, nbi));
                    _mm_storeu_ps(m + 4, _mm_movehl_ps(nbi, nai));
                }
            }
            continue;
        }
        if (half >= 4) {
            // Four butterflies at once with the stage's contiguous twiddles:
            // the same operations as the scalar loop below.
            const __m128 sv = _mm_set1_ps(sign);
            const float* wc = stageCos + half - 1;
            const float* ws = stageSin + half - 1;
            for (int start = 0; start < kHalf; start += len) {
                for (int k = 0; k < half; k += 4) {
                    __m128 wr = _mm_loadu_ps(wc + k), wi = _mm_mul_ps(sv, _mm_loadu_ps(ws + k));
                    float *ra = re + start + k, *ia = im + start + k, *rb = ra + half, *ib = ia + half;
                    __m128 br = _mm_loadu_ps(rb), bi = _mm_loadu_ps(ib);
                    __m128 tr = _mm_sub_ps(_mm_mul_ps(br, wr), _mm_mul_ps(bi, wi));
                    __m128 ti = _mm_add_ps(_mm_mul_ps(br, wi), _mm_mul_ps(bi, wr));
                    __m128 ar = _mm_loadu_ps(ra), ai = _mm_loadu_ps(ia);
                    _mm_storeu_ps(rb, _mm_sub_ps(ar, tr));
                    _mm_storeu_ps(ib, _mm_sub_ps(ai, ti));
                    _mm_storeu_ps(ra, _mm_add_ps(ar, tr));
                    _mm_storeu_ps(ia, _mm_add_ps(ai, ti));
                }
            }
            continue;
        }
#endif
        for (int start = 0; start < kHalf; start += len) {
            for (int k = 0; k < half; ++k) {
                float wr = cosTable[k * step], wi = sign * sinTable[k * step];
                int a = start + k, b = a + half;
                float tr = re[b] * wr - im[b] * wi;
                float ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

void CFFT::forward(const float* x, float* re, float* im) const {
    // Even samples as real, odd as imaginary parts of one half-size transform.
    for (int n = 0; n < kHalf; ++n) {
        re[n] = x[2 * n];
        im[n] = x[2 * n + 1];
    }
    complexTransform(re, im, false);
    re[kHalf] = re[0];
    im[kHalf] = im[0];
    // Split into the spectra of the even (E) and odd (O) samples:
    // X[k] = E[k] + W^k O[k], W = e^{-2 pi i / 512}; pairs k and 256 - k at once.
    for (int k = 0; k <= kHalf / 2; ++k) {
        int m = kHalf - k;
        float zr = re[k], zi = im[k], cr = re[m], ci = -im[m];  // c = conj(Z[m])
        float er = 0.5f * (zr + cr), ei = 0.5f * (zi + ci);
        float orr = 0.5f * (zi - ci), oi = -0.5f * (zr - cr);  // (Z - c) / 2i
        float wr = postCos[k], wi = -postSin[k];
        float tr = wr * orr - wi * oi, ti = wr * oi + wi * orr;
        // The partner bin from the conjugate symmetry of E and O.
        float er2 = er, ei2 = -ei, or2 = orr, oi2 = -oi;  // E[m] = conj(E[k]), O[m] = conj(O[k])
        float w2r = postCos[m], w2i = -postSin[m];
        float t2r = w2r * or2 - w2i * oi2, t2i = w2r * oi2 + w2i * or2;
        re[k] = er + tr;
        im[k] = ei + ti;
        re[m] = er2 + t2r;
        im[m] = ei2 + t2i;
    }
}

void CFFT::inverse(float* re, float* im, float* x) const {
    // E[k] = (X[k] + conj(X[256-k])) / 2, O[k] = (X[k] - conj(X[256-k])) / (2 W^k),
    // then Z = E + i O through the inverse half-size transform.
    for (int k = 0; k <= kHalf / 2; ++k) {
        int m = kHalf - k;
        float ar = re[k], ai = im[k], br = re[m], bi = im[m];
        // bin k
        float er = 0.5f * (ar + br), ei = 0.5f * (ai - bi);
        float dr = 0.5f * (ar - br), di = 0.5f * (ai + bi);
        float wr = postCos[k], wi = postSin[k];  // 1 / W^k = e^{+2 pi i k / 512}
        float orr = dr * wr - di * wi, oi = dr * wi + di * wr;
        // bin m
        float er2 = 0.5f * (br + ar), ei2 = 0.5f * (bi - ai);
        float dr2 = 0.5f * (br - ar), di2 = 0.5f * (bi + ai);
        float w2r = postCos[m], w2i = postSin[m];
        float or2 = dr2 * w2r - di2 * w2i, oi2 = dr2 * w2i + di2 * w2r;
        re[k] = er - oi;
        im[k] = ei + orr;
        if (m != k && m < kHalf) {
            re[m] = er2 - oi2;
            im[m] = ei2 + or2;
        }
    }
    complexTransform(re, im, true);
    const float scale = 1.0f / kHalf;
    for (int n = 0; n < kHalf; ++n) {
        x[2 * n] = re[n] * scale;
        x[2 * n + 1] = im[n] * scale;
    }
}
