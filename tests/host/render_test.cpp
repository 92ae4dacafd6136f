// lyrena render as a user runs it: real MIDI files written by abc2midi and
// LilyPond from tests/fixtures are sung by the built plug-in into WAV files
// whose header, length and sound follow the song; bad input fails with one
// line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "score/midi_import.h"
#include "score/sq_event.h"
#include "score/sq_event_list.h"

namespace {

constexpr int kRate = 22050;  // low rate: fast tests

std::string buildDir() {
    std::string cli = std::getenv("LYRENA_CLI");
    return cli.substr(0, cli.rfind('/'));
}

// One folder per test: ctest runs them side by side.
std::string workDir() {
    std::string dir = buildDir() + "/render-test/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::system(("mkdir -p '" + dir + "'").c_str());
    return dir;
}

bool haveTool(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// A fixture converted by its tool into the work folder; "" on failure.
// LilyPond takes seconds: the import tests' copy is taken when it is there.
std::string makeMidi(const std::string& name) {
    std::string src = std::string(std::getenv("LYRENA_SOURCE")) + "/tests/fixtures/" + name;
    std::string stem = name.substr(0, name.rfind('.'));
    std::string base = workDir() + "/" + stem;
    bool abc = name.ends_with(".abc");
    std::string out = base + (abc ? ".mid" : ".midi");
    std::string shared = buildDir() + "/midi-fixtures/" + stem + ".midi";
    if (!abc && std::ifstream(shared).good()) return shared;
    std::string cmd = abc ? "abc2midi '" + src + "' -o '" + out + "' >/dev/null 2>&1"
                          : "lilypond -s -dno-print-pages -o '" + base + "' '" + src + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 ? out : "";
}

struct CliRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// env: variable settings put before the command ("LYRENA_HOME=... ").
CliRun render(const std::string& args, const std::string& env = "") {
    std::string dir = workDir();
    std::string cmd = env + "'" + std::string(std::getenv("LYRENA_CLI")) + "' render " + args + " >'" + dir +
                      "/stdout' 2>'" + dir + "/stderr'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/stdout"), slurp(dir + "/stderr")};
}

uint32_t u32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t u16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

struct Wave {
    int rate = 0;
    std::vector<float> left, right;
};

// Checks the canonical 44-byte header against the file's size.
Wave readWave(const std::string& bytes) {
    Wave w;
    EXPECT_GE(bytes.size(), 44u);
    if (bytes.size() < 44) return w;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(bytes, 16), 16u);
    EXPECT_EQ(u16(bytes, 20), 1);  // PCM
    EXPECT_EQ(u16(bytes, 22), 2);
    w.rate = int(u32(bytes, 24));
    EXPECT_EQ(u32(bytes, 28), uint32_t(w.rate) * 4);
    EXPECT_EQ(u16(bytes, 32), 4);
    EXPECT_EQ(u16(bytes, 34), 16);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    uint32_t data = u32(bytes, 40);
    EXPECT_EQ(data, bytes.size() - 44);
    for (size_t i = 44; i + 3 < bytes.size(); i += 4) {
        w.left.push_back(float(int16_t(u16(bytes, i))) / 32767);
        w.right.push_back(float(int16_t(u16(bytes, i + 2))) / 32767);
    }
    return w;
}

float rms(const std::vector<float>& x, size_t from, size_t to) {
    to = std::min(to, x.size());
    double e = 0;
    for (size_t i = from; i < to; ++i) e += double(x[i]) * x[i];
    return to > from ? float(std::sqrt(e / double(to - from))) : 0.0f;
}

struct SongNotes {
    float tempo = 120;
    std::vector<std::pair<float, float>> notes;  // start, end in ticks
};

SongNotes importOf(const std::string& path) {
    SongNotes s;
    CSQEventList list;
    SMImportResult r;
    SMImportOptions o;
    o.log = false;
    EXPECT_TRUE(importMidiFile(path.c_str(), list, o, r)) << path;
    s.tempo = r.tempo;
    for (const CSQEvent* e = list.head(); e; e = e->next)
        if (!e->isEnd()) s.notes.emplace_back(e->start, e->end());
    list.releaseRetired(true);
    return s;
}

size_t frameOf(float ticks, float tempo) { return size_t(double(ticks) / (double(tempo) * 15360.0 / (kRate * 60.0))); }

struct Fixture {
    const char* tool;
    const char* source;
};

TEST(Render, RealMidiFilesSingForTheLengthOfTheSong) {
    for (Fixture f : {Fixture{"abc2midi", "twinkle.abc"}, Fixture{"abc2midi", "melisma.abc"}, Fixture{"lilypond", "hello.ly"}}) {
        SCOPED_TRACE(f.source);
        if (!haveTool(f.tool)) {
            ADD_FAILURE() << f.tool << " is not installed (scripts/setup.sh installs it)";
            continue;
        }
        std::string midi = makeMidi(f.source);
        ASSERT_FALSE(midi.empty());
        SongNotes song = importOf(midi);
        ASSERT_FALSE(song.notes.empty());
        std::string wav = workDir() + "/song.wav";
        CliRun run = render("'" + midi + "' --rate 22050 -o '" + wav + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        Wave w = readWave(slurp(wav));
        EXPECT_EQ(w.rate, kRate);

        // From the first note's start to the last note's end, plus a tail
        // that is at least the quiet stretch that ends it.
        const float first = song.notes.front().first;
        float last = 0;
        for (auto& n : song.notes) last = std::max(last, n.second);
        const size_t songFrames = frameOf(last - first, song.tempo);
        EXPECT_GE(w.left.size(), songFrames + kRate / 4);
        EXPECT_LE(w.left.size(), songFrames + 10 * kRate + 512);

        // Sound in the middle of every note, the loudest part far above the
        // tail's end.
        float loud = rms(w.left, 0, songFrames);
        ASSERT_GT(loud, 0.01f);
        for (size_t k = 0; k < song.notes.size(); ++k) {
            size_t a = frameOf(song.notes[k].first - first, song.tempo), b = frameOf(song.notes[k].second - first, song.tempo);
            size_t mid = (a + b) / 2, half = std::min<size_t>((b - a) / 4, kRate / 10);
            EXPECT_GT(rms(w.left, mid - half, mid + half), 0.1f * loud) << "note " << k;
        }
        EXPECT_LT(rms(w.left, w.left.size() - kRate / 20, w.left.size()), 0.01f * loud);

        // The summary line says what was written.
        EXPECT_NE(run.out.find("song.wav: "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("real-time factor"), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    }
}

TEST(Render, StdoutProjectRoundTripAndPartsFromSeveralFiles) {
    if (!haveTool("abc2midi")) GTEST_SKIP() << "abc2midi is not installed";
    std::string twinkle = makeMidi("twinkle.abc"), melisma = makeMidi("melisma.abc");
    ASSERT_FALSE(twinkle.empty() || melisma.empty());
    const std::string dir = workDir();

    CliRun file = render("'" + twinkle + "' --rate 22050 --block 333 -o '" + dir + "/a.wav' --save-project '" + dir + "/a.qlp'");
    ASSERT_EQ(file.status, 0) << file.err;
    CliRun out = render("'" + twinkle + "' --rate 22050 --block 333 -o -");
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, slurp(dir + "/a.wav")) << "stdout carries the same WAV as a file";
    EXPECT_NE(out.err.find("real-time factor"), std::string::npos);

    // The saved project sings the same song.
    CliRun project = render("'" + dir + "/a.qlp' --rate 22050 --block 333 -o '" + dir + "/b.wav'");
    ASSERT_EQ(project.status, 0) << project.err;
    Wave a = readWave(slurp(dir + "/a.wav")), b = readWave(slurp(dir + "/b.wav"));
    ASSERT_EQ(a.left.size(), b.left.size());
    for (size_t i = 0; i < a.left.size(); i += 97) ASSERT_NEAR(a.left[i], b.left[i], 2e-4f) << i;

    // Two files in two parts at a tempo of the command line: the song
    // lasts from the earliest start to the latest end of both.
    CliRun two = render("'" + twinkle + "' --part 2:'" + melisma + "' --tempo 200 --rate 22050 -o '" + dir + "/c.wav'");
    ASSERT_EQ(two.status, 0) << two.err;
    Wave c = readWave(slurp(dir + "/c.wav"));
    float first = 1e30f, last = 0;
    for (const std::string& m : {twinkle, melisma})
        for (auto& n : importOf(m).notes) first = std::min(first, n.first), last = std::max(last, n.second);
    size_t songFrames = size_t(double(last - first) / (200.0 * 15360 / (kRate * 60.0)));
    EXPECT_GE(c.left.size(), songFrames + kRate / 4);
    EXPECT_LE(c.left.size(), songFrames + 10 * kRate);
    // The melisma song (part 2) is longer in quarters: the last second sings.
    EXPECT_GT(rms(c.left, songFrames - kRate, songFrames - kRate / 2), 0.01f);
}

TEST(Render, ChoirCopiesSpreadAcrossTheStereoField) {
    if (!haveTool("abc2midi")) GTEST_SKIP() << "abc2midi is not installed";
    std::string midi = makeMidi("melisma.abc");
    ASSERT_FALSE(midi.empty());
    const std::string dir = workDir();
    auto sideShare = [](const Wave& w) {
        double mid = 0, side = 0;
        for (size_t i = 0; i < w.left.size(); ++i) {
            double m = w.left[i] + w.right[i], s = w.left[i] - w.right[i];
            mid += m * m, side += s * s;
        }
        return side / (mid + 1e-12);
    };
    CliRun same = render("'" + midi + "' --rate 22050 --choir 3,0,0,0,0 -o '" + dir + "/same.wav'");
    CliRun spread = render("'" + midi + "' --rate 22050 --choir 3,0.02,0.5,0.2,1 -o '" + dir + "/spread.wav'");
    ASSERT_EQ(same.status, 0) << same.err;
    ASSERT_EQ(spread.status, 0) << spread.err;
    Wave a = readWave(slurp(dir + "/same.wav")), b = readWave(slurp(dir + "/spread.wav"));
    EXPECT_GT(sideShare(b), 10 * sideShare(a) + 0.01);
    // Start offsets are whole frames below 8000 samples x jitter.
    EXPECT_GE(b.left.size() + 2000, a.left.size());
    EXPECT_LE(b.left.size(), a.left.size() + 2000 + kRate * 1);
    EXPECT_NE(spread.out.find("choir of 3"), std::string::npos) << spread.out;
}

TEST(Render, BadInputFailsWithOneLine) {
    if (!haveTool("abc2midi")) GTEST_SKIP() << "abc2midi is not installed";
    std::string midi = makeMidi("twinkle.abc");
    ASSERT_FALSE(midi.empty());
    const std::string dir = workDir();
    std::string bytes = slurp(midi);
    std::ofstream(dir + "/truncated.mid", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    std::ofstream(dir + "/text.mid") << "these are not the bytes of a MIDI file\n";

    struct Case {
        std::string args, message;
        int status;
    } cases[] = {
        {"'" + dir + "/missing.mid'", "cannot read", 1},
        {"'" + dir + "/text.mid'", "is not a MIDI file", 1},
        {"'" + dir + "/truncated.mid'", "damaged MIDI file", 1},
        {"'" + midi + "' --channel 7", "no notes on channel 7", 1},
        {"'" + dir + "/missing.qlp'", "cannot read", 1},
        {"'" + dir + "/text.mid' --part 1:'" + dir + "/missing.mid'", "cannot read", 1},
        {"'" + midi + "' --set NoSuchSet", "no phoneme set Data/NoSuchSet.phd", 1},
        {"'" + midi + "' --rate 12345", "--rate takes", 2},
        {"'" + midi + "' --choir 0", "--choir takes", 2},
        {"'" + midi + "' --part 9", "--part takes", 2},
        {"'" + midi + "' --mix 9:level=3", "--mix takes", 2},
        {"'" + midi + "' --mix 1:volume=3", "--mix takes", 2},
        {"'" + midi + "' --mix 1:pan=128", "--mix takes", 2},
        {"'" + midi + "' --master preset=24", "--master takes", 2},
        {"'" + midi + "' --master level=10,", "--master takes", 2},
        {"'" + midi + "' --param 1:86=0.5", "--param takes", 2},
        {"'" + midi + "' --param 1:32=1.5", "--param takes", 2},
    };
    for (const Case& c : cases) {
        std::remove((dir + "/bad.wav").c_str());
        CliRun run = render(c.args + " -o '" + dir + "/bad.wav'");
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(run.err.find("lyrena render: "), 0u) << run.err;
        if (c.status == 1) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_FALSE(std::ifstream(dir + "/bad.wav").good()) << c.args << ": no file after an error";
    }
}

// Mixer and master values of the command line shape the song the plug-in
// sings, and a saved project keeps them.
TEST(Render, MixAndVoiceValuesShapeTheParts) {
    if (!haveTool("abc2midi")) GTEST_SKIP() << "abc2midi is not installed";
    std::string midi = makeMidi("twinkle.abc");
    ASSERT_FALSE(midi.empty());
    const std::string dir = workDir();
    auto leftShare = [](const Wave& w) {
        double l = 0, r = 0;
        for (size_t i = 0; i < w.left.size(); ++i) l += double(w.left[i]) * w.left[i], r += double(w.right[i]) * w.right[i];
        return l / (l + r + 1e-12);
    };
    CliRun left = render("'" + midi + "' --rate 22050 --mix 1:pan=0,level=60 -o '" + dir + "/left.wav' --save-project '" +
                         dir + "/left.qlp'");
    CliRun right = render("'" + midi + "' --rate 22050 --mix 1:pan=127,level=60 -o '" + dir + "/right.wav'");
    CliRun quiet = render("'" + midi + "' --rate 22050 --mix 1:level=30 --master level=60 -o '" + dir + "/quiet.wav'");
    ASSERT_EQ(left.status, 0) << left.err;
    ASSERT_EQ(right.status, 0) << right.err;
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    Wave l = readWave(slurp(dir + "/left.wav")), r = readWave(slurp(dir + "/right.wav"));
    EXPECT_GT(leftShare(l), 0.95);
    EXPECT_LT(leftShare(r), 0.05);
    // Quieter levels: well below full scale, so nothing was scaled down.
    EXPECT_EQ(quiet.out.find("scaled from"), std::string::npos) << quiet.out;
    Wave q = readWave(slurp(dir + "/quiet.wav"));
    EXPECT_LT(*std::max_element(q.left.begin(), q.left.end()), 0.25f);
    EXPECT_GT(rms(q.left, 0, q.left.size()), 1e-4f);

    // A reverb send of part 1 with the master reverb on: the song rings on
    // after its last note.
    CliRun wet = render("'" + midi + "' --rate 22050 --mix 1:level=60,reverb=100 --master on=127,preset=5 -o '" + dir +
                        "/wet.wav'");
    ASSERT_EQ(wet.status, 0) << wet.err;
    Wave dry = readWave(slurp(dir + "/quiet.wav")), w = readWave(slurp(dir + "/wet.wav"));
    EXPECT_GT(w.left.size(), dry.left.size() + kRate) << wet.out;

    // Voice parameter 12 (Volume) of part 1 from 0.6 to 0.3: 24 dB quieter.
    CliRun loud = render("'" + midi + "' --rate 22050 --master level=60 --param 1:12=0.6 -o '" + dir + "/loud.wav'");
    CliRun soft = render("'" + midi + "' --rate 22050 --master level=60 --param 1:12=0.3,32=0.5 -o '" + dir + "/soft.wav'");
    ASSERT_EQ(loud.status, 0) << loud.err;
    ASSERT_EQ(soft.status, 0) << soft.err;
    Wave lw = readWave(slurp(dir + "/loud.wav")), sw = readWave(slurp(dir + "/soft.wav"));
    float ratio = rms(sw.left, 0, sw.left.size()) / rms(lw.left, 0, lw.left.size());
    EXPECT_GT(ratio, 0.04f);
    EXPECT_LT(ratio, 0.09f);

    CliRun again = render("'" + dir + "/left.qlp' --rate 22050 -o '" + dir + "/again.wav'");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_GT(leftShare(readWave(slurp(dir + "/again.wav"))), 0.95) << "the project keeps the pan";
}

// The installed default project: the plug-in loads it at start, all four
// choir parts sing (each heard alone with the others' levels at 0), and the
// whole song stays below full scale, so nothing saturates or is scaled.
TEST(Render, DefaultProjectSingsInEveryPartWithHeadroom) {
    const std::string install = std::getenv("LYRENA_INSTALL");
    const std::string project = install + "Default.qlp";
    ASSERT_TRUE(std::ifstream(project).good()) << "the build installs " << project;
    const std::string env = "LYRENA_HOME='" + install + "' ";
    const std::string dir = workDir();

    CliRun all = render("'" + project + "' --rate 22050 -o '" + dir + "/all.wav'", env);
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out.find("scaled from"), std::string::npos) << all.out;
    Wave song = readWave(slurp(dir + "/all.wav"));
    float peak = 0;
    for (size_t i = 0; i < song.left.size(); ++i) peak = std::max({peak, std::fabs(song.left[i]), std::fabs(song.right[i])});
    EXPECT_LT(peak, 0.89f) << "at least 1 dB of headroom";
    EXPECT_GT(peak, 0.2f);

    for (int part = 1; part <= 4; ++part) {
        std::string others;
        for (int p = 1; p <= 4; ++p)
            if (p != part) others += " --mix " + std::to_string(p) + ":level=0";
        std::string wav = dir + "/part" + std::to_string(part) + ".wav";
        CliRun solo = render("'" + project + "' --rate 22050" + others + " -o '" + wav + "'", env);
        ASSERT_EQ(solo.status, 0) << solo.err;
        Wave w = readWave(slurp(wav));
        EXPECT_GT(rms(w.left, 0, w.left.size()) + rms(w.right, 0, w.right.size()), 0.01f) << "part " << part;
    }
}

TEST(Render, UnknownWordsAreNamedAndTheSongStillSings) {
    if (!haveTool("abc2midi")) GTEST_SKIP() << "abc2midi is not installed";
    std::string midi = makeMidi("nonsense.abc");
    ASSERT_FALSE(midi.empty());
    std::string wav = workDir() + "/nonsense.wav";
    std::remove(wav.c_str());
    CliRun run = render("'" + midi + "' --rate 22050 -o '" + wav + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("unknown word \"fnarg"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    Wave w = readWave(slurp(wav));
    EXPECT_GT(rms(w.left, 0, w.left.size()), 0.01f);
}

}  // namespace
