// Any bytes as a dictionary file, a random list, typed phonemes, a lookup and
// plain-text lyrics: the reader never reads past its input and whatever it
// keeps stays within the table's bounds.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "voice/dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CDictionary* dict = new CDictionary;  // one table, refilled up to its capacity
    const char* text = reinterpret_cast<const char*>(data);
    int language = size > 0 && (data[0] & 1) ? kLanguageGerman : kLanguageEnglish;
    dict->setLanguage(language);
    dict->addDictionaryText(language, text, size);
    dict->addRandomText(language, text, size);
    if (dict->entries(language) > CDictionary::kEntries) __builtin_trap();

    std::string s(text, size);  // the string forms need a terminator
    uint8_t ids[CDictionary::kPhonemes], marks[CDictionary::kPhonemes];
    int n = dict->parseTyped(s.c_str(), ids, marks);
    if (n < 0 || n > CDictionary::kPhonemes) __builtin_trap();
    for (int i = n; i < CDictionary::kPhonemes; ++i)
        if (ids[i] != kNoPhonemeId) __builtin_trap();

    // The input split at spaces into syllables of one word.
    const char* syllables[CDictionary::kMaxSyllables];
    int count = 0;
    for (char* p = s.data(); *p && count < CDictionary::kMaxSyllables;) {
        syllables[count++] = p;
        while (*p && *p != ' ') ++p;
        if (*p) *p++ = 0;
    }
    CDictionary::Phonemes out[CDictionary::kMaxSyllables];
    if (count > 0 && dict->lookupSyllables(count, syllables, out)) {
        char shown[1024];
        dict->displayText(out[0], shown, sizeof shown);
    }
    CDictionary::Phonemes one;
    dict->lookupWord(s.c_str(), true, one);
    dict->randomWord(int(size), 3);

    size_t pos = 0;
    CDictionary::TextNote note;
    for (int guard = 0; guard <= int(size) && dict->nextTextNote(text, size, pos, note); ++guard)
        if (pos > size || note.ticks <= 0) __builtin_trap();
    return 0;
}
