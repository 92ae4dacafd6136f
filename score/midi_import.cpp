#include "score/midi_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "score/phoneme_timing.h"
#include "score/sq_event.h"
#include "score/sq_event_list.h"
#include "support/debug.h"
#include "voice/dictionary.h"
#include "voice/phoneme_inventory.h"

namespace {

constexpr long kMaxFileBytes = 64L << 20;  // far beyond any song; guards the read buffer

void copyText(char* out, size_t size, const char* text) { std::snprintf(out, size, "%s", text); }

}  // namespace

// ---- lyric cleaning ----

void cleanLyric(const uint8_t* text, int length, char out[32], bool& startsWord, bool& open) {
    int n = 0;
    startsWord = false;
    open = false;
    out[0] = 0;
    if (!text || length <= 0) return;
    int read = std::min(length, 31);
    bool lastKept = false, lastHyphen = false;
    for (int i = 0; i < read; ++i) {
        bool first = i == 0;
        uint8_t c = text[i];
        const char* add = nullptr;
        char one[2] = {0, 0};
        if (std::isalpha(c) && c < 0x80) {
            one[0] = char(c);
            add = one;
        } else if (c == '\'') {
            add = "'";
        } else if (c == 0xE4 || c == 0xC4) {
            add = "ae";
        } else if (c == 0xF6 || c == 0xD6) {
            add = "oe";
        } else if (c == 0xFC || c == 0xDC) {
            add = "ue";
        } else if (c == 0xDF) {
            add = "ss";
        } else if (c == 0xC3 && i + 1 < length) {
            // The same letters in UTF-8, as newer tools write them.
            uint8_t d = text[i + 1];
            if (d == 0xA4 || d == 0x84) add = "ae";
            if (d == 0xB6 || d == 0x96) add = "oe";
            if (d == 0xBC || d == 0x9C) add = "ue";
            if (d == 0x9F) add = "ss";
            if (add) ++i;
        }
        bool kept = add != nullptr;
        if (first) startsWord = !kept;
        for (; add && *add && n < 31; ++add) out[n++] = *add;
        lastKept = kept;
        lastHyphen = c == '-';
    }
    out[n] = 0;
    // A trailing hyphen is the usual mark of a word that goes on.
    open = lastKept || lastHyphen;
}

// ---- curve sampler ----

void CSMImport::Sampler::add(float tick, float value) {
    if (count >= kSamplerPoints) return;
    ticks[count] = tick;
    values[count] = value;
    ++count;
}

float CSMImport::Sampler::at(float start, float end, float x) const {
    if (count == 0) return 0;
    float t = start + (end - start) * x;
    int k = 0;
    while (k < count && ticks[k] <= t) ++k;
    if (k == count) return values[count - 1];
    if (k == 0) return values[0];
    if (ticks[k - 1] >= ticks[k]) return 0;
    float f = (t - ticks[k - 1]) / (ticks[k] - ticks[k - 1]);
    return values[k - 1] + (values[k] - values[k - 1]) * f;
}

// ---- import ----

CSMImport::CSMImport(CSQEventList& l, const SMImportOptions& o, SMImportResult& r)
    : list(l), options(o), result(r), dict(o.dictionary ? o.dictionary : dictionary()) {
    logging = o.log;
}

void CSMImport::run(const uint8_t* data, size_t size) {
    bool automatic = options.channel < 0 || options.channel > 15;
    if (automatic) {
        pass = 0;
        importChannel = 0;
        wordsFlag = lyricsSeen = false;
        textCount = 0;
        channelFound = false;
        for (bool& b : channelHasNotes) b = false;
        for (int t = 0; t < kScanTracks; ++t) {
            scanChannel[t] = -1;
            scanCount[t] = 0;
            trackHasText[t] = false;
        }
        read(data, size);
        chooseScannedChannel();
    } else {
        importChannel = options.channel;
    }
    result.channel = importChannel;

    pass = 1;
    lastNoteChannel = -1;
    read(data, size);
    if (openNote) noteEnd();

    if (automatic) {
        pass = 2;
        lastNoteChannel = -1;
        previousOpen = false;
        read(data, size);
        assembleWords();
    }
    result.errors = errors;

    // Every note gets its phoneme timing at the tempo the song will play at.
    for (CSQEvent* e = list.head(); e; e = e->next)
        if (!e->isEnd()) computePhonemeTiming(*e, noteSeconds(*e, result.tempo), options.language, options.model);
}

void CSMImport::chooseScannedChannel() {
    if (!wordsFlag) {
        // Nothing named a channel and channel 1 plays nothing: rather than
        // import an empty part, take the first track that has notes, one
        // with text beside them (lyrics in karaoke style) before others.
        if (channelFound || channelHasNotes[importChannel]) return;
        for (int pick = 0; pick < 2; ++pick)
            for (int t = 0; t < kScanTracks; ++t)
                if (scanCount[t] > 0 && (pick == 1 || trackHasText[t])) {
                    importChannel = scanChannel[t];
                    return;
                }
        return;
    }
    // The track whose notes fall on the most text times carries the words.
    int best = -1, bestMatches = 0;
    for (int t = 0; t < kScanTracks; ++t) {
        int matches = 0, k = 0;
        for (int i = 0; i < textCount && k < scanCount[t]; ++i) {
            while (k < scanCount[t] && scanTimes[t][k] < textTimes[i]) ++k;
            if (k < scanCount[t] && scanTimes[t][k] == textTimes[i]) {
                ++matches;
                ++k;
            }
        }
        if (matches > bestMatches) {
            best = t;
            bestMatches = matches;
        }
    }
    if (best >= 0) importChannel = scanChannel[best];
}

void CSMImport::onHeader(int f, int ntrks, int div) {
    CSMRead::onHeader(f, ntrks, div);
    result.format = f;
    result.tracks = ntrks;
    result.division = div;
    tickFactor = div > 0 ? double(kTicksPerQuarter) / div : 1;
}

void CSMImport::onTrackStart() {
    CSMRead::onTrackStart();
    if (pass == 0) lyricsSeen = false;
    // A lyric before the track's first note belongs with the notes that
    // follow it, not with the previous track's last note.
    if (pass == 2 && track >= 0 && track < kScanTracks && scanCount[track] > 0) lastNoteChannel = scanChannel[track];
}

void CSMImport::onTrackEnd() {
    // A note still sounding when its track ends stops there, before notes of
    // a later track (which start again from time 0) could close it.
    if (pass == 1 && openNote) noteEnd();
    CSMRead::onTrackEnd();
}

void CSMImport::onNoteOn(int chan, int pitch, int velocity) {
    CSMRead::onNoteOn(chan, pitch, velocity);
    lastNoteChannel = chan;
    if (pass == 0) {
        if (lyricsSeen) {
            importChannel = chan;
            channelFound = true;
        }
        if (velocity > 0) channelHasNotes[chan] = true;
        if (velocity > 0 && track >= 0 && track < kScanTracks && scanCount[track] < kScanNotes) {
            scanTimes[track][scanCount[track]++] = double(time);
            scanChannel[track] = chan;
        }
    } else if (pass == 1 && chan == importChannel) {
        if (velocity > 0)
            noteStart(pitch, velocity);
        else if (pitch == openPitch)
            noteEnd();
    }
}

void CSMImport::onNoteOff(int chan, int pitch, int velocity) {
    CSMRead::onNoteOff(chan, pitch, velocity);
    if (pass == 1 && chan == importChannel && pitch == openPitch) noteEnd();
}

void CSMImport::onPressure(int, int, int) {}

void CSMImport::onParameter(int, int controller, int value) {
    if (controller == 11) expression.add(tick(), float(value) / 127);
}

void CSMImport::onPitchBend(int, int lsb, int msb) {
    float v = 2 * (float(msb) / 128 + float(lsb) / 16384) - 1;
    bend.add(tick(), options.bendSemitones * v);
}

void CSMImport::onText(int type, int length, const uint8_t* data, int kept) {
    CSMRead::onText(type, length, data, kept);
    if (pass == 0) {
        if (type == 5) lyricsSeen = true;
        if (type == 3 && kept == 5 && std::memcmp(data, "Words", 5) == 0) wordsFlag = true;
        if (type == 1 && wordsFlag && textCount < kScanTexts) textTimes[textCount++] = double(time);
        if ((type == 1 || type == 5) && track >= 0 && track < kScanTracks && !(kept > 0 && data[0] == '@'))
            trackHasText[track] = true;
    } else if (pass == 2) {
        bool isLyric = type == 1 || (type == 5 && lastNoteChannel == importChannel);
        if (isLyric && !(kept > 0 && data[0] == '@')) lyric(data, kept);
    }
}

void CSMImport::onTempo(int micros) {
    CSMRead::onTempo(micros);
    if (micros <= 0) return;
    result.tempo = 60000000.0f / float(micros);
    result.tempoFound = true;
}

void CSMImport::onTimeSignature(int numerator, int power, int clocks, int thirtySeconds) {
    CSMRead::onTimeSignature(numerator, power, clocks, thirtySeconds);
    if (numerator <= 0) return;
    result.numerator = numerator;
    result.denominator = 1 << std::min(power, 6);  // 64ths at most
    result.timeSignatureFound = true;
}

void CSMImport::onError(const char* text) {
    CSMRead::onError(text);
    if (!result.firstError[0]) copyText(result.firstError, sizeof result.firstError, text);
}

// ---- notes ----

void CSMImport::noteStart(int pitch, int velocity) {
    float t = tick();
    if (openNote) noteEnd();
    // Notes of the channel in a later track start again from time 0; the
    // list stays ordered by dropping what would go back in time.
    if (t < lastTick) return;
    bend.restart();
    expression.restart();
    openNote = list.append(true, t, pitch, velocity);
    openPitch = pitch;
    lastTick = t;
    ++result.notes;
}

void CSMImport::noteEnd() {
    if (!openNote) return;
    float t = std::max(tick(), openNote->start);
    list.append(false, t, 0, 0);
    buildCurves(*openNote);
    lastTick = t;
    openNote = nullptr;
    openPitch = -1;
}

void CSMImport::buildCurves(CSQEvent& note) {
    float start = note.start, end = note.end();
    for (int i = 0; i < kPitchPoints; ++i) note.pitchCurve[i] = bend.at(start, end, i * 0.01f);
    for (int i = 0; i < kLanePoints; ++i) {
        float v = expression.at(start, end, i * 0.025f);
        if (v > 0) note.lanes[kNoteLaneVolume][i] = v;
    }
}

// ---- lyrics ----

void CSMImport::lyric(const uint8_t* text, int length) {
    char clean[32];
    bool startsWord, open;
    cleanLyric(text, length, clean, startsWord, open);
    if (!clean[0]) {
        previousOpen = false;
        return;
    }
    CSQEvent* note = list.findStart(tick());
    if (!note) return;
    bool joins = previousOpen && !startsWord;
    if (!syllables.empty()) {
        const Syllable& last = syllables.back();
        if (note->start < last.note->start) return;  // lyrics only move forward
        if (note == last.note) {
            // A later text on the same note replaces the earlier one.
            joins = joins && last.joins;
            syllables.pop_back();
        }
    }
    if (syllables.empty()) joins = false;
    Syllable s;
    s.note = note;
    copyText(s.text, sizeof s.text, clean);
    s.joins = joins;
    syllables.push_back(s);
    previousOpen = open;
}

bool CSMImport::knownWord(int from, int to) const {
    char joined[64];
    int n = 0;
    for (int i = from; i < to; ++i)
        for (const char* c = syllables[size_t(i)].text; *c; ++c) {
            if (n >= CDictionary::kQueryLen - 1) return false;  // longer than a query can be
            joined[n++] = *c;
        }
    joined[n] = 0;
    CDictionary::Phonemes found;
    return dict && dict->lookupWord(joined, false, found);
}

// Syllables linked without a word boundary form a run. Most files mark the
// boundaries (a space, a hyphen, a new text); some write every syllable
// bare, so a run may hold several words: it is split into dictionary words,
// as few as possible, keeping unknown syllables to a minimum.
void CSMImport::segmentRun(int from, int to) {
    int m = to - from;
    if (m <= kWordSyllables && knownWord(from, to)) {
        lookUpWord(from, to);
        return;
    }
    constexpr int kUnknownCost = 100;
    std::vector<int> cost(size_t(m) + 1, 0), back(size_t(m) + 1, 0);
    std::vector<bool> known(size_t(m) + 1, false);
    for (int k = 1; k <= m; ++k) {
        int best = -1;
        for (int len = std::min(kWordSyllables, k); len >= 1; --len) {
            int s = k - len;
            bool isWord = knownWord(from + s, from + k);
            if (!isWord && len > 1) continue;
            int c = cost[size_t(s)] + (isWord ? 1 : kUnknownCost);
            if (best < 0 || c < best) {
                best = c;
                back[size_t(k)] = s;
                known[size_t(k)] = isWord;
            }
        }
        cost[size_t(k)] = best;
    }
    // Words from the back; unknown syllables next to each other stay one
    // (unknown) word.
    std::vector<int> cuts;
    for (int k = m; k > 0; k = back[size_t(k)]) cuts.push_back(k);
    std::reverse(cuts.begin(), cuts.end());
    int start = 0, unknownStart = -1;
    for (int end : cuts) {
        if (known[size_t(end)]) {
            if (unknownStart >= 0) lookUpWord(from + unknownStart, from + start);
            unknownStart = -1;
            lookUpWord(from + start, from + end);
        } else {
            if (unknownStart < 0) unknownStart = start;
            if (end - unknownStart >= kWordSyllables) {
                lookUpWord(from + unknownStart, from + end);
                unknownStart = -1;
            }
        }
        start = end;
    }
    if (unknownStart >= 0) lookUpWord(from + unknownStart, from + m);
}

void CSMImport::assembleWords() {
    if (syllables.empty()) return;
    int n = int(syllables.size());
    for (int i = 0; i < n;) {
        int j = i + 1;
        while (j < n && syllables[size_t(j)].joins) ++j;
        segmentRun(i, j);
        i = j;
    }
    result.syllables = n;
    // The last lyric note is the one selected, as after typing it.
    list.selectAll(false);
    syllables.back().note->selected = true;
}

void CSMImport::setPhonemes(CSQEvent& note, const uint8_t* numbers, const uint8_t* marks) {
    bool ended = false;
    for (int i = 0; i < kNotePhonemes; ++i) {
        ended = ended || numbers[i] >= kPhonemeNumbers;
        note.phonemes[i] = ended ? uint8_t(kNoPhonemeId) : uint8_t(2 * numbers[i]);
        note.phonemeBytes[i] = ended ? 0 : marks[i];
    }
    note.handEdited = 0;
    note.timingValid = false;
}

// One word: syllables from..to-1 with the notes that hold their vowels
// (melisma notes between a syllable and the next lyric).
void CSMImport::lookUpWord(int from, int to) {
    int count = to - from;
    if (count <= 0) return;
    char texts[kWordSyllables][34];
    const char* pointers[kWordSyllables];
    for (int k = 0; k < count; ++k) {
        const Syllable& s = syllables[size_t(from + k)];
        std::snprintf(texts[k], sizeof texts[k], "%s%s", s.text, k + 1 < count ? "-" : "");
        pointers[k] = texts[k];
        s.note->setLyric(texts[k]);
        if (k + 1 < count && std::strlen(texts[k]) > size_t(kLyricLen - 1)) s.note->lyric[kLyricLen - 2] = '-';
    }
    ++result.words;
    CDictionary::Phonemes found[kWordSyllables];
    bool ok = dict && dict->lookupSyllables(count, pointers, found);
    if (ok) {
        for (int k = 0; k < count; ++k)
            setPhonemes(*syllables[size_t(from + k)].note, found[k].numbers, found[k].marks);
    } else {
        if (result.unknownCount < SMImportResult::kMaxUnknown) {
            SMUnknownWord& u = result.unknown[result.unknownCount];
            int n = 0;
            u.syllables[0] = 0;
            for (int k = 0; k < count; ++k) {
                int w = std::snprintf(u.syllables + n, sizeof u.syllables - size_t(n), "%s%s", k ? " " : "", texts[k]);
                if (w < 0) break;
                n = std::min(n + w, int(sizeof u.syllables) - 1);
            }
            u.tick = syllables[size_t(from)].note->start;
        }
        ++result.unknownCount;
    }
    // Melisma notes after each syllable, up to the next lyric, hold its last vowel.
    for (int k = 0; k < count; ++k) {
        size_t i = size_t(from + k);
        if (i + 1 >= syllables.size()) break;
        CSQEvent* owner = syllables[i].note;
        CSQEvent* stop = syllables[i + 1].note;
        int vowel = -1;
        uint8_t mark = 0;
        for (int p = 0; p < kNotePhonemes && owner->phonemes[p] < kNoPhonemeId; ++p)
            if (isVowelPhoneme(options.language, owner->phonemes[p] / 2)) {
                vowel = owner->phonemes[p];
                mark = owner->phonemeBytes[p];
            }
        for (CSQEvent* e = owner->next; e && e != stop; e = e->next) {
            if (e->isEnd()) continue;
            e->setLyric("-");
            if (vowel >= 0) {
                uint8_t numbers[kNotePhonemes], marks[kNotePhonemes] = {};
                std::fill(numbers, numbers + kNotePhonemes, uint8_t(kNoPhoneme));
                numbers[0] = uint8_t(vowel / 2);
                marks[0] = mark;
                setPhonemes(*e, numbers, marks);
            }
        }
    }
}

// ---- entry points ----

bool importMidiBytes(const uint8_t* data, size_t size, CSQEventList& list, const SMImportOptions& options,
                     SMImportResult& result) {
    result = SMImportResult();
    result.opened = true;
    if (!data || size < 4 || std::memcmp(data, "MThd", 4) != 0) {
        copyText(result.firstError, sizeof result.firstError, "expecting MThd");
        if (options.log) CDebug::line("Error: expecting MThd");
        return false;
    }
    result.isMidi = true;
    std::unique_ptr<CSMImport> reader(new (std::nothrow) CSMImport(list, options, result));
    if (!reader) return false;
    CDictionary* dict = options.dictionary ? options.dictionary : dictionary();
    int language = dict ? dict->language() : 0;
    if (dict) dict->setLanguage(options.language);
    {
        CSQEventList::EditScope edit(list);
        list.clear();
        list.language = options.language;
        reader->run(data, size);
    }
    if (dict) dict->setLanguage(language);
    return true;
}

bool importMidiFile(const char* path, CSQEventList& list, const SMImportOptions& options, SMImportResult& result) {
    result = SMImportResult();
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    std::vector<uint8_t> bytes;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    bool ok = size >= 0 && size <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(size_t(size));
        ok = size == 0 || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    if (!ok) return false;
    return importMidiBytes(bytes.data(), bytes.size(), list, options, result);
}
