#include "files/global_data.h"

#include <cstdio>
#include <cstring>

#include "platform/paths.h"
#include "platform/settings_store.h"

namespace {

void copyText(char* dst, const char* src, size_t size) { std::snprintf(dst, size, "%s", src); }

}  // namespace

void CGlobalData::read(const std::string& settingsPath, const std::string& folder) {
    copyText(installFolder, folder.c_str(), sizeof installFolder);
    size_t len = std::strlen(installFolder);
    if (len == 0 || installFolder[len - 1] != '/') copyText(installFolder + len, "/", sizeof installFolder - len);

    SettingsStore store;
    store.load(settingsPath);

    auto folderOr = [&](const char* name, char* out, const char* fallback) {
        if (!store.getString(name, out, kPathLen)) std::snprintf(out, kPathLen + 1, "%s%s", installFolder, fallback);
    };
    folderOr("ProjectPath", projectFolder, "Projects");
    folderOr("VoicePath", voiceFolder, "Voices");
    folderOr("WavefilePath", waveFolder, "");
    if (!store.getString("MIDIPath", midiFolder, kPathLen)) midiFolder[0] = 0;
    if (!store.getString("MIDIDeviceIn", midiDeviceIn, kDeviceLen)) midiDeviceIn[0] = 0;
    if (!store.getString("MIDIDeviceOut", midiDeviceOut, kDeviceLen)) midiDeviceOut[0] = 0;
    if (!store.getString("SoundDeviceOut", soundDeviceOut, kDeviceLen)) soundDeviceOut[0] = 0;

    long v = 0;
    directXDelay = store.getInt("DirectXDelay", v) ? v : 0;
    colourEffect = store.getInt("UIColorEffect", v) ? v : 0;
    background = store.getInt("UIBackground", v) ? v : 0;
    knobAnimation = store.getInt("KnobAnimation", v) ? v != 0 : true;
    parameterLabel = store.getInt("ParameterLabel", v) ? v != 0 : false;
}

bool CGlobalData::write(const std::string& settingsPath) const {
    SettingsStore store;
    store.setString("ProjectPath", projectFolder);
    store.setString("VoicePath", voiceFolder);
    store.setString("WavefilePath", waveFolder);
    store.setString("MIDIPath", midiFolder);
    store.setString("MIDIDeviceIn", midiDeviceIn);
    store.setString("MIDIDeviceOut", midiDeviceOut);
    store.setString("SoundDeviceOut", soundDeviceOut);
    store.setInt("DirectXDelay", directXDelay);
    store.setInt("UIColorEffect", colourEffect);
    store.setInt("UIBackground", background);
    store.setInt("KnobAnimation", knobAnimation ? 1 : 0);
    store.setInt("ParameterLabel", parameterLabel ? 1 : 0);
    return store.save(settingsPath);
}

void CGlobalData::setSampleRate(int rate) {
    if (rate <= 0) return;
    sampleRate = rate;
    blockMilliseconds = engineBlock * 1000.0f / float(rate);
    switch (rate) {
    case 22050: rateIndex = 23; break;
    case 32000: rateIndex = 15; break;
    case 44100: rateIndex = 11; break;
    case 48000: rateIndex = 10; break;
    case 88200:
    case 96000: rateIndex = 5; break;
    default: break;  // other rates keep the previous index
    }
}

CGlobalData& globalData() {
    struct ProcessSettings {
        CGlobalData data;
        ProcessSettings() { data.read(platform::settingsFile(), platform::installationFolder()); }
        ~ProcessSettings() { data.write(platform::settingsFile()); }
    };
    static ProcessSettings settings;
    return settings.data;
}
