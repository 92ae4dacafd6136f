#include "voice/ff_block.h"

#include "voice/phoneme.h"

void CFFBlock::fill(const CPhoneme& model, int slot, float r) {
    for (int k = 0; k < kFormants; ++k) {
        model.formant(slot, k, frequency[k], level[k], bandwidth[k]);
        ramp[k] = r;
    }
    filled = true;
}

void CFFBlock::setFrequency(int k, float hz) {
    if (k >= 0 && k < kFormants) frequency[k] = hz;
}

void CFFBlock::scaleLevel(int k, float factor) {
    if (k >= 0 && k < kFormants) level[k] *= factor;
}

void CFFBlock::setRamp(int k, float seconds) {
    if (k >= 0 && k < kFormants) ramp[k] = seconds;
}

float CFFBlock::getFrequency(int k) const { return k >= 0 && k < kFormants ? frequency[k] : 0.0f; }
