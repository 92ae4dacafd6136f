// The score sequencer: transport and tempo of the eight parts' note lists.
#pragma once

class CVSTSynth;

class CSequencer {
public:
    explicit CSequencer(CVSTSynth* plugin) : plugin(plugin) {}

    float getTempo() const { return tempo; }
    void setTempo(float bpm) {
        if (bpm > 0) tempo = bpm;
    }

private:
    CVSTSynth* plugin;
    float tempo = 120;
};
