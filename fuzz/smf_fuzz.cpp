// Any bytes as a MIDI file: the reader never runs past the input or loops
// without consuming it, and the import keeps a well-formed part (starts and
// ends alternate, in time order) whatever it was given.
#include <cstdint>
#include <cstring>

#include "score/midi_import.h"
#include "score/sm_file.h"
#include "score/sq_event.h"
#include "score/sq_event_list.h"
#include "voice/dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CDictionary* dict = dictionary();
    CSMRead reader;
    reader.logging = false;
    reader.mergeSysex = size % 2 == 0;
    reader.read(data, size);

    CSQEventList list;
    SMImportOptions options;
    options.log = false;
    options.dictionary = dict;
    options.channel = size ? data[size - 1] % 17 : kImportChannelAuto;  // 16: automatic
    SMImportResult result;
    bool midi = importMidiBytes(data, size, list, options, result);
    if (midi != (size >= 4 && std::memcmp(data, "MThd", 4) == 0)) __builtin_trap();
    if (list.noteCount() != result.notes) __builtin_trap();
    float last = 0;
    bool wantStart = true;
    for (const CSQEvent* e = list.head(); e; e = e->next) {
        if (e->isEnd() == wantStart || e->start < last) __builtin_trap();
        if (!e->isEnd() && !e->timingValid) __builtin_trap();
        last = e->start;
        wantStart = !wantStart;
    }
    if (!wantStart) __builtin_trap();  // a note without its end
    list.releaseRetired(true);
    return 0;
}
