#include "voice/phoneme_inventory.h"

#include <cstdio>
#include <cstring>

namespace {

struct PhonemeRow {
    const char* englishToken;  // nullptr: not an English phoneme
    const char* englishExample;
    const char* germanToken;
    const char* germanExample;  // nullptr: the menu shows no example word
    unsigned char cls[2];       // English, German
    unsigned char vowel[2];
    unsigned char locus[2];
    unsigned char flag[2];
    unsigned char germanLength;
};

constexpr int V = kClassVowel, L = kClassLiquid, F = kClassFricative, P = kClassPlosive, N = kClassNasal,
              X = kClassNone;

const PhonemeRow kRows[kGermanPhonemes] = {
    {"AA", "ODD", "A:", nullptr, {V, V}, {1, 1}, {2, 1}, {0, 0}, 2},
    {"AE", "AT", "{", nullptr, {V, V}, {1, 1}, {2, 2}, {0, 0}, 1},
    {"AH", "HUT", "V", nullptr, {V, V}, {1, 1}, {1, 1}, {0, 0}, 1},
    {"AO", "OUGHT", "O:", nullptr, {V, V}, {1, 1}, {1, 1}, {0, 0}, 2},
    {"AW", "COW", "aU", "haus", {V, V}, {1, 1}, {1, 1}, {0, 0}, 3},
    {"AY", "HIDE", "aI", "zwei", {V, V}, {1, 1}, {1, 1}, {0, 0}, 3},
    {"B", "BE", "b", "ball", {P, P}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"CH", "CHEESE", "tS", nullptr, {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"D", "DEE", "d", "dach", {P, P}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"DH", "THEE", "D", nullptr, {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"EH", "ED", "e", nullptr, {V, V}, {1, 1}, {2, 2}, {0, 0}, 1},
    {"ER", "HURT", "3:", nullptr, {V, V}, {1, 1}, {2, 0}, {0, 0}, 2},
    {"EY", "ATE", "eI", nullptr, {V, V}, {1, 1}, {2, 2}, {0, 0}, 3},
    {"F", "FEE", "f", "vernunft", {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"G", "GREEN", "g", "gold", {P, P}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"HH", "HE", "h", "hut", {F, F}, {0, 0}, {0, 0}, {1, 1}, 0},
    {"IH", "IT", "I", "mit", {V, V}, {1, 1}, {2, 2}, {0, 0}, 1},
    {"IY", "EAT", "i:", "wiegen", {V, V}, {1, 1}, {2, 2}, {0, 0}, 2},
    {"JH", "GEE", "dZ", nullptr, {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"K", "KEY", "k", "kann", {P, P}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"L", "LEE", "l", "lila", {L, L}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"M", "ME", "m", "mutter", {N, N}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"N", "KNEE", "n", "name", {N, N}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"NG", "PING", "N", "jung", {N, N}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"OW", "OAT", "@U", nullptr, {V, V}, {1, 1}, {1, 1}, {0, 0}, 3},
    {"OY", "TOY", "OY", "neun", {V, V}, {1, 1}, {1, 1}, {0, 0}, 3},
    {"P", "PEE", "p", "paul", {P, P}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"R", "READ", "r", "rand", {L, L}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"S", "SEA", "s", "lies", {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"SH", "SHE", "S", "rasch", {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"T", "TEA", "t", "tag", {P, P}, {0, 0}, {0, 0}, {0, 1}, 0},
    {"TH", "THETA", "T", nullptr, {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"UH", "HOOD", "U", "muss", {V, V}, {1, 1}, {1, 1}, {0, 0}, 1},
    {"UW", "TWO", "u:", "fuhr", {V, V}, {1, 1}, {1, 1}, {0, 0}, 2},
    {"V", "VEE", "v", "wenn", {F, L}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"W", "WE", "w", nullptr, {L, L}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"Y", "YIELD", "j", "ja", {L, L}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"Z", "ZEE", "z", nullptr, {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {"ZH", "SEIZURE", "Z", "loge", {F, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {nullptr, nullptr, "a:", "kahn", {X, V}, {0, 1}, {0, 2}, {0, 0}, 2},
    {nullptr, nullptr, "a", "kann", {X, V}, {0, 1}, {0, 2}, {0, 0}, 1},
    {nullptr, nullptr, "e:", "beet", {X, V}, {0, 1}, {0, 2}, {0, 0}, 2},
    {nullptr, nullptr, "E:", "kaese", {X, V}, {0, 1}, {0, 2}, {0, 0}, 2},
    {nullptr, nullptr, "E", "bett", {X, V}, {0, 1}, {0, 2}, {0, 0}, 1},
    {nullptr, nullptr, "o:", "aroma", {X, V}, {0, 1}, {0, 1}, {0, 0}, 2},
    {nullptr, nullptr, "O", "bock", {X, V}, {0, 1}, {0, 1}, {0, 0}, 1},
    {nullptr, nullptr, "y:", "huete", {X, V}, {0, 1}, {0, 1}, {0, 0}, 2},
    {nullptr, nullptr, "Y", "huette", {X, V}, {0, 1}, {0, 1}, {0, 0}, 1},
    {nullptr, nullptr, "2:", "hoehle", {X, V}, {0, 1}, {0, 2}, {0, 0}, 2},
    {nullptr, nullptr, "9", "hoelle", {X, V}, {0, 1}, {0, 2}, {0, 0}, 1},
    {nullptr, nullptr, "6", "lehrer", {X, V}, {0, 1}, {0, 2}, {0, 0}, 1},
    {nullptr, nullptr, "@", "lesen", {X, V}, {0, 1}, {0, 0}, {0, 0}, 0},
    {nullptr, nullptr, "H", "aspiration", {X, F}, {0, 0}, {0, 0}, {0, 1}, 0},
    {nullptr, nullptr, "x", "dach", {X, F}, {0, 0}, {0, 0}, {0, 1}, 0},
    {nullptr, nullptr, "C", "dich", {X, F}, {0, 0}, {0, 0}, {0, 0}, 0},
    {nullptr, nullptr, "a-", "branche", {X, X}, {0, 0}, {0, 0}, {0, 0}, 2},
    {nullptr, nullptr, "o-", "saison", {X, X}, {0, 0}, {0, 0}, {0, 0}, 2},
};

const PhonemeRow* rowOf(int number) {
    return number >= 0 && number < kGermanPhonemes ? &kRows[number] : nullptr;
}

// English slot data that stands in for the German-only slots 78..113 (first
// half of each pair; the second half adds one).
const unsigned char kEnglishSubstitute[kGermanPhonemes - kEnglishPhonemes] = {
    0, 4, 20, 2, 20, 48, 48, 64, 64, 6, 6, 22, 20, 30, 14, 14, 46, 46,
};

struct TokenNumber {
    const char* token;
    int number;
};

const TokenNumber kGermanPairs[] = {
    {"tS", 7},  {"dZ", 18}, {"a:", 39}, {"A:", 0},  {"O:", 3},  {"e:", 41}, {"E:", 42}, {"3:", 11},
    {"eI", 12}, {"i:", 17}, {"u:", 33}, {"o:", 44}, {"y:", 46}, {"2:", 48}, {"aU", 4},  {"aI", 5},
    {"@U", 24}, {"OY", 25}, {"a~", 55}, {"o~", 56}, {"a-", 55}, {"o-", 56},
};

int germanSingle(char c) {
    switch (c) {
    case '6': return 50;
    case '9': return 49;
    case '@': return 51;
    case 'C': return 54;
    case 'D': return 9;
    case 'E': return 43;
    case 'H': return 52;
    case 'I': return 16;
    case 'N': return 23;
    case 'O': return 45;
    case 'S': return 29;
    case 'T': return 31;
    case 'U': return 32;
    case 'V': return 2;
    case 'Y': return 47;
    case 'Z': return 38;
    case 'a': return 40;
    case 'b': return 6;
    case 'd': return 8;
    case 'e': return 10;
    case 'f': return 13;
    case 'g': return 14;
    case 'h': return 15;
    case 'j': return 36;
    case 'k': return 19;
    case 'l': return 20;
    case 'm': return 21;
    case 'n': return 22;
    case 'p': return 26;
    case 'r': return 27;
    case 's': return 28;
    case 't': return 30;
    case 'v': return 34;
    case 'w': return 35;
    case 'x': return 53;
    case 'z': return 37;
    case '{': return 1;
    default: return kNoPhoneme;
    }
}

int englishSingle(char c) {
    switch (c) {
    case 'B': return 6;
    case 'D': return 8;
    case 'F': return 13;
    case 'G': return 14;
    case 'K': return 19;
    case 'L': return 20;
    case 'M': return 21;
    case 'N': return 22;
    case 'P': return 26;
    case 'R': return 27;
    case 'S': return 28;
    case 'T': return 30;
    case 'V': return 34;
    case 'W': return 35;
    case 'Y': return 36;
    case 'Z': return 37;
    default: return kNoPhoneme;
    }
}

// The pair's second character decides only for A, E, I, O and U; the
// other first characters name one phoneme each whatever follows them.
int englishPair(char first, char second) {
    auto pick = [&](const char* seconds, const int* numbers) {
        for (int i = 0; seconds[i]; ++i)
            if (seconds[i] == second) return numbers[i];
        return kNoPhoneme;
    };
    switch (first) {
    case 'A': {
        static const int n[] = {0, 1, 2, 3, 4, 5};
        return pick("AEHOWY", n);
    }
    case 'C': return 7;
    case 'D': return 9;
    case 'E': {
        static const int n[] = {10, 11, 12};
        return pick("HRY", n);
    }
    case 'H': return 15;
    case 'I': {
        static const int n[] = {16, 17};
        return pick("HY", n);
    }
    case 'J': return 18;
    case 'N': return 23;
    case 'O': {
        static const int n[] = {24, 25};
        return pick("WY", n);
    }
    case 'S': return 29;
    case 'T': return 31;
    case 'U': {
        static const int n[] = {32, 33};
        return pick("HW", n);
    }
    case 'Z': return 38;
    default: return kNoPhoneme;
    }
}

void append(char* text, size_t size, const char* what) {
    if (!text || size == 0) return;
    size_t used = strnlen(text, size - 1);
    std::snprintf(text + used, size - used, "%s", what);
}

const PhonemeMenuItem kEnglishItems[kEnglishPhonemes] = {
    {"AA ( ODD )", 0},          {"AE ( AT )", 2},         {"AH\t( HUT )", 4},      {"AO\t( OUGHT )", 6},
    {"AW\t( COW )", 8},         {"AY\t( HIDE )", 10},     {"B\t( BE )", 12},       {"CH\t( CHEESE )", 14},
    {"D\t( DEE )", 16},         {"DH\t( THEE )", 18},     {"EH\t( ED )", 20},      {"ER\t( HURT )", 22},
    {"EY\t( ATE )", 24},        {"F\t( FEE )", 26},       {"G\t( GREEN )", 28},    {"HH\t( HE )", 30},
    {"IH\t( IT )", 32},         {"IY\t( EAT )", 34},      {"JH\t( GEE )", 36},     {"K\t( KEY )", 38},
    {"L\t( LEE )", 40},         {"M\t( ME )", 42},        {"N\t( KNEE )", 44},     {"NG\t( PING )", 46},
    {"OW\t( OAT )", 48},        {"OY\t( TOY )", 50},      {"P\t( PEE )", 52},      {"R\t( READ )", 54},
    {"S\t( SEA )", 56},         {"SH\t( SHE )", 58},      {"T\t( TEA )", 60},      {"TH\t( THETA )", 62},
    {"UH\t( HOOD )", 64},       {"UW\t( TWO )", 66},      {"V\t( VEE )", 68},      {"W\t( WE )", 70},
    {"Y\t( YIELD )", 72},       {"Z\t( ZEE )", 74},       {"ZH\t( SEIZURE )", 76},
};

// German items: the token, then the example word when the menu shows one.
const PhonemeMenuItem kGermanConsonants[] = {
    {"b\t( ball )", 12}, {"tS", 14},           {"C\t( dich )", 108}, {"d\t( dach )", 16},   {"D", 18},
    {"f\t( vernunft )", 26}, {"g\t( gold )", 28}, {"h\t( hut )", 30}, {"dZ", 36},            {"k\t( kann )", 38},
    {"l\t( lila )", 40}, {"m\t( mutter )", 42}, {"n\t( name )", 44}, {"N\t( jung )", 46},   {"p\t( paul )", 52},
    {"r\t( rand )", 54}, {"s\t( lies )", 56},  {"S\t( rasch )", 58}, {"t\t( tag )", 60},    {"T", 62},
    {"v\t( wenn )", 68}, {"w", 70},            {"j\t( ja )", 72},    {"x\t( dach )", 106},  {"z", 74},
    {"Z\t( loge )", 76}, {"H\t( aspiration )", 104},
};
const PhonemeMenuItem kGermanVowels[] = {
    {"a:\t( kahn )", 78},   {"a\t( kann )", 80},   {"A:", 0},             {"{", 2},              {"V", 4},
    {"O:", 6},              {"e:\t( beet )", 82},  {"e", 20},             {"E:\t( kaese )", 84}, {"E\t( bett )", 86},
    {"3:", 22},             {"I\t( mit )", 32},    {"i:\t( wiegen )", 34}, {"U\t( muss )", 64},  {"u:\t( fuhr )", 66},
    {"o:\t( aroma )", 88},  {"O\t( bock )", 90},   {"y:\t( huete )", 92}, {"Y\t( huette )", 94}, {"2:\t( hoehle )", 96},
    {"9\t( hoelle )", 98},  {"6\t( lehrer )", 100}, {"@\t( lesen )", 102}, {"a-\t( branche )", 110},
    {"o-\t( saison )", 112},
};
const PhonemeMenuItem kGermanDiphthongs[] = {
    {"aU\t( haus )", 8}, {"aI\t( zwei )", 10}, {"eI", 24}, {"@U", 48}, {"OY\t( neun )", 50},
};

const PhonemeMenu kEnglishMenu = {nullptr, kEnglishItems, kEnglishPhonemes};
const PhonemeMenu kGermanMenus[kGermanSubmenus] = {
    {"Consonants", kGermanConsonants, int(sizeof kGermanConsonants / sizeof kGermanConsonants[0])},
    {"Vowels", kGermanVowels, int(sizeof kGermanVowels / sizeof kGermanVowels[0])},
    {"Diphthongs", kGermanDiphthongs, int(sizeof kGermanDiphthongs / sizeof kGermanDiphthongs[0])},
};

}  // namespace

int phonemeClass(int language, int number) {
    const PhonemeRow* row = rowOf(number);
    return row ? int(row->cls[languageIndex(language)]) : int(kClassNone);
}

bool isVowelPhoneme(int language, int number) {
    const PhonemeRow* row = rowOf(number);
    return row && row->vowel[languageIndex(language)];
}

int locusGroup(int language, int number) {
    const PhonemeRow* row = rowOf(number);
    return row ? row->locus[languageIndex(language)] : 0;
}

int spectralFlag(int language, int slot) {
    const PhonemeRow* row = slot >= 0 ? rowOf(slot / 2) : nullptr;
    return row ? row->flag[languageIndex(language)] : 0;
}

int substituteSlot(int language, int slot) {
    if (slot < 0) return 0;
    if (languageIndex(language) != kLanguageEnglish) return slot < kPhonemeSlots ? slot : 0;
    if (slot < 78) return slot;
    // Slot 78 itself reads slot 0 like every slot past the table; its pair
    // 79 reads AA's second half.
    if (slot == 78 || slot > 113) return 0;
    return kEnglishSubstitute[slot / 2 - kEnglishPhonemes] + (slot & 1);
}

int parsePhonemeToken(int language, const char* text, int length) {
    if (!text || length < 1 || length > 2) return kNoPhoneme;
    if (languageIndex(language) == kLanguageEnglish)
        return length == 1 ? englishSingle(text[0]) : englishPair(text[0], text[1]);
    if (length == 1) return germanSingle(text[0]);
    for (const TokenNumber& t : kGermanPairs)
        if (t.token[0] == text[0] && t.token[1] == text[1]) return t.number;
    return kNoPhoneme;
}

int tokenLengthClass(int language, const char* text, int length) {
    if (languageIndex(language) == kLanguageEnglish) return 1;
    if (!text || length < 1 || length > 2) return 0;
    if (length == 1) return std::strchr("69EIOUVYae{", text[0]) && text[0] ? 1 : 0;
    static const char* const kLong[] = {"a:", "A:", "O:", "e:", "E:", "3:", "i:", "u:",
                                        "o:", "y:", "2:", "a~", "o~", "a-", "o-"};
    static const char* const kDiphthong[] = {"eI", "aU", "aI", "@U", "OY"};
    for (const char* t : kLong)
        if (t[0] == text[0] && t[1] == text[1]) return 2;
    for (const char* t : kDiphthong)
        if (t[0] == text[0] && t[1] == text[1]) return 3;
    return 0;
}

const char* phonemeToken(int language, int number) {
    const PhonemeRow* row = rowOf(number);
    if (!row) return nullptr;
    return languageIndex(language) == kLanguageEnglish ? row->englishToken : row->germanToken;
}

const char* phonemeExample(int language, int number) {
    const PhonemeRow* row = rowOf(number);
    if (!row) return nullptr;
    return languageIndex(language) == kLanguageEnglish ? row->englishExample : row->germanExample;
}

const char* languageName(int language) {
    return languageIndex(language) == kLanguageEnglish ? "Amer. english" : "German";
}

const char* className(int phonemeClass) {
    static const char* const kNames[] = {"-", "Vowel", "Liquid", "Fricative", "Affricative", "Plosive", "Nasal"};
    return phonemeClass >= 0 && phonemeClass <= kClassNasal ? kNames[phonemeClass] : "-";
}

void appendPhonemeText(int language, int number, int mark, char* text, size_t size) {
    const char* token = phonemeToken(language, number);
    if (languageIndex(language) == kLanguageGerman) {
        append(text, size, token ? token : "?");
        append(text, size, " ");
        return;
    }
    append(text, size, token ? token : "?");
    if (mark >= 1 && mark <= 3) {
        char stress[3] = {char('0' + mark), ' ', 0};
        append(text, size, stress);
    } else {
        append(text, size, " ");
    }
}

void phonemeSequenceText(int language, const uint8_t* numbers, const uint8_t* marks, int count, char* text,
                         size_t size) {
    if (text && size) text[0] = 0;
    if (!numbers) return;
    for (int i = 0; i < count && i < kNoteListLength; ++i) {
        if (numbers[i] > 98) break;
        appendPhonemeText(language, numbers[i], marks ? marks[i] : 0, text, size);
    }
}

int phonemeIdCount(const uint8_t* ids, int length) {
    int n = 0;
    if (!ids) return 0;
    while (n < length && n < kNoteListLength && ids[n] < kNoPhonemeId) ++n;
    return n;
}

bool isVowelLetter(char c) { return c && std::strchr("AEIOUYaeiouy", c) != nullptr; }

const PhonemeMenu& englishPhonemeMenu() { return kEnglishMenu; }

const PhonemeMenu& germanPhonemeMenu(int submenu) {
    return kGermanMenus[submenu >= 0 && submenu < kGermanSubmenus ? submenu : 0];
}
