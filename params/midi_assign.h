// MIDI controller assignment: which parameter address each of the 128
// control change numbers moves. The table is shared by every instance in
// the process; each MIDI object keeps its own learn state. The table lives
// in "QSMIDI.qsm" in the installation folder: 128 groups then 128 entries,
// little-endian signed 16-bit, controller 0 first, no header.
#pragma once

#include <cstdint>

class CPIBase;

class CMIDIAssign {
public:
    static constexpr int kControllers = 128;
    static constexpr int kFileSize = 512;
    static constexpr int kVoiceEntryCount = 512;

    // ---- the process-wide table ----
    static void setDefaults();
    static int groupOf(int controller);  // -1 when unassigned or out of range
    static int entryOf(int controller);
    // Every controller assigned to (group, entry) becomes unassigned.
    static void forget(int group, int entry);
    // The lowest controller assigned to (group, entry), or -1.
    static int find(int group, int entry);
    // controller 0..127: forget, then assign; -1: forget only; other numbers
    // are refused (false, nothing changes).
    static bool assign(int group, int entry, int controller);

    // The file's bytes; a short file leaves the unread part of the table as
    // it was, entries outside 0..511 are dropped (unassigned).
    static void readBytes(const uint8_t* data, int size);
    static void writeBytes(uint8_t out[kFileSize]);
    static bool load(const char* path);
    static bool save(const char* path);

    // ---- per MIDI object ----
    // The next control change assigns its controller to (group, entry).
    void learn(int group, int entry);
    bool isLearning() const { return learnPending; }
    // A control change of controller n with value v received by part p:
    // finishes a pending learn, then sets an assigned voice entry of p to
    // v / 127 through the parameter interface. Returns the voice entry
    // moved, or -1.
    int apply(int part, int controller, int value, CPIBase* parameters);

private:
    bool learnPending = false;
    int learnGroup = -1, learnEntry = 0;
};
