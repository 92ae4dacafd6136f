// Importing a melody with lyrics from a MIDI file into a part: files built
// here byte by byte for the rules, and songs written by third-party tools
// (abc2midi, LilyPond) for what real files look like.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "score/midi_import.h"
#include "score/sq_event.h"
#include "score/sq_event_list.h"
#include "tests/score/smf_builder.h"
#include "voice/dictionary.h"

namespace {

CDictionary& dict() {
    static CDictionary* d = [] {
        auto* x = new CDictionary;
        const char* home = std::getenv("LYRENA_HOME");
        x->loadFolder(home ? home : "");
        return x;
    }();
    return *d;
}

struct Note {
    int pitch;
    float start, end;
    std::string lyric;
    const CSQEvent* e;
};

std::vector<Note> notes(const CSQEventList& list) {
    std::vector<Note> out;
    for (const CSQEvent* e = list.head(); e; e = e->next)
        if (!e->isEnd()) out.push_back({e->pitch, e->start, e->end(), e->lyric, e});
    return out;
}

std::vector<std::string> lyrics(const CSQEventList& list) {
    std::vector<std::string> out;
    for (const Note& n : notes(list)) out.push_back(n.lyric);
    return out;
}

std::vector<int> phonemeIds(const CSQEvent& e) {
    std::vector<int> out;
    for (int i = 0; i < kNotePhonemes && e.phonemes[i] < 198; ++i) out.push_back(e.phonemes[i]);
    return out;
}

// What the dictionary gives each syllable of a word, as note phoneme ids.
std::vector<std::vector<int>> spread(std::vector<std::string> syllables, int language = 0) {
    std::vector<const char*> p;
    for (const std::string& s : syllables) p.push_back(s.c_str());
    CDictionary::Phonemes out[16];
    dict().setLanguage(language);
    bool ok = dict().lookupSyllables(int(p.size()), p.data(), out);
    dict().setLanguage(0);
    std::vector<std::vector<int>> ids;
    if (!ok) return ids;
    for (size_t k = 0; k < p.size(); ++k) {
        std::vector<int> one;
        for (int i = 0; i < 32 && out[k].numbers[i] < 99; ++i) one.push_back(2 * out[k].numbers[i]);
        ids.push_back(one);
    }
    return ids;
}

SMImportOptions options(int channel = kImportChannelAuto) {
    SMImportOptions o;
    o.channel = channel;
    o.dictionary = &dict();
    o.log = false;
    o.bendSemitones = 2;
    return o;
}

SMImportResult run(const Bytes& file, CSQEventList& list, const SMImportOptions& o) {
    SMImportResult r;
    EXPECT_TRUE(importMidiBytes(file.data(), file.size(), list, o, r));
    list.releaseRetired(true);
    return r;
}

TEST(MidiImport, TimesScaleByDivisionAndOverlappingNotesAreCut) {
    SmfTrack t;
    t.meta(0, 0x51, std::string("\x09\x27\xC0", 3));  // 600000 us: 100 BPM
    t.meta(0, 0x58, std::string("\x06\x03\x18\x08", 4));
    t.on(480, 0, 60, 127);   // at 480
    t.on(480, 0, 64, 64);    // at 960, the first still sounding
    t.off(240, 0, 60);       // the first's own end comes too late to count
    t.off(240, 0, 64);       // at 1440
    t.on(0, 1, 50, 100).off(100, 1, 50);  // another channel: dropped
    t.end();
    CSQEventList list;
    SMImportResult r = run(smf(0, 480, {t}), list, options(0));
    auto n = notes(list);
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].pitch, 60);
    EXPECT_FLOAT_EQ(n[0].start, 15360);
    EXPECT_FLOAT_EQ(n[0].end, 2 * 15360);
    EXPECT_EQ(n[1].pitch, 64);
    EXPECT_FLOAT_EQ(n[1].start, 2 * 15360);
    EXPECT_FLOAT_EQ(n[1].end, 3 * 15360);
    EXPECT_FLOAT_EQ(n[0].e->values[0], 1.0f);
    EXPECT_NEAR(n[1].e->values[0], 64 / 127.0f, 1e-6);
    EXPECT_EQ(r.notes, 2);
    EXPECT_EQ(r.division, 480);
    EXPECT_FLOAT_EQ(r.tempo, 100);
    EXPECT_EQ(r.numerator, 6);
    EXPECT_EQ(r.denominator, 8);
    // Fixed channel: no lyrics, the default syllable and a playable timing.
    EXPECT_EQ(n[0].lyric, "a");
    EXPECT_TRUE(n[0].e->timingValid);
}

TEST(MidiImport, SyllablesMakeOneWordLookedUpOverItsNotes) {
    // Format 1: the lyric comes before its note in the melody track, after
    // a conductor track without notes.
    SmfTrack conductor;
    conductor.meta(0, 0x51, std::string("\x07\xA1\x20", 3)).end();
    SmfTrack melody;
    melody.text(0, "@T Title of the song");
    melody.lyric(0, "Hel").on(0, 0, 60, 100).off(96, 0, 60);
    melody.lyric(0, "lo ").on(0, 0, 62, 100).off(96, 0, 62);
    melody.on(0, 0, 64, 100).off(96, 0, 64);  // melisma
    melody.lyric(0, "@comment").lyric(0, "\\world,").on(0, 0, 65, 100).off(96, 0, 65);
    melody.on(0, 0, 67, 100).off(96, 0, 67);  // after the last lyric: keeps its default
    melody.end();
    CSQEventList list;
    SMImportResult r = run(smf(1, 96, {conductor, melody}), list, options());
    EXPECT_EQ(lyrics(list), (std::vector<std::string>{"Hel-", "lo", "-", "world", "a"}));
    auto n = notes(list);
    auto hello = spread({"Hel-", "lo"});
    ASSERT_EQ(hello.size(), 2u);
    EXPECT_EQ(phonemeIds(*n[0].e), hello[0]);
    EXPECT_EQ(phonemeIds(*n[1].e), hello[1]);
    EXPECT_EQ(phonemeIds(*n[2].e), std::vector<int>{48});  // holds OW of "lo"
    EXPECT_EQ(phonemeIds(*n[3].e), spread({"world"})[0]);
    EXPECT_EQ(r.words, 2);
    EXPECT_EQ(r.syllables, 3);
    EXPECT_EQ(r.unknownCount, 0);
    for (const Note& x : n) EXPECT_TRUE(x.e->timingValid);
    EXPECT_TRUE(n[3].e->selected);

    // The same file on a fixed channel imports no lyrics.
    CSQEventList fixed;
    run(smf(1, 96, {conductor, melody}), fixed, options(0));
    EXPECT_EQ(lyrics(fixed), (std::vector<std::string>{"a", "a", "a", "a", "a"}));
}

TEST(MidiImport, UnknownWordsAreReportedWithTheirSyllables) {
    SmfTrack t;
    t.lyric(0, "Zorg").on(0, 0, 60, 100).off(96, 0, 60);
    t.lyric(0, "blix ").on(0, 0, 62, 100).off(96, 0, 62);
    t.lyric(0, "sing").on(0, 0, 64, 100).off(96, 0, 64).end();
    CSQEventList list;
    SMImportResult r = run(smf(0, 96, {t}), list, options());
    ASSERT_EQ(r.unknownCount, 1);
    EXPECT_STREQ(r.unknown[0].syllables, "Zorg- blix");
    EXPECT_FLOAT_EQ(r.unknown[0].tick, 0);
    EXPECT_EQ(lyrics(list), (std::vector<std::string>{"Zorg-", "blix", "sing"}));
    EXPECT_EQ(phonemeIds(*notes(list)[2].e), spread({"sing"})[0]);
}

TEST(MidiImport, ExpressionAndBendReadDuringANoteShapeIt) {
    SmfTrack t;
    t.on(0, 0, 60, 100);
    t.cc(0, 5, 11, 32);      // expression on another channel
    t.bend(0, 5, 0, 96);     // +half range: 1 semitone with a range of 2
    t.cc(480, 5, 11, 96);
    t.off(480, 0, 60);
    t.end();
    CSQEventList list;
    run(smf(0, 480, {t}), list, options(0));
    auto n = notes(list);
    ASSERT_EQ(n.size(), 1u);
    const CSQEvent& e = *n[0].e;
    EXPECT_NEAR(e.lanes[kNoteLaneVolume][0], 32 / 127.0f, 1e-5);
    EXPECT_NEAR(e.lanes[kNoteLaneVolume][10], 64 / 127.0f, 1e-5);  // halfway between the two points
    EXPECT_NEAR(e.lanes[kNoteLaneVolume][30], 96 / 127.0f, 1e-5);  // after the last point: its value
    EXPECT_NEAR(e.pitchCurve[0], 1.0f, 1e-5);
    EXPECT_NEAR(e.pitchCurve[99], 1.0f, 1e-5);
}

TEST(MidiImport, ChannelChoiceFollowsTheLyrics) {
    // A lyric in one track does not claim the notes of the next track.
    SmfTrack first, second;
    first.lyric(0, "la").on(0, 0, 60, 100).off(96, 0, 60).end();
    second.on(0, 1, 40, 100).off(96, 1, 40).on(0, 1, 41, 100).off(96, 1, 41).end();
    CSQEventList list;
    SMImportResult r = run(smf(1, 96, {first, second}), list, options());
    EXPECT_EQ(r.channel, 0);
    EXPECT_EQ(lyrics(list), std::vector<std::string>{"la"});

    // A "Words" track: the track whose notes fall on its text times wins.
    SmfTrack words, other, melody;
    words.meta(0, 3, "Words").text(96, "sing").text(96, "la").end();
    other.on(0, 0, 50, 100).off(50, 0, 50).on(100, 0, 52, 100).off(50, 0, 52).end();
    melody.on(96, 3, 60, 100).off(96, 3, 60).on(0, 3, 62, 100).off(96, 3, 62).end();
    CSQEventList wl;
    SMImportResult w = run(smf(1, 96, {words, other, melody}), wl, options());
    EXPECT_EQ(w.channel, 3);
    EXPECT_EQ(lyrics(wl), (std::vector<std::string>{"sing", "la"}));
}

TEST(MidiImport, BadFilesLeaveThePartOrKeepWhatWasRead) {
    CSQEventList list;
    list.append(true, 0, 60, 100);
    list.append(false, 100, 0, 0);
    SMImportResult r;
    const uint8_t garbage[] = {'R', 'I', 'F', 'F', 1, 2, 3};
    EXPECT_FALSE(importMidiBytes(garbage, sizeof garbage, list, options(), r));
    EXPECT_FALSE(importMidiFile("/nonexistent/song.mid", list, options(), r));
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(list.noteCount(), 1);

    SmfTrack t;
    t.on(0, 0, 60, 100).off(96, 0, 60).on(0, 0, 62, 100).off(96, 0, 62).end();
    Bytes file = smf(0, 96, {t});
    file.resize(file.size() - 6);  // cut inside the second note
    r = run(file, list, options(0));
    EXPECT_EQ(list.noteCount(), 2);  // the cut note ends where its track did
    EXPECT_GT(r.errors, 0);
    EXPECT_STREQ(r.firstError, "premature EOF");
}

TEST(MidiImport, LyricCleaning) {
    struct Case {
        const char* in;
        const char* out;
        bool starts, open;
    };
    const Case cases[] = {
        {"Hel", "Hel", false, true},
        {"lo ", "lo", false, false},
        {"/Twin", "Twin", true, true},
        {" star,", "star", true, false},
        {"Hel-", "Hel", false, true},
        {"don't", "don't", false, true},
        {"\xFC" "ber", "ueber", false, true},       // Windows ANSI
        {"gr\xC3\xB6\xC3\x9F" "er", "groesser", false, true},  // UTF-8
        {"- ", "", true, false},
        {"abcdefghijklmnopqrstuvwxyzABCDEFGH", "abcdefghijklmnopqrstuvwxyzABCDE", false, true},
    };
    for (const Case& c : cases) {
        char out[32];
        bool starts, open;
        cleanLyric(reinterpret_cast<const uint8_t*>(c.in), int(std::string(c.in).size()), out, starts, open);
        EXPECT_STREQ(out, c.out) << c.in;
        EXPECT_EQ(starts, c.starts) << c.in;
        EXPECT_EQ(open, c.open) << c.in;
    }
}

// ---- songs written by other programs ----

std::string buildDir() {
    std::string cli = std::getenv("LYRENA_CLI") ? std::getenv("LYRENA_CLI") : "./lyrena";
    return cli.substr(0, cli.rfind('/'));
}

bool haveTool(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Converts a source of tests/fixtures into the build folder; "" on failure.
std::string makeMidi(const char* tool, const std::string& name) {
    std::string src = std::string(std::getenv("LYRENA_SOURCE")) + "/tests/fixtures/" + name;
    std::string dir = buildDir() + "/midi-fixtures";
    std::string base = dir + "/" + name.substr(0, name.rfind('.'));
    std::string cmd = "mkdir -p '" + dir + "' && ";
    std::string out;
    if (std::string(tool) == "abc2midi") {
        out = base + ".mid";
        cmd += "abc2midi '" + src + "' -o '" + out + "' >/dev/null 2>&1";
    } else {
        out = base + ".midi";
        cmd += "lilypond -s -dno-print-pages -o '" + base + "' '" + src + "' >/dev/null 2>&1";
    }
    return std::system(cmd.c_str()) == 0 ? out : "";
}

struct Song {
    const char* tool;
    const char* source;
    int channel;
    std::vector<int> pitches;
    std::vector<float> quarters;  // start of each note in quarter notes
    float offsetTicks;            // where the tool puts the first note
    std::vector<std::string> lyrics;
    std::vector<std::vector<std::string>> words;  // how the notes group into words
    float tempo;
    int numerator, denominator;
};

void checkSong(const Song& s) {
    if (!haveTool(s.tool)) GTEST_SKIP() << s.tool << " is not installed (scripts/setup.sh installs it)";
    std::string path = makeMidi(s.tool, s.source);
    ASSERT_FALSE(path.empty()) << s.tool << " could not convert " << s.source;
    CSQEventList list;
    SMImportResult r;
    ASSERT_TRUE(importMidiFile(path.c_str(), list, options(), r)) << path;
    list.releaseRetired(true);
    EXPECT_EQ(r.channel, s.channel);
    EXPECT_EQ(r.unknownCount, 0) << (r.unknownCount ? r.unknown[0].syllables : "");
    EXPECT_NEAR(r.tempo, s.tempo, 0.01);
    EXPECT_EQ(r.numerator, s.numerator);
    EXPECT_EQ(r.denominator, s.denominator);
    auto n = notes(list);
    ASSERT_EQ(n.size(), s.pitches.size());
    float factor = 15360.0f / float(r.division);
    for (size_t i = 0; i < n.size(); ++i) {
        EXPECT_EQ(n[i].pitch, s.pitches[i]) << i;
        EXPECT_FLOAT_EQ(n[i].start, (s.quarters[i] * float(r.division) + s.offsetTicks) * factor) << i;
        EXPECT_GT(n[i].end, n[i].start) << i;
        if (i + 1 < n.size()) EXPECT_LE(n[i].end, (s.quarters[i + 1] * float(r.division) + s.offsetTicks) * factor);
        EXPECT_TRUE(n[i].e->timingValid) << i;
    }
    EXPECT_EQ(lyrics(list), s.lyrics);
    // Each word's notes carry the dictionary's phonemes for its syllables;
    // a melisma note holds the vowel before it.
    size_t i = 0;
    for (const auto& word : s.words) {
        auto expected = spread(word);
        ASSERT_EQ(expected.size(), word.size()) << word[0];
        for (size_t k = 0; k < word.size(); ++k, ++i) {
            if (word[k] == "-") {
                auto held = phonemeIds(*n[i].e);
                ASSERT_EQ(held.size(), 1u) << i;
                auto before = phonemeIds(*n[i - 1].e);
                EXPECT_NE(std::find(before.begin(), before.end(), held[0]), before.end()) << i;
            } else {
                EXPECT_EQ(phonemeIds(*n[i].e), expected[k]) << word[k];
            }
        }
    }
}

TEST(MidiImportSongs, TwinkleFromAbc2midi) {
    checkSong({"abc2midi", "twinkle.abc", 0,
               {60, 60, 67, 67, 69, 69, 67, 65, 65, 64, 64, 62, 62, 60},
               {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14},
               1,
               {"Twin-", "kle", "twin-", "kle", "lit-", "tle", "star", "how", "I", "won-", "der", "what", "you", "are"},
               {{"Twin-", "kle"}, {"twin-", "kle"}, {"lit-", "tle"}, {"star"}, {"how"}, {"I"}, {"won-", "der"},
                {"what"}, {"you"}, {"are"}},
               100, 4, 4});
}

TEST(MidiImportSongs, MelismaOnChannelThreeFromAbc2midi) {
    checkSong({"abc2midi", "melisma.abc", 2,
               {67, 69, 71, 72, 71, 69, 67},
               {0, 1, 2, 3, 5, 6, 9},
               1,
               {"Sing", "-", "a", "long", "morn-", "ing", "song"},
               {{"Sing", "-"}, {"a"}, {"long"}, {"morn-", "ing"}, {"song"}},
               90, 3, 4});
}

TEST(MidiImportSongs, LyricsTrackFromLilyPond) {
    // LilyPond writes bare syllables ("Hel", "lo", "dear"): the words are
    // found by splitting the run into dictionary words.
    checkSong({"lilypond", "hello.ly", 0,
               {60, 62, 64, 65, 67, 64},
               {0, 1, 2, 3, 5, 6},
               0,
               {"Hel-", "lo", "dear", "world", "-", "sing"},
               {{"Hel-", "lo"}, {"dear"}, {"world", "-"}, {"sing"}},
               90, 3, 4});
}

}  // namespace
