// Host chunks through the real plug-in binary, and their repairs.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "files/cu_file.h"
#include "host/vst_host.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

std::vector<uint8_t> chunkOf(VstHost& host, bool preset) {
    void* data = nullptr;
    IntPtr size = host.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

void loadPlugin(VstHost& host) {
    std::string error;
    ASSERT_TRUE(host.load(std::getenv("LYRENA_PLUGIN"), error)) << error;
    host.start(44100, 512);
}

// A state worth carrying: names, values, mixer, master, a score and a
// changed phoneme model, made in-process and handed over as a bank chunk.
std::vector<uint8_t> richBank() {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    CVSTProgram& p = synth->getPrograms();
    p.setName(2, "Alto warm");
    synth->getParameters().setVoiceValue(0, 12, 0.25f, true);
    p.programs[3][200] = 0.5f;
    p.mixer[4][3] = 20;
    p.mixer[5][15] = 6;
    p.master[7] = 90;
    synth->getParameters().phonemes[2].setFormant(0, 0, 777.0f, 0.5f, 60.0f);
    CSQEventList& list = synth->getSequencer()->lists[1];
    list.insertNote(0, 0, 62);
    list.insertNote(3840, 3840, 64);
    list.head()->setLyric("Hal-");
    synth->getSequencer()->setTempo(96);
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, false);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

}  // namespace

TEST(Chunks, SizesFollowTheModelAndScore) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    // M varies with the model's name: the factory set of part 0 is named differently.
    uint32_t models = 0;
    for (const CPhoneme& model : synth->getParameters().phonemes) models += model.recordSize();
    uint32_t m = synth->getParameters().phonemes[0].recordSize();
    uint32_t s = synth->getSequencer()->storedSize();
    void* data = nullptr;
    EXPECT_EQ(uint32_t(synth->getChunk(&data, true)), 932 + m);
    EXPECT_EQ(uint32_t(synth->getChunk(&data, false)), 8036 + models + s);
    synth->getSequencer()->lists[0].insertNote(0, 0, 60);
    EXPECT_EQ(uint32_t(synth->getChunk(&data, false)), 8036 + models + synth->getSequencer()->storedSize());
    EXPECT_GT(synth->getSequencer()->storedSize(), s);
}

TEST(Chunks, BankAndPresetRoundTripThroughTheBinary) {
    std::vector<uint8_t> bank = richBank();
    VstHost a, b;
    loadPlugin(a);
    loadPlugin(b);
    ASSERT_EQ(a.dispatch(effSetChunk, 0, IntPtr(bank.size()), bank.data()), IntPtr(bank.size()));
    EXPECT_GE(a.updateDisplayCalls, 1);
    std::vector<uint8_t> fromA = chunkOf(a, false);
    EXPECT_EQ(fromA.size(), bank.size());
    b.dispatch(effSetChunk, 0, IntPtr(fromA.size()), fromA.data());
    EXPECT_EQ(chunkOf(b, false), fromA);

    char name[64];
    b.dispatch(effGetProgramNameIndexed, 2, 0, name);
    EXPECT_STREQ(name, "Alto warm");
    MidiProgramName m{};
    EXPECT_EQ(b.dispatch(effGetCurrentMidiProgram, 5, 0, &m), 6) << "part 5 plays program 6";
    for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(b.dispatch(effHasMidiProgramsChanged, ch), 1) << ch;

    // The preset chunk of the selected part's program.
    a.dispatch(effSetProgram, 0, 3);
    a.effect()->setParameter(a.effect(), 13, 0.75f);
    std::vector<uint8_t> preset = chunkOf(a, true);
    b.dispatch(effSetProgram, 0, 3);
    ASSERT_EQ(b.dispatch(effSetChunk, 1, IntPtr(preset.size()), preset.data()), IntPtr(preset.size()));
    EXPECT_EQ(chunkOf(b, true), preset);
    EXPECT_NEAR(b.effect()->getParameter(b.effect(), 13), 0.75f, 1e-6);
}

TEST(Chunks, OlderVersionsAreRepaired) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, true);
    std::vector<uint8_t> preset(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    // Version 1 with entries 100..115 at 0 and band levels all 0.
    preset[0] = 1;
    for (int e = 100; e <= 115; ++e) std::memset(&preset[36 + 4 * e], 0, 4);
    for (int e = 256; e < 304; ++e) preset[548 + e - 128] = 0;
    float seventyOne = 5;
    std::memcpy(&preset[36 + 4 * 71], &seventyOne, 4);
    ASSERT_EQ(synth->setChunk(preset.data(), Int32(preset.size()), true), Int32(preset.size()));
    const float* values = synth->getPrograms().valuesOfPart(0);
    EXPECT_EQ(values[100], 64.0f);
    EXPECT_EQ(values[115], 64.0f);
    EXPECT_EQ(values[256], 1.0f);
    EXPECT_EQ(values[71], 5.0f) << "version 1 keeps entry 71";

    preset[0] = 2;
    EXPECT_EQ(synth->setChunk(preset.data(), Int32(preset.size()), true), 0) << "unknown version";

    size = synth->getChunk(&data, false);
    std::vector<uint8_t> bank(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    bank[0] = 1;
    for (int k = 0; k < 8; ++k)
        for (int e : {75, 76, 77, 100}) std::memset(&bank[36 + 928 * k + 32 + 4 * e], 0, 4);
    ASSERT_EQ(synth->setChunk(bank.data(), Int32(bank.size()), false), Int32(bank.size()));
    for (int k = 0; k < 8; ++k)
        for (int e : {75, 76, 77, 100, 107}) EXPECT_EQ(synth->getPrograms().programs[k][e], 64.0f) << k << ":" << e;
}

TEST(Chunks, ShortOrCutChunks) {
    std::vector<uint8_t> bank = richBank();
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    synth->getPrograms().setName(0, "Mine");
    for (size_t size : {size_t(0), size_t(100), size_t(931), size_t(8035)})
        EXPECT_EQ(synth->setChunk(bank.data(), Int32(size), false), 0) << size;
    EXPECT_STREQ(synth->getPrograms().names[0], "Mine") << "a short head changes nothing";
    EXPECT_EQ(synth->setChunk(bank.data(), 900, true), 0);

    // A tail cut inside the score: the head and the models apply, the score
    // keeps the part lists that were read whole.
    ASSERT_GT(synth->setChunk(bank.data(), Int32(bank.size() - 10), false), 0);
    EXPECT_STREQ(synth->getPrograms().names[2], "Alto warm");
    EXPECT_EQ(synth->getSequencer()->lists[1].noteCount(), 2);
}
