// lyrena info PLUGIN.so: what a host learns about a plug-in.
#include <cstdio>
#include <string>

#include "host/commands.h"
#include "host/vst_host.h"

using namespace vst;

namespace {

std::string idText(Int32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = char((std::uint32_t(id) >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

std::string flagText(Int32 flags) {
    std::string s;
    auto add = [&](Int32 bit, const char* name) {
        if (!(flags & bit)) return;
        if (!s.empty()) s += " / ";
        s += name;
    };
    add(effFlagsHasEditor, "has editor");
    add(effFlagsCanReplacing, "can replace");
    add(effFlagsCanDoubleReplacing, "can replace double");
    add(effFlagsProgramChunks, "program chunks");
    add(effFlagsIsSynth, "is synth");
    add(effFlagsNoSoundInStop, "no sound in stop");
    return s.empty() ? "none" : s;
}

void printPin(const char* kind, int index, const VstPinProperties& pin) {
    std::printf("  %s %d: \"%s\"%s%s\n", kind, index, pin.label, (pin.flags & kVstPinIsActive) ? " active" : "",
                (pin.flags & kVstPinIsStereo) ? " stereo" : "");
}

}  // namespace

int cmdInfo(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lyrena info PLUGIN.so\n");
        return 2;
    }
    VstHost host;
    std::string error;
    if (!host.load(argv[1], error)) {
        std::fprintf(stderr, "lyrena: %s\n", error.c_str());
        return 1;
    }
    host.start(44100, 512);
    AEffect* e = host.effect();

    std::printf("name:           %s\n", host.stringOf(effGetEffectName).c_str());
    std::printf("vendor:         %s\n", host.stringOf(effGetVendorString).c_str());
    std::printf("product:        %s\n", host.stringOf(effGetProductString).c_str());
    std::printf("vendor version: %ld\n", long(host.dispatch(effGetVendorVersion)));
    std::printf("unique ID:      %s (0x%08X)\n", idText(e->uniqueID).c_str(), unsigned(e->uniqueID));
    std::printf("VST version:    %ld\n", long(host.dispatch(effGetVstVersion)));
    std::printf("category:       %ld\n", long(host.dispatch(effGetPlugCategory)));
    std::printf("flags:          %s\n", flagText(e->flags).c_str());
    std::printf("inputs:         %d\n", e->numInputs);
    std::printf("outputs:        %d\n", e->numOutputs);

    std::printf("programs:       %d\n", e->numPrograms);
    for (int i = 0; i < e->numPrograms; ++i) {
        char name[256] = {};
        host.dispatch(effGetProgramNameIndexed, i, 0, name);
        std::printf("  %3d %s\n", i, name);
    }

    std::printf("parameters:     %d\n", e->numParams);
    for (int i = 0; i < e->numParams; ++i) {
        std::string name = host.stringOf(effGetParamName, i);
        std::string display = host.stringOf(effGetParamDisplay, i);
        std::string label = host.stringOf(effGetParamLabel, i);
        std::printf("  %3d %-16s %s%s%s\n", i, name.c_str(), display.c_str(), label.empty() ? "" : " ",
                    label.c_str());
    }

    std::printf("canDo:\n");
    for (const char* what : {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
                             "receiveVstTimeInfo", "offline", "midiProgramNames", "bypass"}) {
        char text[64];
        std::snprintf(text, sizeof text, "%s", what);
        std::printf("  %-20s %ld\n", what, long(host.dispatch(effCanDo, 0, 0, text)));
    }

    std::printf("pins:\n");
    for (int i = 0; i < e->numInputs; ++i) {
        VstPinProperties pin{};
        if (host.dispatch(effGetInputProperties, i, 0, &pin)) printPin("input", i, pin);
    }
    for (int i = 0; i < e->numOutputs; ++i) {
        VstPinProperties pin{};
        if (host.dispatch(effGetOutputProperties, i, 0, &pin)) printPin("output", i, pin);
    }
    return 0;
}
