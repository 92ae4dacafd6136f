// The factory sets' vowels as the instrument sings them: every vowel of a
// set is sung on a sustained note through our host and the plug-in, and the
// F1 and F2 measured in the audio (resonances fitted to its harmonics,
// tests/support/harmonic_envelope.h) must lie within 10 % of the values the
// set holds (the halves listed in kKnownMisses are printed, not judged).
// Low voices sing at 110 Hz, high ones at 220 Hz; a diphthong is measured at
// its start (slot A) and at the end of its glide (slot B). This catches
// anything between the set and the sound: the voice program's defaults, the
// articulation's timing, the engine's formant sums, distortion at the output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"
#include "tests/support/harmonic_envelope.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

constexpr int kRate = 44100, kBlock = 512;
constexpr float kTicksPerSecond = 2 * kTicksPerQuarter;  // at 120 BPM
// Each vowel sings alone for kNote seconds, kGap apart. The articulation
// holds slot A and glides to slot B over the last 0.8 s of the note.
constexpr double kNote = 1.5, kGap = 0.3, kGlide = 0.82;

struct SetCase {
    const char* name;
    int key;  // 45: 110 Hz, 57: 220 Hz
};

struct Sung {
    std::vector<int> vowels;  // phoneme numbers
    std::vector<float> left;
    std::unique_ptr<CPhoneme> model;
};

// Every vowel of the set, sung through the plug-in from a bank chunk.
bool sing(const SetCase& c, Sung& out, std::string& error) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    CPhoneme& model = synth->getParameters().phonemes[0];
    if (!model.load(c.name)) {
        error = std::string("cannot load ") + c.name;
        return false;
    }
    out.model = std::make_unique<CPhoneme>(model);
    // Master level 40: the voice stays some 20 dB under the output stage's
    // soft saturator, whose distortion would fill the spectrum between the
    // formants at the start-up levels.
    synth->getParameters().setMasterValue(2, 40.0f / 127);
    CSequencer& seq = *synth->getSequencer();
    seq.setOptions(true, false, false);
    seq.loopEnabled = false;
    seq.setTempo(120);
    CSQEventList& list = seq.lists[0];
    for (int n = 0; n < 64; ++n) {
        if (phonemeClass(model.language, n) != kClassVowel) continue;
        double start = 0.2 + double(out.vowels.size()) * (kNote + kGap);
        CSQEvent* s = list.append(true, float(start * kTicksPerSecond), c.key, 100);
        list.append(false, float((start + kNote) * kTicksPerSecond), c.key, 0);
        s->phonemes[0] = uint8_t(2 * n);
        s->setLyric("a");
        out.vowels.push_back(n);
    }
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, false);
    std::vector<uint8_t> bank(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);

    VstHost host;
    if (!host.load(std::getenv("LYRENA_PLUGIN"), error)) return false;
    host.start(float(kRate), kBlock);
    if (host.dispatch(effSetChunk, 0, IntPtr(bank.size()), bank.data()) != IntPtr(bank.size())) {
        error = "the plug-in refused the bank";
        return false;
    }
    host.timeInfo = VstTimeInfo{};
    host.timeInfo.sampleRate = kRate;
    host.timeInfo.tempo = 120;
    host.timeInfo.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
    const int frames = int((0.4 + double(out.vowels.size()) * (kNote + kGap)) * kRate);
    std::vector<float> l(kBlock), r(kBlock);
    for (int done = 0; done < frames; done += kBlock) {
        host.process(l.data(), r.data(), kBlock);
        out.left.insert(out.left.end(), l.begin(), l.end());
        host.advance(kBlock);
    }
    // LYRENA_VOWEL_WAV=DIR keeps the audio for a second opinion (Praat).
    if (const char* dir = std::getenv("LYRENA_VOWEL_WAV")) {
        std::string path = std::string(dir) + "/" + c.name + ".raw";
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(out.left.data(), sizeof(float), out.left.size(), f);
            std::fclose(f);
        }
    }
    return true;
}

// Vowel halves that still miss 10 % today, per set ("token slot"), measured
// but not judged until fixed; every other vowel must stay within 10 %. The
// causes, read from the harmonic amplitudes:
// - y: at 220 Hz: its narrow F1 (319 Hz) lies between the first two
//   harmonics, which both sit far down its skirts;
// - the end of the soprano's OW glide (F1 472, F2 996 Hz, both narrow) reads
//   F2 10.2 % high: F2, 16 dB under F1, falls between two harmonics on F1's
//   skirt, and a 1 dB difference there moves the fit by 100 Hz.
struct KnownMisses {
    const char* set;
    const char* halves;
};
const KnownMisses kKnownMisses[] = {
    {"FS04", "y: A"},
    {"FS05", "OW B"},
};

bool knownMiss(const char* set, const std::string& half) {
    for (const KnownMisses& k : kKnownMisses) {
        if (std::string(k.set) != set) continue;
        std::string list = std::string(", ") + k.halves + ",";
        return list.find(", " + half + ",") != std::string::npos;
    }
    return false;
}

size_t frameAt(double seconds) { return size_t(seconds * kRate); }

TEST(VowelFormants, EveryVowelOfTheFactorySetsSingsItsF1AndF2) {
    // English and German, men's and women's sets, and the choir voices.
    const SetCase sets[] = {{"Factory", 45}, {"FS01", 45}, {"FS02", 57}, {"FS03", 45}, {"FS04", 57},
                            {"FS05", 57},    {"FS06", 57}, {"FS07", 45}, {"FS08", 45}};
    const bool table = std::getenv("LYRENA_VOWEL_TABLE") != nullptr;
    for (const SetCase& c : sets) {
        Sung s;
        std::string error;
        ASSERT_TRUE(sing(c, s, error)) << c.name << ": " << error;
        ASSERT_GE(s.vowels.size(), 12u) << c.name;
        for (size_t i = 0; i < s.vowels.size(); ++i) {
            const int n = s.vowels[i];
            const double t0 = 0.2 + double(i) * (kNote + kGap), t1 = t0 + kNote;
            const float(*a)[3] = s.model->formants[2 * n];
            const float(*b)[3] = s.model->formants[2 * n + 1];
            const bool glides = std::fabs(a[0][0] - b[0][0]) > 1 || std::fabs(a[1][0] - b[1][0]) > 1;
            struct Part {
                const char* slot;
                const float (*target)[3];
                double from, to;
            } parts[2] = {{"A", a, t0 + 0.12, glides ? t1 - kGlide - 0.03 : t1 - 0.15},
                          {"B", b, t1 - 0.11, t1 - 0.03}};
            for (int h = 0; h < (glides ? 2 : 1); ++h) {
                const Part& p = parts[h];
                const double f0 = 440 * std::pow(2.0, (c.key - 69) / 12.0);
                std::vector<double> db =
                    envelope::harmonicLevels(s.left, kRate, frameAt(p.from), frameAt(p.to), f0, int(3200 / f0));
                // The formants are the filter's: the source's loudness shelf at
                // the notes' full volume is divided out, as inverse filtering
                // would.
                envelope::removeLoudnessShelf(db, f0, 1.0);
                envelope::Peaks e = envelope::formantPeaks(db, f0);
                const std::string what = std::string(c.name) + " " + phonemeToken(s.model->language, n) + " " + p.slot;
                const double f1 = p.target[0][0], f2 = p.target[1][0];
                if (table)
                    std::printf("%-8s %-3s %s  F1 %5.0f %5.0f %+6.1f %%   F2 %5.0f %5.0f %+6.1f %%\n", c.name,
                                phonemeToken(s.model->language, n), p.slot, f1, e.f1, 100 * (e.f1 / f1 - 1), f2, e.f2,
                                100 * (e.f2 / f2 - 1));
                if (knownMiss(c.name, std::string(phonemeToken(s.model->language, n)) + " " + p.slot)) continue;
                EXPECT_NEAR(e.f1, f1, 0.10 * f1) << what << " F1";
                EXPECT_NEAR(e.f2, f2, 0.10 * f2) << what << " F2";
            }
        }
    }
}

}  // namespace
