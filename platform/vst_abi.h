// The VST 2.4 binary interface between a host and a plug-in, written from the
// published facts of the interface (opcode numbers, record layouts, flag bits).
// Layouts are the natural C layouts with 8-byte packing; static_asserts pin
// the sizes and offsets for 64-bit and 32-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vst {

using Int32 = std::int32_t;
using IntPtr = std::intptr_t;

struct AEffect;

using HostCallback = IntPtr (*)(AEffect* effect, Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt);
using DispatcherProc = IntPtr (*)(AEffect* effect, Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt);
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, Int32 frames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs, Int32 frames);
using SetParameterProc = void (*)(AEffect* effect, Int32 index, float value);
using GetParameterProc = float (*)(AEffect* effect, Int32 index);
using PluginEntry = AEffect* (*)(HostCallback host);

constexpr Int32 fourCC(char a, char b, char c, char d) {
    return Int32((std::uint32_t(std::uint8_t(a)) << 24) | (std::uint32_t(std::uint8_t(b)) << 16) |
                 (std::uint32_t(std::uint8_t(c)) << 8) | std::uint32_t(std::uint8_t(d)));
}

constexpr Int32 kEffectMagic = fourCC('V', 's', 't', 'P');

struct AEffect {
    Int32 magic;
    DispatcherProc dispatcher;
    ProcessProc process;  // deprecated accumulating entry
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    Int32 numPrograms;
    Int32 numParams;
    Int32 numInputs;
    Int32 numOutputs;
    Int32 flags;
    IntPtr resvd1;  // belongs to the host
    IntPtr resvd2;
    Int32 initialDelay;
    Int32 realQualities;
    Int32 offQualities;
    float ioRatio;
    void* object;  // the plug-in's own object
    void* user;
    Int32 uniqueID;
    Int32 version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

enum EffectFlags : Int32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Requests from the host to the plug-in (dispatcher opcodes).
enum EffectOpcode : Int32 {
    effOpen = 0,
    effClose,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effGetVu,
    effSetSampleRate,  // 10
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditOpen,
    effEditClose,
    effEditDraw,
    effEditMouse,
    effEditKey,
    effEditIdle,
    effEditTop,  // 20
    effEditSleep,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,
    effCanBeAutomated,
    effString2Parameter,
    effGetNumProgramCategories,
    effGetProgramNameIndexed,
    effCopyProgram,  // 30
    effConnectInput,
    effConnectOutput,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effGetCurrentPosition,
    effGetDestinationBuffer,
    effOfflineNotify,
    effOfflinePrepare,
    effOfflineRun,  // 40
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBlockSizeAndSampleRate,
    effSetBypass,
    effGetEffectName,
    effGetErrorText,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,  // 50
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetIcon,
    effSetViewPosition,
    effGetParameterProperties,
    effKeysRequired,
    effGetVstVersion,
    effEditKeyDown,
    effEditKeyUp,  // 60
    effSetEditKnobMode,
    effGetMidiProgramName,
    effGetCurrentMidiProgram,
    effGetMidiProgramCategory,
    effHasMidiProgramsChanged,
    effGetMidiKeyName,
    effBeginSetProgram,
    effEndSetProgram,
    effGetSpeakerArrangement,
    effShellGetNextPlugin,  // 70
    effStartProcess,
    effStopProcess,
    effSetTotalSampleToProcess,
    effSetPanLaw,
    effBeginLoadBank,
    effBeginLoadProgram,
    effSetProcessPrecision,
    effGetNumMidiInputChannels,
    effGetNumMidiOutputChannels,  // 79
};
static_assert(effGetNumMidiOutputChannels == 79);

// Requests from the plug-in to the host (host callback opcodes).
enum HostOpcode : Int32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

constexpr int kMaxProgNameLen = 24;
constexpr int kMaxParamStrLen = 8;
constexpr int kMaxVendorStrLen = 64;
constexpr int kMaxProductStrLen = 64;
constexpr int kMaxEffectNameLen = 32;
constexpr int kMaxLabelLen = 64;
constexpr int kMaxShortLabelLen = 8;

constexpr Int32 kPlugCategSynth = 2;

// Events.
enum EventType : Int32 { kVstMidiType = 1, kVstSysExType = 6 };
enum MidiEventFlags : Int32 { kVstMidiEventIsRealtime = 1 };

struct VstEvent {
    Int32 type;
    Int32 byteSize;
    Int32 deltaFrames;
    Int32 flags;
    char data[16];
};

struct VstMidiEvent {
    Int32 type;
    Int32 byteSize;
    Int32 deltaFrames;
    Int32 flags;
    Int32 noteLength;
    Int32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    Int32 type;
    Int32 byteSize;
    Int32 deltaFrames;
    Int32 flags;
    Int32 dumpBytes;
    IntPtr resvd1;
    char* sysexDump;
    IntPtr resvd2;
};

// A list of events; hosts allocate more than two entries behind the header.
struct VstEvents {
    Int32 numEvents;
    IntPtr reserved;
    VstEvent* events[2];
};

// Time information.
enum TimeInfoFlags : Int32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15,
};

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    Int32 timeSigNumerator;
    Int32 timeSigDenominator;
    Int32 smpteOffset;
    Int32 smpteFrameRate;
    Int32 samplesToNextClock;
    Int32 flags;
};

struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

enum PinFlags : Int32 { kVstPinIsActive = 1, kVstPinIsStereo = 1 << 1, kVstPinUseSpeaker = 1 << 2 };

struct VstPinProperties {
    char label[kMaxLabelLen];
    Int32 flags;
    Int32 arrangementType;
    char shortLabel[kMaxShortLabelLen];
    char future[48];
};

struct MidiProgramName {
    Int32 thisProgramIndex;
    char name[kMaxLabelLen];
    char midiProgram;
    char midiBankMsb;
    char midiBankLsb;
    char reserved;
    Int32 parentCategoryIndex;
    Int32 flags;
};

// Layout checks: the same record must be seen by any VST 2.4 host.
constexpr std::size_t P = sizeof(void*);
static_assert(P == 8 || P == 4);
static_assert(offsetof(AEffect, dispatcher) == P);
static_assert(offsetof(AEffect, numPrograms) == 5 * P);
static_assert(offsetof(AEffect, flags) == 5 * P + 16);
static_assert(offsetof(AEffect, resvd1) == (P == 8 ? 64 : 40));
static_assert(offsetof(AEffect, initialDelay) == (P == 8 ? 80 : 48));
static_assert(offsetof(AEffect, ioRatio) == (P == 8 ? 92 : 60));
static_assert(offsetof(AEffect, object) == (P == 8 ? 96 : 64));
static_assert(offsetof(AEffect, uniqueID) == (P == 8 ? 112 : 72));
static_assert(offsetof(AEffect, processReplacing) == (P == 8 ? 120 : 80));
static_assert(offsetof(AEffect, future) == (P == 8 ? 136 : 88));
static_assert(sizeof(AEffect) == (P == 8 ? 192 : 144));
static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(sizeof(VstMidiSysexEvent) == (P == 8 ? 48 : 32));
static_assert(offsetof(VstEvents, events) == 2 * P);
static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(sizeof(ERect) == 8);
static_assert(sizeof(VstPinProperties) == 128);
static_assert(sizeof(MidiProgramName) == 80);
static_assert(offsetof(MidiProgramName, parentCategoryIndex) == 72);

}  // namespace vst
