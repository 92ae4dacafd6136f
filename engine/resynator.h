// A source spectrum: per harmonic partial a frequency ratio, its pitch offset
// from partial 1 and a level. The Spectral model reads the pitch offsets at
// note start and the levels every block.
#pragma once

class CResynator {
public:
    static constexpr int kPartials = 256;
    static constexpr int kNameLen = 32;

    CResynator() { reset(); }

    // The synthetic spectrum: ratios 0..255, offsets log2(i)/16, levels
    // 0.2 - 0.2 log2(i + 1) (level values); partial 0 (ratio 0) is silent.
    void reset();
    // Metallic entry v: stiff-string stretch of the upper partials.
    void applyMetallic(float v);

    int partialCount = kPartials;
    char name[kNameLen + 1] = "";
    float ratio[kPartials];
    float pitchOffset[kPartials];
    float level[kPartials];
    // Offsets as the spectrum defines them, before any stretch.
    float baseOffset[kPartials];
};
