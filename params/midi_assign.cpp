#include "params/midi_assign.h"

#include <cstdio>

#include "params/pi_base.h"

namespace {

struct Table {
    int16_t group[CMIDIAssign::kControllers];
    int16_t entry[CMIDIAssign::kControllers];
};

Table makeDefaults() {
    Table t{};
    for (int c = 0; c < CMIDIAssign::kControllers; ++c) t.group[c] = -1, t.entry[c] = 0;
    const int pairs[][2] = {{5, 27},  {11, 1},  {12, 16}, {13, 2},  {14, 3},  {15, 4},  {16, 5},
                            {17, 6},  {18, 7},  {25, 8},  {26, 9},  {27, 10}, {29, 14}, {30, 62},
                            {44, 65}, {45, 66}, {46, 67}, {47, 68}, {52, 33}};
    for (const auto& p : pairs) t.group[p[0]] = 0, t.entry[p[0]] = int16_t(p[1]);
    // These move the undefined voice entry 0: nothing audible, but they are
    // taken, as the factory table has them.
    const int zero[] = {19, 20, 21, 22, 23, 24, 28, 53, 54, 55};
    for (int c : zero) t.group[c] = 0, t.entry[c] = 0;
    return t;
}

Table table = makeDefaults();

bool validController(int c) { return c >= 0 && c < CMIDIAssign::kControllers; }

}  // namespace

void CMIDIAssign::setDefaults() { table = makeDefaults(); }

int CMIDIAssign::groupOf(int c) { return validController(c) ? table.group[c] : -1; }
int CMIDIAssign::entryOf(int c) { return validController(c) ? table.entry[c] : 0; }

void CMIDIAssign::forget(int group, int entry) {
    for (int c = 0; c < kControllers; ++c)
        if (table.group[c] == group && table.entry[c] == entry) table.group[c] = -1;
}

int CMIDIAssign::find(int group, int entry) {
    if (group < 0) return -1;
    for (int c = 0; c < kControllers; ++c)
        if (table.group[c] == group && table.entry[c] == entry) return c;
    return -1;
}

bool CMIDIAssign::assign(int group, int entry, int controller) {
    if (controller != -1 && !validController(controller)) return false;
    if (group < -1 || group > 32767 || entry < -32768 || entry > 32767) return false;
    forget(group, entry);
    if (controller >= 0) {
        table.group[controller] = int16_t(group);
        table.entry[controller] = int16_t(entry);
    }
    return true;
}

void CMIDIAssign::readBytes(const uint8_t* data, int size) {
    if (!data || size <= 0) return;
    auto value = [&](int offset) { return int16_t(uint16_t(data[offset] | (data[offset + 1] << 8))); };
    for (int c = 0; c < kControllers; ++c) {
        if (2 * c + 1 < size) table.group[c] = value(2 * c);
        int e = 256 + 2 * c;
        if (e + 1 < size) table.entry[c] = value(e);
    }
    for (int c = 0; c < kControllers; ++c)
        if (table.group[c] < -1 || table.entry[c] < 0 || table.entry[c] >= kVoiceEntryCount) table.group[c] = -1;
}

void CMIDIAssign::writeBytes(uint8_t out[kFileSize]) {
    for (int c = 0; c < kControllers; ++c) {
        uint16_t g = uint16_t(table.group[c]), e = uint16_t(table.entry[c]);
        out[2 * c] = uint8_t(g & 0xFF);
        out[2 * c + 1] = uint8_t(g >> 8);
        out[256 + 2 * c] = uint8_t(e & 0xFF);
        out[256 + 2 * c + 1] = uint8_t(e >> 8);
    }
}

bool CMIDIAssign::load(const char* path) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    uint8_t data[kFileSize];
    size_t n = std::fread(data, 1, sizeof data, f);
    std::fclose(f);
    readBytes(data, int(n));
    return n > 0;
}

bool CMIDIAssign::save(const char* path) {
    uint8_t data[kFileSize];
    writeBytes(data);
    std::FILE* f = path ? std::fopen(path, "wb") : nullptr;
    if (!f) return false;
    bool ok = std::fwrite(data, 1, sizeof data, f) == sizeof data;
    return std::fclose(f) == 0 && ok;
}

void CMIDIAssign::learn(int group, int entry) {
    learnGroup = group;
    learnEntry = entry;
    learnPending = true;
}

int CMIDIAssign::apply(int part, int controller, int value, CPIBase* parameters) {
    if (!validController(controller)) return -1;
    if (learnPending) {
        learnPending = false;
        if (learnGroup >= 0 && learnGroup <= 32767 && learnEntry >= -32768 && learnEntry <= 32767) {
            table.group[controller] = int16_t(learnGroup);
            table.entry[controller] = int16_t(learnEntry);
        }
    }
    if (table.group[controller] != 0) return -1;  // other groups move nothing
    int e = table.entry[controller];
    if (e < 0 || e >= kVoiceEntryCount) return -1;
    if (parameters && part >= 0 && part < 8) {
        int v = value < 0 ? 0 : (value > 127 ? 127 : value);
        parameters->setVoiceValue(part, e, float(v) / 127, false);
    }
    return e;
}
