// Slow fractal drift (midpoint displacement), one value per call: a ring of
// two halves; while one half is read the other is refined one point per
// call, so every call costs the same.
#pragma once

#include <cstdint>

class CFractalNoise {
public:
    static constexpr int kHalf = 4096;

    explicit CFractalNoise(uint32_t seed = 1);
    float next();

private:
    float white();  // uniform in [-0.5, 0.5)
    // One refinement step of the half being built (end point, then the
    // midpoints level by level).
    void refineStep();
    void startHalf(int half);

    float ring[2 * kHalf];
    uint32_t state;
    int readIndex = 0;
    int buildHalf = 1;
    int level = 0;     // 0: end point; 1..12: stride 4096 >> level
    int position = 0;  // next midpoint (in points from the half's start) of this level
    float weight[13];
};
