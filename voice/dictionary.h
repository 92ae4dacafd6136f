// Pronunciation dictionaries: words to phoneme numbers for American English
// and German, spread over a word's syllables letter by letter, plus typed
// phoneme strings, the random-word lists and the reader of plain-text lyrics.
//
// One table per language of fixed capacity. Entries hang in 26 x 26 bucket
// chains keyed by the first two letters of the word; a new entry goes to the
// end of its chain, so the first line of a word in the file wins exact
// lookups and alternates stay reachable as later entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/phoneme_inventory.h"

class CDictionary {
public:
    static constexpr int kEntries = 160000;            // per language
    static constexpr int kEnglishPool = 1600000;       // bytes of word text
    static constexpr int kGermanPool = 2000000;
    static constexpr int kRandomWords = 120000;        // per language
    static constexpr int kRandomPool = 1200000;        // bytes of random-list text
    static constexpr int kWordLen = 255;               // longest word, longest line
    static constexpr int kPhonemes = 32;               // phonemes of one entry
    static constexpr int kMaxSyllables = 16;
    static constexpr int kQueryLen = 32;               // characters of a query that count
    static constexpr int kBuckets = 26 * 26;

    // Phoneme numbers (unused 99) and stress/length bytes (unused 0).
    struct Phonemes {
        uint8_t numbers[kPhonemes];
        uint8_t marks[kPhonemes];
        void clear();
        int count() const;  // phonemes before the first value above 98
    };

    // One word of plain-text lyrics with what the score needs for its note.
    struct TextNote {
        char word[kWordLen + 1];
        Phonemes phonemes;
        int ticks;           // 3000 per vowel phoneme, 1000 per other phoneme
        int gapTicks;        // after the note: 1 + 1000, or 1 + 4000 after punctuation
    };

    CDictionary();
    ~CDictionary() { delete[] tables; }
    CDictionary(const CDictionary&) = delete;
    CDictionary& operator=(const CDictionary&) = delete;

    // Loads "dict_en.txt", "dict_de.txt", "random_en.txt" and "random_de.txt"
    // from folder (ending with '/'); a missing file leaves its table empty.
    // Returns how many of the four files were read.
    int loadFolder(const char* folder);
    bool loadDictionaryFile(int language, const char* path);
    bool loadRandomFile(int language, const char* path);
    // Adds every line of a text in memory; returns the number of entries
    // added. Lines beyond 255 characters are cut, never read past size.
    int addDictionaryText(int language, const char* text, size_t size);
    int addRandomText(int language, const char* text, size_t size);
    // One dictionary line: word, spaces, phoneme tokens. False (nothing
    // added) when the line holds no word or no phoneme, or the table is full.
    bool addLine(int language, const char* line, size_t length);

    // The language of lookups, taken over from the editor.
    void setLanguage(int language) { current = languageIndex(language); }
    int language() const { return current; }

    // One word: normalised (German), upper-cased, the first 32 characters;
    // exact match, or with prefix the first entry that begins with it.
    bool lookupWord(const char* text, bool prefix, Phonemes& out) const;
    // Syllables of one word ("haus-", "tür"; "-" holds the last vowel):
    // finds the joined word (exact, German inflection, compound, prefix)
    // and spreads its phonemes over out[0..count-1]. On failure out is
    // unchanged.
    bool lookupSyllables(int count, const char* const* syllables, Phonemes* out) const;
    // The word found for joined syllables, before spreading (for callers
    // that want the whole pronunciation).
    bool lookupJoined(int count, const char* const* syllables, Phonemes& out) const;

    // A word of the current language's random list: (r1 x 32767 + r2) mod
    // count; nullptr when the list is empty. randomWord() draws with rand().
    const char* randomWord(int r1, int r2) const;
    const char* randomWord() const;

    // Typed phonemes in the tokens of the current language: ids (2n, unused
    // 198) and bytes (unused 0); returns the number of phonemes before the
    // first unknown token.
    int parseTyped(const char* text, uint8_t ids[kPhonemes], uint8_t marks[kPhonemes]) const;
    // Display text of a found pronunciation ("HH AH0 L OW1 " style tokens).
    void displayText(const Phonemes& p, char* text, size_t size) const;

    // Plain-text lyrics: reads the next word from text at pos (letters,
    // digits, umlauts and sharp s in UTF-8, Windows and Mac codes, "-");
    // words the dictionary does not know are skipped. False at the end.
    bool nextTextNote(const char* text, size_t size, size_t& pos, TextNote& note) const;

    // Normalises a query of the given language into out (at least 2 x 32 + 1
    // bytes): German umlauts and sharp s in UTF-8, Windows ANSI and Mac Roman
    // to UE, AE, OE, SS; then upper case. Reads at most 32 characters.
    static void normalise(int language, const char* text, char* out, size_t outSize);
    // Pronunciation tokens of a dictionary line or typed text into numbers
    // and bytes (unused 99 / 0); returns the number of tokens kept.
    static int parsePronunciation(int language, const char* text, size_t length, Phonemes& out);

    int entries(int language) const { return table(language).count; }
    int poolBytes(int language) const { return table(language).poolUsed; }
    int randomCount(int language) const { return table(language).randomCount; }

private:
    struct Entry {
        int32_t word;  // offset into the pool
        int32_t next;  // next entry of the bucket, -1 at the end
        uint8_t numbers[kPhonemes];
        uint8_t marks[kPhonemes];
    };
    struct Table {
        Entry entries[kEntries];
        int count;
        int first[kBuckets];
        int last[kBuckets];
        char pool[kGermanPool];
        int poolUsed;
        int poolCapacity;
        int32_t random[kRandomWords];
        int randomCount;
        char randomPool[kRandomPool];
        int randomUsed;
    };

    Table& table(int language) { return tables[languageIndex(language)]; }
    const Table& table(int language) const { return tables[languageIndex(language)]; }
    static int bucket(const char* word);
    const char* word(const Table& t, const Entry& e) const { return t.pool + e.word; }
    const Entry* exact(const Table& t, const char* word) const;
    bool inflected(const Table& t, const char* word, Phonemes& out) const;
    bool compound(const Table& t, const char* word, Phonemes& out) const;
    const Entry* prefixed(const Table& t, const char* word) const;
    void spread(int count, const char* const* syllables, const Phonemes& found, Phonemes* out) const;
    bool addRandomLine(int language, const char* line, size_t length);

    Table* tables;  // both languages, allocated once with the object
    int current = kLanguageEnglish;
};

// The process's dictionary: all four files are read from the installation
// folder on first use, once, and kept until the process ends. nullptr only
// when the tables could not be allocated.
CDictionary* dictionary();
