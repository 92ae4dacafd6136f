#include "score/sequencer.h"

#include <cmath>

#include "files/cu_file.h"
#include "files/global_data.h"

void CSequencer::write(CUFile& f) const {
    f.writeInt(globalData().sampleRate);
    f.writeFloat(tempo);
    f.writeFloat(swing);
    for (int i = 0; i < 6; ++i) f.writeFloat(0);
    f.writeByte(loopEnabled);
    f.writeByte(hostSync);
    f.writeByte(repeat);
    f.writeByte(0);
    for (int v : {loopStart, loopEnd, timeSigNumerator, timeSigDenominator, quantizeGrid, quantizeValue}) f.writeInt(v);
    for (int i = 0; i < 4; ++i) f.writeInt(0);
    for (const CSQEventList& l : lists) l.write(f);
}

uint32_t CSequencer::storedSize() const {
    uint32_t size = 4 + 4 + 4 + 24 + 4 + 24 + 16;
    for (const CSQEventList& l : lists) size += l.storedSize();
    return size;
}

bool CSequencer::read(CUFile& f) {
    // The stored rate is the one the song was saved at; the host's rate stays.
    f.readInt();
    float t = f.readFloat();
    f.readFloat();  // swing: reset on reading
    for (int i = 0; i < 6; ++i) f.readFloat();
    uint8_t flags[4];
    for (uint8_t& b : flags) b = f.readByte();
    int v[6];
    for (int& x : v) x = f.readInt();
    for (int i = 0; i < 4; ++i) f.readInt();
    if (f.readFailed() || f.status() != CUFile::kStatusReady) return false;

    if (std::isfinite(t) && t >= 10 && t <= 1000) tempo = t;
    swing = 0;
    loopEnabled = flags[0] != 0;
    hostSync = flags[1] != 0;
    repeat = flags[2] != 0;
    if (v[0] >= 0 && v[1] > v[0]) loopStart = v[0], loopEnd = v[1];
    if (v[2] >= 1 && v[2] <= 32) timeSigNumerator = v[2];
    if (v[3] == 1 || v[3] == 2 || v[3] == 4 || v[3] == 8 || v[3] == 16 || v[3] == 32) timeSigDenominator = v[3];
    if (v[4] > 0 && v[4] <= 92160) quantizeGrid = v[4];
    if (v[5] >= 0 && v[5] <= 17) quantizeValue = v[5];
    for (CSQEventList& l : lists)
        if (!l.read(f)) return false;
    return true;
}
