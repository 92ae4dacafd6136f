#include "score/text_import.h"

#include <cstdio>
#include <vector>

#include "score/sq_event_list.h"
#include "support/o_system.h"
#include "voice/dictionary.h"

int importPlainText(CSQEventList& list, const CDictionary& dictionary, float start, const char* text, size_t size) {
    int inserted = 0;
    size_t pos = 0;
    float t = start;
    CDictionary::TextNote note;
    while (dictionary.nextTextNote(text, size, pos, note)) {
        float end = t + float(note.ticks);
        if (list.insertSpan(t, end, kTextImportPitch)) {
            list.setLyricAndPhonemes(t, note.word, note.phonemes.numbers, note.phonemes.marks);
            ++inserted;
        }
        t = end + float(note.gapTicks);
    }
    return inserted;
}

int importPlainTextFile(CSQEventList& list, const CDictionary& dictionary, float start) {
    COSystem os;
    std::FILE* f = std::fopen(os.path("test.txt"), "rb");
    if (!f) return -1;
    std::vector<char> text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < (4u << 20)) text.insert(text.end(), buffer, buffer + n);
    std::fclose(f);
    return importPlainText(list, dictionary, start, text.data(), text.size());
}
