// Descriptors of the voice parameters: name, range, defaults, value list.
#pragma once

struct ParamDescriptor {
    int index = 0;
    float maximum = 1;
    float listMaximum = 1;    // largest item value of the value list, else = maximum
    float defaultValue = 0;   // normalized
    float dragStep = 0.1f;
    int valueList = 0;        // value list id (params/value_lists.h); 0 none
    int contextMenu = 0;
    char name[32] = "n/a";
    bool bipolar = false;
    float programDefault = 0; // raw value a new program receives
};

constexpr int kVoiceEntries = 512;
constexpr int kHostParameters = 86;
constexpr int kMixerEntries = 16;
constexpr int kMasterEntries = 16;
constexpr int kSystemEntries = 256;

// Descriptors built once: 512 voice, 16 mixer, 16 master, 256 system.
const ParamDescriptor* voiceDescriptors();
const ParamDescriptor* mixerDescriptors();
const ParamDescriptor* masterDescriptors();
const ParamDescriptor* systemDescriptors();
