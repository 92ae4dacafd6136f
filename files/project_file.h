// Project files (".qlp": the bank chunk behind a bank file header) and voice
// preset files (".qlv": the preset chunk behind a program file header).
#pragma once

class CVSTSynth;

class CProjectFile {
public:
    static constexpr int kProjectHeader = 160;
    static constexpr int kVoiceHeader = 60;

    // "Default.qlp" from the installation folder; the output stays as it is.
    static bool loadDefault(CVSTSynth& synth);
    // The whole state; the output is muted while it loads.
    static bool loadProject(CVSTSynth& synth, const char* path);
    static bool saveProject(CVSTSynth& synth, const char* path);
    // A program and its phoneme model into the selected part / part p.
    static bool loadVoice(CVSTSynth& synth, const char* path);
    static bool loadVoiceIntoPart(CVSTSynth& synth, const char* path, int part);
    static bool saveVoice(CVSTSynth& synth, const char* path);
};
