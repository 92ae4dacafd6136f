// Any bytes as a phoneme data file: loading reads only the given bytes, and
// whatever it takes in is written back and read again to the same bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "voice/phoneme.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    auto model = std::make_unique<CPhoneme>();
    if (!model->loadBytes(data, size)) return 0;
    std::vector<uint8_t> first(CPhoneme::kFileSize), second(CPhoneme::kFileSize);
    model->saveBytes(first.data());
    auto again = std::make_unique<CPhoneme>();
    if (!again->loadBytes(first.data(), first.size())) __builtin_trap();
    again->saveBytes(second.data());
    if (first != second) __builtin_trap();
    for (int slot = 0; slot < kPhonemeSlots; ++slot)
        if (model->slotClass(slot) < kClassNone || model->slotClass(slot) > kClassNasal) __builtin_trap();
    return 0;
}
