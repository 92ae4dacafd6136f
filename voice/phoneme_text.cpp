#include "voice/phoneme_text.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "voice/phoneme.h"

namespace {

enum Unit { kRaw, kMs, kDb };

constexpr int kSpectralFloats = 2 * CPhoneme::kBlockFloats;  // S then U
constexpr int kUFirstRow = CPhoneme::kBlockFloats + 12;       // U[0..11] are slot 127's last bands
constexpr int kRow = 12;                                       // values per bands / kept U row
constexpr int kKeptFRow = 14;                                  // values per kept F row

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

float floatOf(uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

// Natural-unit value of a decimal number in the text, as a float.
bool fromUnit(double v, Unit unit, float& out) {
    double stored = unit == kMs ? v / 1000.0 : unit == kDb ? std::pow(10.0, v / 20.0) : v;
    if (!std::isfinite(stored) || std::fabs(stored) > 3.4028234663852886e38) return false;
    out = float(stored);
    return true;
}

// The shortest decimal that reads back to exactly these bits; raw bits in
// hex when no decimal does (NaN, infinities, levels at or below zero).
std::string formatValue(float f, Unit unit) {
    char text[48];
    uint32_t bits = bitsOf(f);
    if (unit == kDb && bits == 0) return "off";
    if (std::isfinite(f) && !(unit == kDb && !(f > 0))) {
        double v = unit == kMs ? double(f) * 1000.0 : unit == kDb ? 20.0 * std::log10(double(f)) : double(f);
        for (int digits = 1; digits <= 17; ++digits) {
            std::snprintf(text, sizeof text, "%.*g", digits, v);
            float back;
            if (fromUnit(std::strtod(text, nullptr), unit, back) && bitsOf(back) == bits) return text;
        }
    }
    std::snprintf(text, sizeof text, "0x%08X", unsigned(bits));
    return text;
}

bool allZero(const float* values, int count) {
    for (int i = 0; i < count; ++i)
        if (bitsOf(values[i]) != 0) return false;
    return true;
}

void appendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    out += text;
}

void appendCells(std::string& out, const float* values, int count, Unit unit, int stride = 1) {
    for (int i = 0; i < count; ++i) appendf(out, " %11s", formatValue(values[i * stride], unit).c_str());
}

std::string quoted(const char* name) {
    std::string s = "\"";
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\')
            (s += '\\') += char(c);
        else if (c < 32 || c >= 127)
            appendf(s, "\\x%02X", c);
        else
            s += char(c);
    }
    return s + "\"";
}

const char* languageWord(int language) {
    return language == kLanguageEnglish ? "english" : language == kLanguageGerman ? "german" : nullptr;
}

// ---- reading -------------------------------------------------------------

struct Line {
    int number = 0;
    static constexpr int kMaxFields = 48;
    char* fields[kMaxFields];
    int count = 0;
};

class Parser {
public:
    Parser(const char* fileName, std::string& error) : file(fileName ? fileName : "-"), error(error) {}

    bool run(const char* text, size_t size, CPhoneme& model);

private:
    bool fail(int line, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    bool splitLine(char* text, Line& line);
    bool number(const Line& line, int field, Unit unit, float& out);
    bool integer(const Line& line, int field, long low, long high, long& out);
    bool expectFields(const Line& line, int count);
    // Stores a spectral value; the file shares storage between neighbouring
    // slots' bands, so a second write must agree with the first.
    bool spectral(const Line& line, int index, float value);

    bool header(const Line& line, CPhoneme& m);
    bool phonemeLine(const Line& line, CPhoneme& m);
    bool phonemeItem(const Line& line, CPhoneme& m);
    bool slotLine(const Line& line);
    bool slotItem(const Line& line, CPhoneme& m);
    bool keptU(const Line& line, CPhoneme& m);
    bool finishPhoneme(int atLine);
    bool finishSlot(int atLine);

    const char* file;
    std::string& error;

    bool haveName = false, haveSet = false, haveLanguage = false, haveArticulation = false;
    int phoneme = -1;      // current phoneme block
    int slot = -1;         // current slot block (-1: in the phoneme part)
    int blockLine = 0;     // line of the current block header
    bool liquid = false;
    bool seenSegment[3] = {};
    bool seenTrill = false, seenKeptA = false, seenKeptB = false;
    bool seenFormant[CPhoneme::kFormants] = {};
    bool seenKeptF[3] = {};
    bool seenBands[4] = {};
    bool inKeptU = false;
    bool seenU[CPhoneme::kBlockFloats / kRow] = {};
    int spectralLine[kSpectralFloats] = {};
    CPhoneme* model = nullptr;
};

bool Parser::fail(int line, const char* fmt, ...) {
    char text[400];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    char where[64];
    std::snprintf(where, sizeof where, ":%d: ", line);
    error = std::string(file) + where + text;
    return false;
}

bool Parser::splitLine(char* text, Line& line) {
    line.count = 0;
    char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
        if (!*p || *p == '#') break;
        if (line.count == Line::kMaxFields) return fail(line.number, "too many values on one line");
        line.fields[line.count++] = p;
        if (*p == '"') {
            // A quoted name: runs to the closing quote, with \" \\ \xHH escapes.
            ++p;
            while (*p && *p != '"') p += (*p == '\\' && p[1]) ? 2 : 1;
            if (*p != '"') return fail(line.number, "the quoted text has no closing quote");
            ++p;
            if (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '#')
                return fail(line.number, "expected a space after the quoted text");
        } else {
            while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '#') ++p;
        }
        if (*p == '#') {
            *p = 0;
            break;
        }
        if (*p) *p++ = 0;
    }
    return true;
}

bool Parser::expectFields(const Line& line, int count) {
    if (line.count == count) return true;
    return fail(line.number, "'%s' takes %d value%s, found %d", line.fields[0], count - 1 - (count > 1 && line.fields[0][0] == 'k'),
                count == 2 ? "" : "s", line.count - 1 - (count > 1 && line.fields[0][0] == 'k'));
}

bool Parser::number(const Line& line, int field, Unit unit, float& out) {
    const char* s = line.fields[field];
    if (unit == kDb && std::strcmp(s, "off") == 0) {
        out = 0;
        return true;
    }
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        if (std::strlen(s) == 10) {
            char* end = nullptr;
            unsigned long bits = std::strtoul(s + 2, &end, 16);
            if (*end == 0 && std::isxdigit(static_cast<unsigned char>(s[2]))) {
                out = floatOf(uint32_t(bits));
                return true;
            }
        }
        return fail(line.number, "'%s' is not a raw float: write 0x and eight hex digits", s);
    }
    // Only plain decimals: strtod alone would also take "nan", "inf" and hex floats.
    for (const char* p = s; *p; ++p)
        if (!std::strchr("0123456789+-.eE", *p)) return fail(line.number, "'%s' is not a number", s);
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end == s || *end) return fail(line.number, "'%s' is not a number", s);
    if (!fromUnit(v, unit, out)) return fail(line.number, "'%s' is out of range", s);
    return true;
}

bool Parser::integer(const Line& line, int field, long low, long high, long& out) {
    const char* s = line.fields[field];
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end || errno || v < low || v > high)
        return fail(line.number, "'%s' is not a whole number from %ld to %ld", s, low, high);
    out = v;
    return true;
}

bool Parser::spectral(const Line& line, int index, float value) {
    int& first = spectralLine[index];
    if (first && bitsOf(model->fileSU[index]) != bitsOf(value))
        return fail(line.number,
                    "spectral value %s differs from %s on line %d; bands 36..47 of a slot and bands 0..11 of the "
                    "next slot are the same stored values",
                    formatValue(value, kRaw).c_str(), formatValue(model->fileSU[index], kRaw).c_str(), first);
    if (!first) first = line.number;
    model->fileSU[index] = value;
    return true;
}

bool Parser::header(const Line& line, CPhoneme& m) {
    const char* key = line.fields[0];
    long v = 0;
    if (!std::strcmp(key, "name")) {
        if (haveName) return fail(line.number, "'name' given twice");
        if (!expectFields(line, 2)) return false;
        const char* s = line.fields[1];
        if (s[0] != '"') return fail(line.number, "the name must be in double quotes");
        char name[CPhoneme::kNameLen + 1];
        int n = 0;
        for (const char* p = s + 1; *p != '"'; ++p) {
            int c = static_cast<unsigned char>(*p);
            if (c == '\\') {
                ++p;
                if (*p == 'x' && std::isxdigit(static_cast<unsigned char>(p[1])) &&
                    std::isxdigit(static_cast<unsigned char>(p[2]))) {
                    char hex[3] = {p[1], p[2], 0};
                    c = int(std::strtol(hex, nullptr, 16));
                    p += 2;
                } else if (*p == '"' || *p == '\\') {
                    c = static_cast<unsigned char>(*p);
                } else {
                    return fail(line.number, "unknown escape in the name (use \\\" \\\\ or \\xHH)");
                }
            }
            if (c == 0) return fail(line.number, "the name cannot hold \\x00");
            if (n == CPhoneme::kNameLen) return fail(line.number, "the name is longer than 32 characters");
            name[n++] = char(c);
        }
        name[n] = 0;
        std::memcpy(m.name, name, size_t(n) + 1);
        haveName = true;
        return true;
    }
    if (!std::strcmp(key, "set")) {
        if (haveSet) return fail(line.number, "'set' given twice");
        if (!expectFields(line, 2) || !integer(line, 1, 0, 65535, v)) return false;
        m.setNumber = int(v);
        haveSet = true;
        return true;
    }
    if (!std::strcmp(key, "language")) {
        if (haveLanguage) return fail(line.number, "'language' given twice");
        if (!expectFields(line, 2)) return false;
        if (!std::strcmp(line.fields[1], "english"))
            m.language = kLanguageEnglish;
        else if (!std::strcmp(line.fields[1], "german"))
            m.language = kLanguageGerman;
        else if (std::isdigit(static_cast<unsigned char>(line.fields[1][0])) && integer(line, 1, 0, 65535, v))
            m.language = int(v);
        else
            return fail(line.number, "language must be english, german or a number from 0 to 65535");
        haveLanguage = true;
        return true;
    }
    if (!std::strcmp(key, "articulation")) {
        if (haveArticulation) return fail(line.number, "'articulation' given twice");
        if (!expectFields(line, 2) || !integer(line, 1, 0, 65535, v)) return false;
        m.articulation = int(v);
        haveArticulation = true;
        return true;
    }
    return fail(line.number, "unknown header line '%s' (expected name, set, language, articulation or phoneme)", key);
}

bool Parser::finishPhoneme(int atLine) {
    for (int g = 0; g < 3; ++g)
        if (!seenSegment[g]) return fail(atLine, "phoneme %d has no 'segment %d' line", phoneme, g + 1);
    if (liquid && !seenTrill) return fail(atLine, "phoneme %d is a liquid and needs a 'trill' line", phoneme);
    return true;
}

bool Parser::finishSlot(int atLine) {
    for (int k = 0; k < CPhoneme::kFormants; ++k)
        if (!seenFormant[k]) return fail(atLine, "slot %d has no 'F%d' line", slot, k + 1);
    for (int b = 0; b < 4; ++b)
        if (!seenBands[b]) return fail(atLine, "slot %d has no 'bands %d' line", slot, 12 * b);
    return true;
}

bool Parser::phonemeLine(const Line& line, CPhoneme& m) {
    if (!haveName || !haveSet || !haveLanguage || !haveArticulation)
        return fail(line.number, "the header needs name, set, language and articulation before the first phoneme");
    if (phoneme >= 0 && !(slot == 2 * phoneme + 1 && finishSlot(line.number)))
        return slot == 2 * phoneme + 1 ? false
                                      : fail(line.number, "phoneme %d needs its slots %d A and %d B first", phoneme,
                                             2 * phoneme, 2 * phoneme + 1);
    long n = 0;
    if (!expectFields(line, 3) || !integer(line, 1, 0, kPhonemeNumbers - 1, n)) return false;
    if (n != phoneme + 1) return fail(line.number, "expected phoneme %d here, found %ld", phoneme + 1, n);
    const char* token = phonemeToken(m.language, int(n));
    const char* expected = token ? token : "?";
    if (std::strcmp(line.fields[2], expected) != 0)
        return fail(line.number, "phoneme %ld is written '%s' in this language, not '%s'", n, expected, line.fields[2]);
    phoneme = int(n);
    slot = -1;
    blockLine = line.number;
    liquid = phonemeClass(m.language, phoneme) == kClassLiquid;
    for (bool& b : seenSegment) b = false;
    seenTrill = seenKeptA = seenKeptB = false;
    return true;
}

bool Parser::phonemeItem(const Line& line, CPhoneme& m) {
    const char* key = line.fields[0];
    int a = 2 * phoneme, b = a + 1;
    if (!std::strcmp(key, "segment")) {
        long g = 0;
        if (!expectFields(line, 7) || !integer(line, 1, 1, 3, g)) return false;
        if (seenSegment[g - 1]) return fail(line.number, "segment %ld given twice", g);
        float v[5];
        static const Unit kUnits[5] = {kDb, kMs, kMs, kMs, kMs};
        bool trillCell = liquid && g < 3;  // the attack field holds the trill there
        for (int i = 0; i < 5; ++i) {
            if (i == 2 && trillCell) {
                if (std::strcmp(line.fields[4], "-") != 0)
                    return fail(line.number, "phoneme %d is a liquid: the attack of segment %ld holds the trill, write -",
                                phoneme, g);
                continue;
            }
            if (!number(line, 2 + i, kUnits[i], v[i])) return false;
        }
        // Segments 1 and 3 are the first five values of the A and B
        // records; segment 2 the five values at offset 36 of the A record.
        for (int i = 0; i < 5; ++i) {
            if (i == 2 && trillCell) continue;
            if (g == 1) m.fileValues[i][a] = v[i];
            if (g == 2) m.fileFurther[i][a] = v[i];
            if (g == 3) m.fileValues[i][b] = v[i];
        }
        seenSegment[g - 1] = true;
        return true;
    }
    if (!std::strcmp(key, "trill")) {
        if (!liquid) return fail(line.number, "phoneme %d is not a liquid and has no trill", phoneme);
        if (seenTrill) return fail(line.number, "'trill' given twice");
        if (line.count != 5 || std::strcmp(line.fields[1], "rate") || std::strcmp(line.fields[3], "amount"))
            return fail(line.number, "write 'trill rate R amount A'");
        float rate, amount;
        if (!number(line, 2, kRaw, rate) || !number(line, 4, kRaw, amount)) return false;
        if (rate < 0.7f && bitsOf(amount) != 0)
            return fail(line.number, "a trill rate below 0.7 means no trill: the amount must be 0");
        m.fileValues[CPhoneme::kRecAttack][a] = rate;
        m.fileFurther[2][a] = amount;
        seenTrill = true;
        return true;
    }
    if (!std::strcmp(key, "kept")) {
        if (line.count < 2) return fail(line.number, "write 'kept A ...' or 'kept B ...'");
        bool isA = !std::strcmp(line.fields[1], "A");
        if (!isA && std::strcmp(line.fields[1], "B"))
            return fail(line.number, "a phoneme block keeps 'kept A' and 'kept B' lines only");
        bool& seen = isA ? seenKeptA : seenKeptB;
        if (seen) return fail(line.number, "'kept %s' given twice", line.fields[1]);
        int r = isA ? a : b;
        int floats = isA ? 1 : CPhoneme::kFurther;
        if (line.count != 2 + 1 + CPhoneme::kFlags + floats)
            return fail(line.number, "'kept %s' takes %d values, found %d", line.fields[1],
                        1 + CPhoneme::kFlags + floats, line.count - 2);
        float kept, further[CPhoneme::kFurther];
        if (!number(line, 2, kRaw, kept)) return false;
        bool flags[CPhoneme::kFlags];
        for (int k = 0; k < CPhoneme::kFlags; ++k) {
            const char* f = line.fields[3 + k];
            if (std::strcmp(f, "0") && std::strcmp(f, "1")) return fail(line.number, "flag '%s' must be 0 or 1", f);
            flags[k] = f[0] == '1';
        }
        for (int k = 0; k < floats; ++k)
            if (!number(line, 6 + k, kRaw, further[k])) return false;
        m.fileKept[r] = kept;
        for (int k = 0; k < CPhoneme::kFlags; ++k) m.fileFlags[k][r] = flags[k];
        if (isA)
            m.fileFurther[5][r] = further[0];
        else
            for (int k = 0; k < CPhoneme::kFurther; ++k) m.fileFurther[k][r] = further[k];
        seen = true;
        return true;
    }
    return fail(line.number, "unknown line '%s' in phoneme %d (expected segment, trill, kept or slot)", key, phoneme);
}

bool Parser::slotLine(const Line& line) {
    int expected = slot < 0 ? 2 * phoneme : 2 * phoneme + 1;
    if (slot == 2 * phoneme + 1) return fail(line.number, "expected phoneme %d here", phoneme + 1);
    if (slot < 0 && !finishPhoneme(line.number)) return false;
    if (slot >= 0 && !finishSlot(line.number)) return false;
    long s = 0;
    if (!expectFields(line, 3) || !integer(line, 1, 0, kPhonemeSlots - 1, s)) return false;
    const char* half = expected & 1 ? "B" : "A";
    if (s != expected || std::strcmp(line.fields[2], half))
        return fail(line.number, "expected 'slot %d %s' here", expected, half);
    slot = expected;
    blockLine = line.number;
    for (bool& b : seenFormant) b = false;
    for (bool& b : seenKeptF) b = false;
    for (bool& b : seenBands) b = false;
    return true;
}

bool Parser::slotItem(const Line& line, CPhoneme& m) {
    const char* key = line.fields[0];
    float* group = m.fileF + CPhoneme::kFormantGroup * slot;
    if (key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
        int k = std::atoi(key + 1) - 1;
        char canonical[8];
        std::snprintf(canonical, sizeof canonical, "F%d", k + 1);
        if (k < 0 || k >= CPhoneme::kFormants || std::strcmp(canonical, key))
            return fail(line.number, "formants are F1 to F10, not '%s'", key);
        if (seenFormant[k]) return fail(line.number, "%s given twice", key);
        if (!expectFields(line, 4)) return false;
        float v[3];
        for (int c = 0; c < 3; ++c)
            if (!number(line, 1 + c, kRaw, v[c])) return false;
        for (int c = 0; c < 3; ++c) group[3 * k + c] = v[c];
        seenFormant[k] = true;
        return true;
    }
    if (!std::strcmp(key, "bands")) {
        long first = 0;
        if (line.count < 2 || !integer(line, 1, 0, 36, first) || first % kRow)
            return fail(line.number, "write 'bands 0', 'bands 12', 'bands 24' or 'bands 36' and 12 values");
        if (line.count != 2 + kRow) return fail(line.number, "'bands %ld' takes 12 values, found %d", first, line.count - 2);
        if (seenBands[first / kRow]) return fail(line.number, "'bands %ld' given twice", first);
        float v[kRow];
        for (int i = 0; i < kRow; ++i)
            if (!number(line, 2 + i, kRaw, v[i])) return false;
        for (int i = 0; i < kRow; ++i)
            if (!spectral(line, CPhoneme::kRecordFloats * slot + int(first) + i, v[i])) return false;
        seenBands[first / kRow] = true;
        return true;
    }
    if (!std::strcmp(key, "kept")) {
        long first = 0;
        if (line.count < 3 || std::strcmp(line.fields[1], "F") || !integer(line, 2, 30, 58, first) ||
            (first - 30) % kKeptFRow)
            return fail(line.number, "a slot block keeps 'kept F 30', 'kept F 44' and 'kept F 58' lines only");
        if (line.count != 3 + kKeptFRow)
            return fail(line.number, "'kept F %ld' takes 14 values, found %d", first, line.count - 3);
        int row = int(first - 30) / kKeptFRow;
        if (seenKeptF[row]) return fail(line.number, "'kept F %ld' given twice", first);
        float v[kKeptFRow];
        for (int i = 0; i < kKeptFRow; ++i)
            if (!number(line, 3 + i, kRaw, v[i])) return false;
        for (int i = 0; i < kKeptFRow; ++i) group[first + i] = v[i];
        seenKeptF[row] = true;
        return true;
    }
    return fail(line.number, "unknown line '%s' in slot %d (expected F1..F10, bands or kept F)", key, slot);
}

bool Parser::keptU(const Line& line, CPhoneme& m) {
    (void)m;
    long first = 0;
    if (line.count < 3 || std::strcmp(line.fields[1], "U") ||
        !integer(line, 2, 12, CPhoneme::kBlockFloats - kRow, first) || first % kRow)
        return fail(line.number, "write 'kept U N' with N a multiple of 12 from 12 to 4596, then 12 values");
    if (line.count != 3 + kRow) return fail(line.number, "'kept U %ld' takes 12 values, found %d", first, line.count - 3);
    if (seenU[first / kRow]) return fail(line.number, "'kept U %ld' given twice", first);
    float v[kRow];
    for (int i = 0; i < kRow; ++i)
        if (!number(line, 3 + i, kRaw, v[i])) return false;
    for (int i = 0; i < kRow; ++i)
        if (!spectral(line, CPhoneme::kBlockFloats + int(first) + i, v[i])) return false;
    seenU[first / kRow] = true;
    return true;
}

bool Parser::run(const char* text, size_t size, CPhoneme& m) {
    model = &m;
    Line line;
    size_t at = 0;
    int lastLine = 0;
    std::string buffer;
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') ++end;
        buffer.assign(text + at, end - at);
        at = end + 1;
        line.number = ++lastLine;
        if (buffer.find('\0') != std::string::npos) return fail(line.number, "the line holds a NUL byte");
        if (!splitLine(&buffer[0], line)) return false;
        if (line.count == 0) continue;
        const char* key = line.fields[0];
        if (inKeptU) {
            if (!keptU(line, m)) return false;
            continue;
        }
        if (!std::strcmp(key, "phoneme")) {
            if (!phonemeLine(line, m)) return false;
        } else if (phoneme < 0) {
            if (!header(line, m)) return false;
        } else if (!std::strcmp(key, "slot")) {
            if (!slotLine(line)) return false;
        } else if (!std::strcmp(key, "kept") && line.count > 1 && !std::strcmp(line.fields[1], "U")) {
            if (phoneme != kPhonemeNumbers - 1 || slot != kPhonemeSlots - 1 || !finishSlot(line.number))
                return phoneme == kPhonemeNumbers - 1 && slot == kPhonemeSlots - 1
                           ? false
                           : fail(line.number, "'kept U' lines follow the last slot");
            inKeptU = true;
            if (!keptU(line, m)) return false;
        } else if (slot < 0) {
            if (!phonemeItem(line, m)) return false;
        } else {
            if (!slotItem(line, m)) return false;
        }
    }
    if (phoneme < 0) return fail(lastLine, "no phonemes: the set needs phoneme 0 to 63");
    if (phoneme != kPhonemeNumbers - 1) return fail(lastLine, "the text ends after phoneme %d of 63", phoneme);
    if (slot != kPhonemeSlots - 1)
        return slot < 0 ? finishPhoneme(lastLine) && fail(lastLine, "the text ends before slot 126 A")
                        : fail(lastLine, "the text ends before slot 127 B");
    if (!inKeptU && !finishSlot(lastLine)) return false;
    return true;
}

}  // namespace

std::string CPhonemeText::write(const CPhoneme& m) {
    std::string out;
    out.reserve(400000);
    out += "# LYRENA phoneme set (text form, see docs/phoneme-text-format.md)\n";
    appendf(out, "name          %s\n", quoted(m.name).c_str());
    appendf(out, "set           %d\n", m.setNumber);
    if (const char* word = languageWord(m.language))
        appendf(out, "language      %s\n", word);
    else
        appendf(out, "language      %d\n", m.language);
    appendf(out, "articulation  %d\n", m.articulation);

    for (int n = 0; n < kPhonemeNumbers; ++n) {
        int a = 2 * n, b = a + 1;
        const char* token = phonemeToken(m.language, n);
        const char* example = phonemeExample(m.language, n);
        int cls = phonemeClass(m.language, n);
        bool liquid = cls == kClassLiquid;
        appendf(out, "\nphoneme %d %s", n, token ? token : "?");
        appendf(out, "%*s# %s%s%s\n", int(12 - std::strlen(token ? token : "?") - (n < 10 ? 0 : 1)), "",
                example ? example : "-", cls ? ", " : "", cls ? className(cls) : "");
        out += "#                 level dB     time ms   attack ms    decay ms  sustain ms\n";
        for (int g = 0; g < 3; ++g) {
            int r = g == 2 ? b : a;
            const float* base[5];
            for (int i = 0; i < 5; ++i) base[i] = g == 1 ? &m.fileFurther[i][r] : &m.fileValues[i][r];
            appendf(out, "  segment %d", g + 1);
            appendf(out, " %11s", formatValue(*base[0], kDb).c_str());
            appendf(out, " %11s", formatValue(*base[1], kMs).c_str());
            appendf(out, " %11s", liquid && g < 2 ? "-" : formatValue(*base[2], kMs).c_str());
            appendf(out, " %11s", formatValue(*base[3], kMs).c_str());
            appendf(out, " %11s\n", formatValue(*base[4], kMs).c_str());
        }
        if (liquid)
            appendf(out, "  trill rate %s amount %s\n", formatValue(m.fileValues[CPhoneme::kRecAttack][a], kRaw).c_str(),
                    formatValue(m.fileFurther[2][a], kRaw).c_str());
        for (int r : {a, b}) {
            bool isA = r == a;
            float floats[CPhoneme::kFurther];
            int count = isA ? 1 : CPhoneme::kFurther;
            if (isA)
                floats[0] = m.fileFurther[5][r];
            else
                for (int k = 0; k < CPhoneme::kFurther; ++k) floats[k] = m.fileFurther[k][r];
            bool any = bitsOf(m.fileKept[r]) != 0 || !allZero(floats, count);
            for (int k = 0; k < CPhoneme::kFlags; ++k) any = any || m.fileFlags[k][r];
            if (!any) continue;
            appendf(out, "  kept %s %s", isA ? "A" : "B", formatValue(m.fileKept[r], kRaw).c_str());
            for (int k = 0; k < CPhoneme::kFlags; ++k) appendf(out, " %d", m.fileFlags[k][r] ? 1 : 0);
            appendCells(out, floats, count, kRaw);
            out += "\n";
        }

        for (int s : {a, b}) {
            appendf(out, "slot %d %s\n", s, s == a ? "A" : "B");
            out += "#                   Hz       level    width Hz\n";
            const float* group = m.fileF + CPhoneme::kFormantGroup * s;
            for (int k = 0; k < CPhoneme::kFormants; ++k) {
                appendf(out, "  F%-3d", k + 1);
                appendCells(out, group + 3 * k, 3, kRaw);
                out += "\n";
            }
            for (int first = 30; first < CPhoneme::kFormantGroup; first += kKeptFRow) {
                if (allZero(group + first, kKeptFRow)) continue;
                appendf(out, "  kept F %d", first);
                appendCells(out, group + first, kKeptFRow, kRaw);
                out += "\n";
            }
            for (int first = 0; first < CPhoneme::kBands; first += kRow) {
                appendf(out, "  bands %-2d", first);
                appendCells(out, m.fileSU + CPhoneme::kRecordFloats * s + first, kRow, kRaw);
                out += "\n";
            }
        }
    }

    bool headline = false;
    for (int first = kUFirstRow; first < kSpectralFloats; first += kRow) {
        if (allZero(m.fileSU + first, kRow)) continue;
        if (!headline) out += "\n# The rest of the fourth block (its first 12 values are slot 127's bands 36..47)\n";
        headline = true;
        appendf(out, "kept U %d", first - CPhoneme::kBlockFloats);
        appendCells(out, m.fileSU + first, kRow, kRaw);
        out += "\n";
    }
    return out;
}

bool CPhonemeText::read(const char* text, size_t size, const char* fileName, CPhoneme& model, std::string& error) {
    // Build on a fresh model: whatever the text leaves out is zero, and a
    // failure leaves the caller's model untouched.
    std::unique_ptr<CPhoneme> fresh(new (std::nothrow) CPhoneme);
    if (!fresh) {
        error = std::string(fileName ? fileName : "-") + ":0: out of memory";
        return false;
    }
    Parser parser(fileName, error);
    if (!parser.run(text ? text : "", text ? size : 0, *fresh)) return false;
    fresh->deriveFromFileBlocks();
    model.copyFrom(*fresh);
    return true;
}
