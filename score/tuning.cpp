#include "score/tuning.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr float kRootOffset = -0.046875f;  // key 60 lies nine semitones below A4
constexpr int kLineLen = 256;

// Hands out the input's lines as terminated copies (long lines cut), so the
// formatted reads below never look past the input.
struct LineReader {
    const char* data;
    size_t size;
    size_t pos = 0;

    bool next(char* line) {
        if (pos >= size) return false;
        int n = 0;
        while (pos < size && data[pos] != '\n') {
            char c = data[pos++];
            if (c == '\r' || c == '\0') c = ' ';
            if (n < kLineLen - 1) line[n++] = c;
        }
        if (pos < size) ++pos;  // the line feed
        line[n] = 0;
        return true;
    }
};

const char* skipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') ++s;
    return s;
}

// A Scala degree: "n/m" a ratio, a number with a dot cents, a bare integer a
// ratio n/1 (as the scale format defines). False for unusable lines.
bool scalaDegree(const char* line, float& value) {
    const char* s = skipBlanks(line);
    int n = 0, m = 0;
    char tail = 0;
    bool hasDot = false;
    for (const char* p = s; *p && *p != ' ' && *p != '\t'; ++p)
        if (*p == '.') hasDot = true;
    if (!hasDot && std::sscanf(s, "%d/%d", &n, &m) == 2) {
        if (m < 1 || n < 1) return false;
        value = float(std::log2(double(n) / double(m)) / 16.0);
    } else if (!hasDot && std::sscanf(s, "%d%c", &n, &tail) >= 1 && (tail == 0 || tail == ' ' || tail == '\t')) {
        if (n < 1) return false;
        value = float(std::log2(double(n)) / 16.0);
    } else {
        float cents = 0;
        if (std::sscanf(s, "%f", &cents) != 1) return false;
        value = cents * 0.000052083333333f;
    }
    return std::isfinite(value);
}

CTuning::Result readScala(LineReader& in, float pitch[CTuning::kKeys]) {
    char line[kLineLen];
    // The description line follows the first comment lines.
    bool described = false;
    int count = 0;
    for (;;) {
        if (!in.next(line)) return CTuning::kBadNoteCount;
        if (line[0] == '!') continue;
        if (!described) {
            described = true;
            continue;
        }
        if (std::sscanf(line, " %d", &count) != 1) return CTuning::kBadNoteCount;
        break;
    }
    if (count < 1 || count > CTuning::kKeys) return CTuning::kBadNoteCount;

    float degree[CTuning::kKeys + 1] = {};
    int read = 0;
    while (read < count && in.next(line)) {
        if (line[0] == '!') continue;
        float v;
        if (!scalaDegree(line, v)) continue;
        degree[++read] = v;  // degree 0 is the root, 0
    }
    if (read < count) return CTuning::kMissingDegrees;

    // Key 60 is the root; the last degree (the period) is not used: the scale
    // repeats at the octave.
    for (int k = 0; k < CTuning::kKeys; ++k) {
        int octave = k >= 60 ? (k - 60) / count : (k - 59) / count - 1;
        int d = (count + k - (60 % count)) % count;
        pitch[k] = float(octave) / 16 + kRootOffset + degree[d];
    }
    return CTuning::kOk;
}

CTuning::Result readAnaMark(LineReader& in, float pitch[CTuning::kKeys]) {
    char line[kLineLen];
    float out[CTuning::kKeys];
    bool set[CTuning::kKeys] = {};
    int found = 0;
    while (in.next(line)) {
        const char* s = skipBlanks(line);
        if (std::strncmp(s, "note", 4) != 0 && std::strncmp(s, "Note", 4) != 0) continue;
        int key = -1;
        float cents = 0;
        if (std::sscanf(s + 4, " %d = %f", &key, &cents) != 2) continue;
        if (key < 0 || key >= CTuning::kKeys || !std::isfinite(cents)) continue;
        out[key] = (cents - 6000) / 19200 + kRootOffset;
        set[key] = true;
        ++found;
    }
    if (!found) return CTuning::kNoNotes;
    for (int k = 0; k < CTuning::kKeys; ++k)
        if (set[k]) pitch[k] = out[k];
    return CTuning::kOk;
}

}  // namespace

void CTuning::equalTemperament(float pitch[kKeys]) {
    for (int k = 0; k < kKeys; ++k) pitch[k] = float(k - 69) / 192;
}

CTuning::Result CTuning::read(const char* data, size_t size, float pitch[kKeys]) {
    if (!data) return kUnknownFormat;
    LineReader in{data, size};
    char line[kLineLen];
    while (in.next(line)) {
        if (line[0] == '!') {
            float scale[kKeys];
            Result r = readScala(in, scale);
            if (r == kOk) std::memcpy(pitch, scale, sizeof scale);
            return r;
        }
        if (line[0] == ';') return readAnaMark(in, pitch);
    }
    return kUnknownFormat;
}

const char* CTuning::resultText(Result r) {
    switch (r) {
        case kOk: return "read";
        case kUnknownFormat: return "neither a Scala scale nor an AnaMark tuning";
        case kBadNoteCount: return "note count missing or outside 1..128";
        case kMissingDegrees: return "fewer degrees than its note count";
        case kNoNotes: return "no note lines";
    }
    return "?";
}
