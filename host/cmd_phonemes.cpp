// lyrena phonemes [--lang en|de] SYL- LA- BLES ...: the phonemes the
// dictionary gives each syllable, as the score would store them.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "host/commands.h"
#include "voice/dictionary.h"

namespace {

// Without LYRENA_HOME the tool reads the data files of the installation
// folder built beside it (build/lyrena next to build/LYRENA/).
void pointAtInstallationFolder() {
    if (const char* home = std::getenv("LYRENA_HOME"); home && *home) return;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    std::string folder(exe);
    folder = folder.substr(0, folder.rfind('/') + 1) + "LYRENA/";
    setenv("LYRENA_HOME", folder.c_str(), 1);
}

bool endsWithDash(const char* s) {
    size_t n = std::strlen(s);
    return n > 0 && s[n - 1] == '-';
}

}  // namespace

int cmdPhonemes(int argc, char** argv) {
    int language = kLanguageEnglish;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--lang") == 0) {
        if (std::strcmp(argv[2], "de") == 0)
            language = kLanguageGerman;
        else if (std::strcmp(argv[2], "en") != 0)
            first = argc;  // unknown language: usage
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: lyrena phonemes [--lang en|de] SYL- LA- BLES ...\n");
        return 2;
    }
    pointAtInstallationFolder();
    CDictionary* dict = dictionary();
    if (!dict || dict->entries(language) == 0) {
        std::fprintf(stderr, "lyrena: no dictionary for this language in the installation folder\n");
        return 1;
    }
    dict->setLanguage(language);

    // A word is its syllables up to one without a trailing "-"; a lone "-"
    // (a held vowel) belongs to the word before it.
    int status = 0;
    int i = first;
    while (i < argc) {
        const char* syllables[CDictionary::kMaxSyllables];
        int count = 0;
        bool open = true;
        while (i < argc && count < CDictionary::kMaxSyllables) {
            bool held = std::strcmp(argv[i], "-") == 0;
            if (!open && !held) break;
            syllables[count++] = argv[i];
            if (!held) open = endsWithDash(argv[i]);
            ++i;
        }
        CDictionary::Phonemes out[CDictionary::kMaxSyllables];
        if (!dict->lookupSyllables(count, syllables, out)) {
            std::string word;
            for (int s = 0; s < count; ++s) word += syllables[s], word += s + 1 < count ? " " : "";
            std::fprintf(stderr, "lyrena: unknown word: %s\n", word.c_str());
            status = 1;
            continue;
        }
        for (int s = 0; s < count; ++s) {
            char text[512];
            dict->displayText(out[s], text, sizeof text);
            std::printf("%-12s %s\n", syllables[s], text);
        }
    }
    return status;
}
