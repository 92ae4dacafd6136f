// MIDI input of the instrument: queued host events acting on the parts.
#pragma once

class CEngine;
class CVSTSynth;

class CMIDI {
public:
    CMIDI(CEngine* engine, CVSTSynth* plugin) : engine(engine), plugin(plugin) {}

private:
    CEngine* engine;
    CVSTSynth* plugin;
};
