#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "voice/phoneme_inventory.h"

namespace {

int parse(int language, const char* token) { return parsePhonemeToken(language, token, int(std::strlen(token))); }

std::string display(int language, int number, int mark) {
    char text[16] = "";
    appendPhonemeText(language, number, mark, text, sizeof text);
    return text;
}

}  // namespace

TEST(PhonemeInventory, EnglishTokenParsing) {
    struct Case {
        const char* token;
        int number;
    } cases[] = {
        {"AA", 0}, {"AY", 5}, {"AX", 99}, {"B", 6},   {"CH", 7},  {"CX", 7},  {"DH", 9},  {"EH", 10},
        {"EY", 12}, {"EX", 99}, {"HH", 15}, {"IY", 17}, {"IX", 99}, {"JH", 18}, {"NG", 23}, {"OW", 24},
        {"OY", 25}, {"OO", 99}, {"SH", 29}, {"TH", 31}, {"UH", 32}, {"UW", 33}, {"UU", 99}, {"ZH", 38},
        {"ZX", 38}, {"Z", 37},  {"Y", 36},  {"A", 99},  {"b", 99},  {"QQ", 99}, {"aa", 99},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(kLanguageEnglish, c.token), c.number) << c.token;
    EXPECT_EQ(parsePhonemeToken(kLanguageEnglish, "AAA", 3), kNoPhoneme);
    EXPECT_EQ(parsePhonemeToken(kLanguageEnglish, "AA", 0), kNoPhoneme);
}

TEST(PhonemeInventory, GermanTokenParsingIsCaseSensitive) {
    struct Case {
        const char* token;
        int number;
    } cases[] = {
        {"a~", 55}, {"a-", 55}, {"o~", 56}, {"o-", 56}, {"a:", 39}, {"A:", 0},  {"tS", 7},  {"TS", 99},
        {"a", 40},  {"A", 99},  {"E", 43},  {"e", 10},  {"{", 1},   {"6", 50},  {"x", 53},  {"X", 99},
        {"OY", 25}, {"oy", 99}, {"@U", 24}, {"v", 34},  {"V", 2},   {"H", 52},  {"ZH", 99},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(kLanguageGerman, c.token), c.number) << c.token;
}

TEST(PhonemeInventory, EveryTokenParsesBackToItsNumber) {
    for (int lang : {kLanguageEnglish, kLanguageGerman})
        for (int n = 0; n < kPhonemeNumbers; ++n) {
            const char* token = phonemeToken(lang, n);
            if (!token) continue;
            EXPECT_EQ(parse(lang, token), n) << lang << " " << token;
        }
}

TEST(PhonemeInventory, GermanLengthClass) {
    struct Case {
        const char* token;
        int length;
    } cases[] = {{"a:", 2}, {"a~", 2}, {"o-", 2}, {"aU", 3}, {"OY", 3}, {"a", 1}, {"{", 1},
                 {"@", 0},  {"b", 0},  {"tS", 0}, {"U", 1},  {"u", 0},  {"6", 1}};
    for (const Case& c : cases)
        EXPECT_EQ(tokenLengthClass(kLanguageGerman, c.token, int(std::strlen(c.token))), c.length) << c.token;
    EXPECT_EQ(tokenLengthClass(kLanguageEnglish, "B", 1), 1);
}

TEST(PhonemeInventory, ClassesAndVowelTest) {
    EXPECT_EQ(phonemeClass(kLanguageGerman, 34), kClassLiquid);
    EXPECT_EQ(phonemeClass(kLanguageEnglish, 34), kClassFricative);
    EXPECT_EQ(phonemeClass(kLanguageEnglish, 7), kClassFricative);  // affricates class as fricatives
    for (int lang : {kLanguageEnglish, kLanguageGerman}) {
        for (int n : {55, 56, 57, 63, 64, 99, -1}) {
            EXPECT_EQ(phonemeClass(lang, n), kClassNone) << n;
            EXPECT_FALSE(isVowelPhoneme(lang, n)) << n;
        }
        for (int n = 0; n < kPhonemeNumbers; ++n) EXPECT_NE(phonemeClass(lang, n), kClassAffricative);
    }
    for (int n = 39; n <= 51; ++n) {
        EXPECT_TRUE(isVowelPhoneme(kLanguageGerman, n));
        EXPECT_FALSE(isVowelPhoneme(kLanguageEnglish, n));
    }
    EXPECT_TRUE(isVowelPhoneme(kLanguageEnglish, 33));
    EXPECT_FALSE(isVowelPhoneme(kLanguageEnglish, 34));
}

TEST(PhonemeInventory, LocusGroupAndSpectralFlag) {
    EXPECT_EQ(locusGroup(kLanguageEnglish, 0), 2);
    EXPECT_EQ(locusGroup(kLanguageGerman, 0), 1);
    EXPECT_EQ(locusGroup(kLanguageGerman, 11), 0);
    EXPECT_EQ(locusGroup(kLanguageGerman, 39), 2);
    EXPECT_EQ(spectralFlag(kLanguageEnglish, 60), 0);  // T
    EXPECT_EQ(spectralFlag(kLanguageGerman, 61), 1);   // t, second half
    EXPECT_EQ(spectralFlag(kLanguageEnglish, 31), 1);  // HH
    EXPECT_EQ(spectralFlag(kLanguageGerman, 106), 1);  // x
    EXPECT_EQ(spectralFlag(kLanguageGerman, 200), 0);
}

TEST(PhonemeInventory, EnglishSubstitution) {
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 95), 65);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 78), 0);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 79), 1);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 80), 4);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 105), 31);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 113), 47);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 114), 0);
    EXPECT_EQ(substituteSlot(kLanguageEnglish, 77), 77);
    EXPECT_EQ(substituteSlot(kLanguageGerman, 95), 95);
    EXPECT_EQ(substituteSlot(kLanguageGerman, 127), 127);
    for (int slot = -3; slot < 300; ++slot)
        for (int lang : {kLanguageEnglish, kLanguageGerman}) {
            int s = substituteSlot(lang, slot);
            EXPECT_TRUE(s >= 0 && s < kPhonemeSlots) << slot;
        }
}

TEST(PhonemeInventory, DisplayText) {
    EXPECT_EQ(display(kLanguageGerman, 55, 2), "a- ");
    EXPECT_EQ(display(kLanguageGerman, 0, 2), "A: ");
    EXPECT_EQ(display(kLanguageGerman, 60, 0), "? ");
    EXPECT_EQ(display(kLanguageEnglish, 0, 1), "AA1 ");
    EXPECT_EQ(display(kLanguageEnglish, 0, 4), "AA ");
    EXPECT_EQ(display(kLanguageEnglish, 6, 0), "B ");
    EXPECT_EQ(display(kLanguageEnglish, 40, 0), "? ");

    const uint8_t numbers[] = {28, 16, 23, 99, 0};
    const uint8_t marks[] = {0, 1, 0, 0, 0};
    char text[64];
    phonemeSequenceText(kLanguageEnglish, numbers, marks, 5, text, sizeof text);
    EXPECT_STREQ(text, "S IH1 NG ");
    char small[5];
    phonemeSequenceText(kLanguageEnglish, numbers, marks, 5, small, sizeof small);
    EXPECT_STREQ(small, "S IH");
}

TEST(PhonemeInventory, NoteListLength) {
    uint8_t list[32];
    std::memset(list, 12, sizeof list);
    EXPECT_EQ(phonemeIdCount(list, 32), 32);
    list[0] = 198;
    EXPECT_EQ(phonemeIdCount(list, 32), 0);
    list[0] = 12;
    list[4] = 200;
    EXPECT_EQ(phonemeIdCount(list, 32), 4);
    list[4] = 112;
    list[5] = 199;
    EXPECT_EQ(phonemeIdCount(list, 32), 5);
}

TEST(PhonemeInventory, Menus) {
    const PhonemeMenu& en = englishPhonemeMenu();
    ASSERT_EQ(en.count, 39);
    EXPECT_STREQ(en.items[0].text, "AA ( ODD )");
    EXPECT_STREQ(en.items[3].text, "AO\t( OUGHT )");
    EXPECT_STREQ(en.items[38].text, "ZH\t( SEIZURE )");
    for (int i = 0; i < en.count; ++i) EXPECT_EQ(en.items[i].id, 2 * i);

    int seen[kPhonemeNumbers] = {};
    int total = 0;
    for (int m = 0; m < kGermanSubmenus; ++m) {
        const PhonemeMenu& menu = germanPhonemeMenu(m);
        for (int i = 0; i < menu.count; ++i) {
            // Each item's text starts with the token of the phoneme its id names.
            const PhonemeMenuItem& item = menu.items[i];
            const char* token = phonemeToken(kLanguageGerman, item.id / 2);
            ASSERT_NE(token, nullptr);
            EXPECT_EQ(std::strncmp(item.text, token, std::strlen(token)), 0) << item.text;
            ++seen[item.id / 2];
            ++total;
        }
    }
    EXPECT_EQ(total, 57);
    for (int n = 0; n < 57; ++n) EXPECT_EQ(seen[n], 1) << n;
    EXPECT_STREQ(germanPhonemeMenu(0).title, "Consonants");
    EXPECT_STREQ(germanPhonemeMenu(1).items[0].text, "a:\t( kahn )");
    EXPECT_STREQ(germanPhonemeMenu(2).items[4].text, "OY\t( neun )");
    EXPECT_STREQ(germanPhonemeMenu(0).items[0].text, "b\t( ball )");
}

TEST(PhonemeInventory, VowelLetters) {
    for (char c : std::string("AEIOUYaeiouy")) EXPECT_TRUE(isVowelLetter(c)) << c;
    for (char c : std::string("BbZz0 \xC4")) EXPECT_FALSE(isVowelLetter(c)) << c;
    EXPECT_FALSE(isVowelLetter(0));
}
