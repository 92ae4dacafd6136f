// Host preset and bank chunks with any damage: a valid chunk with bytes
// changed and cut at any length. Reading stays within the given size, and
// a chunk that is refused changes nothing the host can see.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "plugin/vst_synth.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

IntPtr fuzzHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

std::vector<std::uint8_t> chunkOf(CVSTSynth& synth, bool preset) {
    void* data = nullptr;
    Int32 size = synth.getChunk(&data, preset);
    return std::vector<std::uint8_t>(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CVSTSynth* synth = new CVSTSynth(fuzzHost);
    static std::vector<std::uint8_t> valid[2];
    if (valid[0].empty()) {
        synth->getSequencer()->lists[0].insertNote(0, 0, 60);
        synth->getSequencer()->lists[0].insertNote(4000, 4000, 62);
        valid[0] = chunkOf(*synth, false);
        valid[1] = chunkOf(*synth, true);
    }
    if (size < 3) return 0;
    bool preset = data[0] & 1;
    const std::vector<std::uint8_t>& base = valid[preset];
    // Length, then (offset, value) patches.
    size_t length = (size_t(data[1]) << 8 | data[2]) * (base.size() + 64) / 65535;
    std::vector<std::uint8_t> chunk(base.begin(), base.begin() + long(std::min(length, base.size())));
    chunk.resize(length, 0);
    for (size_t i = 3; i + 3 < size && !chunk.empty(); i += 4) {
        size_t at = (size_t(data[i]) << 16 | size_t(data[i + 1]) << 8 | data[i + 2]) % chunk.size();
        chunk[at] = data[i + 3];
    }

    std::vector<std::uint8_t> before = chunkOf(*synth, preset);
    Int32 taken = synth->setChunk(chunk.empty() ? nullptr : chunk.data(), Int32(chunk.size()), preset);
    if (taken == 0 && chunkOf(*synth, preset) != before) __builtin_trap();
    return 0;
}
