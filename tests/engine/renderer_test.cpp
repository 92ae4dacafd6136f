// The four-lane recursive-sine renderer: SSE, AVX and AVX-512 against the
// scalar reference, phase continuity and exact gain ramps.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/partial_renderer.h"

namespace {

void randomGroup(CXPartial* rec, int n, std::mt19937& rng) {
    std::uniform_real_distribution<float> u(0, 1);
    for (int i = 0; i < n; ++i) {
        rec[i].frequency = u(rng) * u(rng);
        rec[i].phase = u(rng);
        rec[i].gainL = u(rng);
        rec[i].gainR = u(rng);
        rec[i].endL = u(rng);
        rec[i].endR = u(rng);
        rec[i].incL = (rec[i].endL - rec[i].gainL) / 256;
        rec[i].incR = (rec[i].endR - rec[i].gainR) / 256;
    }
}

}  // namespace

TEST(Renderer, PolynomialsAreSinglePrecision) {
    for (float w = 0; w <= 3.1416f; w += 0.001f) ASSERT_NEAR(rendererTwoCos(w), 2 * std::cos(w), 3e-6f) << w;
    for (float x = -20; x <= 20; x += 0.0031f) ASSERT_NEAR(rendererSin(x), std::sin(x), 3e-6f) << x;
}

TEST(Renderer, SseMatchesScalarReference) {
    ASSERT_TRUE(partialRendererHasSSE());
    std::mt19937 rng(11);
    alignas(32) CXPartial a[8], b[8];
    randomGroup(a, 8, rng);
    for (int i = 0; i < 8; ++i) b[i] = a[i];
    CXPartial* pa[8], *pb[8];
    for (int i = 0; i < 8; ++i) pa[i] = &a[i], pb[i] = &b[i];
    static CXLaneBuffer la, lb, lc;
    la = {};
    lb = {};
    lc = {};
    renderPartialsScalar(pa, la);
    renderPartialsScalar(pa + 4, la);
    renderPartialsSSE(pb, lb);
    renderPartialsSSE(pb + 4, lb);
    for (int i = 0; i < 256 * 8; ++i) ASSERT_NEAR(la.v[i], lb.v[i], 2e-4f) << i;
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(a[i].phase, b[i].phase, 1e-6f);
        EXPECT_EQ(a[i].gainL, b[i].gainL);
    }
    // Eight at once gives the same sums.
    CXPartial c[8];
    randomGroup(c, 8, rng);
    for (int i = 0; i < 8; ++i) b[i] = c[i], a[i] = c[i];
    renderPartialsSSE2x(pb, lc);
    la = {};
    renderPartialsScalar(pa, la);
    renderPartialsScalar(pa + 4, la);
    for (int i = 0; i < 256 * 8; ++i) ASSERT_NEAR(la.v[i], lc.v[i], 2e-4f) << i;
}

TEST(Renderer, ContinuousSineAcrossBlocksAndExactRamps) {
    alignas(32) CXPartial rec[4];
    rec[0].frequency = 0.01f;  // 220.5 Hz at 44.1 kHz
    rec[0].phase = 0.3f;
    rec[0].gainL = rec[0].endL = 0.5f;
    rec[0].gainR = 0.0f;
    rec[0].endR = 1.0f;
    rec[0].incR = (rec[0].endR - rec[0].gainR) / 256;
    CXPartial* p[4] = {&rec[0], &rec[1], &rec[2], &rec[3]};
    static CXLaneBuffer lanes;
    for (int block = 0; block < 2; ++block) {
        lanes = {};
        renderPartialsSSE(p, lanes);
        for (int f = 0; f < 256; ++f) {
            int n = block * 256 + f;
            double expect = 0.5 * std::sin(2 * M_PI * (0.3 + 0.005 * n));
            ASSERT_NEAR(lanes.v[8 * f], expect, 2e-4) << n;
        }
        if (block == 0) {
            // The right gain ran from 0 toward 1 over the block.
            EXPECT_NEAR(lanes.v[8 * 255 + 4] / std::sin(2 * M_PI * (0.3 + 0.005 * 255)), 255.0 / 256, 1e-3);
            EXPECT_EQ(rec[0].gainR, 1.0f);  // exactly g' after 256 frames
            rec[0].incR = 0;
        }
    }
    EXPECT_EQ(lanes.v[1], 0.0f);  // the empty lanes stay silent
}

TEST(Renderer, WideKernelsMatchScalarReference) {
    // Kernels that take several groups of one part in one pass.
    struct Case {
        const char* name;
        bool available;
        void (*render)(CXPartial* const*, CXLaneBuffer&);
        int groups;
        float tolerance;  // the fused recursion drifts from the scalar one, most at low frequencies
    };
    const Case cases[] = {
        {"AVX/FMA, four groups", partialRendererHasAVX(), renderPartialsAVX4x, 4, 2e-4f},
        {"AVX-512, eight groups", partialRendererHasAVX512(), renderPartialsAVX512x8, 8, 1.5e-3f},
    };
    int ran = 0;
    for (const Case& c : cases) {
        if (!c.available) continue;
        ++ran;
        SCOPED_TRACE(c.name);
        const int n = 4 * c.groups;
        std::mt19937 rng(12);
        alignas(32) CXPartial a[32], b[32];
        randomGroup(a, n, rng);
        CXPartial *pa[32], *pb[32];
        for (int i = 0; i < n; ++i) b[i] = a[i], pa[i] = &a[i], pb[i] = &b[i];
        static CXLaneBuffer la, lb;
        la = {};
        lb = {};
        for (int j = 0; j < c.groups; ++j) renderPartialsScalar(pa + 4 * j, la);
        c.render(pb, lb);
        for (int i = 0; i < 256 * 8; ++i) ASSERT_NEAR(la.v[i], lb.v[i], c.tolerance) << i;
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(a[i].phase, b[i].phase, 1e-6f);
            EXPECT_EQ(a[i].gainL, b[i].gainL);
            EXPECT_EQ(a[i].gainR, b[i].gainR);
        }
    }
    if (ran == 0) GTEST_SKIP() << "no AVX and FMA on this CPU";
}

TEST(Renderer, Avx512EightGroupsEqualTwoAvxPasses) {
    // The same fused operations per partial: only the order of the sums differs.
    if (!partialRendererHasAVX512()) GTEST_SKIP() << "no AVX-512 on this CPU";
    std::mt19937 rng(3);
    alignas(32) CXPartial a[32], b[32];
    randomGroup(a, 32, rng);
    CXPartial *pa[32], *pb[32];
    for (int i = 0; i < 32; ++i) b[i] = a[i], pa[i] = &a[i], pb[i] = &b[i];
    static CXLaneBuffer la, lb;
    la = {};
    lb = {};
    renderPartialsAVX4x(pa, la);
    renderPartialsAVX4x(pa + 16, la);
    renderPartialsAVX512x8(pb, lb);
    for (int i = 0; i < 256 * 8; ++i) ASSERT_NEAR(la.v[i], lb.v[i], 2e-6f) << i;
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(a[i].phase, b[i].phase);
        EXPECT_EQ(a[i].gainL, b[i].gainL);
    }
}
