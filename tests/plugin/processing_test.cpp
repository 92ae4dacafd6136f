// The processing path: block fitting, event intake order and timing, the
// muted path, host sync by host kind, and the sequencer's transport rules.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/cu_file.h"
#include "host/vst_host.h"
#include "plugin/perf_meter.h"
#include "plugin/vst_synth.h"
#include "score/midi.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

VstTimeInfo hostTime{};
const char* hostVendor = "";

IntPtr timedHost(AEffect*, Int32 opcode, Int32, IntPtr, void* ptr, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<IntPtr>(&hostTime);
    if (opcode == audioMasterGetVendorString && ptr) {
        std::strcpy(static_cast<char*>(ptr), hostVendor);
        return 1;
    }
    return 0;
}

struct Processing : ::testing::Test {
    std::unique_ptr<CVSTSynth> synth;
    std::vector<float> left = std::vector<float>(40000), right = std::vector<float>(40000);
    void make(const char* vendor) {
        hostVendor = vendor;
        hostTime = VstTimeInfo{};
        synth = std::make_unique<CVSTSynth>(timedHost);
        synth->resume();
    }
    void SetUp() override { make(""); }
    void process(int frames) {
        float* out[2] = {left.data(), right.data()};
        synth->processReplacing(nullptr, out, frames);
    }
    void events(const std::vector<std::pair<int, std::vector<uint8_t>>>& list) {
        std::vector<VstMidiEvent> ev(list.size());
        std::vector<uintptr_t> block(2 + list.size());
        auto* e = reinterpret_cast<VstEvents*>(block.data());
        e->numEvents = Int32(list.size());
        VstEvent** pointers = e->events;  // the list runs past the header's two entries
        for (size_t i = 0; i < list.size(); ++i) {
            ev[i] = VstMidiEvent{};
            ev[i].type = kVstMidiType;
            ev[i].byteSize = sizeof(VstMidiEvent);
            ev[i].deltaFrames = list[i].first;
            for (int b = 0; b < 3; ++b) ev[i].midiData[b] = char(list[i].second[size_t(b)]);
            pointers[i] = reinterpret_cast<VstEvent*>(&ev[i]);
        }
        synth->processEvents(e);
    }
};

TEST_F(Processing, HundredFrameBlocksRenderAheadAndKeepTheResidue) {
    const int expected[] = {156, 56, 212, 112, 12, 168};
    uint32_t blocks = synth->getEngine().blocks();
    for (int r : expected) {
        process(100);
        EXPECT_EQ(synth->residualFrames(), r);
    }
    EXPECT_EQ(synth->getEngine().blocks() - blocks, 3u);
    process(168 + 256);  // the residue and one whole block: nothing ahead
    EXPECT_EQ(synth->residualFrames(), 0);
    process(512);
    EXPECT_EQ(synth->residualFrames(), 0);
    process(16384 * 2 + 10);  // longer than the render buffer: in pieces
    EXPECT_EQ(synth->residualFrames(), 246);
}

TEST_F(Processing, NoteOnsQueueAfterOtherEventsAndDeltaFramesPickTheBlock) {
    CMIDI* midi = synth->getMidi();
    uint32_t b = synth->getEngine().blocks();
    events({{0, {0x90, 60, 100}}, {300, {0x80, 60, 0}}, {255, {0xB0, 7, 1}}, {511, {0x90, 62, 1}}});
    struct Want {
        int status;
        uint32_t block;
    } want[] = {{0x80, b + 1}, {0xB0, b}, {0x90, b}, {0x90, b + 1}};
    for (const Want& w : want) {
        const CMIDIQueueEntry* e = midi->queue.nextDue(b + 10);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->message & 0xF0, w.status);
        EXPECT_EQ(e->block, w.block);
        midi->queue.consume();
    }
    EXPECT_TRUE(midi->queue.empty());
}

TEST_F(Processing, MutedPathKeepsTheCounterAndDispatchesLater) {
    synth->suspend();
    CMIDI* midi = synth->getMidi();
    uint32_t b = synth->getEngine().blocks();
    events({{0, {0xB0, 1, 127}}});
    process(1024);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(left[size_t(i)], 0.0f);
    EXPECT_EQ(synth->getEngine().blocks(), b + 4);
    EXPECT_FALSE(midi->queue.empty()) << "nothing dispatched while muted";
    synth->resume();
    process(256);
    EXPECT_TRUE(midi->queue.empty());
    EXPECT_NEAR(midi->modWheel[0], 1.0f, 1e-5f);
}

TEST_F(Processing, HostSyncStartsByHostKind) {
    struct Case {
        const char* vendor;
        bool startsWithoutChangeFlag;
    } cases[] = {{"", false}, {"Steinberg", false}, {"Emagic", false}, {"Ableton", true}};
    for (const Case& c : cases) {
        make(c.vendor);
        CSequencer* seq = synth->getSequencer();
        seq->setOptions(true, false, false);
        hostTime.tempo = 120;
        hostTime.ppqPos = 2;
        hostTime.flags = kVstTransportPlaying | kVstPpqPosValid;
        process(256);
        EXPECT_EQ(seq->isPlaying(), c.startsWithoutChangeFlag) << c.vendor;
        hostTime.flags |= kVstTransportChanged;
        process(256);
        EXPECT_TRUE(seq->isPlaying()) << c.vendor;
        EXPECT_NEAR(seq->playTicks(), 2 * 15360 + seq->unitsPerBlock() * 160, 1.0f) << c.vendor;
        hostTime.flags = kVstTransportChanged | kVstPpqPosValid;  // host stops
        process(256);
        EXPECT_EQ(seq->isPlaying(), c.startsWithoutChangeFlag) << c.vendor << ": only stopped by a transport change";
    }
    // Without time information nothing changes; tempo 0 is ignored.
    make("");
    hostTime.tempo = 0;
    process(256);
    EXPECT_EQ(synth->getSequencer()->getTempo(), 120.0f);
    hostTime.tempo = 90;
    process(256);
    EXPECT_EQ(synth->getSequencer()->getTempo(), 90.0f);
}

TEST_F(Processing, PerfMeterTextAndOverloadGuard) {
    CPerfMeter m;
    EXPECT_STREQ(m.text(), "?? %");
    double t = 0;
    for (int i = 0; i < 102; ++i) {
        m.beginCallAt(t);
        m.endCallAt(t + 0.25);
        t += 1;
    }
    m.beginCallAt(t);
    EXPECT_STREQ(m.text(), "25 %");
    // Ten over-time checks in a row latch; the latch silences nine more.
    int overloads = 0;
    for (int i = 0; i < 19; ++i) {
        m.beginCallAt(t);
        bool o = m.overloadedAt(t + 1.0, 256, 44100);
        overloads += o;
        if (i < 9) EXPECT_FALSE(o) << i;
        if (i >= 9 && i < 19) EXPECT_TRUE(o) << i;
        m.endCallAt(t + 1.0);
    }
    EXPECT_EQ(overloads, 10);
    m.beginCallAt(t);
    EXPECT_FALSE(m.overloadedAt(t + 0.001, 256, 44100)) << "unlatched, within time";
}

// ---- transport rules ----

struct Transport : Processing {
    CSequencer* seq = nullptr;
    void SetUp() override {
        make("");
        seq = synth->getSequencer();
    }
    void addNote(int p, float start, float end, int endType = 1) {
        CSQEvent* s = seq->lists[p].append(true, start, 60, 100);
        CSQEvent* e = seq->lists[p].append(false, end, 60, 0);
        s->phonemes[0] = 0;
        e->type = endType;
    }
};

TEST_F(Transport, LoopWrapsPastItsEndAndRestartsParts) {
    addNote(0, 0, 3840);
    seq->start(61441 - seq->unitsPerBlock() * 160);
    seq->blockStep();
    seq->blockAdvance();
    seq->blockStep();  // at 61441 ticks: past the loop end
    EXPECT_NEAR(seq->playTicks(), 1.0f, 0.5f);
    EXPECT_TRUE(seq->reposition && seq->wrapped);
    seq->blockStep();  // parts start again from the loop start
    EXPECT_TRUE(seq->part[0].holding);
}

TEST_F(Transport, BackwardHostJumpRepositionsForwardDoesNot) {
    seq->start(30720);
    seq->blockStep();
    seq->hostLocate(30720 + 20000);
    EXPECT_FALSE(seq->reposition);
    seq->hostLocate(30720);
    EXPECT_TRUE(seq->reposition);
    seq->blockStep();
    seq->hostLocate(30720 - 0.5f * seq->unitsPerBlock() * 160);  // within one block: no reposition
    EXPECT_FALSE(seq->reposition);
}

TEST_F(Transport, StopTwicePutsTheCursorAtZero) {
    seq->start(30720);
    seq->stop();
    EXPECT_FLOAT_EQ(seq->cursorTicks(), 30720);
    seq->stop();
    EXPECT_FLOAT_EQ(seq->cursorTicks(), 0);
}

TEST_F(Transport, LegatoMarkedOnlyBelow768Ticks) {
    for (float gap : {767.0f, 768.0f}) {
        make("");
        seq = synth->getSequencer();
        addNote(0, 0, 3840);
        addNote(0, 3840 + gap, 7680 + gap);
        seq->start(0);
        for (int i = 0; i < 40 && seq->part[0].lastNoteOff < 0; ++i) {
            seq->blockStep();
            seq->blockAdvance();
        }
        EXPECT_EQ(seq->part[0].legato, gap < 768) << gap;
    }
}

TEST_F(Transport, StoredFormResetsSwingAndQuantizeTable) {
    seq->setSwing(30);
    seq->tempo = 100;
    std::vector<uint8_t> bytes(seq->storedSize());
    CUFile out;
    out.attachMemory(static_cast<void*>(bytes.data()), bytes.size());
    seq->write(out);
    make("");
    seq = synth->getSequencer();
    CUFile in;
    in.attachMemory(static_cast<const void*>(bytes.data()), bytes.size());
    ASSERT_TRUE(seq->read(in));
    EXPECT_EQ(seq->swing, 0.0f);
    EXPECT_EQ(seq->getTempo(), 100.0f);
    EXPECT_EQ(CSequencer::quantizeTicks(0), 61440);
    EXPECT_EQ(CSequencer::quantizeTicks(17), 2880);
    EXPECT_EQ(CSequencer::quantizeTicks(18), 3840);
    EXPECT_EQ(CSequencer::quantizeTicks(-1), 3840);
}

}  // namespace
