// Any sequence of host requests with any arguments: the plug-in keeps
// working and never touches memory it should not.
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/vst_synth.h"

using namespace vst;

namespace {

IntPtr fuzzHost(AEffect*, Int32 opcode, Int32, IntPtr, void* ptr, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetVendorString) std::strcpy(static_cast<char*>(ptr), "Ableton");
    return 0;
}

struct Reader {
    const std::uint8_t* data;
    size_t size;
    template <typename T>
    T take() {
        T v{};
        size_t n = size < sizeof v ? size : sizeof v;
        std::memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CVSTSynth* synth = new CVSTSynth(fuzzHost);
    AEffect* e = synth->getAeffect();
    Reader in{data, size};
    while (in.size >= 8) {
        Int32 opcode = in.take<std::uint8_t>() % 81;
        std::uint8_t kind = in.take<std::uint8_t>();
        Int32 index = in.take<std::int16_t>();
        IntPtr value = in.take<std::int32_t>();
        float opt = in.take<float>();
        if (opcode == effClose) continue;  // the host owns the object until it closes it

        alignas(16) char buffer[2048] = {};
        size_t n = in.size < sizeof buffer ? in.size : sizeof buffer;
        std::memcpy(buffer, in.data, n);
        buffer[sizeof buffer - 1] = 0;

        // Requests whose pointer must describe real memory get a well-formed one.
        VstMidiEvent midi[4] = {};
        struct {
            Int32 numEvents;
            IntPtr reserved;
            VstEvent* events[4];
        } list{};
        void* ptr = (kind & 1) ? buffer : nullptr;
        if (opcode == effProcessEvents && ptr) {
            list.numEvents = kind % 5;
            for (int i = 0; i < 4; ++i) {
                midi[i].type = kVstMidiType;
                midi[i].byteSize = sizeof(VstMidiEvent);
                midi[i].deltaFrames = index + i;
                std::memcpy(midi[i].midiData, buffer + 4 * i, 3);
                list.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
            }
            ptr = &list;
        }
        if (opcode == effSetChunk) value = ptr ? IntPtr(n) : 0;
        e->dispatcher(e, opcode, index, value, ptr, opt);

        if (kind & 2) e->setParameter(e, index, opt);
        if (kind & 4) (void)e->getParameter(e, index);
        if (kind & 8) {
            static float left[1200], right[1200];
            float* outs[] = {left, right};
            e->processReplacing(e, nullptr, outs, Int32(std::uint16_t(index) % 1200));
        }
        in.data += n / 2;  // use some bytes as arguments, some as a buffer
        in.size -= n / 2;
    }
    return 0;
}
