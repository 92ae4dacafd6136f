// The MIDI queue: host events stamped with the engine block they are due
// in, read by two independent readers (the main dispatch and the display
// pass that lights the activity indicators and frees voices early).
#pragma once

#include <cstdint>

struct CMIDIQueueEntry {
    int message = 0;      // status + data1 * 256 + data2 * 65536
    uint32_t block = 0;   // engine block it is due in
    int milliseconds = 0; // time of that block
    int extra = -1;
    uint8_t flag = 0, legato = 0;
};

class CMIDIQueue {
public:
    static constexpr int kEntries = 256;

    // False (entry dropped) when the ring is full: an unread entry is never
    // overwritten, the newest one is lost instead.
    bool enqueue(uint32_t block, int message, int extra, int flag, int legato);

    // Entries due at block b (block number not later than b).
    const CMIDIQueueEntry* nextDue(uint32_t b) const { return due(mainRead, b); }
    void consume() { mainRead = (mainRead + 1) % kEntries; }
    const CMIDIQueueEntry* nextDisplayDue(uint32_t b) const { return due(displayRead, b); }
    void consumeDisplay() { displayRead = (displayRead + 1) % kEntries; }

    bool empty() const { return mainRead == writeIndex; }
    int pending() const { return (writeIndex - mainRead + kEntries) % kEntries; }
    void clear() { mainRead = displayRead = writeIndex; }

private:
    const CMIDIQueueEntry* due(int index, uint32_t b) const {
        if (index == writeIndex) return nullptr;
        const CMIDIQueueEntry& e = entries[index];
        return int32_t(e.block - b) <= 0 ? &e : nullptr;  // wrap-safe comparison of block numbers
    }

    CMIDIQueueEntry entries[kEntries];
    int writeIndex = 0, mainRead = 0, displayRead = 0;
};
