// The parameter interface: stores raw values by address into the programs,
// and keeps the engine-wide sample rate.
#pragma once

#include "params/descriptors.h"

class CEngine;
class CVSTProgram;

class CPIBase {
public:
    void init(CEngine* engine, CVSTProgram* programs);

    const ParamDescriptor& voiceDescriptor(int entry) const;

    // Voice entry of the program the part plays, from a normalized value.
    void setVoiceValue(int part, int entry, float x, bool immediate);
    float getVoiceValue(int part, int entry) const;

    void setSampleRate(int rate);

private:
    CEngine* engine = nullptr;
    CVSTProgram* programs = nullptr;
};
