// Any bytes as the text form of a phoneme set: the parser either names a
// line or builds a set whose text reads back to the same data file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "voice/phoneme.h"
#include "voice/phoneme_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::vector<char> input(data, data + size);
    auto model = std::make_unique<CPhoneme>();
    std::string error;
    if (!CPhonemeText::read(input.data(), input.size(), "fuzz.txt", *model, error)) {
        if (error.compare(0, 9, "fuzz.txt:") != 0) __builtin_trap();
        return 0;
    }
    std::string text = CPhonemeText::write(*model);
    auto again = std::make_unique<CPhoneme>();
    if (!CPhonemeText::read(text.data(), text.size(), "again.txt", *again, error)) __builtin_trap();
    std::vector<uint8_t> a(CPhoneme::kFileSize), b(CPhoneme::kFileSize);
    model->saveBytes(a.data());
    again->saveBytes(b.data());
    if (a != b) __builtin_trap();
    return 0;
}
