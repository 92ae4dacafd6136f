// The Spectral voice model: once per block computes every harmonic's
// frequency and stereo gain from the formant resonances, the 48-band
// spectral envelope and the part's source spectrum, and appends them to the
// engine's render list. The per-block voice step (ramps, pitch, levels,
// formant coefficients) is shared with the time-domain model.
#pragma once

#include "engine/harmonic_levels.h"

class CEngine;

class CXSpectralModel {
public:
    // Ramps, pitch with bend, transposition, curve, humanize and vibrato,
    // brightness, levels and formant coefficients of one slot.
    void voiceStep(CEngine& e, int part, int slot, bool spectral);
    // voiceStep, then the harmonic loop into the render list.
    void compute(CEngine& e, int part, int slot);
    // The harmonic loop's per-block inputs of a slot after its voiceStep
    // (the per-harmonic arrays and outputs left empty).
    static CXHarmonicFrame harmonicFrame(const CEngine& e, int part, int slot);

    // Power response of formant k of a slot at cos w and cos 2w, shaped by
    // a power curve; negative denominators give the level unweighted.
    static float response(float g2, float d0, float d1, float d2, float c1, float c2);
};
