// Project and voice preset files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "files/cu_file.h"
#include "files/global_data.h"
#include "files/project_file.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

std::string temp(const char* name) { return std::string(std::getenv("XDG_CONFIG_HOME")) + "/" + name; }

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

}  // namespace

TEST(ProjectFile, SaveAndLoadRestoresTheWholeState) {
    std::system(("mkdir -p '" + temp("") + "'").c_str());
    std::string path = temp("song.qlp");
    auto a = std::make_unique<CVSTSynth>(quietHost);
    a->getPrograms().setName(1, "Tenor");
    a->getPrograms().mixer[3][2] = 90;
    a->getPrograms().mixer[3][15] = 1;
    a->getPrograms().master[8] = 33;
    a->getParameters().setVoiceValue(3, 13, 0.25f, true);  // part 3 plays program 1 after loading
    a->getParameters().phonemes[4].setFormant(10, 1, 1234.0f, 0.5f, 90.0f);
    a->getSequencer()->lists[6].insertNote(7680, 7680, 55);
    a->getSequencer()->setTempo(72);
    ASSERT_TRUE(CProjectFile::saveProject(*a, path.c_str()));
    std::vector<uint8_t> file = bytesOf(path);
    ASSERT_GT(file.size(), 160u + 8036u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "CcnK");
    EXPECT_EQ(file[9], 'B');
    EXPECT_EQ(file[15], 4);

    auto b = std::make_unique<CVSTSynth>(quietHost);
    ASSERT_TRUE(CProjectFile::loadProject(*b, path.c_str()));
    EXPECT_STREQ(b->getPrograms().names[1], "Tenor");
    EXPECT_EQ(b->getPrograms().mixer[3][2], 90.0f);
    EXPECT_EQ(b->getPrograms().partProgram[3], 1);
    EXPECT_EQ(b->getPrograms().master[8], 33.0f);
    float f, l, w;
    b->getParameters().phonemes[4].formant(10, 1, f, l, w);
    EXPECT_EQ(f, 1234.0f);
    EXPECT_EQ(b->getSequencer()->lists[6].noteCount(), 1);
    EXPECT_EQ(b->getSequencer()->getTempo(), 72.0f);
    // Saved again and loaded elsewhere: the same state, byte for byte.
    std::string again = temp("again.qlp");
    ASSERT_TRUE(CProjectFile::saveProject(*b, again.c_str()));
    auto d = std::make_unique<CVSTSynth>(quietHost);
    ASSERT_TRUE(CProjectFile::loadProject(*d, again.c_str()));
    void* cb = nullptr;
    void* cd = nullptr;
    Int32 sb = b->getChunk(&cb, false), sd = d->getChunk(&cd, false);
    ASSERT_EQ(sb, sd);
    EXPECT_EQ(std::memcmp(cb, cd, size_t(sb)), 0);

    // Version 3: head and score load, phoneme models stay.
    auto c = std::make_unique<CVSTSynth>(quietHost);
    std::vector<uint8_t> v3(file.begin(), file.begin() + 160 + 8036);
    v3[15] = 3;
    CUFile scoreOut;
    std::vector<uint8_t> score(a->getSequencer()->storedSize());
    scoreOut.attachMemory(score.data(), score.size());
    a->getSequencer()->write(scoreOut);
    v3.insert(v3.end(), score.begin(), score.end());
    writeBytes(temp("v3.qlp"), v3);
    ASSERT_TRUE(CProjectFile::loadProject(*c, temp("v3.qlp").c_str()));
    c->getParameters().phonemes[4].formant(10, 1, f, l, w);
    EXPECT_NE(f, 1234.0f) << "version 3 has no models";
    EXPECT_EQ(c->getSequencer()->lists[6].noteCount(), 1);
}

TEST(ProjectFile, WrongKindsAndMissingFilesAreRefused) {
    std::string project = temp("kind.qlp"), voice = temp("kind.qlv");
    auto a = std::make_unique<CVSTSynth>(quietHost);
    ASSERT_TRUE(CProjectFile::saveProject(*a, project.c_str()));
    ASSERT_TRUE(CProjectFile::saveVoice(*a, voice.c_str()));
    auto b = std::make_unique<CVSTSynth>(quietHost);
    b->getPrograms().setName(0, "Kept");
    EXPECT_FALSE(CProjectFile::loadProject(*b, voice.c_str()));
    EXPECT_FALSE(CProjectFile::loadVoice(*b, project.c_str()));
    EXPECT_FALSE(CProjectFile::loadProject(*b, temp("nothing.qlp").c_str()));
    std::vector<uint8_t> cut = bytesOf(project);
    cut.resize(160 + 8000);
    writeBytes(temp("cut.qlp"), cut);
    EXPECT_FALSE(CProjectFile::loadProject(*b, temp("cut.qlp").c_str()));
    EXPECT_STREQ(b->getPrograms().names[0], "Kept");
    EXPECT_TRUE(b->isOutputMuted()) << "born muted, and a failed load leaves it so";
    EXPECT_FALSE(CProjectFile::saveProject(*b, "/nonexistent/dir/x.qlp"));
}

TEST(ProjectFile, VoicePresets) {
    std::string path = temp("voice.qlv");
    auto a = std::make_unique<CVSTSynth>(quietHost);
    a->getPrograms().setName(0, std::string(40, 'n').c_str());
    a->getParameters().setVoiceValue(0, 5, 0.5f, true);
    a->getParameters().phonemes[0].setFormant(3, 2, 2222.0f, 0.5f, 80.0f);
    ASSERT_TRUE(CProjectFile::saveVoice(*a, path.c_str()));
    std::vector<uint8_t> file = bytesOf(path);
    EXPECT_EQ(file[9], 'P');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&file[28])), std::string(27, 'n'));
    EXPECT_EQ(file[58], 0x03);
    EXPECT_EQ(file[59], 0xA4);

    auto b = std::make_unique<CVSTSynth>(quietHost);
    ASSERT_TRUE(CProjectFile::loadVoiceIntoPart(*b, path.c_str(), 2));
    EXPECT_EQ(b->getPrograms().selectedPart, 0) << "the editor's part stays selected";
    EXPECT_NEAR(b->getParameters().getVoiceValue(2, 5), 0.5f, 1e-6);
    float f, l, w;
    b->getParameters().phonemes[2].formant(3, 2, f, l, w);
    EXPECT_EQ(f, 2222.0f);

    file[15] = 3;  // version 3: the model is not taken
    writeBytes(temp("v3.qlv"), file);
    auto c = std::make_unique<CVSTSynth>(quietHost);
    ASSERT_TRUE(CProjectFile::loadVoice(*c, temp("v3.qlv").c_str()));
    c->getParameters().phonemes[0].formant(3, 2, f, l, w);
    EXPECT_NE(f, 2222.0f);
}

TEST(ProjectFile, InstalledDefaultProjectIsLoadedAtStart) {
    char previous[sizeof globalData().installFolder];
    std::memcpy(previous, globalData().installFolder, sizeof previous);
    std::snprintf(globalData().installFolder, sizeof globalData().installFolder, "%s", std::getenv("LYRENA_INSTALL"));
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    std::memcpy(globalData().installFolder, previous, sizeof previous);
    CSequencer* seq = synth->getSequencer();
    ASSERT_NE(seq, nullptr);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(seq->lists[p].noteCount() > 0, p < 4) << "part " << p + 1;
}

TEST(ProjectFile, MissingDefaultProjectKeepsTheStartUpPrograms) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    EXPECT_EQ(CProjectFile::loadDefault(*synth), false) << "no Default.qlp in the test installation";
    EXPECT_STREQ(synth->getPrograms().names[7], "Preset 8");
}
