#include "params/value_lists.h"

#include <cstdio>

namespace {

constexpr ValueItem kModSource[] = {{"off", 0},           {"Keytrack", 1},        {"Velocity", 2},
                                    {"Aftertouch", 3},    {"ModWheel", 4},        {"neg. Keytrack", 5},
                                    {"neg. Velocity", 6}, {"neg. Aftertouch", 7}, {"neg. ModWheel", 8}};
constexpr ValueItem kLfoWave[] = {{"Sine", 0},    {"Triangle", 1}, {"Square", 2}, {"Ramp up", 3},
                                  {"Ramp dn", 4}, {"S&H", 5},      {"Random", 6}};
constexpr ValueItem kLanguage[] = {{"Amer. english", 0}, {"German", 1}};
constexpr ValueItem kGlideMode[] = {{"normal", 0}, {"fingered", 1}};
constexpr ValueItem kKeyPriority[] = {{"Last key", 0}, {"Low key", 1}, {"High key", 2}};
constexpr ValueItem kChorusType[] = {{"Phaser", 0}, {"Flanger", 1}, {"Chorus", 2}};
constexpr ValueItem kDelayType[] = {{"Stereo delay", 0}, {"Mono delay", 1}, {"Cross delay", 2}};
constexpr ValueItem kDistortionType[] = {
    {"Distortion", 0}, {"Soft distortion", 1}, {"Tape distortion", 2}, {"Tube distortion", 3}};
constexpr ValueItem kVoiceCount[] = {{"1 Voice", 1},   {"2 Voices", 2},   {"3 Voices", 3},  {"4 Voices", 4},
                                     {"5 Voices", 5},  {"6 Voices", 6},   {"7 Voices", 7},  {"8 Voices", 8},
                                     {"10 Voices", 10}, {"12 Voices", 12}, {"14 Voices", 14}, {"16 Voices", 16}};
constexpr ValueItem kVoiceModel[] = {{"Spectral model", 0}, {"Time model", 1}};
constexpr ValueItem kSetCommands[] = {{"Copy set", 100}, {"Paste set", 101}};
constexpr ValueItem kOutputBus[] = {{"Master", 0}, {"Out 2", 1}, {"Out 3", 2}, {"Out 4", 3},
                                    {"Out 5", 4},  {"Out 6", 5}, {"Out 7", 6}, {"Out 8", 7}};
constexpr ValueItem kSampleRate[] = {{"96000 Hz", 0}, {"88200 Hz", 1}, {"48000 Hz", 2},
                                     {"44100 Hz", 3}, {"32000 Hz", 4}, {"22050 Hz", 5}};
constexpr ValueItem kColourScheme[] = {{"Colors (normal)", 0}, {"Colors (invers)", 1}};

constexpr ReverbPreset kReverb[kReverbPresets] = {
    {"Mid-size", {57, 36, 104, 43, 91}},   {"Dark", {69, 64, 86, 28, 127}},      {"Large", {66, 43, 67, 39, 95}},
    {"Taj Mahal 1", {81, 70, 106, 88, 57}}, {"Taj Mahal 2", {92, 70, 84, 30, 103}}, {"Concert", {65, 51, 97, 44, 57}},
    {"Small", {55, 35, 79, 39, 46}},       {"Bathroom", {39, 2, 86, 25, 126}},    {"ShoeBox", {17, 0, 99, 6, 101}},
    {"Forever", {86, 101, 91, 84, 35}},    {"Room 1", {33, 10, 91, 25, 53}},      {"Room 2", {39, 27, 89, 9, 127}},
    {"Phased", {71, 54, 127, 63, 101}},    {"Hall 1", {65, 57, 84, 83, 73}},     {"Hall 2", {52, 42, 84, 73, 127}},
    {"Lex 1", {68, 47, 86, 33, 64}},       {"Lex 2", {68, 56, 84, 76, 127}},      {"Bright", {64, 52, 83, 68, 0}},
    {"Small room", {23, 27, 89, 9, 127}},  {"Warehouse", {47, 27, 89, 13, 40}},   {"QRS", {65, 57, 84, 83, 127}},
    {"Empty", {55, 43, 55, 22, 25}},       {"Great gate", {68, 43, 86, 52, 77}},  {"Shakey", {58, 12, 127, 39, 13}},
};

constexpr const char* kChorusNames[kReverbPresets] = {
    "Light",      "Detuned",    "Deep 1", "Deep 2", "Box 1",      "Box 2",      "Leslie",    "Slow",
    "Fast&Light", "Feedback 1", "Feedback 2", "Dry 1", "Dry 2",  "Dry&Deep",   "Warm",      "Strange 1",
    "Strange 2",  "Destruct 1", "Destruct 2", "Echo 1", "Echo 2", "Room 1",     "Room 2",    "Cute"};

constexpr NoteLength kNoteLengths[24] = {
    {"1/32t  ", 8},   {"1/32   ", 12},  {"1/32-  ", 18},  {"1/16t  ", 16},  {"1/16   ", 24},   {"1/16-  ", 36},
    {"1/8t   ", 32},  {"1/8    ", 48},  {"1/8-   ", 72},  {"1/4t   ", 64},  {"1/4    ", 96},   {"1/4-   ", 144},
    {"1/2t   ", 128}, {"1/2    ", 192}, {"1/2-   ", 288}, {"1/1t   ", 256}, {"1/1    ", 384},  {"1/1-   ", 576},
    {"2/1t   ", 512}, {"2/1    ", 768}, {"2/1-   ", 1152}, {"4/1t   ", 1024}, {"4/1    ", 1536}, {"4/1-   ", 2304}};

// Lists whose texts are made once: channels, split keys, preset names.
struct Generated {
    char channelText[16][12];
    ValueItem channel[16];
    char keyText[128][8];
    ValueItem keySplit[129];
    ValueItem reverb[kReverbPresets];
    ValueItem chorus[kReverbPresets];

    Generated() {
        for (int i = 0; i < 16; ++i) {
            std::snprintf(channelText[i], sizeof channelText[i], "Channel %d", i + 1);
            channel[i] = {channelText[i], i};
        }
        static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
        keySplit[0] = {"no split", 0};
        for (int k = 1; k < 128; ++k) {
            std::snprintf(keyText[k], sizeof keyText[k], "%s%d", names[k % 12], k / 12 - 1);
            keySplit[k] = {keyText[k], k};
        }
        for (int i = 0; i < kReverbPresets; ++i) {
            reverb[i] = {kReverb[i].name, i};
            chorus[i] = {kChorusNames[i], i};
        }
    }
};

const Generated& generated() {
    static const Generated g;
    return g;
}

template <int N>
constexpr ValueList listOf(const ValueItem (&items)[N]) {
    return {items, N};
}

}  // namespace

const ValueList& valueList(int id) {
    static const ValueList empty{nullptr, 0};
    const Generated& g = generated();
    static const ValueList lists[kListCount] = {
        empty,
        listOf(kModSource),
        listOf(kLfoWave),
        listOf(kLanguage),
        listOf(kGlideMode),
        listOf(kKeyPriority),
        listOf(kChorusType),
        listOf(kDelayType),
        listOf(kDistortionType),
        listOf(kVoiceCount),
        listOf(kVoiceModel),
        listOf(kSetCommands),
        {g.channel, 16},
        {g.keySplit, 128},
        listOf(kOutputBus),
        listOf(kSampleRate),
        {g.reverb, kReverbPresets},
        {g.chorus, kReverbPresets},
        listOf(kColourScheme),
    };
    return (id > 0 && id < kListCount) ? lists[id] : empty;
}

const char* valueListText(int id, int value) {
    const ValueList& l = valueList(id);
    for (int i = 0; i < l.count; ++i)
        if (l.items[i].value == value) return l.items[i].text;
    return nullptr;
}

int valueListMaximum(int id) {
    const ValueList& l = valueList(id);
    int m = 0;
    for (int i = 0; i < l.count; ++i)
        if (l.items[i].value > m) m = l.items[i].value;
    return m;
}

const ReverbPreset& reverbPreset(int n) { return kReverb[n < 0 ? 0 : n > 23 ? 23 : n]; }

const NoteLength& noteLength(float item) {
    int i = (item > -1 && item < 100) ? int(item + 0.4f) : -1;
    return (i >= 0 && i < 24) ? kNoteLengths[i] : kNoteLengths[4];
}
