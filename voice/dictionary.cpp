#include "voice/dictionary.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "files/global_data.h"
#include "support/o_system.h"

namespace {

// German inflection suffixes, tried in this order; phonemes in German tokens.
struct Suffix {
    const char* text;
    const char* tokens;
};
constexpr Suffix kSuffixes[] = {
    {"E", "@"},          {"DEM", "d @ m"},    {"EM", "@ m"},       {"EN", "@ n"},       {"DER", "d 6"},
    {"ER", "6"},         {"DES", "d @ s"},    {"ES", "@ s"},       {"ERE", "@ r @"},    {"EREN", "@ r @ n"},
    {"ERES", "@ r @ s"}, {"STE", "s t @"},    {"STEM", "s t @ m"}, {"STEN", "s t @ n"}, {"STER", "s t @ r"},
    {"RE", "r @"},       {"REN", "r @ n"},    {"RES", "r @ s"},    {"END", "@ n t"},    {"ST", "s t"},
    {"TEST", "t @ s t"}, {"TET", "t @ t"},    {"TE", "t @"},       {"DE", "d @"},       {"D", "t"},
    {"M", "m"},          {"N", "n"},          {"R", "r"},          {"S", "s"},          {"ND", "n d"},
};
constexpr int kSuffixCount = int(sizeof kSuffixes / sizeof kSuffixes[0]);

bool startsWith(const char* text, const char* prefix) {
    while (*prefix)
        if (*text++ != *prefix++) return false;
    return true;
}

// Appends from's phonemes (up to its first value above 98) to out at n; the
// bytes go with their phonemes. Returns the new count.
int append(CDictionary::Phonemes& out, int n, const uint8_t* numbers, const uint8_t* marks, bool zeroMarks) {
    for (int i = 0; i < CDictionary::kPhonemes && n < CDictionary::kPhonemes && numbers[i] <= 98; ++i, ++n) {
        out.numbers[n] = numbers[i];
        out.marks[n] = zeroMarks ? 0 : marks[i];
    }
    return n;
}

int appendSuffix(CDictionary::Phonemes& out, int n, int suffix) {
    CDictionary::Phonemes s;
    CDictionary::parsePronunciation(kLanguageGerman, kSuffixes[suffix].tokens,
                                    std::strlen(kSuffixes[suffix].tokens), s);
    return append(out, n, s.numbers, s.marks, true);  // suffix phonemes carry byte 0
}

int suffixIndex(const char* rest) {
    for (int i = 0; i < kSuffixCount; ++i)
        if (std::strcmp(rest, kSuffixes[i].text) == 0) return i;
    return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Reads a whole file into memory; false when it cannot be read.
std::unique_ptr<char[]> readFile(const char* path, size_t& size) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return nullptr;
    std::unique_ptr<char[]> data;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long length = std::ftell(f);
        if (length >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
            data.reset(new (std::nothrow) char[size_t(length) + 1]);
            if (data) size = std::fread(data.get(), 1, size_t(length), f);
        }
    }
    std::fclose(f);
    return data;
}

// Calls add(line, length) for every line of text, each cut to 255 characters.
template <typename Add>
int forEachLine(const char* text, size_t size, Add add) {
    int added = 0;
    size_t pos = 0;
    while (pos < size) {
        size_t start = pos;
        while (pos < size && text[pos] != '\n') ++pos;
        size_t length = pos - start;
        if (length > 0 && text[start + length - 1] == '\r') --length;
        if (length > CDictionary::kWordLen) length = CDictionary::kWordLen;
        if (add(text + start, length)) ++added;
        ++pos;  // past the newline
    }
    return added;
}

// Second bytes of the UTF-8 umlauts and sharp s after 0xC3, and what they become.
const char* utf8Umlaut(unsigned char second) {
    switch (second) {
    case 0xBC: case 0x9C: return "UE";
    case 0xA4: case 0x84: return "AE";
    case 0xB6: case 0x96: return "OE";
    case 0x9F: return "SS";
    default: return nullptr;
    }
}

// Windows ANSI and Mac Roman codes of the umlauts and sharp s.
const char* singleByteUmlaut(unsigned char c) {
    switch (c) {
    case 0xFC: case 0xDC: case 0x9F: case 0x86: return "UE";
    case 0xE4: case 0xC4: case 0x8A: case 0x80: return "AE";
    case 0xF6: case 0xD6: case 0x9A: case 0x85: return "OE";
    case 0xDF: case 0xA7: return "SS";
    default: return nullptr;
    }
}

}  // namespace

void CDictionary::Phonemes::clear() {
    std::memset(numbers, kNoPhoneme, sizeof numbers);
    std::memset(marks, 0, sizeof marks);
}

int CDictionary::Phonemes::count() const {
    int n = 0;
    while (n < kPhonemes && numbers[n] <= 98) ++n;
    return n;
}

CDictionary::CDictionary() : tables(new (std::nothrow) Table[2]) {
    if (!tables) return;
    for (int l = 0; l < 2; ++l) {
        Table& t = tables[l];
        t.count = 0;
        t.poolUsed = 0;
        t.poolCapacity = l == kLanguageGerman ? kGermanPool : kEnglishPool;
        t.randomCount = 0;
        t.randomUsed = 0;
        for (int b = 0; b < kBuckets; ++b) t.first[b] = t.last[b] = -1;
    }
}

int CDictionary::bucket(const char* word) {
    auto clampLetter = [](unsigned char c) { return c < 'A' ? 0 : c > 'Z' ? 25 : c - 'A'; };
    unsigned char a = word[0];
    unsigned char b = a ? word[1] : 0;
    return clampLetter(a) * 26 + clampLetter(b);
}

void CDictionary::normalise(int language, const char* text, char* out, size_t outSize) {
    if (!out || outSize == 0) return;
    size_t n = 0;
    bool german = languageIndex(language) == kLanguageGerman;
    auto put = [&](char c) {
        if (n + 1 < outSize) out[n++] = c;
    };
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text ? text : "");
    for (int chars = 0; *s && chars < kQueryLen; ++chars) {
        const char* repl = nullptr;
        if (german && s[0] == 0xC3 && (repl = utf8Umlaut(s[1]))) {
            s += 2;
        } else if (german && s[0] == 0xE1 && s[1] == 0xBA && s[2] == 0x9E) {
            repl = "SS";  // capital sharp s
            s += 3;
        } else if (german && (repl = singleByteUmlaut(s[0]))) {
            s += 1;
        }
        if (repl) {
            put(repl[0]);
            put(repl[1]);
        } else {
            put(char(std::toupper(*s++)));
        }
    }
    out[n] = 0;
}

int CDictionary::parsePronunciation(int language, const char* text, size_t length, Phonemes& out) {
    out.clear();
    if (!text) return 0;
    bool english = languageIndex(language) == kLanguageEnglish;
    int n = 0;
    size_t p = 0;
    while (p < length && n < kPhonemes) {
        if (isSpace(text[p]) || text[p] == 0) {
            ++p;  // extra separators between tokens
            continue;
        }
        size_t start = p;
        int mark = 0;
        if (english) {
            // A token runs to a space or a stress digit; the digit ends it
            // and the character after the digit is the separator.
            while (p < length && !isSpace(text[p]) && text[p] && !std::isdigit((unsigned char)text[p])) ++p;
            size_t tokenLength = p - start;
            if (p < length && std::isdigit((unsigned char)text[p])) {
                mark = text[p] - '0';
                ++p;
            }
            if (tokenLength == 0) {
                ++p;  // a bare digit: nothing to name
                continue;
            }
            out.numbers[n] = uint8_t(tokenLength <= 2 ? parsePhonemeToken(language, text + start, int(tokenLength))
                                                      : kNoPhoneme);
            out.marks[n] = uint8_t(mark);
        } else {
            // Two characters when the second one is printable and no space.
            int tokenLength = (p + 1 < length && (unsigned char)text[p + 1] > '!') ? 2 : 1;
            p += tokenLength;
            out.numbers[n] = uint8_t(parsePhonemeToken(language, text + start, tokenLength));
            out.marks[n] = uint8_t(tokenLengthClass(language, text + start, tokenLength));
        }
        ++n;
        ++p;  // the separator
    }
    return n;
}

bool CDictionary::addLine(int language, const char* line, size_t length) {
    if (!tables || !line) return false;
    Table& t = table(language);
    size_t p = 0;
    while (p < length && isSpace(line[p])) ++p;
    size_t start = p;
    while (p < length && line[p] && !isSpace(line[p])) ++p;
    size_t wordLength = p - start;
    if (wordLength == 0 || wordLength > size_t(kWordLen)) return false;
    while (p < length && isSpace(line[p])) ++p;
    Phonemes ph;
    if (parsePronunciation(language, line + p, length - p, ph) == 0 || ph.numbers[0] > 98) return false;
    if (t.count >= kEntries || t.poolUsed + int(wordLength) + 1 > t.poolCapacity) return false;

    Entry& e = t.entries[t.count];
    e.word = t.poolUsed;
    for (size_t i = 0; i < wordLength; ++i) t.pool[t.poolUsed++] = char(std::toupper((unsigned char)line[start + i]));
    t.pool[t.poolUsed++] = 0;
    e.next = -1;
    std::memcpy(e.numbers, ph.numbers, sizeof e.numbers);
    std::memcpy(e.marks, ph.marks, sizeof e.marks);
    int b = bucket(t.pool + e.word);
    if (t.last[b] < 0)
        t.first[b] = t.count;
    else
        t.entries[t.last[b]].next = t.count;
    t.last[b] = t.count;
    ++t.count;
    return true;
}

int CDictionary::addDictionaryText(int language, const char* text, size_t size) {
    if (!text) return 0;
    return forEachLine(text, size, [&](const char* line, size_t length) { return addLine(language, line, length); });
}

bool CDictionary::addRandomLine(int language, const char* line, size_t length) {
    if (!tables) return false;
    Table& t = table(language);
    size_t p = 0;
    while (p < length && isSpace(line[p])) ++p;
    size_t start = p;
    while (p < length && line[p] && !isSpace(line[p])) ++p;
    size_t wordLength = p - start;
    if (wordLength == 0 || t.randomCount >= kRandomWords || t.randomUsed + int(wordLength) + 1 > kRandomPool)
        return false;
    t.random[t.randomCount++] = t.randomUsed;
    std::memcpy(t.randomPool + t.randomUsed, line + start, wordLength);
    t.randomUsed += int(wordLength);
    t.randomPool[t.randomUsed++] = 0;
    return true;
}

int CDictionary::addRandomText(int language, const char* text, size_t size) {
    if (!text) return 0;
    return forEachLine(text, size,
                       [&](const char* line, size_t length) { return addRandomLine(language, line, length); });
}

bool CDictionary::loadDictionaryFile(int language, const char* path) {
    size_t size = 0;
    std::unique_ptr<char[]> data = readFile(path, size);
    if (!data) return false;
    addDictionaryText(language, data.get(), size);
    return true;
}

bool CDictionary::loadRandomFile(int language, const char* path) {
    size_t size = 0;
    std::unique_ptr<char[]> data = readFile(path, size);
    if (!data) return false;
    addRandomText(language, data.get(), size);
    return true;
}

int CDictionary::loadFolder(const char* folder) {
    static const struct {
        const char* name;
        int language;
        bool random;
    } kFiles[] = {
        {"dict_en.txt", kLanguageEnglish, false},
        {"dict_de.txt", kLanguageGerman, false},
        {"random_en.txt", kLanguageEnglish, true},
        {"random_de.txt", kLanguageGerman, true},
    };
    int loaded = 0;
    for (const auto& f : kFiles) {
        char path[COSystem::kPathLen];
        std::snprintf(path, sizeof path, "%s%s", folder ? folder : "", f.name);
        if (f.random ? loadRandomFile(f.language, path) : loadDictionaryFile(f.language, path)) ++loaded;
    }
    return loaded;
}

const CDictionary::Entry* CDictionary::exact(const Table& t, const char* w) const {
    for (int i = t.first[bucket(w)]; i >= 0; i = t.entries[i].next)
        if (std::strcmp(word(t, t.entries[i]), w) == 0) return &t.entries[i];
    return nullptr;
}

const CDictionary::Entry* CDictionary::prefixed(const Table& t, const char* w) const {
    for (int i = t.first[bucket(w)]; i >= 0; i = t.entries[i].next)
        if (startsWith(word(t, t.entries[i]), w)) return &t.entries[i];
    return nullptr;
}

bool CDictionary::inflected(const Table& t, const char* w, Phonemes& out) const {
    for (int i = t.first[bucket(w)]; i >= 0; i = t.entries[i].next) {
        const Entry& e = t.entries[i];
        const char* stem = word(t, e);
        size_t n = std::strlen(stem);
        if (!startsWith(w, stem) || w[n] == 0) continue;
        int s = suffixIndex(w + n);
        if (s < 0) continue;
        out.clear();
        appendSuffix(out, append(out, 0, e.numbers, e.marks, false), s);
        return true;
    }
    return false;
}

bool CDictionary::compound(const Table& t, const char* w, Phonemes& out) const {
    bool german = &t == &tables[kLanguageGerman];
    for (int i = t.first[bucket(w)]; i >= 0; i = t.entries[i].next) {
        const Entry& e = t.entries[i];
        const char* head = word(t, e);
        size_t n = std::strlen(head);
        if (n > 0 && head[n - 1] == '*') --n;  // a form that only starts compounds
        if (n == 0 || std::strncmp(w, head, n) != 0) continue;
        const char* rest = w + n;
        if (std::strlen(rest) <= 2) continue;
        if (const Entry* tail = exact(t, rest)) {
            out.clear();
            append(out, append(out, 0, e.numbers, e.marks, false), tail->numbers, tail->marks, false);
            return true;
        }
        if (!german) continue;
        for (int j = t.first[bucket(rest)]; j >= 0; j = t.entries[j].next) {
            const Entry& r = t.entries[j];
            const char* stem = word(t, r);
            size_t m = std::strlen(stem);
            if (!startsWith(rest, stem) || rest[m] == 0) continue;
            int s = suffixIndex(rest + m);
            if (s < 0) continue;
            out.clear();
            int k = append(out, 0, e.numbers, e.marks, false);
            appendSuffix(out, append(out, k, r.numbers, r.marks, false), s);
            return true;
        }
    }
    return false;
}

bool CDictionary::lookupWord(const char* text, bool prefix, Phonemes& out) const {
    if (!tables || !text) return false;
    char query[2 * kQueryLen + 1];
    normalise(current, text, query, sizeof query);
    if (!query[0]) return false;
    const Table& t = table(current);
    const Entry* e = prefix ? prefixed(t, query) : exact(t, query);
    if (!e) return false;
    std::memcpy(out.numbers, e->numbers, sizeof out.numbers);
    std::memcpy(out.marks, e->marks, sizeof out.marks);
    return true;
}

bool CDictionary::lookupJoined(int count, const char* const* syllables, Phonemes& out) const {
    if (!tables || !syllables || count < 1 || count > kMaxSyllables) return false;
    // Join: one leading and one trailing "-" off each syllable.
    char joined[kMaxSyllables * (kWordLen + 1) + 1];
    size_t n = 0;
    for (int s = 0; s < count; ++s) {
        const char* syl = syllables[s] ? syllables[s] : "";
        size_t length = strnlen(syl, kWordLen);
        if (length > 0 && syl[0] == '-') ++syl, --length;
        if (length > 0 && syl[length - 1] == '-') --length;
        std::memcpy(joined + n, syl, length);
        n += length;
    }
    joined[n] = 0;
    char w[kWordLen + 1];
    if (current == kLanguageGerman) {
        normalise(current, joined, w, sizeof w);
    } else {
        size_t i = 0;
        for (; joined[i] && i < size_t(kWordLen); ++i) w[i] = char(std::toupper((unsigned char)joined[i]));
        w[i] = 0;
    }
    if (!w[0]) return false;

    const Table& t = table(current);
    Phonemes found;
    if (const Entry* e = exact(t, w)) {
        std::memcpy(found.numbers, e->numbers, sizeof found.numbers);
        std::memcpy(found.marks, e->marks, sizeof found.marks);
    } else if (!(current == kLanguageGerman && inflected(t, w, found)) && !compound(t, w, found)) {
        const Entry* p = prefixed(t, w);
        if (!p) return false;
        std::memcpy(found.numbers, p->numbers, sizeof found.numbers);
        std::memcpy(found.marks, p->marks, sizeof found.marks);
    }
    out = found;
    return true;
}

bool CDictionary::lookupSyllables(int count, const char* const* syllables, Phonemes* out) const {
    Phonemes found;
    if (!out || !lookupJoined(count, syllables, found)) return false;
    spread(count, syllables, found, out);
    return true;
}

void CDictionary::spread(int count, const char* const* syllables, const Phonemes& found, Phonemes* out) const {
    const uint8_t* ph = found.numbers;
    const uint8_t* by = found.marks;
    int j = 0;
    uint8_t last = 0;
    int l = 0;
    auto more = [&]() { return j < kPhonemes && ph[j] <= 98; };
    auto vowel = [&](int k) { return isVowelPhoneme(current, ph[k]); };
    for (int s = 0; s < count; ++s) {
        Phonemes& o = out[s];
        o.clear();
        l = 0;
        // The letters walked are those of the normalised syllable, so that
        // an umlaut counts as the vowel letters it stands for.
        char text[2 * kQueryLen + 1];
        if (current == kLanguageGerman) {
            normalise(current, syllables[s] ? syllables[s] : "", text, sizeof text);
        } else {
            std::snprintf(text, sizeof text, "%s", syllables[s] ? syllables[s] : "");
        }
        int length = int(std::strlen(text));
        int k = 0;
        while (k < length && l < kPhonemes) {
            char c = text[k];
            if (c == '-') {
                if (k == 0) {
                    o.numbers[l] = last;
                    o.marks[l++] = 0;
                }
                ++k;
                continue;
            }
            if (!more()) break;
            bool letterVowel = isVowelLetter(c);
            if (!vowel(j)) {
                if (!letterVowel) {
                    o.numbers[l] = ph[j];
                    o.marks[l++] = by[j];
                    ++j;
                    ++k;
                } else if (k == 0) {
                    o.numbers[l] = ph[j];
                    o.marks[l++] = by[j];
                    ++j;
                } else {
                    ++k;
                }
            } else if (letterVowel) {
                o.numbers[l] = ph[j];
                o.marks[l++] = by[j];
                last = ph[j];
                ++j;
                if (text[k + 1] == '-') ++k;
                if (!(more() && vowel(j)))
                    while (k < length && isVowelLetter(text[k])) ++k;
            } else {
                ++k;
            }
        }
    }
    // Phonemes the letters did not take go to the last syllable.
    Phonemes& o = out[count - 1];
    while (more() && l < kPhonemes) {
        o.numbers[l] = ph[j];
        o.marks[l++] = by[j];
        ++j;
    }
}

const char* CDictionary::randomWord(int r1, int r2) const {
    if (!tables) return nullptr;
    const Table& t = table(current);
    if (t.randomCount == 0) return nullptr;
    long long r = (static_cast<long long>(r1) * 32767 + r2) % t.randomCount;
    if (r < 0) r += t.randomCount;
    return t.randomPool + t.random[r];
}

const char* CDictionary::randomWord() const {
    int r1 = std::rand();
    int r2 = std::rand();
    return randomWord(r1, r2);
}

int CDictionary::parseTyped(const char* text, uint8_t ids[kPhonemes], uint8_t marks[kPhonemes]) const {
    Phonemes p;
    parsePronunciation(current, text, text ? std::strlen(text) : 0, p);
    int n = p.count();
    for (int i = 0; i < kPhonemes; ++i) {
        ids[i] = i < n ? uint8_t(2 * p.numbers[i]) : uint8_t(kNoPhonemeId);
        marks[i] = i < n ? p.marks[i] : 0;
    }
    return n;
}

void CDictionary::displayText(const Phonemes& p, char* text, size_t size) const {
    phonemeSequenceText(current, p.numbers, p.marks, kPhonemes, text, size);
}

bool CDictionary::nextTextNote(const char* text, size_t size, size_t& pos, TextNote& note) const {
    if (!text) return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (pos < size) {
        // Collect one word; any other character ends it.
        char word[kWordLen + 1];
        size_t n = 0;
        while (pos < size) {
            unsigned char c = s[pos];
            size_t width = 0;
            if (std::isalnum(c) || c == '-' || singleByteUmlaut(c))
                width = 1;
            else if (c == 0xC3 && pos + 1 < size && utf8Umlaut(s[pos + 1]))
                width = 2;
            if (!width) break;
            for (size_t i = 0; i < width; ++i, ++pos)
                if (n < size_t(kWordLen)) word[n++] = char(s[pos]);
        }
        word[n] = 0;
        unsigned char ender = pos < size ? s[pos] : ' ';
        if (pos < size) ++pos;
        if (n == 0) continue;
        const char* syllable = word;
        Phonemes p;
        if (!lookupSyllables(1, &syllable, &p)) continue;  // an unknown word gets no note
        std::memcpy(note.word, word, n + 1);
        note.phonemes = p;
        note.ticks = 0;
        for (int i = 0; i < p.count(); ++i) note.ticks += isVowelPhoneme(current, p.numbers[i]) ? 3000 : 1000;
        note.gapTicks = 1 + (ender < 128 && std::ispunct(ender) ? 4000 : 1000);
        return true;
    }
    return false;
}

CDictionary* dictionary() {
    static CDictionary* loaded = [] {
        CDictionary* d = new (std::nothrow) CDictionary;
        if (d) d->loadFolder(globalData().installFolder);
        return d;
    }();
    return loaded;
}
