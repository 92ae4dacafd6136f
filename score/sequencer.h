// The score sequencer: the eight parts' note lists, tempo, loop, time
// signature and quantize settings, and their stored form.
#pragma once

#include <cstdint>

#include "score/sq_event_list.h"

class CVSTSynth;
class CUFile;

class CSequencer {
public:
    static constexpr int kParts = 8;

    explicit CSequencer(CVSTSynth* plugin) : plugin(plugin) {}

    float getTempo() const { return tempo; }
    void setTempo(float bpm) {
        if (bpm > 0 && bpm < 10000) tempo = bpm;
    }

    // Stored form: settings, then the eight event lists. Reading keeps the
    // lists that were read completely when the stream ends early.
    void write(CUFile& f) const;
    uint32_t storedSize() const;
    bool read(CUFile& f);

    CSQEventList lists[kParts];
    float tempo = 120;
    float swing = 0;
    bool loopEnabled = true;
    bool hostSync = false;
    bool repeat = false;
    int loopStart = 0, loopEnd = 61440;  // ticks
    int timeSigNumerator = 4, timeSigDenominator = 4;
    int quantizeGrid = 3840, quantizeValue = 4;

private:
    CVSTSynth* plugin;
};
