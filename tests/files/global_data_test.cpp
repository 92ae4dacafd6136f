// Settings: defaults, a garbled file, and what is written back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/global_data.h"

namespace {

std::string tempFile(const char* name) {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/settings_test_" + name + ".ini";
}

void writeFile(const std::string& path, const std::string& text) {
    std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(GlobalData, MissingFileGivesTheDefaults) {
    CGlobalData g;
    g.read(tempFile("missing_never_written"), "/opt/lyrena");
    EXPECT_STREQ(g.installFolder, "/opt/lyrena/");
    EXPECT_STREQ(g.projectFolder, "/opt/lyrena/Projects");
    EXPECT_STREQ(g.voiceFolder, "/opt/lyrena/Voices");
    EXPECT_STREQ(g.waveFolder, "/opt/lyrena/");
    EXPECT_STREQ(g.midiFolder, "");
    EXPECT_STREQ(g.midiDeviceIn, "");
    EXPECT_EQ(g.colourEffect, 0);
    EXPECT_TRUE(g.knobAnimation);
    EXPECT_FALSE(g.parameterLabel);
    EXPECT_EQ(g.sampleRate, 44100);
    EXPECT_EQ(g.engineBlock, 256);
    EXPECT_EQ(g.rateIndex, 11);
}

TEST(GlobalData, ValuesRoundTripAndFlagsAreWrittenAsZeroOrOne) {
    std::string path = tempFile("roundtrip");
    writeFile(path, "[Settings]\nKnobAnimation=5\nParameterLabel=7\nProjectPath=/home/me/songs\n"
                    "UIColorEffect=1\nMIDIDeviceIn=Keyboard 1\n");
    CGlobalData g;
    g.read(path, "/opt/lyrena/");
    EXPECT_TRUE(g.knobAnimation);
    EXPECT_TRUE(g.parameterLabel);
    EXPECT_STREQ(g.projectFolder, "/home/me/songs");
    EXPECT_STREQ(g.midiDeviceIn, "Keyboard 1");
    EXPECT_EQ(g.colourEffect, 1);

    ASSERT_TRUE(g.write(path));
    std::string text = readFile(path);
    EXPECT_NE(text.find("KnobAnimation=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ParameterLabel=1\n"), std::string::npos) << text;
    CGlobalData again;
    again.read(path, "/elsewhere/");
    EXPECT_STREQ(again.projectFolder, "/home/me/songs");
    EXPECT_STREQ(again.voiceFolder, "/opt/lyrena/Voices") << "a saved default stays where it was";
    EXPECT_STREQ(again.midiDeviceIn, "Keyboard 1");
}

TEST(GlobalData, GarbledValuesFallBackToDefaults) {
    std::string path = tempFile("garbled");
    std::string longPath(600, 'p');
    std::string longDevice(65, 'd');
    writeFile(path, std::string("\xff\xfe garbage\0\x01\n", 14) + "[Other]\nKnobAnimation=0\n[Settings]\n" +
                        "ProjectPath=" + longPath + "\nMIDIDeviceOut=" + longDevice +
                        "\nUIBackground=blue\nDirectXDelay=12abc\n=nameless\nParameterLabel=99999999999999999999\n");
    CGlobalData g;
    g.read(path, "/opt/lyrena/");
    EXPECT_STREQ(g.projectFolder, "/opt/lyrena/Projects");
    EXPECT_STREQ(g.midiDeviceOut, "");
    EXPECT_EQ(g.background, 0);
    EXPECT_EQ(g.directXDelay, 0);
    EXPECT_TRUE(g.knobAnimation) << "values of other sections are not ours";
    EXPECT_FALSE(g.parameterLabel);
}

TEST(GlobalData, SampleRateSetsBlockTimeAndKnownRateIndices) {
    CGlobalData g;
    struct Case {
        int rate, index;
    } cases[] = {{22050, 23}, {32000, 15}, {44100, 11}, {48000, 10}, {88200, 5}, {96000, 5}, {50000, 5}};
    for (const Case& c : cases) {
        g.setSampleRate(c.rate);
        EXPECT_EQ(g.sampleRate, c.rate);
        EXPECT_EQ(g.rateIndex, c.index) << c.rate << " (other rates keep the previous index)";
        EXPECT_FLOAT_EQ(g.blockMilliseconds, 256000.0f / c.rate);
    }
}
