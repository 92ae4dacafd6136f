#include "score/midi_queue.h"

#include "files/global_data.h"

bool CMIDIQueue::enqueue(uint32_t block, int message, int extra, int flag, int legato) {
    int next = (writeIndex + 1) % kEntries;
    if (next == mainRead) return false;
    CMIDIQueueEntry& e = entries[writeIndex];
    e.message = message;
    e.block = block;
    // Wraps like the block counter after about 12 days of blocks at 44.1 kHz.
    e.milliseconds = int(uint32_t(uint64_t(double(block) * double(globalData().blockMilliseconds))));
    e.extra = extra;
    e.flag = uint8_t(flag);
    e.legato = uint8_t(legato);
    writeIndex = next;
    return true;
}
