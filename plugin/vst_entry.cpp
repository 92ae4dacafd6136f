// The exported entry point, under both names hosts look for.
#include <new>

#include "plugin/vst_synth.h"

#define LYRENA_EXPORT extern "C" __attribute__((visibility("default")))

LYRENA_EXPORT vst::AEffect* VSTPluginMain(vst::HostCallback host) {
    if (!host || host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0) == 0) return nullptr;
    CVSTSynth* synth = new (std::nothrow) CVSTSynth(host);
    return synth ? synth->getAeffect() : nullptr;
}

// Older hosts look for "main"; C++ reserves that name, so bind the symbol.
LYRENA_EXPORT vst::AEffect* vstMainAlias(vst::HostCallback host) __asm__("main");
vst::AEffect* vstMainAlias(vst::HostCallback host) { return VSTPluginMain(host); }
