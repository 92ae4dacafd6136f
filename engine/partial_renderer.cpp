#include "engine/partial_renderer.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#define LYRENA_HAS_SSE 1
#else
#define LYRENA_HAS_SSE 0
#endif

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
constexpr float kHalfPi = 1.57079632679490f;
constexpr float kThreeHalfPi = 4.71238898038469f;

// Taylor terms of cos (to x^10) and sin (to x^11); accurate to single
// precision over the folded ranges [0, pi/2] and [-pi/2, pi/2].
constexpr float c2 = -1.0f / 2, c4 = 1.0f / 24, c6 = -1.0f / 720, c8 = 1.0f / 40320, c10 = -1.0f / 3628800;
constexpr float s3 = -1.0f / 6, s5 = 1.0f / 120, s7 = -1.0f / 5040, s9 = 1.0f / 362880, s11 = -1.0f / 39916800;

// Folds any x into [-pi, pi).
inline float wrapPi(float x) { return x - kTwoPi * std::floor((x + kPi) * (1.0f / kTwoPi)); }

}  // namespace

float rendererTwoCos(float w) {
    // w = pi F lies in [0, pi] for F in [0, 1]; wider inputs are folded.
    w = std::fabs(wrapPi(w));
    float sign = 2.0f;
    if (w > kHalfPi) {
        w = kPi - w;
        sign = -2.0f;
    }
    float x2 = w * w;
    return sign * (1 + x2 * (c2 + x2 * (c4 + x2 * (c6 + x2 * (c8 + x2 * c10)))));
}

float rendererSin(float x) {
    x = wrapPi(x);
    if (x > kHalfPi) x = kPi - x;
    if (x < -kHalfPi) x = -kPi - x;
    float x2 = x * x;
    return x * (1 + x2 * (s3 + x2 * (s5 + x2 * (s7 + x2 * (s9 + x2 * s11)))));
}

void renderPartialsScalar(CXPartial* const p[4], CXLaneBuffer& lanes) {
    float k[4], y1[4], y2[4], gl[4], gr[4], dl[4], dr[4];  // per partial
    for (int i = 0; i < 4; ++i) {
        float w = kPi * p[i]->frequency;
        float a = kTwoPi * p[i]->phase;
        k[i] = rendererTwoCos(w);
        y1[i] = rendererSin(a - w);
        y2[i] = rendererSin(a - 2 * w);
        gl[i] = p[i]->gainL;
        gr[i] = p[i]->gainR;
        dl[i] = p[i]->incL;
        dr[i] = p[i]->incR;
        float ph = p[i]->phase + p[i]->frequency * 128.0f;
        p[i]->phase = ph - float(int(ph));
    }
    float* out = lanes.v;
    for (int f = 0; f < kRenderFrames; ++f, out += 8) {
        for (int i = 0; i < 4; ++i) {
            float y = k[i] * y1[i] - y2[i];
            out[i] += y * gl[i];
            out[4 + i] += y * gr[i];
            gl[i] += dl[i];
            gr[i] += dr[i];
            y2[i] = y1[i];
            y1[i] = y;
        }
    }
    for (int i = 0; i < 4; ++i) {
        p[i]->gainL = p[i]->endL;
        p[i]->gainR = p[i]->endR;
    }
}

#if LYRENA_HAS_SSE

namespace {

// The renderer's constants as four-wide vectors, built once.
struct Constants {
    __m128 pi = _mm_set1_ps(kPi), twoPi = _mm_set1_ps(kTwoPi), halfPi = _mm_set1_ps(kHalfPi);
    __m128 threeHalfPi = _mm_set1_ps(kThreeHalfPi), invTwoPi = _mm_set1_ps(1.0f / kTwoPi);
    __m128 two = _mm_set1_ps(2.0f), minusTwo = _mm_set1_ps(-2.0f), one = _mm_set1_ps(1.0f);
    __m128 half = _mm_set1_ps(0.5f), half128 = _mm_set1_ps(128.0f);
    __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 c2v = _mm_set1_ps(c2), c4v = _mm_set1_ps(c4), c6v = _mm_set1_ps(c6), c8v = _mm_set1_ps(c8),
           c10v = _mm_set1_ps(c10);
    __m128 s3v = _mm_set1_ps(s3), s5v = _mm_set1_ps(s5), s7v = _mm_set1_ps(s7), s9v = _mm_set1_ps(s9),
           s11v = _mm_set1_ps(s11);
};
const Constants kc;

inline __m128 floorPs(__m128 x) {
    __m128 t = _mm_cvtepi32_ps(_mm_cvttps_epi32(x));
    return _mm_sub_ps(t, _mm_and_ps(_mm_cmpgt_ps(t, x), kc.one));
}

inline __m128 wrapPiPs(__m128 x) {
    __m128 n = floorPs(_mm_mul_ps(_mm_add_ps(x, kc.pi), kc.invTwoPi));
    return _mm_sub_ps(x, _mm_mul_ps(n, kc.twoPi));
}

inline __m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

inline __m128 twoCosPs(__m128 w) {
    w = _mm_and_ps(wrapPiPs(w), kc.absMask);
    __m128 big = _mm_cmpgt_ps(w, kc.halfPi);
    w = select(big, _mm_sub_ps(kc.pi, w), w);
    __m128 sign = select(big, kc.minusTwo, kc.two);
    __m128 x2 = _mm_mul_ps(w, w);
    __m128 r = _mm_add_ps(kc.c8v, _mm_mul_ps(x2, kc.c10v));
    r = _mm_add_ps(kc.c6v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.c4v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.c2v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.one, _mm_mul_ps(x2, r));
    return _mm_mul_ps(sign, r);
}

inline __m128 sinPs(__m128 x) {
    x = wrapPiPs(x);
    __m128 hi = _mm_cmpgt_ps(x, kc.halfPi);
    x = select(hi, _mm_sub_ps(kc.pi, x), x);
    __m128 negPi = _mm_sub_ps(_mm_setzero_ps(), kc.pi), negHalf = _mm_sub_ps(_mm_setzero_ps(), kc.halfPi);
    __m128 lo = _mm_cmplt_ps(x, negHalf);
    x = select(lo, _mm_sub_ps(negPi, x), x);
    __m128 x2 = _mm_mul_ps(x, x);
    __m128 r = _mm_add_ps(kc.s9v, _mm_mul_ps(x2, kc.s11v));
    r = _mm_add_ps(kc.s7v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.s5v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.s3v, _mm_mul_ps(x2, r));
    r = _mm_add_ps(kc.one, _mm_mul_ps(x2, r));
    return _mm_mul_ps(x, r);
}

// Loads the four records' fields into lanes (a 4x4 transpose of the first
// 16 bytes and of the next 16).
struct Group {
    __m128 k, y1, y2, gl, gr, dl, dr;
};

inline void loadGroup(CXPartial* const p[4], Group& g) {
    __m128 r0 = _mm_load_ps(&p[0]->frequency), r1 = _mm_load_ps(&p[1]->frequency);
    __m128 r2 = _mm_load_ps(&p[2]->frequency), r3 = _mm_load_ps(&p[3]->frequency);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);  // r0 F, r1 phase, r2 gL, r3 dL
    __m128 q0 = _mm_load_ps(&p[0]->gainR), q1 = _mm_load_ps(&p[1]->gainR);
    __m128 q2 = _mm_load_ps(&p[2]->gainR), q3 = _mm_load_ps(&p[3]->gainR);
    _MM_TRANSPOSE4_PS(q0, q1, q2, q3);  // q0 gR, q1 dR
    __m128 w = _mm_mul_ps(kc.pi, r0);
    __m128 a = _mm_mul_ps(kc.twoPi, r1);
    g.k = twoCosPs(w);
    g.y1 = sinPs(_mm_sub_ps(a, w));
    g.y2 = sinPs(_mm_sub_ps(a, _mm_add_ps(w, w)));
    g.gl = r2;
    g.dl = r3;
    g.gr = q0;
    g.dr = q1;
    // New phase = frac(phase + 128 F), truncating.
    __m128 ph = _mm_add_ps(r1, _mm_mul_ps(r0, kc.half128));
    ph = _mm_sub_ps(ph, _mm_cvtepi32_ps(_mm_cvttps_epi32(ph)));
    alignas(16) float phases[4];
    _mm_store_ps(phases, ph);
    for (int i = 0; i < 4; ++i) p[i]->phase = phases[i];
}

inline void storeGains(CXPartial* const p[4]) {
    for (int i = 0; i < 4; ++i) {
        p[i]->gainL = p[i]->endL;
        p[i]->gainR = p[i]->endR;
    }
}

}  // namespace

void renderPartialsSSE(CXPartial* const p[4], CXLaneBuffer& lanes) {
    Group g;
    loadGroup(p, g);
    __m128 k = g.k, y1 = g.y1, y2 = g.y2, gl = g.gl, gr = g.gr, dl = g.dl, dr = g.dr;
    float* out = lanes.v;
    for (int f = 0; f < kRenderFrames; ++f, out += 8) {
        __m128 y = _mm_sub_ps(_mm_mul_ps(k, y1), y2);
        _mm_store_ps(out, _mm_add_ps(_mm_load_ps(out), _mm_mul_ps(y, gl)));
        _mm_store_ps(out + 4, _mm_add_ps(_mm_load_ps(out + 4), _mm_mul_ps(y, gr)));
        gl = _mm_add_ps(gl, dl);
        gr = _mm_add_ps(gr, dr);
        y2 = y1;
        y1 = y;
    }
    storeGains(p);
}

void renderPartialsSSE2x(CXPartial* const p[8], CXLaneBuffer& lanes) {
    Group a, b;
    loadGroup(p, a);
    loadGroup(p + 4, b);
    __m128 ka = a.k, y1a = a.y1, y2a = a.y2, gla = a.gl, gra = a.gr;
    __m128 kb = b.k, y1b = b.y1, y2b = b.y2, glb = b.gl, grb = b.gr;
    const __m128 dla = a.dl, dra = a.dr, dlb = b.dl, drb = b.dr;
    float* out = lanes.v;
    for (int f = 0; f < kRenderFrames; ++f, out += 8) {
        __m128 ya = _mm_sub_ps(_mm_mul_ps(ka, y1a), y2a);
        __m128 yb = _mm_sub_ps(_mm_mul_ps(kb, y1b), y2b);
        __m128 l = _mm_add_ps(_mm_mul_ps(ya, gla), _mm_mul_ps(yb, glb));
        __m128 r = _mm_add_ps(_mm_mul_ps(ya, gra), _mm_mul_ps(yb, grb));
        _mm_store_ps(out, _mm_add_ps(_mm_load_ps(out), l));
        _mm_store_ps(out + 4, _mm_add_ps(_mm_load_ps(out + 4), r));
        gla = _mm_add_ps(gla, dla);
        gra = _mm_add_ps(gra, dra);
        glb = _mm_add_ps(glb, dlb);
        grb = _mm_add_ps(grb, drb);
        y2a = y1a;
        y1a = ya;
        y2b = y1b;
        y1b = yb;
    }
    storeGains(p);
    storeGains(p + 4);
}

// AVX with FMA, chosen at run time: one 256-bit vector holds a group's four
// sines twice, so that one multiply by [gains L | gains R] gives a frame's
// eight lane values; four groups give four independent recursions.
#if defined(__GNUC__)
#define LYRENA_HAS_AVX 1
__attribute__((target("avx,fma"))) void renderPartialsAVX4x(CXPartial* const p[16], CXLaneBuffer& lanes) {
    __m256 k[4], y1[4], y2[4], g[4], d[4];
    for (int j = 0; j < 4; ++j) {
        Group q;
        loadGroup(p + 4 * j, q);
        k[j] = _mm256_set_m128(q.k, q.k);
        y1[j] = _mm256_set_m128(q.y1, q.y1);
        y2[j] = _mm256_set_m128(q.y2, q.y2);
        g[j] = _mm256_set_m128(q.gr, q.gl);
        d[j] = _mm256_set_m128(q.dr, q.dl);
    }
    __m256 k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3];
    __m256 y10 = y1[0], y11 = y1[1], y12 = y1[2], y13 = y1[3];
    __m256 y20 = y2[0], y21 = y2[1], y22 = y2[2], y23 = y2[3];
    __m256 g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3];
    const __m256 d0 = d[0], d1 = d[1], d2 = d[2], d3 = d[3];
    float* out = lanes.v;
    for (int f = 0; f < kRenderFrames; ++f, out += 8) {
        __m256 y0 = _mm256_fmsub_ps(k0, y10, y20);
        __m256 ya = _mm256_fmsub_ps(k1, y11, y21);
        __m256 yb = _mm256_fmsub_ps(k2, y12, y22);
        __m256 yc = _mm256_fmsub_ps(k3, y13, y23);
        __m256 s = _mm256_add_ps(_mm256_mul_ps(y0, g0), _mm256_mul_ps(ya, g1));
        __m256 t = _mm256_add_ps(_mm256_mul_ps(yb, g2), _mm256_mul_ps(yc, g3));
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(out), s), t));
        g0 = _mm256_add_ps(g0, d0);
        g1 = _mm256_add_ps(g1, d1);
        g2 = _mm256_add_ps(g2, d2);
        g3 = _mm256_add_ps(g3, d3);
        y20 = y10, y10 = y0;
        y21 = y11, y11 = ya;
        y22 = y12, y12 = yb;
        y23 = y13, y13 = yc;
    }
    for (int j = 0; j < 4; ++j) storeGains(p + 4 * j);
}

bool partialRendererHasAVX() {
    static const bool has = __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
    return has;
}

// AVX-512: one 512-bit vector holds two groups' sines, each twice as above,
// so eight groups make four independent recursions of twice the width; the
// two halves of the summed products add into the frame's eight lanes.
__attribute__((target("avx512f,avx,fma"))) inline __m512 joinGroups(__m128 a, __m128 b, __m128 c, __m128 d) {
    __m256d lo = _mm256_castps_pd(_mm256_set_m128(b, a)), hi = _mm256_castps_pd(_mm256_set_m128(d, c));
    return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(lo), hi, 1));
}

__attribute__((target("avx512f,avx,fma"))) void renderPartialsAVX512x8(CXPartial* const p[32], CXLaneBuffer& lanes) {
    __m512 k[4], y1[4], y2[4], g[4], d[4];
    for (int j = 0; j < 4; ++j) {
        Group a, b;
        loadGroup(p + 8 * j, a);
        loadGroup(p + 8 * j + 4, b);
        k[j] = joinGroups(a.k, a.k, b.k, b.k);
        y1[j] = joinGroups(a.y1, a.y1, b.y1, b.y1);
        y2[j] = joinGroups(a.y2, a.y2, b.y2, b.y2);
        g[j] = joinGroups(a.gl, a.gr, b.gl, b.gr);
        d[j] = joinGroups(a.dl, a.dr, b.dl, b.dr);
    }
    __m512 k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3];
    __m512 y10 = y1[0], y11 = y1[1], y12 = y1[2], y13 = y1[3];
    __m512 y20 = y2[0], y21 = y2[1], y22 = y2[2], y23 = y2[3];
    __m512 g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3];
    const __m512 d0 = d[0], d1 = d[1], d2 = d[2], d3 = d[3];
    float* out = lanes.v;
    for (int f = 0; f < kRenderFrames; ++f, out += 8) {
        __m512 y0 = _mm512_fmsub_ps(k0, y10, y20);
        __m512 ya = _mm512_fmsub_ps(k1, y11, y21);
        __m512 yb = _mm512_fmsub_ps(k2, y12, y22);
        __m512 yc = _mm512_fmsub_ps(k3, y13, y23);
        __m512 s = _mm512_add_ps(_mm512_mul_ps(y0, g0), _mm512_mul_ps(ya, g1));
        __m512 t = _mm512_add_ps(_mm512_mul_ps(yb, g2), _mm512_mul_ps(yc, g3));
        __m512 u = _mm512_add_ps(s, t);
        __m256 lo = _mm512_castps512_ps256(u), hi = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(u), 1));
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(out), lo), hi));
        g0 = _mm512_add_ps(g0, d0);
        g1 = _mm512_add_ps(g1, d1);
        g2 = _mm512_add_ps(g2, d2);
        g3 = _mm512_add_ps(g3, d3);
        y20 = y10, y10 = y0;
        y21 = y11, y11 = ya;
        y22 = y12, y12 = yb;
        y23 = y13, y13 = yc;
    }
    for (int j = 0; j < 8; ++j) storeGains(p + 4 * j);
}

bool partialRendererHasAVX512() {
    static const bool has = partialRendererHasAVX() && __builtin_cpu_supports("avx512f");
    return has;
}
#endif

bool partialRendererHasSSE() { return true; }

#else

void renderPartialsSSE(CXPartial* const p[4], CXLaneBuffer& lanes) { renderPartialsScalar(p, lanes); }
void renderPartialsSSE2x(CXPartial* const p[8], CXLaneBuffer& lanes) {
    renderPartialsScalar(p, lanes);
    renderPartialsScalar(p + 4, lanes);
}
bool partialRendererHasSSE() { return false; }

#endif

#if !defined(LYRENA_HAS_AVX)
void renderPartialsAVX4x(CXPartial* const p[16], CXLaneBuffer& lanes) {
    renderPartialsSSE2x(p, lanes);
    renderPartialsSSE2x(p + 8, lanes);
}
void renderPartialsAVX512x8(CXPartial* const p[32], CXLaneBuffer& lanes) {
    renderPartialsAVX4x(p, lanes);
    renderPartialsAVX4x(p + 16, lanes);
}
bool partialRendererHasAVX() { return false; }
bool partialRendererHasAVX512() { return false; }
#endif
