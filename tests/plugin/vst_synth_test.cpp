// The plug-in object and its dispatcher, constructed directly with a test
// host callback, and loaded through our host from the built lyrena.so.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/global_data.h"
#include "host/vst_host.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

const char* gVendor = "Test host";

IntPtr testHost(AEffect*, Int32 opcode, Int32, IntPtr, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetVendorString: std::snprintf(static_cast<char*>(ptr), 64, "%s", gVendor); return 1;
    case audioMasterGetProductString: std::snprintf(static_cast<char*>(ptr), 64, "Test"); return 1;
    default: return 0;
    }
}

std::unique_ptr<CVSTSynth> makeSynth(const char* vendor = "Test host") {
    gVendor = vendor;
    return std::make_unique<CVSTSynth>(testHost);
}

IntPtr dispatch(CVSTSynth& s, Int32 opcode, Int32 index = 0, IntPtr value = 0, void* ptr = nullptr, float opt = 0) {
    AEffect* e = s.getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

const char* pluginPath() { return std::getenv("LYRENA_PLUGIN"); }

}  // namespace

TEST(VstSynth, HostKindNeedsTheExactVendorName) {
    struct Case {
        const char* vendor;
        int kind;
    } cases[] = {{"Steinberg", kHostSteinberg}, {"Emagic", kHostEmagic},        {"Ableton", kHostAbleton},
                 {"Steinberg Media Technologies", kHostOther}, {"steinberg", kHostOther}, {"Able", kHostOther},
                 {"", kHostOther}};
    for (const Case& c : cases) EXPECT_EQ(makeSynth(c.vendor)->hostKind(), c.kind) << '"' << c.vendor << '"';
    EXPECT_EQ(makeSynth()->hostVersion(), 2400);
}

TEST(VstSynth, IdentityAndFlags) {
    auto s = makeSynth();
    AEffect* e = s->getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, 0x514C5232);  // "QLR2"
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 86);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(dispatch(*s, effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(*s, effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(dispatch(*s, effIdentify), fourCC('N', 'v', 'E', 'f'));
    EXPECT_EQ(dispatch(*s, effGetVendorVersion), 1);

    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(*s, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 900);
    EXPECT_EQ(rect->bottom - rect->top, 600);
}

TEST(VstSynth, BornMutedUntilTheFirstResume) {
    auto s = makeSynth();
    EXPECT_TRUE(s->isOutputMuted());
    uint32_t before = s->getEngine().blocks();
    std::vector<float> left(512, NAN), right(512, NAN);
    float* outs[] = {left.data(), right.data()};
    s->processReplacing(nullptr, outs, 512);
    for (int i = 0; i < 512; ++i) ASSERT_TRUE(left[i] == 0 && right[i] == 0) << i;
    EXPECT_EQ(s->getEngine().blocks(), before + 2) << "time advances while muted";

    dispatch(*s, effMainsChanged, 0, 1);
    EXPECT_FALSE(s->isOutputMuted());
    dispatch(*s, effMainsChanged, 0, 0);
    EXPECT_TRUE(s->isOutputMuted());
}

TEST(VstSynth, SampleRateIsTruncatedAndEngineWide) {
    auto a = makeSynth();
    auto b = makeSynth();
    a->getSequencer()->setTempo(97);
    dispatch(*a, effSetSampleRate, 0, 0, nullptr, 44100.9f);
    EXPECT_EQ(globalData().sampleRate, 44100);
    EXPECT_EQ(a->getSampleRate(), 44100.0f);
    dispatch(*a, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(a->getSequencer()->getTempo(), 97.0f) << "a rate change keeps the tempo";
    EXPECT_EQ(b->getSampleRate(), 48000.0f) << "the rate is shared by all instances";
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY}) {
        dispatch(*a, effSetSampleRate, 0, 0, nullptr, bad);
        EXPECT_EQ(globalData().sampleRate, 48000);
    }
    dispatch(*a, effSetSampleRate, 0, 0, nullptr, 44100.0f);
}

TEST(VstSynth, Programs) {
    auto s = makeSynth();
    dispatch(*s, effSetProgram, 0, 5);
    EXPECT_EQ(dispatch(*s, effGetProgram), 5);
    for (IntPtr bad : {IntPtr(8), IntPtr(-1), IntPtr(1000)}) {
        dispatch(*s, effSetProgram, 0, bad);
        EXPECT_EQ(dispatch(*s, effGetProgram), 5);
    }

    // The host's program goes to the selected part.
    s->getPrograms().selectPart(2);
    dispatch(*s, effSetProgram, 0, 3);
    EXPECT_EQ(s->getPrograms().partProgram[2], 3);
    EXPECT_EQ(s->getPrograms().mixer[2][15], 3.0f);

    char name[64];
    std::string forty(40, 'x');
    dispatch(*s, effSetProgramName, 0, 0, forty.data());
    dispatch(*s, effGetProgramName, 0, 0, name);
    EXPECT_EQ(std::string(name), std::string(31, 'x'));
    EXPECT_EQ(dispatch(*s, effGetProgramNameIndexed, 3, 0, name), 1);
    EXPECT_EQ(std::string(name), std::string(31, 'x'));
    EXPECT_EQ(dispatch(*s, effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_STREQ(name, "Preset 1");
    EXPECT_EQ(dispatch(*s, effGetProgramNameIndexed, 8, 0, name), 0);
    EXPECT_STREQ(s->getPrograms().listTexts[0], "01 Preset 1");
}

TEST(VstSynth, MidiProgramsPerChannel) {
    auto s = makeSynth();
    MidiProgramName m{};
    m.thisProgramIndex = 4;
    EXPECT_EQ(dispatch(*s, effGetMidiProgramName, 0, 0, &m), 8);
    EXPECT_STREQ(m.name, "Preset 5");
    EXPECT_EQ(m.midiProgram, 4);
    EXPECT_EQ(m.parentCategoryIndex, -1);

    // Part 0 plays program 0; part 1 has none yet and answers -1 with program 0's name.
    EXPECT_EQ(dispatch(*s, effGetCurrentMidiProgram, 0, 0, &m), 0);
    EXPECT_EQ(dispatch(*s, effGetCurrentMidiProgram, 1, 0, &m), -1);
    EXPECT_STREQ(m.name, "Preset 1");
    EXPECT_EQ(dispatch(*s, effGetCurrentMidiProgram, 12, 0, &m), -1);

    // Part 0 got its program at construction: reported once.
    EXPECT_EQ(dispatch(*s, effHasMidiProgramsChanged, 0), 1);
    EXPECT_EQ(dispatch(*s, effHasMidiProgramsChanged, 0), 0);
    s->markPartChanged(3);
    dispatch(*s, effBeginSetProgram);
    EXPECT_EQ(dispatch(*s, effHasMidiProgramsChanged, 11), 0);
    EXPECT_TRUE(s->isBulkProgramLoad()) << "channels without a part touch no flag";
    EXPECT_EQ(dispatch(*s, effHasMidiProgramsChanged, 3), 1);
    EXPECT_EQ(dispatch(*s, effHasMidiProgramsChanged, 3), 0);
    dispatch(*s, effEndSetProgram);
    EXPECT_FALSE(s->isBulkProgramLoad());
}

TEST(VstSynth, CanDoPinsAndStrings) {
    auto s = makeSynth();
    struct Case {
        const char* text;
        IntPtr answer;
    } cases[] = {{"receiveVstEvents", 1}, {"receiveVstMidiEvent", 1}, {"sendVstMidiEvent", -1},
                 {"sendVstEvents", -1},   {"receiveVstTimeInfo", -1}, {"", -1}};
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(dispatch(*s, effCanDo, 0, 0, text.data()), c.answer) << c.text;
    }

    for (int i = 0; i < 2; ++i) {
        VstPinProperties pin{};
        EXPECT_EQ(dispatch(*s, effGetOutputProperties, i, 0, &pin), 1);
        EXPECT_STREQ(pin.label, "LYRN 1");
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    VstPinProperties pin{};
    EXPECT_EQ(dispatch(*s, effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(dispatch(*s, effGetInputProperties, 0, 0, &pin), 0);

    char text[64];
    std::strcpy(text, "untouched");
    dispatch(*s, effGetParamLabel, 12, 0, text);
    EXPECT_STREQ(text, "untouched");
    dispatch(*s, effGetParamName, 12, 0, text);
    EXPECT_STREQ(text, "Volume");
    dispatch(*s, effGetParamName, 0, 0, text);
    EXPECT_STREQ(text, "n/a");
    dispatch(*s, effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "LYRENA");
    dispatch(*s, effGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "Quorix");
    dispatch(*s, effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "Quorix LYRENA");
}

TEST(VstSynth, ParametersRoundTripThroughTheSelectedProgram) {
    auto s = makeSynth();
    AEffect* e = s->getAeffect();
    e->setParameter(e, 12, 0.25f);
    EXPECT_NEAR(e->getParameter(e, 12), 0.25f, 1e-6);
    EXPECT_NEAR(s->getPrograms().programs[0][12], 31.75f, 1e-4);
    e->setParameter(e, 63, 1.0f);  // Voices: 127 is beyond its list, which ends at 16
    EXPECT_EQ(s->getPrograms().programs[0][63], 16.0f);
    EXPECT_EQ(e->getParameter(e, -1), 0.0f);
    EXPECT_EQ(e->getParameter(e, 100000), 0.0f);
    e->setParameter(e, 5, NAN);
    EXPECT_EQ(s->getPrograms().programs[0][5], 0.0f);
}

TEST(VstSynth, AnyHostBlockSizeFillsTheWholeOutput) {
    auto s = makeSynth();
    dispatch(*s, effMainsChanged, 0, 1);
    std::vector<float> left(40001), right(40001);
    float* outs[] = {left.data(), right.data()};
    uint32_t blocks = s->getEngine().blocks();
    long frames = 0;
    for (int n : {1, 100, 255, 256, 257, 4096, 16384, 16385, 40000}) {
        std::fill(left.begin(), left.end(), NAN);
        std::fill(right.begin(), right.end(), NAN);
        s->processReplacing(nullptr, outs, n);
        frames += n;
        for (int i = 0; i < n; ++i) ASSERT_FALSE(std::isnan(left[i]) || std::isnan(right[i])) << n << " at " << i;
        ASSERT_TRUE(std::isnan(left[n])) << "wrote past the host's block of " << n;
    }
    // Never more than one engine block rendered ahead.
    long rendered = long(s->getEngine().blocks() - blocks) * kEngineBlock;
    EXPECT_GE(rendered, frames);
    EXPECT_LT(rendered, frames + kEngineBlock);
    s->processReplacing(nullptr, nullptr, 64);  // a host without buffers gets nothing
}

// Every opcode with empty, null and out-of-range arguments leaves the plug-in
// working; run under the sanitizers this also shows no bad memory access.
TEST(VstSynth, EveryOpcodeWithOddArgumentsIsSafe) {
    auto s = makeSynth();
    const Int32 indices[] = {0, 1, 7, 8, 15, 16, 85, 86, 511, 512, 1 << 20, -1, INT_MIN, INT_MAX};
    const IntPtr values[] = {0, 1, 7, 8, -1, 1 << 20, IntPtr(INT_MAX) + 1};
    for (Int32 op = 0; op <= 80; ++op) {
        if (op == effClose) continue;
        for (Int32 index : indices)
            for (IntPtr value : values)
                for (int withPtr = 0; withPtr < 2; ++withPtr) {
                    alignas(16) char buffer[1024] = {};
                    void* ptr = withPtr ? buffer : nullptr;
                    IntPtr v = value;
                    if (op == effSetChunk) v = value > 0 && value <= IntPtr(sizeof buffer) ? value : 0;
                    dispatch(*s, op, index, v, ptr, 0.5f);
                    buffer[sizeof buffer - 1] = 0;
                }
    }
    // Still answering as before.
    char name[64];
    EXPECT_EQ(dispatch(*s, effGetEffectName, 0, 0, name), 1);
    EXPECT_STREQ(name, "LYRENA");
    EXPECT_EQ(s->getAeffect()->numParams, 86);
    std::vector<float> left(300), right(300);
    float* outs[] = {left.data(), right.data()};
    s->processReplacing(nullptr, outs, 300);
    // effClose releases the MIDI object and the sequencer; the object stays
    // the host's to delete through the dispatcher.
    AEffect* e = s.release()->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

TEST(VstSynthLoaded, ThroughOurHost) {
    ASSERT_NE(pluginPath(), nullptr);
    VstHost host;
    std::string error;
    ASSERT_TRUE(host.load(pluginPath(), error)) << error;
    EXPECT_EQ(host.stringOf(effGetEffectName), "LYRENA");
    host.start(44100, 512);
    EXPECT_EQ(host.wantMidiCalls, 1) << "a synth asks for MIDI on resume";
    std::vector<float> left(512, NAN), right(512, NAN);
    host.process(left.data(), right.data(), 512);
    EXPECT_EQ(host.timeRequests, 1);
    EXPECT_EQ(host.lastTimeFilter, 0x3E02);
    EXPECT_EQ(left[511], 0.0f);
    host.sendMidi({{0, {0x90, 60, 100}}, {10, {0x80, 60, 0}}});
}

TEST(VstSynthLoaded, NoInstanceForAHostWithoutVersion) {
    VstHost host;
    host.version = 0;
    std::string error;
    EXPECT_FALSE(host.load(pluginPath(), error));
    EXPECT_NE(error.find("returned no plug-in"), std::string::npos) << error;
}
