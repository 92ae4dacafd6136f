// The parameter interface: every value by group and address. It keeps raw
// values in the programs, mixer strips and master section, converts them
// into engine units and delivers them, formats their display texts, and
// holds the phoneme models of the eight parts.
#pragma once

#include "params/descriptors.h"
#include "voice/phoneme.h"

class CEngine;
class CVSTProgram;
class CVSTEditor;

enum ParamGroup { kGroupVoice = 0, kGroupMixer = 1, kGroupMaster = 2, kGroupPhonemeDetail = 3, kGroupSystem = 9 };

class CPIBase {
public:
    static constexpr int kParts = 8;
    static constexpr int kTextLen = 64;

    void init(CEngine* engine, CVSTProgram* programs);
    void setEditor(CVSTEditor* e) { editor = e; }

    const ParamDescriptor& voiceDescriptor(int entry) const;  // entry taken modulo 1024
    // Descriptor of a group's entry; an undefined one for unknown addresses.
    const ParamDescriptor& descriptor(int group, int entry) const;

    // Voice entry of the program the part plays, from a normalized value,
    // converted and delivered into the part's engine values.
    void setVoiceValue(int part, int entry, float x, bool immediate);
    float getVoiceValue(int part, int entry) const;
    void setMixerValue(int part, int entry, float x);
    float getMixerValue(int part, int entry) const;
    void setMasterValue(int entry, float x);
    float getMasterValue(int entry) const;

    // Every voice entry of the part's program again, immediate.
    void resendProgram(int part);
    // Every mixer entry of every part and every master entry again.
    void resendMixerAndMaster();
    void setSampleRate(int rate);
    void applyReverbPreset(int n);

    // Display texts; the returned text stays until the next request.
    const char* voiceText(int part, int entry);
    const char* mixerText(int part, int entry);
    const char* masterText(int entry);
    // Seconds as "%4.2f s", "%4.1f ms" and so on.
    static void timeText(float seconds, char* out, int size);
    // Kinds: 0 number, 1 percent, 2 frequency, 3 dB, 4 time.
    static void numberText(int kind, float value, char* out, int size);

    CPhoneme phonemes[kParts];  // the parts' models: replaced in place, never freed
    CPhoneme clipboard;
    bool clipboardValid = false;

private:
    void deliverVoice(int part, int entry, float q, bool immediate);
    void phonemeSetCommand(int part, int r, float previous);
    float* stored(int part, int entry) const;
    void notify(int part, int group, int entry);

    CEngine* engine = nullptr;
    CVSTProgram* programs = nullptr;
    CVSTEditor* editor = nullptr;
    char text[kTextLen] = "";
};
