// 512-point real FFT (through a 256-point complex transform), used for the
// block noise synthesis. Tables are built at construction; transforms
// allocate nothing.
#pragma once

class CFFT {
public:
    static constexpr int kSize = 512;
    static constexpr int kBins = kSize / 2 + 1;  // 0 .. 256 (Nyquist)

    CFFT();

    // x[512] -> re[257], im[257]; unnormalized (bin k = sum x[n] e^{-2 pi i k n / 512}).
    void forward(const float* x, float* re, float* im) const;
    // re[257], im[257] (the Hermitian half) -> x[512]; the exact inverse of forward.
    // The spectrum arrays are used as scratch space.
    void inverse(float* re, float* im, float* x) const;

private:
    static constexpr int kHalf = kSize / 2;
    void complexTransform(float* re, float* im, bool inverse) const;

    int bitReverse[kHalf];
    // The index pairs i < bitReverse[i] that the reordering swaps.
    short swapFirst[kHalf / 2], swapSecond[kHalf / 2];
    int swapCount = 0;
    float cosTable[kHalf / 2];  // cos(2 pi k / 256), k < 128
    float sinTable[kHalf / 2];
    float postCos[kHalf + 1];   // cos(2 pi k / 512), k = 0 .. 256
    float postSin[kHalf + 1];
    // Each stage's twiddles in order: the stage of half-length h at h - 1 .. 2h - 2.
    float stageCos[kHalf];
    float stageSin[kHalf];
};
