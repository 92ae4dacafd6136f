// Any bytes as a host's preset or bank chunk: read within the given size,
// and a chunk that is refused changes nothing the host can see.
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/vst_synth.h"

using namespace vst;

namespace {
IntPtr fuzzHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CVSTSynth* synth = new CVSTSynth(fuzzHost);
    if (size < 1) return 0;
    bool preset = data[0] & 1;
    // An exact-size copy, so reading one byte too far is seen.
    std::vector<std::uint8_t> chunk(data + 1, data + size);
    void* before = nullptr;
    Int32 beforeSize = synth->getChunk(&before, preset);
    std::vector<std::uint8_t> old(static_cast<std::uint8_t*>(before), static_cast<std::uint8_t*>(before) + beforeSize);
    Int32 taken = synth->setChunk(chunk.empty() ? nullptr : chunk.data(), Int32(chunk.size()), preset);
    if (taken == 0) {
        void* after = nullptr;
        Int32 afterSize = synth->getChunk(&after, preset);
        if (afterSize != beforeSize || std::memcmp(after, old.data(), size_t(afterSize)) != 0) __builtin_trap();
    }
    return 0;
}
