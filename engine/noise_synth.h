// Noise of the voice slots: per block two noise spectra (stream A, the
// phoneme's breath/fricative noise; stream B, the part's breathiness) shaped
// by the formants and band curves, synthesised by FFT filtering of white
// noise with a raised-cosine overlap; per frame the noise modulation, the
// breath and burst envelope and the mixing into the part's buffers.
#pragma once

#include "engine/fft.h"
#include "engine/gen/tl_base.h"

class CEngine;
class CTLParameter;

class CXNoiseSynth {
public:
    // Window, bin pitches and cosine tables (at engine initialisation).
    void init(const CTLParameter& curves);

    void computeSpectra(CEngine& e, int part, int slot);
    // stream 0: A, 1: B.
    void synthesise(CEngine& e, int part, int slot, int stream);
    // Per frame for one block: modulated stream-B noise into the part buffer
    // (Spectral model), breath envelope and stream A into the breath buffer.
    void mixFrames(CEngine& e, int part, int slot);

    // e = (cos(phase) + 1) / 2 for phase 0..pi, 0 beyond.
    float raisedCosine(float phase) const { return raisedCos.lookup(phase); }

    static constexpr float kBinHz = 86.1328125f;  // 22050 / 256

    float window[256];
    float binPitch[256];
    float binCos[256], binCos2[256];  // cos(pi q / 256), cos(2 pi q / 256)
    int binBand[256];                 // band of each bin's pitch (0..47) ...
    float binFrac[256];               // ... and the fraction toward the next
    float clickShape[24];             // 1 - cos(j pi / 12)

private:
    CTLBase raisedCos;
    // Scratch of one synthesis.
    float white[CFFT::kSize];
    float re[CFFT::kBins], im[CFFT::kBins];
    float fresh[CFFT::kSize];
};
