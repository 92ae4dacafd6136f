// Process-wide settings shared by every plug-in instance: the engine's
// timing values, the installation folder, the dialogs' folders, device
// names and look-and-feel switches.
#pragma once

#include <string>

class CGlobalData {
public:
    static constexpr int kPathLen = 512;
    static constexpr int kDeviceLen = 64;

    // Defaults only; the process's object reads the settings file.
    CGlobalData() = default;
    CGlobalData(const CGlobalData&) = delete;
    CGlobalData& operator=(const CGlobalData&) = delete;

    // Reads the settings (defaults for anything missing or garbled) / writes
    // them back.
    void read(const std::string& settingsPath, const std::string& installFolder);
    bool write(const std::string& settingsPath) const;

    // Engine rate; recomputes the block time; the rate index changes only
    // for the rates that have one.
    void setSampleRate(int rate);

    int sampleRate = 44100;
    int engineBlock = 256;
    float blockMilliseconds = 256 * 1000.0f / 44100;
    float blockReciprocal = 1.0f / 256;
    int rateIndex = 11;

    char installFolder[kPathLen + 1] = "";
    char projectFolder[kPathLen + 1] = "";
    char voiceFolder[kPathLen + 1] = "";
    char waveFolder[kPathLen + 1] = "";
    char midiFolder[kPathLen + 1] = "";
    char midiDeviceIn[kDeviceLen + 1] = "";
    char midiDeviceOut[kDeviceLen + 1] = "";
    char soundDeviceOut[kDeviceLen + 1] = "";
    long directXDelay = 0;
    long colourEffect = 0;
    long background = 0;
    bool knobAnimation = true;
    bool parameterLabel = false;
};

// The one object of the process: read from the settings file on first use,
// written back when the plug-in is unloaded.
CGlobalData& globalData();
