#include "params/descriptors.h"

#include <cstdio>

#include "params/value_lists.h"

namespace {

constexpr int kModSource = kListModSource, kLfoWave = kListLfoWave, kLanguage = kListLanguage,
              kGlideMode = kListGlideMode, kPriority = kListKeyPriority, kChorusType = kListChorusType,
              kDelayType = kListDelayType, kDistortionType = kListDistortionType, kVoiceCount = kListVoiceCount,
              kVoiceModel = kListVoiceModel, kSetCommands = kListSetCommands, kNoList = kListNone;

struct Row {
    int entry;
    const char* name;
    bool bipolar;
    float maximum;
    float defaultValue;
    float programDefault;
    int list;
    int contextMenu;
};

// Voice entries in table order; a later row for the same entry wins.
constexpr Row kRows[] = {
    {1, "Bright", 0, 127, 1.0f, 127, kNoList, 2},
    {2, "Ensemble", 0, 127, 0, 0, kNoList, 2},
    {3, "Humanize", 0, 127, 0, 0, kNoList, 2},
    // Gender scales formants by 4^(g - 0.5): a new program sings its phoneme
    // set as written (the middle of the range), not with every formant an
    // octave low as at Gender 0.
    {4, "Gender", 0, 127, 0, 64, kNoList, 2},
    {5, "Breath", 0, 127, 0, 0, kNoList, 2},
    {6, "V Rate", 0, 127, 0.5f, 0, kNoList, 2},
    {7, "V Depth", 0, 127, 0.5f, 0, kNoList, 2},
    {8, "Metallic", 0, 127, 0, 0, kNoList, 2},
    {9, "Balance", 0, 127, 0.5f, 0, kNoList, 2},
    {10, "NoiseMod", 0, 127, 0, 0, kNoList, 2},
    {11, "Open", 0, 127, 1.0f, 0, kNoList, 2},
    {12, "Volume", 0, 127, 0.5f, 80, kNoList, 2},
    {13, "Pan", 1, 127, 0.5f, 64, kNoList, 2},
    {14, "Velocity", 0, 127, 0, 32, kNoList, 2},
    {15, "Depth", 0, 127, 0, 0, kNoList, 2},
    {16, "Brightness", 1, 127, 0.5f, 64, kNoList, 2},
    {23, "", 0, 127, 0.5f, 0, kNoList, 0},
    {24, "Pitchbend", 0, 128, 0.5f, 64, kNoList, 0},
    {25, "", 0, 127, 0, 0, kModSource, 0},
    {26, "", 0, 127, 0, 0, kModSource, 0},
    {27, "Glide", 0, 127, 0, 0, kNoList, 4},
    {28, "Bend", 0, 48, 0, 3, kNoList, 0},
    {30, "Semitone", 1, 96, 0.5f, 48, kNoList, 2},
    {31, "Fine", 1, 100, 0.5f, 50, kNoList, 2},
    // Partials 31 sings 64 harmonics: up to 7 kHz at 110 Hz, so that a low
    // voice keeps its F2 and F3 (16 harmonics end at 1.76 kHz there).
    {32, "Partials", 0, 127, 0.5f, 31, kNoList, 2},
    {33, "Detune", 1, 96, 0.5f, 48, kNoList, 2},
    {34, "Wave", 0, 127, 0, 0, kLfoWave, 0},
    {35, "Legato", 0, 127, 0, 0, kNoList, 0},
    {36, "", 0, 127, 0, 0, kLanguage, 0},
    {37, "", 0, 127, 0, 0, kGlideMode, 0},
    {38, "Priority", 0, 127, 0, 0, kPriority, 0},
    {39, "Type", 0, 127, 0, 2, kChorusType, 0},
    {40, "Rate", 0, 127, 0, 50, kNoList, 4},
    {41, "Spread", 0, 127, 0.5f, 70, kNoList, 4},
    {42, "Delay", 0, 127, 0, 76, kNoList, 4},
    {43, "Depth", 0, 127, 0, 60, kNoList, 4},
    {44, "Feedback", 1, 127, 0.5f, 64, kNoList, 4},
    {45, "Level", 0, 127, 0.5f, 127, kNoList, 4},
    {46, "", 0, 127, 0, 0, kDelayType, 0},
    {47, "Delay 1", 0, 127, 0.5f, 61, kNoList, 4},
    {48, "Delay 2", 0, 127, 0.5f, 58, kNoList, 4},
    {49, "Feedback", 1, 127, 0, 62, kNoList, 4},
    {50, "Level", 0, 127, 0, 0, kNoList, 4},
    {51, "Cutoff", 0, 127, 0, 62, kNoList, 4},
    {52, "MIDI", 0, 127, 0, 0, kNoList, 0},
    {53, "", 0, 127, 0, 0, kDistortionType, 0},
    {54, "Cutoff", 0, 127, 0, 74, kNoList, 4},
    {55, "Tone", 0, 127, 0.5f, 45, kNoList, 4},
    {56, "Level", 0, 127, 0, 56, kNoList, 4},
    {57, "Drive", 0, 127, 0, 61, kNoList, 4},
    {59, "On", 0, 127, 0, 0, kNoList, 0},
    {60, "On", 0, 127, 0, 0, kNoList, 0},
    {61, "On", 0, 127, 0, 0, kNoList, 0},
    {62, "Reson", 0, 127, 0, 0, kNoList, 2},
    {63, "Voices", 0, 127, 0, 1, kVoiceCount, 0},
    {64, "Level", 0, 127, 0, 0, kNoList, 0},
    {65, "EQ Low", 1, 127, 0.504f, 64, kNoList, 2},
    {66, "", 0, 127, 0.5f, 64, kNoList, 2},
    {67, "EQ High", 1, 127, 0.504f, 64, kNoList, 2},
    {68, "", 0, 127, 0.5f, 64, kNoList, 2},
    {70, "Level", 0, 80, 0.5f, 40, kNoList, 2},
    {71, "", 0, 127, 0, 111, kSetCommands, 0},
    {72, "HiCorr", 0, 1, 0, 0, kNoList, 0},
    {73, "MWheel", 0, 1, 0, 0, kNoList, 0},
    {74, "AGC", 0, 1, 0, 0, kNoList, 0},
    {75, "EQ Mid", 1, 127, 0.504f, 64, kNoList, 2},
    {76, "", 0, 127, 0.5f, 64, kNoList, 2},
    {77, "Q", 0, 127, 0, 64, kNoList, 2},
    {78, "Voice model", 0, 127, 0, 0, kVoiceModel, 0},
    {79, "LFO Amnt", 0, 127, 0, 0, kModSource, 0},
    {80, "Glottal", 0, 127, 0.5f, 0, kNoList, 2},
    {81, "Glottal F", 0, 127, 0.5f, 0, kNoList, 2},
    {82, "Glottal B", 0, 127, 0.5f, 0, kNoList, 2},
    {83, "Level", 1, 127, 0.5f, 0, kNoList, 2},
    {84, "Semitone", 1, 96, 0.5f, 0, kNoList, 2},
    {85, "Choir", 0, 127, 0, 0, kVoiceCount, 0},
    {86, "Cutoff", 0, 127, 1.0f, 0, kNoList, 2},
    {87, "Hipass", 0, 127, 1.0f, 0, kNoList, 2},
    {88, "Softness", 0, 127, 1.0f, 0, kNoList, 2},
    {89, "Glottal F", 0, 127, 1.0f, 0, kNoList, 2},
    {90, "Glottal Q", 0, 127, 1.0f, 0, kNoList, 2},
};

struct Table {
    ParamDescriptor voice[kVoiceEntries];
    ParamDescriptor mixer[kMixerEntries];
    ParamDescriptor master[kMasterEntries];
    ParamDescriptor system[kSystemEntries];

    Table() {
        for (int i = 0; i < kVoiceEntries; ++i) voice[i].index = i;
        for (const Row& r : kRows) set(r);
        for (int i = 0; i < 8; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "F%d rel", i + 1);
            set({100 + i, name, 1, 127, 0.5f, 64, kNoList, 2});
            std::snprintf(name, sizeof name, "L%d rel", i + 1);
            set({108 + i, name, 1, 127, 0.5f, 64, kNoList, 2});
        }
        // Per-phoneme and per-band levels edited in the spectrum editor.
        for (int i = 128; i < 184; ++i) voice[i].programDefault = 0.88f;
        for (int i = 256; i < 304; ++i) voice[i].programDefault = 1.0f;

        for (int i = 0; i < kMixerEntries; ++i) mixer[i].index = master[i].index = i;
        for (int i = 0; i < kSystemEntries; ++i) system[i].index = i;
        const Row mixerRows[] = {
            {0, "Reverb", 0, 127, 0, 0, kNoList, 0},       {1, "Chorus", 0, 127, 0, 0, kNoList, 0},
            {2, "Level", 0, 127, 0.725f, 0, kNoList, 0},   {3, "Pan", 1, 127, 0.5f, 0, kNoList, 0},
            {4, "MIDI channel", 0, 127, 0, 0, kListMidiChannel, 0},
            {5, "Keysplit low", 0, 127, 0, 0, kListKeySplit, 0},
            {6, "Keysplit high", 0, 127, 0, 0, kListKeySplit, 0},
            {9, "Mute", 0, 127, 0, 0, kNoList, 0},         {10, "", 0, 127, 0, 0, kListVoiceCount, 0},
            {11, "Solo", 0, 127, 0, 0, kNoList, 0},        {14, "", 0, 127, 0, 0, kListOutputBus, 0},
            {15, "", 0, 1, 0, 0, kNoList, 0},
        };
        for (const Row& r : mixerRows) set(mixer, kMixerEntries, r);
        const Row masterRows[] = {
            {2, "Master", 0, 127, 0.725f, 0, kNoList, 0}, {3, "Pan", 1, 127, 0.5f, 0, kNoList, 0},
            {4, "Reverb", 0, 127, 0, 0, kNoList, 0},      {5, "Presets", 0, 127, 0, 0, kListReverbPreset, 0},
            {6, "Predelay", 0, 127, 0, 0, kNoList, 0},    {7, "Time", 0, 127, 0, 0, kNoList, 0},
            {8, "Size", 0, 127, 0, 0, kNoList, 0},        {9, "Structure", 0, 127, 0, 0, kNoList, 0},
            {10, "Fusion", 0, 127, 0, 0, kNoList, 0},     {11, "Damping", 0, 127, 0, 0, kNoList, 0},
            {12, "On", 0, 127, 0, 0, kNoList, 0},
        };
        for (const Row& r : masterRows) set(master, kMasterEntries, r);
        const Row systemRows[] = {
            {1, "MIDI input", 0, 127, 0, 0, kNoList, 0},   {2, "MIDI output", 0, 127, 0, 0, kNoList, 0},
            {3, "Audio input", 0, 127, 0, 0, kNoList, 0},  {4, "Audio output", 0, 127, 0, 0, kNoList, 0},
            {96, "Latency", 0, 127, 0, 0, kNoList, 0},     {97, "ASIO", 0, 127, 0, 0, kNoList, 0},
            {98, "MIDI Out", 0, 127, 0, 0, kNoList, 0},    {99, "Smplrate", 0, 127, 0, 0, kListSampleRate, 0},
            {100, "", 0, 127, 0, 0, kListReverbPreset, 0}, {101, "", 0, 127, 0, 0, kListChorusPreset, 0},
            {108, "", 0, 127, 0, 0, kListColourScheme, 0}, {111, "Edit", 0, 127, 0, 0, kNoList, 0},
            {112, "Edit", 0, 127, 0, 0, kNoList, 0},       {113, "Edit", 0, 127, 0, 0, kNoList, 0},
            {115, "Anim", 0, 127, 0, 0, kNoList, 0},       {116, "Automation", 0, 127, 0, 0, kNoList, 0},
            {117, "Phoneme list", 0, 127, 0, 0, kNoList, 0}, {137, "", 0, 127, 0, 0, kNoList, 0},
            {138, "Voices", 0, 127, 0, 0, kNoList, 0},     {139, "Detune", 0, 127, 0, 0, kNoList, 0},
            {140, "Jitter", 0, 127, 0, 0, kNoList, 0},     {141, "Gender", 0, 127, 0, 0, kNoList, 0},
            {142, "Pan", 0, 127, 0, 0, kNoList, 0},
        };
        for (const Row& r : systemRows) set(system, kSystemEntries, r);
        for (int i = 40; i < 48; ++i) set(system, kSystemEntries, {i, "Voice preset", 0, 127, 0, 0, kNoList, 0});
    }

    void set(const Row& r) { set(voice, kVoiceEntries, r); }

    static void set(ParamDescriptor* table, int size, const Row& r) {
        if (r.entry < 0 || r.entry >= size) return;
        ParamDescriptor& d = table[r.entry];
        d.maximum = r.maximum;
        d.valueList = r.list;
        d.listMaximum = r.list == kNoList ? r.maximum : float(valueListMaximum(r.list));
        d.defaultValue = r.defaultValue;
        // Semitone entries step in 96ths.
        d.dragStep = r.maximum == 96 ? 0.1251f : 0.1f;
        d.contextMenu = r.contextMenu;
        std::snprintf(d.name, sizeof d.name, "%s", r.name);
        d.bipolar = r.bipolar;
        d.programDefault = r.programDefault;
    }
};

const Table& table() {
    static const Table t;
    return t;
}

}  // namespace

const ParamDescriptor* voiceDescriptors() { return table().voice; }
const ParamDescriptor* mixerDescriptors() { return table().mixer; }
const ParamDescriptor* masterDescriptors() { return table().master; }
const ParamDescriptor* systemDescriptors() { return table().system; }
