// Plain-text lyrics into a part.
#include <gtest/gtest.h>

#include <cstring>

#include "files/global_data.h"
#include "score/sq_event_list.h"
#include "score/text_import.h"
#include "voice/dictionary.h"

TEST(TextImport, WordsBecomeNotesOneAfterAnother) {
    CDictionary dict;
    const char* lines = "SING  S IH1 NG\nLA  L AA1\n";
    dict.addDictionaryText(kLanguageEnglish, lines, std::strlen(lines));
    dict.setLanguage(kLanguageEnglish);
    CSQEventList list;
    list.insertNote(5500, 5500, 70);  // occupies where "la" would go
    const char* text = "sing zqx, la. sing";
    EXPECT_EQ(importPlainText(list, dict, 0, text, std::strlen(text)), 2);
    CSQEvent* first = list.findAt(0);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->lyric, "sing");
    EXPECT_EQ(first->pitch, kTextImportPitch);
    EXPECT_EQ(first->end(), 3000.0f + 2000) << "one vowel, two consonants";
    EXPECT_EQ(first->phonemes[1], 2 * 16);
    EXPECT_FALSE(first->timingValid);
    // "zqx" is unknown and skipped; "la" (6001..10001, after a gap of
    // 1 + 1000) would overlap and is skipped; the last "sing" follows the
    // punctuation gap of 1 + 4000 after "la".
    EXPECT_EQ(list.findAt(6001), nullptr);
    ASSERT_NE(list.findAt(14002), nullptr);
    EXPECT_STREQ(list.findAt(14002)->lyric, "sing");
    EXPECT_EQ(list.noteCount(), 3);
}

TEST(TextImport, MissingFile) {
    CDictionary dict;
    CSQEventList list;
    if (std::FILE* f = std::fopen((std::string(globalData().installFolder) + "test.txt").c_str(), "r")) {
        std::fclose(f);
        GTEST_SKIP() << "an installation with its own test.txt";
    }
    EXPECT_EQ(importPlainTextFile(list, dict, 0), -1);
}
