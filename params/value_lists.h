// The value lists of parameters: the texts that name a parameter's values
// (also the items of the editor's value menus).
#pragma once

struct ValueItem {
    const char* text;
    int value;
};

struct ValueList {
    const ValueItem* items;
    int count;
};

enum ValueListId {
    kListNone = 0,
    kListModSource,
    kListLfoWave,
    kListLanguage,
    kListGlideMode,
    kListKeyPriority,
    kListChorusType,
    kListDelayType,
    kListDistortionType,
    kListVoiceCount,
    kListVoiceModel,
    kListSetCommands,
    kListMidiChannel,
    kListKeySplit,
    kListOutputBus,
    kListSampleRate,
    kListReverbPreset,
    kListChorusPreset,
    kListColourScheme,
    kListCount
};

// Empty for kListNone and unknown ids.
const ValueList& valueList(int id);
// The text of the item with that value, or nullptr.
const char* valueListText(int id, int value);
// Largest item value of the list (0 for an empty list).
int valueListMaximum(int id);

// Reverb presets: name and five values 0..127 (predelay and time, size,
// structure, fusion, damping).
struct ReverbPreset {
    const char* name;
    int values[5];
};
constexpr int kReverbPresets = 24;
const ReverbPreset& reverbPreset(int n);  // n clamped to 0..23

// Tempo-synced note lengths: text (seven characters) and length in 1/96
// quarter notes; item = value + 0.4 truncated, other items are "1/16".
struct NoteLength {
    const char* text;
    int units;
};
const NoteLength& noteLength(float item);
