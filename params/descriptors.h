// Descriptors of the voice parameters: name, range, defaults, value list.
#pragma once

struct ParamDescriptor {
    int index = 0;
    float maximum = 1;
    float listMaximum = 1;    // largest item value of the value list, else = maximum
    float defaultValue = 0;   // normalized
    float dragStep = 0.1f;
    int valueList = 0;        // menu id of the value list; 0 none
    int contextMenu = 0;
    char name[32] = "n/a";
    bool bipolar = false;
    float programDefault = 0; // raw value a new program receives
};

constexpr int kVoiceEntries = 512;
constexpr int kHostParameters = 86;

// The 512 voice descriptors, built once.
const ParamDescriptor* voiceDescriptors();
