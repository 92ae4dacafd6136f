// Waveshaper curves over the input -1..1 (4096 segments): the output stage's
// soft saturator and the distortion types.
#pragma once

#include "engine/gen/tl_base.h"

class CTLShapes {
public:
    static constexpr int kShapes = 5;
    static constexpr int kSegments = 4096;

    CTLShapes();

    // Shape at x with the rounded index round(x * 2048) + 2048; flat beyond +-1.
    float value(int shape, float x) const {
        const CTLBase& s = shapes[(shape < 0 || shape >= kShapes) ? 0 : shape];
        float t = s.position(x);
        return s.at(int(t + 0.5f), t);
    }
    const CTLBase& table(int shape) const { return shapes[(shape < 0 || shape >= kShapes) ? 0 : shape]; }

private:
    CTLBase shapes[kShapes];
};
