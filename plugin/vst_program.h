// The sound state the host stores and recalls: eight programs, which
// program each part plays, the selected part, mixer strips and master, and
// the two host chunks built from them (a preset chunk of the selected
// part's program, a bank chunk of everything with the phoneme models and
// the score).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "params/descriptors.h"

class CPIBase;
class CSequencer;
class CUFile;

constexpr int kParts = 8;
constexpr int kPrograms = 8;
constexpr int kNameLen = 32;

class CVSTProgram {
public:
    static constexpr int kChunkVersion = 4;
    static constexpr size_t kPresetHead = 932;
    static constexpr size_t kProgramRecord = 928;
    static constexpr size_t kBankHead = 8036;

    CVSTProgram();

    // The score and the phoneme models travel in the chunks.
    void attach(CSequencer* sequencer, CPIBase* parameters);

    // A new program: all zeros apart from the program defaults.
    static void initValues(float* values);

    void selectPart(int part);
    // The program whose values the part uses (program 0 while unassigned).
    int effectiveProgram(int part) const;
    float* valuesOfPart(int part) { return programs[effectiveProgram(part)]; }
    void setName(int program, const char* name);
    void rebuildListText(int program);

    void copyToClipboard(int program);
    bool pasteFromClipboard(int program);
    void initProgram(int program);

    // Chunks, built into blocks owned here until the next build of a kind.
    const std::vector<uint8_t>& buildPresetChunk();
    const std::vector<uint8_t>& buildBankChunk();
    // Reads a preset chunk's head into the selected part's program with its
    // repairs; false (nothing changed) for a short head or another version.
    bool readPresetHead(const uint8_t* data, size_t size);
    // Reads a bank chunk's head (programs, mixer, master); the version is
    // returned, 0 (nothing changed) for a short head or another version.
    int readBankHead(const uint8_t* data, size_t size);

    int partProgram[kParts];  // -1 = not yet assigned
    int selectedPart = 0;
    char names[kPrograms][kNameLen];
    float programs[kPrograms][kVoiceEntries];
    float mixer[kParts][kMixerEntries];
    float master[kMasterEntries];
    char listTexts[kPrograms][kNameLen];
    char bankName[128] = "Default";
    char projectName[128] = "no Project";

    float clipboard[kVoiceEntries] = {};
    char clipboardName[kNameLen] = "";
    bool clipboardValid = false;

private:
    void writeProgram(CUFile& f, int program) const;
    void readProgram(const uint8_t* data, float* values, char* name);
    static void repairBands(float* values);

    CSequencer* sequencer = nullptr;
    CPIBase* parameters = nullptr;
    std::vector<uint8_t> presetChunk;
    std::vector<uint8_t> bankChunk;
};
