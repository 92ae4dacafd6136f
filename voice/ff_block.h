// A formant block: ten formants of a model slot that an articulation
// builder reshapes (a plosive's release, a fricative's frication) before it
// is queued as a formant target. A local value; nothing is allocated.
#pragma once

class CPhoneme;

class CFFBlock {
public:
    static constexpr int kFormants = 10;

    // All ten formants of the slot, each with the same ramp time.
    void fill(const CPhoneme& model, int slot, float ramp);
    // Formant k counts from 0; indices outside 0..9 change nothing (read 0).
    void setFrequency(int k, float hz);
    void scaleLevel(int k, float factor);
    void setRamp(int k, float seconds);
    float getFrequency(int k) const;

    float frequency[kFormants] = {};
    float level[kFormants] = {};
    float bandwidth[kFormants] = {};
    float ramp[kFormants] = {};
    bool filled = false;
};
