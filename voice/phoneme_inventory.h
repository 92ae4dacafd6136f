// The phoneme inventory shared by both languages: numbers, ids and slots,
// per-phoneme classes and articulation properties, token spellings and the
// phoneme menus. Constant data and pure lookups only.
//
// Phoneme number n is 0..63 (0..38 English, 39..56 German-only); its id 2n is
// what notes and menus store; slots 2n (first half, A) and 2n+1 (second
// half, B) index the phoneme model.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kLanguageEnglish = 0;
constexpr int kLanguageGerman = 1;

constexpr int kPhonemeNumbers = 64;
constexpr int kPhonemeSlots = 128;
constexpr int kEnglishPhonemes = 39;
constexpr int kGermanPhonemes = 57;  // numbers 0..56 carry a German token
constexpr int kNoPhoneme = 99;       // ends phoneme-number buffers (any value above 98)
constexpr int kNoPhonemeId = 198;    // ends a note's phoneme-id list (any byte of 198 or more)
constexpr int kNoteListLength = 32;  // bytes of a note's phoneme-id list

enum PhonemeClass {
    kClassNone = 0,
    kClassVowel = 1,
    kClassLiquid = 2,
    kClassFricative = 3,
    kClassAffricative = 4,  // carried by no phoneme: the affricates are classed as fricatives
    kClassPlosive = 5,
    kClassNasal = 6,
};

// Any language code other than German reads the English tables, so a stray
// code from a file cannot index past them.
inline int languageIndex(int language) { return language == kLanguageGerman ? 1 : 0; }

// Per-language properties of a phoneme number; numbers outside 0..63 read as
// an unmodelled phoneme (class none, not a vowel, group 0, flag 0).
int phonemeClass(int language, int number);
bool isVowelPhoneme(int language, int number);
int locusGroup(int language, int number);
int spectralFlag(int language, int slot);  // looked up at slot / 2

// With an English model the German-only slots read the data of an English
// substitute; German models and slots 0..77 are unchanged.
int substituteSlot(int language, int slot);

// Phoneme number of a typed token of 1 or 2 characters, or kNoPhoneme.
int parsePhonemeToken(int language, const char* text, int length);
// German length class of a token (0 other, 1 short, 2 long, 3 diphthong);
// English tokens always give 1.
int tokenLengthClass(int language, const char* text, int length);
// The bare token of a number ("AA", "a:"), or nullptr when it has none.
const char* phonemeToken(int language, int number);
// The example word the menus show, or nullptr when the menu shows none.
const char* phonemeExample(int language, int number);
const char* languageName(int language);    // "Amer. english", "German"
const char* className(int phonemeClass);   // "Vowel" ... "Nasal", "-" for none

// Appends the display text of one phoneme ("AA1 ", "B ", "a: ") to text,
// never writing beyond size bytes (always terminated when size > 0).
void appendPhonemeText(int language, int number, int mark, char* text, size_t size);
// The display text of a phoneme-number sequence with its stress/length
// bytes: stops at the first value above 98 or after 32 entries.
void phonemeSequenceText(int language, const uint8_t* numbers, const uint8_t* marks, int count, char* text,
                         size_t size);
// Phonemes held by a note's phoneme-id list of up to 32 bytes.
int phonemeIdCount(const uint8_t* ids, int length);

bool isVowelLetter(char c);

// The phoneme menus as data for the menu system: item text and the phoneme
// id an item carries.
struct PhonemeMenuItem {
    const char* text;
    int id;
};
struct PhonemeMenu {
    const char* title;  // submenu title, nullptr for the English flat menu
    const PhonemeMenuItem* items;
    int count;
};
const PhonemeMenu& englishPhonemeMenu();
// The three German submenus: "Consonants", "Vowels", "Diphthongs".
constexpr int kGermanSubmenus = 3;
const PhonemeMenu& germanPhonemeMenu(int submenu);
