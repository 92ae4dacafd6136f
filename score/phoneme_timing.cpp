#include "score/phoneme_timing.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "score/sq_event.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

// The rule, as a singer would do it:
// - A consonant takes its natural duration: the sum of the three segment
//   times of its time model (a typical 80 ms when the model has none).
// - Consonants together take at most 40 % of the note, so the vowels keep a
//   clear majority of a short note; beyond that they are all shortened in
//   proportion, keeping their relative lengths.
// - The vowels share the rest by weight: long vowels and diphthongs 1.5, short
//   vowels 1, reduced vowels (unstressed English vowels, German schwa and
//   vocalic r) 0.6; the main vowel's weight counts twice, since it carries
//   the note.
// - The main vowel is the first vowel with primary stress (English "1") or
//   the first long or diphthong vowel (German length class 2 or 3); else the
//   first vowel; a note without vowels takes its longest phoneme. A "-" note
//   holding a vowel is a single phoneme and takes the whole note.
// - Fractions are whole 1/8192 units, each phoneme gets at least one, and the
//   units left over by rounding go to the main vowel, so they add up to
//   exactly 1.

namespace {

constexpr float kDefaultConsonantSeconds = 0.08f;
constexpr float kConsonantShare = 0.4f;

bool isDiphthongEnglish(int n) { return n == 4 || n == 5 || n == 12 || n == 24 || n == 25; }

float vowelWeight(int language, int number, int mark) {
    if (language == kLanguageGerman) {
        if (number == 50 || number == 51) return 0.6f;
        return mark >= 2 ? 1.5f : 1.0f;
    }
    if (isDiphthongEnglish(number)) return mark == 0 ? 1.0f : 1.5f;
    return mark == 0 ? 0.6f : 1.0f;
}

float naturalSeconds(const CPhoneme* model, int number) {
    if (!model || number < 0 || number >= kPhonemeNumbers) return kDefaultConsonantSeconds;
    float total = 0;
    for (int s = CPhoneme::kTime1; s <= CPhoneme::kTime3; ++s) {
        float t = model->timeModel[number][s];
        if (std::isfinite(t)) total += std::clamp(t, 0.0f, 0.254f);
    }
    return total > 0 ? total : kDefaultConsonantSeconds;
}

}  // namespace

float noteSeconds(const CSQEvent& note, float bpm) {
    if (!(bpm > 0)) return 0;
    return note.length() * 60.0f / (bpm * float(kTicksPerQuarter));
}

void computePhonemeTiming(CSQEvent& note, float seconds, int language, const CPhoneme* model) {
    std::fill(std::begin(note.fractions), std::end(note.fractions), 0.0f);
    note.mainVowel = 0;
    note.timingValid = true;
    int n = note.phonemeCount();
    if (n == 0) return;
    if (n == 1) {
        note.fractions[0] = 1;
        return;
    }
    if (!(seconds > 0) || !std::isfinite(seconds)) seconds = 1e-3f;

    int number[kNotePhonemes];
    bool vowel[kNotePhonemes];
    float natural[kNotePhonemes];
    int firstVowel = -1, stressed = -1, longest = 0;
    for (int i = 0; i < n; ++i) {
        number[i] = note.phonemes[i] / 2;
        vowel[i] = isVowelPhoneme(language, number[i]);
        natural[i] = naturalSeconds(model, number[i]);
        int mark = note.phonemeBytes[i];
        if (vowel[i] && firstVowel < 0) firstVowel = i;
        bool main = language == kLanguageGerman ? mark >= 2 : mark == 1;
        if (vowel[i] && main && stressed < 0) stressed = i;
        if (natural[i] > natural[longest]) longest = i;
    }
    int mainIndex = stressed >= 0 ? stressed : firstVowel >= 0 ? firstVowel : longest;
    note.mainVowel = mainIndex;

    float share[kNotePhonemes] = {};
    if (firstVowel < 0) {
        // Only consonants (a hum, a hiss): they share the note as they are.
        float total = 0;
        for (int i = 0; i < n; ++i) total += natural[i];
        for (int i = 0; i < n; ++i) share[i] = natural[i] / total;
    } else {
        float consonants = 0, weights = 0;
        for (int i = 0; i < n; ++i) {
            if (!vowel[i]) {
                consonants += natural[i];
                continue;
            }
            float w = vowelWeight(language, number[i], note.phonemeBytes[i]);
            if (i == mainIndex) w *= 2;
            share[i] = w;
            weights += w;
        }
        float scale = std::min(1.0f, kConsonantShare * seconds / std::max(consonants, 1e-9f));
        float consonantShare = 0;
        for (int i = 0; i < n; ++i)
            if (!vowel[i]) consonantShare += share[i] = natural[i] * scale / seconds;
        for (int i = 0; i < n; ++i)
            if (vowel[i]) share[i] = share[i] / weights * (1 - consonantShare);
    }

    int units[kNotePhonemes];
    int used = 0;
    for (int i = 0; i < n; ++i) {
        units[i] = std::max(1, int(std::floor(share[i] * kFractionUnits)));
        used += units[i];
    }
    units[mainIndex] += kFractionUnits - used;
    for (int i = 0; i < n; ++i) note.fractions[i] = float(units[i]) / kFractionUnits;
}
