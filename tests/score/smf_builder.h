// Builds small Standard MIDI Files byte by byte for the reader and import
// tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SmfTrack {
    Bytes b;
    void delta(uint32_t t) {
        uint8_t tmp[5];
        int n = 0;
        tmp[n++] = uint8_t(t & 0x7F);
        while (t >>= 7) tmp[n++] = uint8_t(0x80 | (t & 0x7F));
        while (n) b.push_back(tmp[--n]);
    }
    SmfTrack& raw(std::initializer_list<int> bytes) {
        for (int v : bytes) b.push_back(uint8_t(v));
        return *this;
    }
    SmfTrack& on(uint32_t dt, int ch, int pitch, int vel) {
        delta(dt);
        return raw({0x90 | ch, pitch, vel});
    }
    SmfTrack& off(uint32_t dt, int ch, int pitch) {
        delta(dt);
        return raw({0x80 | ch, pitch, 0});
    }
    SmfTrack& cc(uint32_t dt, int ch, int c, int v) {
        delta(dt);
        return raw({0xB0 | ch, c, v});
    }
    SmfTrack& bend(uint32_t dt, int ch, int lsb, int msb) {
        delta(dt);
        return raw({0xE0 | ch, lsb, msb});
    }
    SmfTrack& meta(uint32_t dt, int type, const std::string& data) {
        delta(dt);
        raw({0xFF, type});
        delta(uint32_t(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        return *this;
    }
    SmfTrack& text(uint32_t dt, const std::string& s) { return meta(dt, 1, s); }
    SmfTrack& lyric(uint32_t dt, const std::string& s) { return meta(dt, 5, s); }
    SmfTrack& end(uint32_t dt = 0) { return meta(dt, 0x2F, ""); }
};

inline void put32be(Bytes& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

inline Bytes smf(int format, int division, const std::vector<SmfTrack>& tracks) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()),
                 uint8_t(division >> 8), uint8_t(division)};
    for (const SmfTrack& t : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put32be(out, uint32_t(t.b.size()));
        out.insert(out.end(), t.b.begin(), t.b.end());
    }
    return out;
}
