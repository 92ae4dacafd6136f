// The MIDI file reader: what it reports per event, and how it copes with
// broken files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "score/sm_file.h"
#include "tests/score/smf_builder.h"

namespace {

class LogReader : public CSMRead {
public:
    std::vector<std::string> lines;
    std::vector<std::string> errorLines() const {
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.rfind("Error: ", 0) == 0) out.push_back(l);
        return out;
    }

protected:
    void logLine(const char* text) override { lines.push_back(text); }
};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

TEST(SMFile, LogsEveryEventWithRunningStatusSysexContinuationAndMeta) {
    SmfTrack t;
    t.meta(0, 0x51, std::string("\x07\xA1\x20", 3));  // 500000 us: 120 BPM
    t.meta(0, 0x58, std::string("\x03\x02\x18\x08", 4));
    t.meta(0, 0x59, std::string("\xFE\x01", 2));
    t.on(0, 2, 60, 100);
    t.delta(96);
    t.raw({60, 0});  // running status: note on, velocity 0
    t.delta(0);
    t.raw({0xC2, 5});
    t.bend(0, 2, 0x11, 0x40);
    t.delta(0);
    t.raw({0xF0, 3, 0x43, 0x10, 0x4C});  // sysex without F7 ...
    t.delta(0);
    t.raw({0xF7, 2, 0x00, 0xF7});  // ... ends in a continuation packet
    t.text(0, std::string("la\x01", 3));
    t.meta(0, 0x21, "\x01");
    t.end();
    Bytes file = smf(0, 96, {t});

    LogReader r;
    ASSERT_TRUE(r.read(file.data(), file.size()));
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.lines.front(), "Header format=0 ntrks=1 division=96");
    EXPECT_EQ(r.lines[1], "Track start");
    EXPECT_EQ(r.lines.back(), "Track end");
    for (const char* line : {
             "Time=0.000000   Tempo, microseconds-per-MIDI-quarter-note=500000",
             "Time=0.000000   Time signature=3/2  MIDI-clocks/click=24  32nd-notes/24-MIDI-clocks=8",
             "Time=0.000000   Key signature, sharp/flats=-2  minor=1",
             "Time=0.000000   Note on, chan=3 pitch=60 vol=100",
             "Time=0.500000   Note on, chan=3 pitch=60 vol=0",
             "Time=0.500000   Program, chan=3 program=5",
             "Time=0.500000   Pitchbend, chan=3 msb=64 lsb=17",
             "Sysex, leng=6",
             "Time=0.500000   Meta Text, type=0x01 (Text Event)  leng=3",
             "     Text = <la\\0x01>",
             "Time=0.500000   Meta event, unrecognized, type=0x21 leng=1",
             "Time=0.500000   Meta event, end of track",
         })
        EXPECT_TRUE(contains(r.lines, line)) << line;
}

TEST(SMFile, MalformedDataIsReportedAndReadingGoesOn) {
    struct Case {
        const char* name;
        std::vector<int> events;  // the track's bytes
        const char* error;
        bool laterNoteSeen;       // the note on (pitch 70) at the end is still read
    };
    const Case cases[] = {
        {"data byte without status", {0, 0x40, 0, 0x90, 70, 1}, "Error: unexpected running status", true},
        {"system common byte", {0, 0xF3, 0, 0x90, 70, 1}, "Error: unexpected byte: 0xf3", true},
        {"sysex not continued", {0, 0xF0, 1, 0x43, 0, 0x90, 70, 1}, "Error: didn't find expected continuation of a sysex",
         true},
        {"meta longer than the chunk", {0, 0xFF, 1, 20, 'a'}, "Error: premature EOF", false},
    };
    for (const Case& c : cases) {
        SmfTrack first;
        for (int v : c.events) first.b.push_back(uint8_t(v));
        Bytes file = smf(0, 96, {first});
        LogReader r;
        r.read(file.data(), file.size());
        EXPECT_TRUE(contains(r.lines, c.error)) << c.name;
        EXPECT_EQ(contains(r.lines, "Time=0.000000   Note on, chan=1 pitch=70 vol=1"), c.laterNoteSeen) << c.name;
        EXPECT_EQ(r.lines.back(), "Track end") << c.name;
    }
}

TEST(SMFile, AlienChunksAreSkippedAndEveryCutStaysInsideTheFile) {
    SmfTrack t;
    t.on(0, 0, 60, 100).off(96, 0, 60).end();
    Bytes file = smf(1, 96, {t});
    // An unknown chunk before the track is passed over.
    Bytes alien = {'X', 'Y', 'Z', 'W', 0, 0, 0, 3, 1, 2, 3};
    Bytes withAlien(file.begin(), file.begin() + 14);
    withAlien.insert(withAlien.end(), alien.begin(), alien.end());
    withAlien.insert(withAlien.end(), file.begin() + 14, file.end());
    LogReader a;
    a.read(withAlien.data(), withAlien.size());
    EXPECT_TRUE(contains(a.lines, "Error: expecting MTrk"));
    EXPECT_TRUE(contains(a.lines, "Time=0.000000   Note on, chan=1 pitch=60 vol=100"));

    // Every truncation: the reader stays within the bytes it was given
    // (each cut is a fresh exact-size copy, so ASan sees any overrun) and
    // reports the cut.
    for (size_t n = 0; n < file.size(); ++n) {
        Bytes cut(file.begin(), file.begin() + long(n));
        LogReader r;
        bool midi = r.read(cut.empty() ? nullptr : cut.data(), cut.size());
        EXPECT_EQ(midi, n >= 4) << n;
        EXPECT_GT(r.errors, 0) << n;
    }
    LogReader whole;
    EXPECT_TRUE(whole.read(file.data(), file.size()));
    EXPECT_EQ(whole.errors, 0);

    LogReader notMidi;
    const uint8_t riff[] = {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    EXPECT_FALSE(notMidi.read(riff, sizeof riff));
    EXPECT_TRUE(contains(notMidi.lines, "Error: expecting MThd"));
}

}  // namespace
