// The sound state the host stores and recalls: eight programs, which
// program each part plays, the selected part, mixer strips and master.
#pragma once

#include "params/descriptors.h"

constexpr int kParts = 8;
constexpr int kPrograms = 8;
constexpr int kMixerEntries = 16;
constexpr int kMasterEntries = 16;
constexpr int kNameLen = 32;

class CVSTProgram {
public:
    CVSTProgram();

    // A new program: all zeros apart from the program defaults.
    static void initValues(float* values);

    void selectPart(int part);
    // The program whose values the part uses (program 0 while unassigned).
    int effectiveProgram(int part) const;
    float* valuesOfPart(int part) { return programs[effectiveProgram(part)]; }
    void setName(int program, const char* name);
    void rebuildListText(int program);

    int partProgram[kParts];  // -1 = not yet assigned
    int selectedPart = 0;
    char names[kPrograms][kNameLen];
    float programs[kPrograms][kVoiceEntries];
    float mixer[kParts][kMixerEntries];
    float master[kMasterEntries];
    char listTexts[kPrograms][kNameLen];
    char bankName[128] = "Default";
    char projectName[128] = "no Project";
};
