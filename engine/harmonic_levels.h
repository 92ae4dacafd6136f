// The per-harmonic work of the Spectral model's block step: from each sung
// harmonic's pitch, its normalized frequency and its level before the
// amplitude ramp (source spectrum, spectral tilt, formant resonances, the
// anti-resonance and the glottal curve). The scalar version is the
// reference; the vector versions (4 lanes SSE2, 8 lanes AVX2, 16 lanes
// AVX-512, the wide ones chosen at run time) repeat its operations in the
// same order except cos, a polynomial, so they agree within float tolerance.
#pragma once

#include "engine/gen/tl_base.h"
#include "engine/pow_func.h"

struct CXHarmonicFrame {
    // Per block.
    const CTLBase* frequency = nullptr;  // pitch -> normalized frequency
    const CTLBase* gain = nullptr;       // level -> linear gain
    const CPowFunc* power = nullptr;     // shape of the formant responses
    const float* sourceLevel = nullptr;  // source spectrum level by harmonic number
    const float* bandLevel = nullptr;    // level by partial band
    const float* glottal = nullptr;      // the glottal curve's 48 points
    // Formant terms (kFormants each; 8 is the anti-resonance).
    const float* g2 = nullptr;
    const float* d0 = nullptr;
    const float* d1 = nullptr;
    const float* d2 = nullptr;
    const float* formantGain = nullptr;
    float rate = 44100;      // sample rate in Hz
    float tension = 0;       // tilt by tension
    float loudness = 0;      // tilt by loudness (volume lane - 0.5) * 0.2
    float brightness = 1;    // source level scale

    // Per harmonic: number (1 ..), partial band and pitch.
    int count = 0;
    const int* number = nullptr;
    const int* band = nullptr;
    const float* pitch = nullptr;
    // Results per harmonic.
    float* frequencyOut = nullptr;
    float* levelOut = nullptr;

    // The curves as plain data for the vector units, filled by prepare()
    // from the three objects above: those units touch no inline member
    // function that the linker could share with baseline code.
    struct Curve {
        const float* segments;
        float origin, scale, last;
    };
    Curve frequencyCurve = {}, gainCurve = {};
    const float* powerTable = nullptr;
    void prepare();
};

// CPowFunc::value out of line, for the vector units' inputs beyond the table.
float harmonicPower(const CPowFunc& p, float x);

void harmonicLevelsScalar(const CXHarmonicFrame& h);
void harmonicLevelsSSE(const CXHarmonicFrame& h);
// Call only where the matching Has function says so.
void harmonicLevelsAVX2(const CXHarmonicFrame& h);
void harmonicLevelsAVX512(const CXHarmonicFrame& h);
bool harmonicLevelsHasAVX2();
bool harmonicLevelsHasAVX512();
