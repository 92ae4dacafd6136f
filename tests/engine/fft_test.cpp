// The 512-point real FFT and the source spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/fft.h"
#include "engine/resynator.h"

TEST(FFT, MatchesADirectTransformAndInvertsExactly) {
    CFFT fft;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1, 1);
    float x[512], re[257], im[257], back[512];
    for (float& v : x) v = u(rng);
    fft.forward(x, re, im);
    for (int k : {0, 1, 7, 100, 128, 255, 256}) {
        double sr = 0, si = 0;
        for (int n = 0; n < 512; ++n) {
            sr += x[n] * std::cos(2 * M_PI * k * n / 512);
            si -= x[n] * std::sin(2 * M_PI * k * n / 512);
        }
        EXPECT_NEAR(re[k], sr, 1e-3) << k;
        EXPECT_NEAR(im[k], si, 1e-3) << k;
    }
    fft.inverse(re, im, back);
    for (int n = 0; n < 512; ++n) ASSERT_NEAR(back[n], x[n], 1e-5f) << n;
}

TEST(FFT, KeepingOneBinLeavesOneSine) {
    CFFT fft;
    float x[512], re[257], im[257], y[512];
    for (int n = 0; n < 512; ++n) x[n] = std::sin(2 * M_PI * 10 * n / 512) + 0.5f * std::cos(2 * M_PI * 40 * n / 512);
    fft.forward(x, re, im);
    for (int k = 0; k < 257; ++k)
        if (k != 40) re[k] = im[k] = 0;
    fft.inverse(re, im, y);
    for (int n = 0; n < 512; ++n) ASSERT_NEAR(y[n], 0.5f * std::cos(2 * M_PI * 40 * n / 512), 1e-5f);
}

TEST(Resynator, DefaultSpectrumAndMetallicStretch) {
    CResynator r;
    EXPECT_FLOAT_EQ(r.pitchOffset[1], 0.0f);
    EXPECT_FLOAT_EQ(r.pitchOffset[2], 1.0f / 16);
    EXPECT_NEAR(r.pitchOffset[3], std::log2(3.0f) / 16, 1e-7f);
    EXPECT_FLOAT_EQ(r.level[1], 0.0f);
    EXPECT_NEAR(r.level[3], 0.2f - 0.2f * 2, 1e-6f);
    EXPECT_LT(r.level[0], -100.0f);  // ratio 0: silent

    r.applyMetallic(0.0f);
    EXPECT_FLOAT_EQ(r.pitchOffset[10], float(std::log2(10.0) / 16));
    r.applyMetallic(1.0f);  // B = 0.1: partial 10 at 10 sqrt(11) / sqrt(1.1)
    double expect = std::log2(10 * std::sqrt(1 + 0.1 * 100) / std::sqrt(1.1)) / 16;
    EXPECT_NEAR(r.pitchOffset[10], expect, 1e-6);
    EXPECT_FLOAT_EQ(r.pitchOffset[1], 0.0f);
    for (int i = 2; i < 255; ++i) ASSERT_GT(r.pitchOffset[i + 1], r.pitchOffset[i]);
}
