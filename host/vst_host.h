// A minimal VST 2.4 host: loads a plug-in binary, answers its requests,
// drives its time information and feeds it MIDI and processing calls.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/vst_abi.h"

struct MidiMessage {
    int deltaFrames = 0;
    std::uint8_t bytes[3] = {};
};

class VstHost {
public:
    VstHost() = default;
    ~VstHost();
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    // Loads the binary and creates the plug-in; on failure error says why.
    bool load(const std::string& path, std::string& error);
    // effClose and unload; safe to call twice.
    void unload();

    vst::AEffect* effect() const { return plugin; }
    vst::IntPtr dispatch(vst::Int32 opcode, vst::Int32 index = 0, vst::IntPtr value = 0, void* ptr = nullptr,
                         float opt = 0);
    std::string stringOf(vst::Int32 opcode, vst::Int32 index = 0);

    // effOpen, sample rate, block size, then resume.
    void start(float sampleRate, int maxBlock);
    void sendMidi(const std::vector<MidiMessage>& messages);
    // processReplacing into left/right (inputs, if any, are silent).
    void process(float* left, float* right, int frames);
    // Moves the song position on by frames while the transport plays and
    // clears the transport-changed flag, as after a host block.
    void advance(int frames);

    // What the host answers.
    std::string vendor = "LYRENA host";
    std::string product = "lyrena";
    vst::Int32 version = 2400;
    bool provideTime = true;
    vst::VstTimeInfo timeInfo{};

    // What the plug-in asked.
    int wantMidiCalls = 0;
    int updateDisplayCalls = 0;
    int timeRequests = 0;
    vst::Int32 lastTimeFilter = 0;
    std::vector<std::pair<int, float>> automated;

    static vst::IntPtr callback(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                                void* ptr, float opt);

private:
    vst::IntPtr answer(vst::Int32 opcode, vst::Int32 index, vst::IntPtr value, void* ptr, float opt);

    void* library = nullptr;
    vst::AEffect* plugin = nullptr;
    int maxFrames = 0;
    std::vector<float> silence;
    std::vector<float*> inputs;
    std::vector<std::vector<float>> spareOutputs;
    std::vector<vst::VstMidiEvent> midiEvents;
    std::vector<std::uintptr_t> eventBlock;  // VstEvents header plus its pointer array
};
