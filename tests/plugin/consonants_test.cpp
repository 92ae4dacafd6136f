// Consonants of the factory sets as the plug-in sings them through our
// host, measured on the audio in a lower (110 Hz) and a higher (220 Hz)
// voice: s is brighter than sh and ich than ach, voiced fricatives carry a
// voice bar, every stop has a burst within 30 ms of its release, phrases
// fade out, and no silence opens between a vowel and the fricative after it
// or between an s-stop cluster and its vowel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

constexpr int kRate = 44100, kBlock = 512;
constexpr float kTicksPerSecond = 2 * kTicksPerQuarter;  // at 120 BPM
constexpr double kNote = 0.7, kGap = 0.3;
constexpr size_t kMs = kRate / 1000;

struct Voice {
    const char* set;
    int key;  // 45: 110 Hz, 57: 220 Hz
};
const Voice kEnglish[] = {{"FS01", 45}, {"FS02", 57}};
const Voice kGerman[] = {{"FS03", 45}, {"FS04", 57}};

// Words as phoneme tokens, one note each.
using Word = std::vector<const char*>;

// Sings each word on its own note (kNote long, kGap apart, the first at
// kGap) and returns the left channel.
std::vector<float> sing(const Voice& v, const std::vector<Word>& words, std::string& error) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    CPhoneme& model = synth->getParameters().phonemes[0];
    if (!model.load(v.set)) {
        error = std::string("cannot load ") + v.set;
        return {};
    }
    CSequencer& seq = *synth->getSequencer();
    seq.setOptions(true, false, false);
    seq.loopEnabled = false;
    seq.setTempo(120);
    CSQEventList& list = seq.lists[0];
    for (size_t w = 0; w < words.size(); ++w) {
        double start = kGap + double(w) * (kNote + kGap);
        CSQEvent* s = list.append(true, float(start * kTicksPerSecond), v.key, 100);
        list.append(false, float((start + kNote) * kTicksPerSecond), v.key, 0);
        for (size_t i = 0; i < words[w].size(); ++i) {
            int n = parsePhonemeToken(model.language, words[w][i], int(std::strlen(words[w][i])));
            if (n < 0) {
                error = std::string("no phoneme ") + words[w][i];
                return {};
            }
            s->phonemes[i] = uint8_t(2 * n);
        }
        s->setLyric("a");
    }
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, false);
    std::vector<uint8_t> bank(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);

    VstHost host;
    if (!host.load(std::getenv("LYRENA_PLUGIN"), error)) return {};
    host.start(float(kRate), kBlock);
    if (host.dispatch(effSetChunk, 0, IntPtr(bank.size()), bank.data()) != IntPtr(bank.size())) {
        error = "the plug-in refused the bank";
        return {};
    }
    host.timeInfo = VstTimeInfo{};
    host.timeInfo.sampleRate = kRate;
    host.timeInfo.tempo = 120;
    host.timeInfo.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
    const int frames = int((kGap + double(words.size()) * (kNote + kGap)) * kRate);
    std::vector<float> out, l(kBlock), r(kBlock);
    for (int done = 0; done < frames; done += kBlock) {
        host.process(l.data(), r.data(), kBlock);
        out.insert(out.end(), l.begin(), l.end());
        host.advance(kBlock);
    }
    return out;
}

// One word's audio: its note and the rest after it, with the level per
// millisecond (2 ms windows) of the whole signal, of its part above 2.5 kHz
// and of its part below 1 kHz, in dB.
struct Take {
    std::vector<float> x;
    std::vector<double> all, high, low;
    double top = -300;
};

// Second-order sections after the audio EQ cookbook.
std::vector<float> biquad(const std::vector<float>& x, double hz, bool highpass) {
    const double w = 2 * M_PI * hz / kRate, c = std::cos(w), a = std::sin(w) / std::sqrt(2.0);
    const double b0 = highpass ? (1 + c) / 2 : (1 - c) / 2, b1 = highpass ? -(1 + c) : 1 - c;
    const double a0 = 1 + a, a1 = -2 * c, a2 = 1 - a;
    std::vector<float> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        double v = (b0 * x[i] + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1, x1 = x[i], y2 = y1, y1 = v;
        y[i] = float(v);
    }
    return y;
}

std::vector<double> levels(const std::vector<float>& x) {
    std::vector<double> out;
    for (size_t i = 0; i + 2 * kMs <= x.size(); i += kMs) {
        double e = 0;
        for (size_t j = i; j < i + 2 * kMs; ++j) e += double(x[j]) * x[j];
        out.push_back(10 * std::log10(e / double(2 * kMs) + 1e-30));
    }
    return out;
}

Take takeOf(const std::vector<float>& song, size_t word) {
    Take t;
    size_t from = size_t((kGap + double(word) * (kNote + kGap)) * kRate);
    size_t to = std::min(song.size(), from + size_t((kNote + kGap) * kRate));
    t.x.assign(song.begin() + long(from), song.begin() + long(to));
    // Filter twice: 24 dB per octave.
    t.all = levels(t.x);
    t.high = levels(biquad(biquad(t.x, 2500, true), 2500, true));
    t.low = levels(biquad(biquad(t.x, 1000, false), 1000, false));
    for (double v : t.all) t.top = std::max(t.top, v);
    return t;
}

// Each word's take as the voice sings the words; none, with the failure
// recorded, when it cannot sing them.
std::vector<Take> takes(const Voice& voice, const std::vector<Word>& words) {
    std::string error;
    std::vector<float> song = sing(voice, words, error);
    std::vector<Take> out;
    if (song.empty()) {
        ADD_FAILURE() << voice.set << ": " << error;
        return out;
    }
    for (size_t w = 0; w < words.size(); ++w) out.push_back(takeOf(song, w));
    return out;
}

// The frication: the longest run of milliseconds in which the part above
// 2.5 kHz outweighs the part below 1 kHz while the sound is loud.
struct Stretch {
    size_t from = 0, length = 0;
};
Stretch frication(const Take& t) {
    Stretch best, run;
    for (size_t i = 0; i < t.all.size(); ++i) {
        if (t.high[i] > t.low[i] && t.all[i] > t.top - 40) {
            if (run.length == 0) run.from = i;
            if (++run.length > best.length) best = run;
        } else {
            run.length = 0;
        }
    }
    return best;
}

// Spectral centre of gravity (power) from 500 Hz to 11 kHz of 1024 frames
// under a Hann window, as the fricative measurements of Jongman et al.
double centroid(const std::vector<float>& x, size_t middle) {
    const size_t n = 1024;
    size_t from = middle > n / 2 ? middle - n / 2 : 0;
    double num = 0, den = 0;
    for (size_t k = size_t(500.0 * n / kRate); k <= size_t(11000.0 * n / kRate); ++k) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n && from + i < x.size(); ++i) {
            double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
            double a = 2 * M_PI * double(k) * double(i) / double(n);
            re += w * x[from + i] * std::cos(a);
            im -= w * x[from + i] * std::sin(a);
        }
        double p = re * re + im * im;
        num += p * double(k) * kRate / double(n);
        den += p;
    }
    return den > 0 ? num / den : 0;
}

// A word that ends in a fricative: its centroid 30 ms before the sound ends
// (ach lies below 2.5 kHz, so the frication run does not find it).
double endCentroid(const Take& t) {
    size_t last = 0;
    for (size_t i = 0; i < t.all.size(); ++i)
        if (t.all[i] > t.top - 45) last = i;
    return last > 30 ? centroid(t.x, (last - 30) * kMs) : 0;
}

// The longest run of milliseconds more than 45 dB under the loudest between
// the first and the last loud millisecond: a silence inside the word.
size_t longestSilence(const Take& t) {
    size_t first = t.all.size(), last = 0;
    for (size_t i = 0; i < t.all.size(); ++i)
        if (t.all[i] > t.top - 45) first = std::min(first, i), last = i;
    size_t best = 0, run = 0;
    for (size_t i = first; i <= last && i < t.all.size(); ++i) {
        run = t.all[i] > t.top - 45 ? 0 : run + 1;
        best = std::max(best, run);
    }
    return best;
}

TEST(Consonants, SIsBrighterThanShAndIchThanAch) {
    struct Case {
        const Voice* voices;
        std::vector<Word> words;  // the brighter word first
        double ratio;             // least ratio of the two centroids
    } cases[] = {
        {kEnglish, {{"IY", "S"}, {"IY", "SH"}}, 1.2},  // Jongman: 6133 against 4229 Hz
        {kGerman, {{"I", "C"}, {"a", "x"}}, 1.3},      // ich 3-4.5 kHz, ach 1-2 kHz
    };
    for (const Case& c : cases)
        for (int v = 0; v < 2; ++v) {
            const Voice& voice = c.voices[v];
            const std::vector<Take> all = takes(voice, c.words);
            ASSERT_EQ(all.size(), 2u);
            double bright = endCentroid(all[0]), dark = endCentroid(all[1]);
            std::string what = std::string(voice.set) + " " + c.words[0][0] + c.words[0][1] + " against " +
                               c.words[1][0] + c.words[1][1];
            ASSERT_GT(dark, 0) << what << ": no frication found";
            EXPECT_GT(bright, c.ratio * dark) << what << ": " << bright << " against " << dark << " Hz";
        }
}

TEST(Consonants, VoicedFricativesCarryAVoiceBarAndVoicelessOnesDoNot) {
    // The part below 1 kHz early in the frication: for z, v, dh at most 20 dB
    // under the vowel's; for s and f well under the noise above 2.5 kHz.
    struct Case {
        const char* fricative;
        bool voiced;
    } cases[] = {{"Z", true}, {"V", true}, {"DH", true}, {"S", false}, {"F", false}};
    std::vector<Word> words;
    for (const Case& c : cases) words.push_back({c.fricative, "IY"});
    for (const Voice& voice : kEnglish) {
        const std::vector<Take> all = takes(voice, words);
        for (size_t w = 0; w < all.size(); ++w) {
            const Take& t = all[w];
            std::string what = std::string(voice.set) + " " + cases[w].fricative;
            // The fricative opens the note: 15 to 45 ms after the sound starts,
            // past the voice's onset ramp (the shortest, dh, lasts about 70 ms).
            size_t first = 0;
            while (first < t.all.size() && t.all[first] <= t.top - 45) ++first;
            ASSERT_LT(first, 100u) << what << ": silent";
            double bar = 0, noise = 0, vowel = 0;
            for (size_t i = first + 15; i < first + 45; ++i)
                bar += std::pow(10.0, t.low[i] / 10), noise += std::pow(10.0, t.high[i] / 10);
            for (size_t i = 300; i < 400; ++i) vowel += std::pow(10.0, t.low[i] / 10);
            double db = 10 * std::log10(bar / 30 / (vowel / 100));
            if (cases[w].voiced)
                EXPECT_GT(db, -20) << what << ": the voice under the frication is " << db << " dB under the vowel";
            else  // below 1 kHz only the noise's own tail, well under its part above 2.5 kHz
                EXPECT_LT(10 * std::log10(bar / noise), -6) << what << ": voiced";
        }
    }
}

TEST(Consonants, NasalsHumWithWeakUpperFormants) {
    // The part above 2.5 kHz in the murmur (15-45 ms into a nasal that opens
    // the word, or the 15 ms before the release fade of one that ends it)
    // against the vowel's: at least 8 dB under it. A final ng that never
    // reached its murmur sang it as loud as the vowel.
    const std::vector<Word> words = {{"M", "AA"}, {"N", "AA"}, {"S", "IH", "NG"}, {"HH", "IH", "M"}};
    for (const Voice& voice : kEnglish) {
        const std::vector<Take> all = takes(voice, words);
        for (size_t w = 0; w < all.size(); ++w) {
            const Take& t = all[w];
            const bool final = words[w].size() == 3;
            size_t first = 0, last = 0;
            for (size_t i = 0; i < t.all.size(); ++i)
                if (t.all[i] > t.top - 45) last = i, first = first ? first : i;
            auto upper = [&](size_t from, size_t to) {
                double h = 0;
                for (size_t i = from; i < to; ++i) h += std::pow(10.0, t.high[i] / 10);
                return 10 * std::log10(h / double(to - from));
            };
            ASSERT_GT(last, 500u) << voice.set << " word " << w << ": too short";
            const size_t end = size_t(kNote * 1000);  // the note's end, ms into the take
            double murmur = final ? upper(end - 65, end - 50) : upper(first + 15, first + 45);
            double vowel = upper(300, 400);
            EXPECT_LT(murmur, vowel - 8) << voice.set << " " << (final ? words[w].back() : words[w][0])
                                          << ": upper formants " << murmur - vowel << " dB against the vowel's";
        }
    }
}

TEST(Consonants, EveryStopBurstsWithin30MsOfItsRelease) {
    // Word-initial stops, and stops after s (released out of a closure).
    const std::vector<Word> words = {{"P", "AA"}, {"T", "AA"}, {"K", "AA"}, {"B", "AA"},
                                     {"D", "AA"}, {"G", "AA"}, {"S", "T", "AA"}, {"S", "K", "AA"}};
    for (const Voice& voice : kEnglish) {
        const std::vector<Take> all = takes(voice, words);
        for (size_t w = 0; w < all.size(); ++w) {
            const Take& t = all[w];
            const bool cluster = words[w].size() == 3;
            std::string what = std::string(voice.set) + " " + words[w][cluster ? 1 : 0] + (cluster ? " after S" : "");
            // The release ends the closure: the first loud millisecond after
            // the silence before the note, or after the s and its closure.
            size_t i = 0;
            if (cluster) {
                Stretch s = frication(t);
                ASSERT_GT(s.length, 20u) << what << ": no s";
                i = s.from + s.length;
                while (i < t.all.size() && t.all[i] > t.top - 45) ++i;  // the s fades into the closure
                size_t closure = i;
                while (i < t.all.size() && t.all[i] <= t.top - 45) ++i;
                EXPECT_GE(i - closure, 20u) << what << ": no closure";
            } else {
                while (i < t.all.size() && t.all[i] <= t.top - 45) ++i;
            }
            const size_t release = i;
            ASSERT_LT(release + 60, t.all.size()) << what << ": no release";
            // A burst: a millisecond within 30 ms whose part above 2.5 kHz
            // outweighs its part below 1 kHz and is at most 40 dB under the
            // loudest of the word.
            size_t burst = release + 30;
            for (size_t k = release; k < release + 30; ++k)
                if (t.high[k] > t.low[k] && t.high[k] > t.top - 40) {
                    burst = k;
                    break;
                }
            EXPECT_LT(burst, release + 30) << what << ": no burst within 30 ms of the release";
            // The vowel follows: the part below 1 kHz within 10 dB of the
            // vowel's within 120 ms (100 ms of aspiration at the most).
            double vowelLow = -300;
            for (double v : t.low) vowelLow = std::max(vowelLow, v);
            size_t voiced = release;
            while (voiced < t.low.size() && t.low[voiced] < vowelLow - 10) ++voiced;
            EXPECT_LT(voiced, release + (cluster ? 50 : 120)) << what << ": the vowel starts "
                                                              << (voiced - release) << " ms after the release";
        }
    }
}

TEST(Consonants, PhraseEndsFadeOutInsteadOfStopping) {
    // A vowel or nasal that ends the phrase fades over its release (50-80 ms):
    // 30 ms before the sound is gone it is already 6 dB under its middle.
    const std::vector<Word> words = {{"L", "AA"}, {"S", "IH", "NG"}, {"Z", "IH", "R", "OW"}};
    for (const Voice& voice : kEnglish) {
        const std::vector<Take> all = takes(voice, words);
        for (size_t w = 0; w < all.size(); ++w) {
            const Take& t = all[w];
            size_t last = 0;
            for (size_t i = 0; i < t.all.size(); ++i)
                if (t.all[i] > t.top - 45) last = i;
            ASSERT_GT(last, 400u) << voice.set << " word " << w << ": too short";
            double middle = 0;
            for (size_t i = 300; i < 400; ++i) middle += std::pow(10.0, t.all[i] / 10);
            middle = 10 * std::log10(middle / 100);
            EXPECT_LT(t.all[last - 30], middle - 6)
                << voice.set << " word " << w << " ending in " << words[w].back() << " stops without a fade";
        }
    }
}

TEST(Consonants, NoSilenceBetweenAVowelAndTheFricativeAfterIt) {
    struct Case {
        const Voice* voices;
        std::vector<Word> words;
    } cases[] = {
        {kEnglish, {{"DH", "IH", "S"}, {"IY", "SH"}, {"AA", "F"}}},  // this, -eesh, -af
        {kGerman, {{"I", "C"}, {"b", "a", "x"}, {"h", "aU", "s"}}},   // ich, Bach, Haus
    };
    for (const Case& c : cases)
        for (int v = 0; v < 2; ++v) {
            const Voice& voice = c.voices[v];
            const std::vector<Take> all = takes(voice, c.words);
            for (size_t w = 0; w < all.size(); ++w) {
                const Take& t = all[w];
                if (c.voices == kEnglish) {
                    EXPECT_GE(frication(t).length, 30u) << voice.set << " word " << w << ": no frication";
                }
                EXPECT_LT(longestSilence(t), 10u) << voice.set << " word " << w << " ends in "
                                                  << c.words[w].back() << ": a silence inside the word";
            }
        }
}

}  // namespace
