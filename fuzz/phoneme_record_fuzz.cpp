// Any bytes as a model record in a memory stream: the reader stays inside
// the block, fails cleanly when it ends early, and a record it accepts
// writes back to the same bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "files/cu_file.h"
#include "voice/phoneme.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so ASan sees any read past it.
    std::vector<uint8_t> input(data, data + size);
    CUFile in;
    in.attachMemory(static_cast<const void*>(input.data()), input.size());
    auto model = std::make_unique<CPhoneme>();
    if (!model->readRecord(in)) {
        if (std::strcmp(model->name, "Factory phoneme model") != 0) __builtin_trap();
        return 0;
    }
    if (std::strlen(model->name) > CPhoneme::kNameLen) __builtin_trap();
    std::vector<uint8_t> out(model->recordSize());
    CUFile writer;
    writer.attachMemory(out.data(), out.size());
    model->writeRecord(writer);
    if (writer.count() != out.size()) __builtin_trap();
    return 0;
}
