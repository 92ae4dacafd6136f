// Any bytes as a stored score: reading never runs past the input, and what
// was read writes and reads back the same.
#include <cstdint>
#include <vector>

#include "files/cu_file.h"
#include "score/sq_event_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CUFile in;
    in.attachMemory(static_cast<const void*>(data + 1), size - 1);
    in.version = 1 + data[0] % 3;
    CSQEventList list;
    if (!list.read(in)) {
        if (list.head()) __builtin_trap();  // a failed read leaves the list alone
        return 0;
    }
    std::vector<std::uint8_t> bytes(list.storedSize());
    CUFile out;
    out.attachMemory(bytes.data(), bytes.size());
    list.write(out);
    if (out.count() != bytes.size()) __builtin_trap();
    CUFile again;
    again.attachMemory(static_cast<const void*>(bytes.data()), bytes.size());
    CSQEventList copy;
    if (!copy.read(again) || copy.noteCount() != list.noteCount()) __builtin_trap();
    return 0;
}
