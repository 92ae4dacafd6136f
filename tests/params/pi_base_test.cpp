// Parameter values: storage, conversion into engine units and display text.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "files/global_data.h"
#include "params/pi_base.h"
#include "params/value_lists.h"
#include "plugin/vst_synth.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

struct Params : testing::Test {
    std::unique_ptr<CVSTSynth> synth = std::make_unique<CVSTSynth>(quietHost);
    CPIBase& pi = synth->getParameters();
    CEngine& engine = synth->getEngine();
    CVSTProgram& programs = synth->getPrograms();

    void setRaw(int entry, float raw) { pi.setVoiceValue(0, entry, raw / pi.voiceDescriptor(entry).maximum, true); }
    std::string voiceText(int entry, float raw) {
        setRaw(entry, raw);
        return pi.voiceText(0, entry);
    }
};

}  // namespace

TEST_F(Params, ConversionsIntoEngineUnits) {
    // Voices at 1.0: 127 is beyond its list, which ends at 16.
    pi.setVoiceValue(0, 63, 1.0f, true);
    EXPECT_EQ(programs.valuesOfPart(0)[63], 16.0f);
    EXPECT_EQ(engine.part[0].voiceCount, 16);
    EXPECT_EQ(programs.mixer[0][10], 16.0f);

    setRaw(32, 126);
    EXPECT_EQ(engine.part[0].current[32], 256.0f);
    setRaw(32, 127);
    EXPECT_EQ(engine.part[0].current[32], 0.0f);
    setRaw(32, 7);
    EXPECT_EQ(engine.part[0].current[32], 16.0f);

    setRaw(12, 0);
    EXPECT_FLOAT_EQ(engine.part[0].target[12], 0.0000001f) << "silence, not -60 dB";
    setRaw(12, 127);
    EXPECT_NEAR(engine.part[0].target[12], 10.0f, 1e-4);
    EXPECT_EQ(engine.part[0].current[12], engine.part[0].target[12]) << "immediate";

    // Semitone keeps whole steps; glide time becomes a per-block coefficient.
    setRaw(30, 60.3f);
    EXPECT_EQ(programs.valuesOfPart(0)[30], 60.0f);
    EXPECT_NEAR(engine.part[0].current[30], 12.0f / 192 + 0.6470571f, 1e-6);
    setRaw(27, 50);  // 10^2 ms = 0.1 s
    float blocks = 0.1f * 1000 / globalData().blockMilliseconds;
    EXPECT_NEAR(engine.part[0].current[27], 1 - std::pow(0.2f, 1 / blocks), 1e-6);
    EXPECT_NEAR(engine.part[0].glideLength, 0.1f * 30720, 1e-2);

    // EQ changes ask for a band rebuild.
    engine.part[0].eqUpdate[kEQMid] = 0;
    setRaw(76, 64);
    EXPECT_EQ(engine.part[0].eqUpdate[kEQMid], 1);
    EXPECT_NEAR(engine.part[0].target[76], (64.0f / 127 + 1e-7f) * 7800 + 200, 1e-2);
}

TEST_F(Params, DelaySyncReappliesItsTimes) {
    setRaw(47, 61);
    float unsynced = engine.part[0].current[47];
    EXPECT_LT(unsynced, 0.99f);
    setRaw(52, 1);
    EXPECT_EQ(engine.part[0].current[47], 36.0f) << "61/127 of ten items: 1/16 dotted, 36 units";
    setRaw(52, 0);
    EXPECT_EQ(engine.part[0].current[47], unsynced);
}

TEST_F(Params, MixerMasterAndPresets) {
    pi.setMixerValue(1, 5, 60.0f / 127);
    EXPECT_EQ(programs.mixer[1][5], 60.0f);
    EXPECT_EQ(programs.mixer[1][6], 108.0f) << "a low split alone splits up to the top";
    pi.setMixerValue(1, 6, 40.0f / 127);
    EXPECT_EQ(programs.mixer[1][5], 40.0f);
    pi.setMixerValue(1, 5, 0);
    EXPECT_EQ(programs.mixer[1][6], 0.0f);
    EXPECT_STREQ(pi.mixerText(1, 5), "-");

    pi.applyReverbPreset(7);  // "Bathroom": 39 2 86 25 126
    EXPECT_EQ(programs.master[6], 39.0f);
    EXPECT_EQ(programs.master[7], 39.0f);
    EXPECT_EQ(programs.master[11], 126.0f);
    EXPECT_EQ(engine.reverb.predelay, int(39.0f / 127 * 4410 + 1));
    EXPECT_NEAR(engine.reverb.time, std::pow(2.0f, 3.9f) * 0.05f, 1e-5);
    pi.setMasterValue(7, 1.0f);
    EXPECT_EQ(engine.reverb.time, 999999.0f);
    EXPECT_STREQ(pi.masterText(7), "endless");
}

TEST_F(Params, SampleRateIndexOnlyForKnownRates) {
    pi.setSampleRate(48000);
    EXPECT_EQ(globalData().rateIndex, 10);
    pi.setSampleRate(50000);
    EXPECT_EQ(globalData().rateIndex, 10);
    EXPECT_EQ(globalData().sampleRate, 50000);
    pi.setSampleRate(44100);
    EXPECT_EQ(globalData().rateIndex, 11);
}

TEST_F(Params, DisplayTexts) {
    struct Case {
        int entry;
        float raw;
        const char* text;
    } cases[] = {
        {12, 0, "-100 dB"},   {12, 127, "+20 dB"},      {32, 127, "auto"},        {32, 126, "256"},
        {16, 127, "+100 %"},  {16, 0, "-100 %"},        {1, 127, "0.0 dB/Oct"},   {1, 0, "30.0 dB/Oct"},
        {28, 12, "+/-12"},    {30, 60, "+12"},          {31, 40, "-2.00 ct"},     {31, 100, "+50.0 ct"},
        {36, 1, "German"},    {78, 1, "Time model"},    {63, 12, "12 Voices"},    {64, 0, "-100 dB"},
        {70, 40, " +0 dB"},    {71, 111, "Phoneme set"}, {100, 0, "0.50 x"},       {108, 127, "7.74 x"},
        {66, 0, "50.0 Hz"},   {68, 127, "16.0 kHz"},    {25, 4, "ModWheel"},      {27, 0, " 0.0 ms"},
    };
    for (const Case& c : cases) EXPECT_EQ(voiceText(c.entry, c.raw), c.text) << c.entry << " at " << c.raw;

    char t[32];
    CPIBase::timeText(0.5f, t, sizeof t);
    EXPECT_STREQ(t, "0.500 s");
    CPIBase::timeText(150, t, sizeof t);
    EXPECT_STREQ(t, "150 s");
    CPIBase::numberText(2, 25000, t, sizeof t);
    EXPECT_STREQ(t, "20.00 kHz");
    CPIBase::numberText(1, 12.5f, t, sizeof t);
    EXPECT_STREQ(t, "12.50 %");

    programs.mixer[0][2] = 0;
    EXPECT_STREQ(pi.mixerText(0, 2), " off");
    programs.mixer[0][4] = 9;
    EXPECT_STREQ(pi.mixerText(0, 4), "Channel 10");
    programs.master[7] = 10;
    EXPECT_STREQ(pi.masterText(7), " 0.10 s");
}

TEST_F(Params, HostParametersAnswerThroughTheDisplayTexts) {
    AEffect* e = synth->getAeffect();
    e->setParameter(e, 12, 0);
    char text[64];
    e->dispatcher(e, effGetParamDisplay, 12, 0, text, 0);
    EXPECT_STREQ(text, "-100 dB");
    e->dispatcher(e, effGetParamName, 78, 0, text, 0);
    EXPECT_STREQ(text, "Voice model");
}
