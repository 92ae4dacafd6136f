#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "params/midi_assign.h"
#include "plugin/vst_synth.h"
#include "score/midi.h"
#include "score/tuning.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

int msg(int status, int d1, int d2) { return status + d1 * 256 + d2 * 65536; }

// A plug-in object in-process with its own MIDI object; notes are played by
// the part itself (no live hook).
struct MidiFixture : ::testing::Test {
    std::unique_ptr<CVSTSynth> synth = std::make_unique<CVSTSynth>(quietHost);
    CMIDI* midi = synth->getMidi();
    CEngine& engine = synth->getEngine();
    uint32_t block = 0;

    void SetUp() override {
        ASSERT_NE(midi, nullptr);
        midi->keysToSequencer = false;
    }
    void send(int m) {
        midi->enqueue(block, m);
        midi->step(block++);
    }
    // Makes part 0 monophonic or polyphonic with n voices.
    void voices(int n) {
        engine.part[0].voiceCount = n;
        for (int p = 1; p < 8; ++p) engine.part[p].voiceCount = 0;
        engine.allocate();
    }
};

TEST(MIDIQueue, FullRingDropsTheNewestAndKeepsOrder) {
    CMIDIQueue q;
    int accepted = 0;
    for (int i = 0; i < 300; ++i) accepted += q.enqueue(5, i, -1, 0, 0) ? 1 : 0;
    EXPECT_EQ(accepted, 255);
    EXPECT_EQ(q.nextDue(4), nullptr);  // due only from its block on
    int expect = 0;
    while (const CMIDIQueueEntry* e = q.nextDue(5)) {
        EXPECT_EQ(e->message, expect++);
        q.consume();
    }
    EXPECT_EQ(expect, 255);
    // The display reader is independent of the main one.
    EXPECT_NE(q.nextDisplayDue(5), nullptr);
}

TEST_F(MidiFixture, MonophonicLowKeyPriorityAndReleaseToHeldKey) {
    voices(1);
    synth->getPrograms().valuesOfPart(0)[38] = 1;  // "Low key"
    send(msg(0x90, 60, 100));
    EXPECT_EQ(engine.slot[0].note, 60);
    send(msg(0x90, 64, 100));
    EXPECT_EQ(engine.slot[0].note, 60) << "a higher key is ignored";
    send(msg(0x90, 55, 90));
    EXPECT_EQ(engine.slot[0].note, 55);
    EXPECT_EQ(engine.slot[0].legato, 1);
    // Releasing the sounding key continues with the lowest held one.
    send(msg(0x80, 55, 0));
    EXPECT_EQ(engine.slot[0].note, 60);
    EXPECT_EQ(engine.slot[0].gate, 1);
    send(msg(0x90, 60, 0));  // velocity 0 releases
    EXPECT_EQ(engine.slot[0].note, 64);
    send(msg(0x80, 64, 0));
    EXPECT_EQ(engine.slot[0].gate, 0);

    // "Last key": every new key takes over; release returns to the highest held.
    synth->getPrograms().valuesOfPart(0)[38] = 0;
    send(msg(0x90, 50, 100));
    send(msg(0x90, 70, 100));
    send(msg(0x90, 65, 100));
    EXPECT_EQ(engine.slot[0].note, 65);
    send(msg(0x80, 65, 0));
    EXPECT_EQ(engine.slot[0].note, 70);
}

TEST_F(MidiFixture, PolyphonicPartTakesFreeSlotsAndReleasesByKey) {
    voices(3);
    send(msg(0x90, 60, 100));
    send(msg(0x90, 64, 100));
    send(msg(0x90, 67, 100));
    int held = 0;
    for (int s = 0; s < 3; ++s) held += engine.slot[s].gate;
    EXPECT_EQ(held, 3);
    send(msg(0x80, 64, 0));
    for (int s = 0; s < 3; ++s)
        if (engine.slot[s].note == 64) EXPECT_EQ(engine.slot[s].gate, 0);
    send(msg(0x90, 72, 100));  // a fourth key on three busy slots steals one
    bool found = false;
    for (int s = 0; s < 3; ++s) found |= engine.slot[s].note == 72 && engine.slot[s].gate;
    EXPECT_TRUE(found);
}

TEST_F(MidiFixture, MutedPartPlaysNoNoteButSoloWins) {
    voices(1);
    engine.part[0].mute = 1;
    send(msg(0x90, 60, 100));
    EXPECT_EQ(engine.slot[0].gate, 0);
    engine.part[0].mute = 0;
    engine.part[2].solo = 1;  // another part soloed silences part 0
    send(msg(0x90, 60, 100));
    EXPECT_EQ(engine.slot[0].gate, 0);
    engine.part[2].solo = 0;
    send(msg(0x90, 60, 100));
    EXPECT_EQ(engine.slot[0].gate, 1);
}

TEST_F(MidiFixture, PitchBendWheelAndAftertouch) {
    voices(1);
    send(msg(0xE0, 0x00, 0x40));
    EXPECT_FLOAT_EQ(midi->pitchBend[0], 0.5f + 0.0000001f);
    EXPECT_NEAR(synth->getParameters().getVoiceValue(0, 24), 0.5f, 1e-4f);
    send(msg(0xE0, 0x7F, 0x7F));
    EXPECT_NEAR(midi->pitchBend[0], 127.0f / 128 + 127.0f / 16384, 1e-6f);
    send(msg(0xB0, 1, 127));
    EXPECT_NEAR(midi->modWheel[0], 1.0f, 1e-6f);
    send(msg(0xD0, 64, 0));
    EXPECT_NEAR(engine.part[0].pressure, 64.0f / 127, 1e-6f);
    // A message on another channel does not reach part 0.
    send(msg(0xD5, 10, 0));
    EXPECT_NEAR(engine.part[0].pressure, 64.0f / 127, 1e-6f);
}

TEST_F(MidiFixture, LearnedControllerMovesVolumeOfEveryPartOnTheChannel) {
    CMIDIAssign::setDefaults();
    synth->getPrograms().mixer[3][4] = 0;  // part 3 listens on channel 1 too
    midi->assignment.learn(0, 12);
    send(msg(0xB0, 7, 100));
    EXPECT_EQ(CMIDIAssign::find(0, 12), 7);
    send(msg(0xB0, 7, 64));
    EXPECT_NEAR(synth->getParameters().getVoiceValue(0, 12), 64.0f / 127, 1e-4f);
    EXPECT_NEAR(synth->getParameters().getVoiceValue(3, 12), 64.0f / 127, 1e-4f);
    EXPECT_NEAR(synth->getParameters().getVoiceValue(1, 12), synth->getParameters().getVoiceValue(2, 12), 1e-6f)
        << "parts on other channels keep their volume";
    CMIDIAssign::setDefaults();
}

TEST_F(MidiFixture, KeySplitAdmitsOnlyItsRange) {
    voices(1);
    synth->getPrograms().mixer[0][5] = 60;
    synth->getPrograms().mixer[0][6] = 72;
    send(msg(0x90, 59, 100));
    EXPECT_EQ(engine.slot[0].gate, 0);
    EXPECT_FALSE(midi->keyboard.isHeld(0, 59));
    send(msg(0x90, 72, 100));
    EXPECT_EQ(engine.slot[0].gate, 1);
    EXPECT_TRUE(midi->admitsKey(0, 10) == false);
    synth->getPrograms().mixer[0][6] = 50;  // high below low: no split
    EXPECT_TRUE(midi->admitsKey(0, 10));
}

TEST_F(MidiFixture, TickLengthAndAllNotesOff) {
    voices(1);
    midi->setTickLength(300);
    midi->setTickLength(5);
    midi->setTickLength(1000);
    EXPECT_EQ(midi->tickLength, 300.0f) << "out of range lengths are ignored";
    midi->setTickLength(229.6875f);  // 120 BPM at 44100 Hz
    EXPECT_NEAR(midi->tempoRatio, 1.0f, 1e-4f);
    send(msg(0x90, 60, 100));
    send(msg(0xB0, 123, 0));
    EXPECT_EQ(engine.slot[0].gate, 0);
    EXPECT_FALSE(midi->keyboard.anyHeld(0));
}

// ---- tunings ----

TEST(Tuning, ScalaSevenNotesRepeatsAtTheOctaveFromKey60) {
    const char scl[] =
        "! major.scl\n!\nA major scale\n 7\n!\n 9/8\n 5/4\n 4/3\n 3/2\n 5/3\n 15/8\n 2/1\n";
    float pitch[128];
    CTuning::equalTemperament(pitch);
    ASSERT_EQ(CTuning::read(scl, sizeof scl - 1, pitch), CTuning::kOk);
    EXPECT_NEAR(pitch[60], -0.046875f, 1e-6f);
    EXPECT_NEAR(pitch[67], 1.0f / 16 - 0.046875f, 1e-6f) << "key 67 is degree 0 an octave up";
    EXPECT_NEAR(pitch[61], std::log2(9.0f / 8) / 16 - 0.046875f, 1e-6f);
    EXPECT_NEAR(pitch[59], -1.0f / 16 - 0.046875f + std::log2(15.0f / 8) / 16, 1e-6f);
    // Cents and a bare integer ratio.
    const char cents[] = "!\n\n 2\n 700.0\n 2\n";
    ASSERT_EQ(CTuning::read(cents, sizeof cents - 1, pitch), CTuning::kOk);
    EXPECT_NEAR(pitch[61], 700.0f / 19200 - 0.046875f, 1e-6f);
    EXPECT_NEAR(pitch[62], 1.0f / 16 - 0.046875f, 1e-6f);
}

TEST(Tuning, BadScalaFilesLeaveThePitchesAlone) {
    struct Case {
        const char* text;
        CTuning::Result result;
    } cases[] = {
        {"! x\nd\n 0\n", CTuning::kBadNoteCount},
        {"! x\nd\n 129\n 100.0\n", CTuning::kBadNoteCount},
        {"! x\nd\n 3\n 100.0\n 200.0\n", CTuning::kMissingDegrees},
        {"! x\nd\n 2\n 1/0\n abc\n", CTuning::kMissingDegrees},
        {"no format here\n", CTuning::kUnknownFormat},
        {"; anamark\n[Exact Tuning]\nbasefreq = 8.17\n", CTuning::kNoNotes},
    };
    for (const Case& c : cases) {
        float pitch[128];
        CTuning::equalTemperament(pitch);
        EXPECT_EQ(CTuning::read(c.text, std::strlen(c.text), pitch), c.result) << c.text;
        for (int k = 0; k < 128; ++k) ASSERT_EQ(pitch[k], float(k - 69) / 192) << c.text;
    }
}

TEST(Tuning, AnaMarkSetsTheKeysItNames) {
    const char tun[] = "; AnaMark tuning\n[Exact Tuning]\nnote 60=6000.0\nnote 61 = 6150\nnote 300=1\n";
    float pitch[128];
    CTuning::equalTemperament(pitch);
    ASSERT_EQ(CTuning::read(tun, sizeof tun - 1, pitch), CTuning::kOk);
    EXPECT_NEAR(pitch[60], -0.046875f, 1e-7f);
    EXPECT_NEAR(pitch[61], 150.0f / 19200 - 0.046875f, 1e-7f);
    EXPECT_EQ(pitch[62], float(62 - 69) / 192);
}

TEST_F(MidiFixture, IgnoredTuningFileKeepsEqualTemperamentAndIsLogged) {
    const char bad[] = "! x\nd\n 200\n";
    EXPECT_FALSE(midi->applyTuning(2, bad, sizeof bad - 1, "Tuning/part3.scl"));
    EXPECT_FALSE(midi->tuned[2]);
    EXPECT_EQ(midi->keyPitch(2, 60), float(60 - 69) / 192);
    std::string log;
    if (FILE* f = std::fopen((std::string(std::getenv("LYRENA_HOME")) + "Debug.txt").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, f)) log = line;
        std::fclose(f);
    }
    EXPECT_NE(log.find("part3.scl ignored"), std::string::npos) << log;
    const char good[] = "!\nd\n 1\n 2/1\n";
    EXPECT_TRUE(midi->applyTuning(2, good, sizeof good - 1, "x"));
    EXPECT_TRUE(midi->tuned[2]);
    EXPECT_NEAR(midi->keyPitch(2, 61), 1.0f / 16 - 0.046875f, 1e-6f);
}

}  // namespace
