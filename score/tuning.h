// Tuning files of a part: a Scala scale (".scl") or an AnaMark tuning
// (".tun") turned into the pitch of each of the 128 keys. Pitches are on the
// key-pitch scale: 0 at A4 (key 69), 1/192 per equal-tempered semitone.
#pragma once

#include <cstddef>

class CTuning {
public:
    static constexpr int kKeys = 128;

    enum Result {
        kOk = 0,
        kUnknownFormat,    // no line starting with "!" or ";"
        kBadNoteCount,     // Scala note count missing or outside 1..128
        kMissingDegrees,   // Scala file with fewer degree lines than its note count
        kNoNotes,          // AnaMark file without a usable "note" line
    };

    // The pitches of equal temperament: (k - 69) / 192.
    static void equalTemperament(float pitch[kKeys]);

    // Reads a file's text (any bytes; never read past size). On success the
    // keys the file tunes are written into pitch (a Scala scale sets all
    // 128, an AnaMark file the keys it names); on failure pitch is unchanged.
    static Result read(const char* data, size_t size, float pitch[kKeys]);

    static const char* resultText(Result r);
};
