#include "host/vst_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

using namespace vst;

namespace {

thread_local VstHost* loadingHost = nullptr;  // the host whose plug-in is being created

void copyOut(void* ptr, const std::string& s, size_t size) {
    if (!ptr) return;
    std::snprintf(static_cast<char*>(ptr), size, "%s", s.c_str());
}

}  // namespace

VstHost::~VstHost() { unload(); }

IntPtr VstHost::callback(AEffect* effect, Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    VstHost* host = (effect && effect->resvd1) ? reinterpret_cast<VstHost*>(effect->resvd1) : loadingHost;
    if (!host) return opcode == audioMasterVersion ? 2400 : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

IntPtr VstHost::answer(Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    switch (opcode) {
    case audioMasterVersion: return version;
    case audioMasterCurrentId: return plugin ? plugin->uniqueID : 0;
    case audioMasterGetVendorString: copyOut(ptr, vendor, kMaxVendorStrLen); return 1;
    case audioMasterGetProductString: copyOut(ptr, product, kMaxProductStrLen); return 1;
    case audioMasterGetVendorVersion: return 1;
    case audioMasterWantMidi: ++wantMidiCalls; return 1;
    case audioMasterGetTime:
        ++timeRequests;
        lastTimeFilter = Int32(value);
        return provideTime ? reinterpret_cast<IntPtr>(&timeInfo) : 0;
    case audioMasterAutomate: automated.emplace_back(index, opt); return 0;
    case audioMasterUpdateDisplay: ++updateDisplayCalls; return 1;
    case audioMasterGetSampleRate: return IntPtr(timeInfo.sampleRate);
    case audioMasterGetBlockSize: return maxFrames;
    case audioMasterGetCurrentProcessLevel: return 0;
    case audioMasterCanDo: {
        const char* what = static_cast<const char*>(ptr);
        if (!what) return 0;
        for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "sizeWindow"})
            if (std::strcmp(what, yes) == 0) return 1;
        return 0;
    }
    default: return 0;
    }
}

bool VstHost::load(const std::string& path, std::string& error) {
    unload();
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    auto entry = reinterpret_cast<PluginEntry>(dlsym(library, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<PluginEntry>(dlsym(library, "main"));
    if (!entry) {
        error = path + " is not a VST 2.4 plug-in (no VSTPluginMain or main entry point)";
        unload();
        return false;
    }
    loadingHost = this;
    AEffect* created = entry(&VstHost::callback);
    loadingHost = nullptr;
    if (!created) {
        error = path + ": the plug-in's entry point returned no plug-in";
        unload();
        return false;
    }
    if (created->magic != kEffectMagic) {
        error = path + ": the entry point returned something that is not a VST 2.4 plug-in";
        unload();
        return false;
    }
    plugin = created;
    plugin->resvd1 = reinterpret_cast<IntPtr>(this);
    timeInfo.sampleRate = 44100;
    timeInfo.tempo = 120;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstBarsValid;
    return true;
}

void VstHost::unload() {
    if (plugin) {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
        plugin = nullptr;
    }
    if (library) {
        dlclose(library);
        library = nullptr;
    }
}

IntPtr VstHost::dispatch(Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    return plugin ? plugin->dispatcher(plugin, opcode, index, value, ptr, opt) : 0;
}

std::string VstHost::stringOf(Int32 opcode, Int32 index) {
    char text[256] = {};
    dispatch(opcode, index, 0, text);
    text[sizeof text - 1] = 0;
    return text;
}

void VstHost::start(float sampleRate, int maxBlock) {
    if (!plugin) return;
    maxFrames = std::max(maxBlock, 1);
    silence.assign(size_t(maxFrames), 0.0f);
    inputs.assign(size_t(std::max(plugin->numInputs, 0)), silence.data());
    int extraOutputs = std::max(plugin->numOutputs - 2, 0);
    spareOutputs.assign(size_t(extraOutputs), std::vector<float>(size_t(maxFrames)));
    timeInfo.sampleRate = sampleRate;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, maxFrames);
    dispatch(effMainsChanged, 0, 1);
}

void VstHost::sendMidi(const std::vector<MidiMessage>& messages) {
    if (!plugin || messages.empty()) return;
    midiEvents.assign(messages.size(), VstMidiEvent{});
    for (size_t i = 0; i < messages.size(); ++i) {
        VstMidiEvent& e = midiEvents[i];
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = messages[i].deltaFrames;
        std::memcpy(e.midiData, messages[i].bytes, 3);
    }
    // Header (count, reserved) followed by one pointer per event.
    eventBlock.assign(2 + messages.size(), 0);
    auto* list = reinterpret_cast<VstEvents*>(eventBlock.data());
    list->numEvents = Int32(messages.size());
    for (size_t i = 0; i < messages.size(); ++i) list->events[i] = reinterpret_cast<VstEvent*>(&midiEvents[i]);
    dispatch(effProcessEvents, 0, 0, list);
}

void VstHost::process(float* left, float* right, int frames) {
    if (!plugin || frames <= 0) return;
    if (frames > maxFrames) {  // grow outside the plug-in's processing call
        maxFrames = frames;
        silence.assign(size_t(frames), 0.0f);
        for (float*& in : inputs) in = silence.data();
        for (auto& out : spareOutputs) out.assign(size_t(frames), 0.0f);
    }
    std::vector<float*> outs{left, right};
    for (auto& out : spareOutputs) outs.push_back(out.data());
    if (plugin->processReplacing)
        plugin->processReplacing(plugin, inputs.empty() ? nullptr : inputs.data(), outs.data(), frames);
}

void VstHost::advance(int frames) {
    timeInfo.samplePos += frames;
    if ((timeInfo.flags & kVstTransportPlaying) && timeInfo.sampleRate > 0)
        timeInfo.ppqPos += frames * timeInfo.tempo / (60.0 * timeInfo.sampleRate);
    timeInfo.flags &= ~kVstTransportChanged;
}
