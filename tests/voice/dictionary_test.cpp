// The pronunciation dictionary: line reader, lookups (exact, German
// inflection, compounds, prefix), spreading phonemes over syllables, typed
// phonemes, random words, plain-text lyrics, and the shipped data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "voice/dictionary.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

using Phonemes = CDictionary::Phonemes;

std::unique_ptr<CDictionary> makeDictionary(int language, const std::string& text) {
    auto d = std::make_unique<CDictionary>();
    d->addDictionaryText(language, text.data(), text.size());
    d->setLanguage(language);
    return d;
}

// Display text of found phonemes in the dictionary's current language.
std::string shown(const CDictionary& d, const Phonemes& p) {
    char text[512];
    d.displayText(p, text, sizeof text);
    return text;
}

// Looks up syllables and returns each syllable's display text, or {} when
// the word is not found.
std::vector<std::string> sung(const CDictionary& d, std::vector<const char*> syllables) {
    std::vector<Phonemes> out(syllables.size());
    if (!d.lookupSyllables(int(syllables.size()), syllables.data(), out.data())) return {};
    std::vector<std::string> texts;
    for (const Phonemes& p : out) texts.push_back(shown(d, p));
    return texts;
}

std::string installFolder() {
    const char* home = std::getenv("LYRENA_HOME");
    return home ? home : "";
}

const char* kGerman =
    "HAUS  h aU s\n"
    "TUER  t y: r\n"
    "HAUSTUER  h aU s t y: r\n"
    "LIEB  l i: p\n"
    "LIEBE  l i: b @\n"
    "KIND  k I n t\n"
    "GARTEN  g a r t @ n\n"
    "SONNE  z O n @\n"
    "SONNEN*  z O n @ n\n"
    "SCHEIN  S aI n\n"
    "WEG  v e: k\n"
    "WEG  v E k\n"
    "STRASSE  S t r a: s @\n"
    "SCHOEN  S 2: n\n";

const char* kEnglish =
    "HELLO  HH AH0 L OW1\n"
    "LOVE  L AH1 V\n"
    "READ  R EH1 D\n"
    "READ  R IY1 D\n"
    "SING  S IH1 NG\n"
    "SINGING  S IH1 NG IH0 NG\n"
    "DON'T  D OW1 N T\n"
    "THE  DH AH0\n";

}  // namespace

TEST(DictionaryLines, EnglishTokensStressDigitsAndUnknowns) {
    struct Case {
        const char* text;
        std::vector<int> numbers;
        std::vector<int> marks;
    } cases[] = {
        {"HH AH0 L OW1", {15, 2, 20, 24}, {0, 0, 0, 1}},
        {"AA2", {0}, {2}},
        {"ZX", {38}, {0}},              // the second character of Z is not examined
        {"EX B", {99, 6}, {0, 0}},      // unknown pair
        {"AH1B C", {2, 99}, {1, 0}},    // the character after the digit is the separator
        {"XYZ", {99}, {0}},             // longer than two characters
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        Phonemes p;
        int n = CDictionary::parsePronunciation(kLanguageEnglish, c.text, std::strlen(c.text), p);
        SCOPED_TRACE(c.text);
        ASSERT_EQ(n, int(c.numbers.size()));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(p.numbers[i], c.numbers[i]);
            EXPECT_EQ(p.marks[i], c.marks[i]);
        }
        if (n < 32) EXPECT_EQ(p.numbers[n], 99);
    }
}

TEST(DictionaryLines, GermanTokensAndLengthClasses) {
    Phonemes p;
    const char* text = "h aU s a: a @ t y: r a~ a-";
    int n = CDictionary::parsePronunciation(kLanguageGerman, text, std::strlen(text), p);
    std::vector<int> numbers = {15, 4, 28, 39, 40, 51, 30, 46, 27, 55, 55};
    std::vector<int> marks = {0, 3, 0, 2, 1, 0, 0, 2, 0, 2, 2};
    ASSERT_EQ(n, int(numbers.size()));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(p.numbers[i], numbers[i]) << i;
        EXPECT_EQ(p.marks[i], marks[i]) << i;
    }
    // Case matters; an unknown pair gives 99.
    EXPECT_EQ(CDictionary::parsePronunciation(kLanguageGerman, "A: qq", 5, p), 2);
    EXPECT_EQ(p.numbers[0], 0);
    EXPECT_EQ(p.numbers[1], 99);
}

TEST(DictionaryLines, ReaderKeepsAtMost32PhonemesCutsLongLinesAndRejectsEmptyOnes) {
    std::string many = "LONG ";
    for (int i = 0; i < 40; ++i) many += "b ";
    std::string longWord(300, 'Q');  // past 255 characters: cut, so no phonemes remain
    std::string text = many + "\r\n" + longWord + "  B\n" + "\n   \nNOPRON\nlower  l a\n";
    auto d = makeDictionary(kLanguageGerman, text);
    EXPECT_EQ(d->entries(kLanguageGerman), 2);
    Phonemes p;
    ASSERT_TRUE(d->lookupWord("long", false, p));
    EXPECT_EQ(p.count(), 32);
    ASSERT_TRUE(d->lookupWord("LOWER", false, p));  // words are upper-cased on reading
    EXPECT_EQ(p.count(), 2);
}

TEST(DictionaryLines, TableStopsAcceptingAtItsCapacity) {
    auto d = std::make_unique<CDictionary>();
    // Word text pool: 1.6 MB for English.
    std::string word(200, 'A');
    int added = 0;
    for (int i = 0; i < 9000; ++i) {
        std::string line = word + std::to_string(i) + " B";
        added += d->addLine(kLanguageEnglish, line.data(), line.size());
    }
    EXPECT_LT(added, 9000);
    EXPECT_LE(d->poolBytes(kLanguageEnglish), CDictionary::kEnglishPool);
    EXPECT_GT(d->poolBytes(kLanguageEnglish) + 206, CDictionary::kEnglishPool);  // the next word would not fit
    // Entries: 160,000 per language.
    for (int i = 0; i < CDictionary::kEntries + 10; ++i) {
        char line[32];
        int n = std::snprintf(line, sizeof line, "W%d b", i);
        d->addLine(kLanguageGerman, line, size_t(n));
    }
    EXPECT_EQ(d->entries(kLanguageGerman), CDictionary::kEntries);
    d->setLanguage(kLanguageGerman);
    Phonemes p;
    EXPECT_TRUE(d->lookupWord("W159999", false, p));
    EXPECT_FALSE(d->lookupWord("W160000", false, p));
}

TEST(DictionaryLookup, GermanSyllablesJoinAndNormaliseInEveryEncoding) {
    auto d = makeDictionary(kLanguageGerman, kGerman);
    // HAUS- + TÜR is looked up as HAUSTUER, whatever code the umlaut came in.
    for (const char* tuer : {"TÜR", "tür", "T\xDCR", "t\xFCr", "T\x86R", "t\x9Fr"}) {
        SCOPED_TRACE(tuer);
        EXPECT_EQ(sung(*d, {"HAUS-", tuer}), (std::vector<std::string>{"h aU s ", "t y: r "}));
    }
    Phonemes p;
    for (const char* s : {"straße", "STRA\xDF" "E", "stra\xA7" "e", "STRASSE"}) EXPECT_TRUE(d->lookupWord(s, false, p)) << s;
    for (const char* s : {"schön", "SCH\xD6N", "sch\x9An", "SCHÖN"}) EXPECT_TRUE(d->lookupWord(s, false, p)) << s;
    // English has no umlaut rule.
    d->setLanguage(kLanguageEnglish);
    EXPECT_FALSE(d->lookupWord("schön", false, p));
}

TEST(DictionaryLookup, ExactMatchTakesTheFirstEntryAndPrefixFlagFindsBeginnings) {
    auto d = makeDictionary(kLanguageEnglish, kEnglish);
    Phonemes p;
    ASSERT_TRUE(d->lookupWord("read", false, p));
    EXPECT_EQ(shown(*d, p), "R EH1 D ");
    ASSERT_TRUE(d->lookupWord("don't", false, p));
    EXPECT_EQ(shown(*d, p), "D OW1 N T ");
    EXPECT_FALSE(d->lookupWord("SIN", false, p));
    ASSERT_TRUE(d->lookupWord("SIN", true, p));
    EXPECT_EQ(shown(*d, p), "S IH1 NG ");
    EXPECT_FALSE(d->lookupWord("", true, p));
    // Only the first 32 characters of a query count.
    std::string longQuery = "SINGING" + std::string(40, 'X');
    EXPECT_FALSE(d->lookupWord(longQuery.c_str(), true, p));
}

TEST(DictionaryLookup, GermanInflectionCompoundsAndPrefixFallback) {
    auto d = makeDictionary(kLanguageGerman, kGerman);
    Phonemes p;
    auto whole = [&](std::vector<const char*> s) {
        Phonemes out;
        if (!d->lookupJoined(int(s.size()), s.data(), out)) return std::string("-");
        return shown(*d, out);
    };
    EXPECT_EQ(whole({"kin-", "des"}), "k I n t @ s ");        // stem + ES
    EXPECT_EQ(whole({"gar-", "tens"}), "g a r t @ n s ");     // stem + S
    EXPECT_EQ(whole({"lie-", "ben"}), "l i: p @ n ");         // first stem in the chain that fits: LIEB + EN
    EXPECT_EQ(whole({"haus-", "lie-", "be"}), "h aU s l i: b @ ");                   // compound, exact tail
    EXPECT_EQ(whole({"haus-", "kin-", "des"}), "h aU s k I n t @ s ");             // compound, inflected tail
    EXPECT_EQ(whole({"son-", "nen-", "schein"}), "z O n @ n S aI n ");             // head ending in "*"
    EXPECT_EQ(whole({"stra-", "ssen"}), "S t r a: s @ n ");                       // STRASSE + N
    EXPECT_EQ(whole({"schö-"}), "S 2: n ");                                       // prefix of SCHOEN
    EXPECT_EQ(whole({"hausxy"}), "-");  // a tail of two letters makes no compound
    EXPECT_EQ(whole({"-"}), "-");       // nothing left after the dashes
    EXPECT_EQ(whole({"qqq"}), "-");
    // The English table has no inflection rule.
    auto e = makeDictionary(kLanguageEnglish, kEnglish);
    const char* loves[] = {"loves"};
    EXPECT_FALSE(e->lookupJoined(1, loves, p));
}

TEST(DictionarySpread, PhonemesGoToTheirLettersSyllableBySyllable) {
    auto de = makeDictionary(kLanguageGerman, kGerman);
    auto en = makeDictionary(kLanguageEnglish, kEnglish);
    // h on "h", aU on "a" (then "u" is skipped), s on "s".
    EXPECT_EQ(sung(*de, {"haus"}), (std::vector<std::string>{"h aU s "}));
    // A "-" syllable holds the vowel placed last before it.
    EXPECT_EQ(sung(*en, {"love", "-", "-"}), (std::vector<std::string>{"L AH1 V ", "AH ", "AH "}));
    EXPECT_EQ(sung(*en, {"hel-", "lo"}), (std::vector<std::string>{"HH AH L ", "OW1 "}));
    EXPECT_EQ(sung(*en, {"sing-", "ing"}), (std::vector<std::string>{"S IH1 NG ", "IH NG "}));
    // Letters that run out before the phonemes leave the rest to the last syllable.
    EXPECT_EQ(sung(*en, {"hel-", "l"}), (std::vector<std::string>{"HH AH L ", "OW1 "}));
    EXPECT_EQ(sung(*de, {"h"}), (std::vector<std::string>{"h aU s "}));  // prefix HAUS, rest appended
    // An umlaut is walked as the vowel letters it stands for.
    EXPECT_EQ(sung(*de, {"Haus-", "tür"}), (std::vector<std::string>{"h aU s ", "t y: r "}));
    // A failed lookup leaves the outputs as they were.
    Phonemes out[2];
    out[0].clear();
    out[0].numbers[0] = 7;
    const char* unknown[] = {"xx-", "yy"};
    EXPECT_FALSE(de->lookupSyllables(2, unknown, out));
    EXPECT_EQ(out[0].numbers[0], 7);
    EXPECT_FALSE(de->lookupSyllables(0, unknown, out));
    EXPECT_FALSE(de->lookupSyllables(CDictionary::kMaxSyllables + 1, unknown, out));
}

TEST(DictionaryTyped, TypedPhonemesGiveIdsAndBytes) {
    auto d = std::make_unique<CDictionary>();
    uint8_t ids[32], marks[32];
    d->setLanguage(kLanguageEnglish);
    EXPECT_EQ(d->parseTyped("HH AH0 L OW1", ids, marks), 4);
    EXPECT_EQ(ids[0], 30);
    EXPECT_EQ(ids[3], 48);
    EXPECT_EQ(marks[3], 1);
    EXPECT_EQ(ids[4], 198);
    d->setLanguage(kLanguageGerman);
    EXPECT_EQ(d->parseTyped("h aU s", ids, marks), 3);
    EXPECT_EQ(ids[1], 8);
    EXPECT_EQ(marks[1], 3);
    // An unknown token ends the list.
    EXPECT_EQ(d->parseTyped("h qq s", ids, marks), 1);
    EXPECT_EQ(ids[1], 198);
    EXPECT_EQ(d->parseTyped("", ids, marks), 0);
    EXPECT_EQ(ids[0], 198);
}

TEST(DictionaryRandom, DrawsByTheFormulaAndHandlesAnEmptyList) {
    auto d = std::make_unique<CDictionary>();
    EXPECT_EQ(d->randomWord(1, 2), nullptr);
    std::string list = "ONE 1\nTWO 1\nTHREE 1\n\n  FOUR x\n";
    EXPECT_EQ(d->addRandomText(kLanguageEnglish, list.data(), list.size()), 4);
    EXPECT_STREQ(d->randomWord(0, 2), "THREE");
    EXPECT_STREQ(d->randomWord(1, 0), "FOUR");  // 32767 mod 4 = 3
    EXPECT_STREQ(d->randomWord(2, 2), "ONE");  // 65536 mod 4 = 0
    EXPECT_NE(d->randomWord(), nullptr);
    d->setLanguage(kLanguageGerman);
    EXPECT_EQ(d->randomWord(), nullptr);
}

TEST(DictionaryText, PlainTextLyricsGiveNotesWithLengthsAndGaps) {
    auto d = makeDictionary(kLanguageGerman, kGerman);
    std::string text = "Haus, T\xC3\xBCr xyz\nliebe.  weg";
    size_t pos = 0;
    CDictionary::TextNote note;
    struct Expect {
        const char* word;
        int ticks, gap;
    } expected[] = {
        {"Haus", 3000 + 2000, 4001},
        {"T\xC3\xBCr", 3000 + 2000, 1001},
        {"liebe", 2 * 3000 + 2000, 4001},  // xyz is unknown: no note
        {"weg", 3000 + 2000, 1001},
    };
    for (const Expect& e : expected) {
        ASSERT_TRUE(d->nextTextNote(text.data(), text.size(), pos, note)) << e.word;
        EXPECT_STREQ(note.word, e.word);
        EXPECT_EQ(note.ticks, e.ticks) << e.word;
        EXPECT_EQ(note.gapTicks, e.gap) << e.word;
    }
    EXPECT_FALSE(d->nextTextNote(text.data(), text.size(), pos, note));
}

// The shipped data files, read from the installation folder.
class ShippedDictionary : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dict = new CDictionary;
        loaded = dict->loadFolder(installFolder().c_str());
    }
    static void TearDownTestSuite() {
        delete dict;
        dict = nullptr;
    }
    static double foundShare(int language, const char* listName, std::vector<std::string>& missing) {
        dict->setLanguage(language);
        std::ifstream list(std::string(std::getenv("LYRENA_SOURCE")) + "/tests/voice/" + listName);
        int total = 0, found = 0;
        for (std::string word; std::getline(list, word);) {
            if (word.empty()) continue;
            ++total;
            const char* syllable = word.c_str();
            Phonemes p;
            if (dict->lookupSyllables(1, &syllable, &p))
                ++found;
            else
                missing.push_back(word);
        }
        EXPECT_EQ(total, 1000);
        return total ? double(found) / total : 0;
    }
    static CDictionary* dict;
    static int loaded;
};
CDictionary* ShippedDictionary::dict = nullptr;
int ShippedDictionary::loaded = 0;

TEST_F(ShippedDictionary, AllFourFilesLoadWithinCapacity) {
    ASSERT_EQ(loaded, 4);
    for (int language : {kLanguageEnglish, kLanguageGerman}) {
        EXPECT_GT(dict->entries(language), 100000);
        EXPECT_LE(dict->entries(language), CDictionary::kEntries);
        EXPECT_GT(dict->randomCount(language), 5000);
    }
    std::printf("entries: English %d, German %d; random words: English %d, German %d\n",
                dict->entries(kLanguageEnglish), dict->entries(kLanguageGerman), dict->randomCount(kLanguageEnglish),
                dict->randomCount(kLanguageGerman));
    // Every random word is one the dictionary knows.
    for (int language : {kLanguageEnglish, kLanguageGerman}) {
        dict->setLanguage(language);
        for (int r = 0; r < 200; ++r) {
            Phonemes p;
            const char* w = dict->randomWord(r * 7, r);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(dict->lookupWord(w, false, p)) << w;
        }
    }
}

TEST_F(ShippedDictionary, KnowsTheCommonWordsOfSongLyrics) {
    std::vector<std::string> missingEn, missingDe;
    double en = foundShare(kLanguageEnglish, "lyrics_words_en.txt", missingEn);
    double de = foundShare(kLanguageGerman, "lyrics_words_de.txt", missingDe);
    std::printf("found: English %.1f%%, German %.1f%%\n", 100 * en, 100 * de);
    for (const auto& w : missingEn) std::printf("  missing en: %s\n", w.c_str());
    for (const auto& w : missingDe) std::printf("  missing de: %s\n", w.c_str());
    EXPECT_GE(en, 0.99);
    EXPECT_GE(de, 0.99);
}

TEST_F(ShippedDictionary, SingsRealWords) {
    dict->setLanguage(kLanguageGerman);
    EXPECT_EQ(sung(*dict, {"Haus-", "tür"}), (std::vector<std::string>{"h aU s ", "t y: r "}));
    EXPECT_EQ(sung(*dict, {"Lie-", "be"}), (std::vector<std::string>{"l i: ", "b @ "}));
    EXPECT_EQ(sung(*dict, {"Träu-", "me"}), (std::vector<std::string>{"t r OY ", "m @ "}));
    dict->setLanguage(kLanguageEnglish);
    EXPECT_EQ(sung(*dict, {"hel-", "lo"}), (std::vector<std::string>{"HH AH L ", "OW1 "}));
    EXPECT_EQ(sung(*dict, {"don't"}), (std::vector<std::string>{"D OW1 N T "}));
}

TEST(DictionaryLoad, BothDictionariesLoadQuickly) {
    std::vector<double> ms;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        auto d = std::make_unique<CDictionary>();
        ASSERT_EQ(d->loadFolder(installFolder().c_str()), 4);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("loading all four files: median %.0f ms\n", ms[1]);
    EXPECT_LT(ms[1], kSanitized ? 10000.0 : 1000.0);
    // A folder without the files leaves every table empty.
    auto empty = std::make_unique<CDictionary>();
    EXPECT_EQ(empty->loadFolder("/nonexistent/"), 0);
    Phonemes p;
    EXPECT_FALSE(empty->lookupWord("A", true, p));
}

TEST(DictionaryTool, PhonemesCommandPrintsSyllablesOrTheUnknownWord) {
    std::string cli = std::getenv("LYRENA_CLI");
    auto run = [&](const std::string& args, int& status) {
        std::string out;
        std::FILE* p = popen((cli + " phonemes " + args + " 2>&1").c_str(), "r");
        char buffer[256];
        while (p && std::fgets(buffer, sizeof buffer, p)) out += buffer;
        status = p ? pclose(p) : -1;
        return out;
    };
    int status = 0;
    std::string out = run("--lang de HAUS- TÜR", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("HAUS-        h aU s"), std::string::npos) << out;
    EXPECT_NE(out.find("t y: r"), std::string::npos) << out;
    out = run("love - xyzzyq", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("L AH1 V"), std::string::npos) << out;
    EXPECT_NE(out.find("unknown word: xyzzyq"), std::string::npos) << out;
    run("--lang fr word", status);
    EXPECT_NE(status, 0);
}
