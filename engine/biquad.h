// One band of the part equaliser: a cookbook biquad (peaking 4, low shelf 5,
// high shelf 6) whose coefficients glide toward their targets, so band
// changes never click.
#pragma once

class CBiQuad {
public:
    enum { kPeaking = 4, kLowShelf = 5, kHighShelf = 6 };

    // Gain in dB, frequency in Hz, bandwidth in octaves (peaking only).
    void setCoefficients(int type, float gainDb, float hz, float rate, float octaves);
    // Takes over the other filter's targets (the right channel follows the left).
    void copyCoefficients(const CBiQuad& other);
    float process(float x) {
        k += (0.005f - k) * 0.005f;
        for (int i = 0; i < 5; ++i) current[i] += (target[i] - current[i]) * k;
        float y = current[0] * x + current[1] * x1 + current[2] * x2 - current[3] * y1 - current[4] * y2 + 1e-11f;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { x1 = x2 = y1 = y2 = 0; }

    // A block of samples in place (every `stride`-th float). Once the
    // coefficients have glided onto their targets the per-sample smoothing is
    // skipped, and a settled flat band (0 dB) passes the signal untouched.
    void processBlock(float* x, int frames, int stride);
    // Left and right channel filters over an interleaved stereo block: as
    // processBlock on each, with both recursions in one loop once settled.
    static void processStereo(CBiQuad& left, CBiQuad& right, float* x, int frames);

    // b0, b1, b2, a1, a2 (divided by a0). Targets start as a straight wire.
    float target[5] = {1, 0, 0, 0, 0};
    float current[5] = {2, 2, 2, 2, 2};
    float k = 1.0f;

private:
    bool settle();
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};
