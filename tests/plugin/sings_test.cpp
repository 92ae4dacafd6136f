// The instrument sings a score through our host and the plug-in's ABI: a
// score put in by a bank chunk plays with host sync, and MIDI keys step
// through it while the transport is stopped.
#include <gtest/gtest.h>

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

using namespace vst;

namespace {

IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

constexpr int kRate = 44100;
constexpr int AA = 0, IY = 34, L = 40;

struct Note {
    float start, end;
    int pitch;
    std::vector<int> ids;
};

// Vowel formants of an adult male (Peterson & Barney, Table II) on both
// halves of the vowels used; other slots keep the model's defaults.
void shapeModel(CPhoneme& m) {
    struct V {
        int id;
        float f1, f2, f3;
    } vowels[] = {{AA, 730, 1090, 2440}, {IY, 270, 2290, 3010}};
    for (const V& v : vowels)
        for (int s = v.id; s <= v.id + 1; ++s) {
            const float f[10] = {v.f1, v.f2, v.f3, 3500, 4500, 5500, 6500, 7500, 8500, 9500};
            const float level[10] = {1, 0.6f, 0.3f, 0.1f, 0.05f, 0, 0, 0, 0, 0};
            for (int k = 0; k < 10; ++k) m.formants[s][k][0] = f[k], m.formants[s][k][1] = level[k],
                                                      m.formants[s][k][2] = 80.0f + 20.0f * float(k);
        }
}

// A bank with the score of part 0 and host sync on.
std::vector<uint8_t> bankWith(const std::vector<Note>& notes, bool hostSync) {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    shapeModel(synth->getParameters().phonemes[0]);
    CSequencer& seq = *synth->getSequencer();
    seq.setOptions(hostSync, false, false);
    seq.loopEnabled = false;
    CSQEventList& list = seq.lists[0];
    for (const Note& n : notes) {
        CSQEvent* s = list.append(true, n.start, n.pitch, 100);
        list.append(false, n.end, n.pitch, 0);
        for (size_t i = 0; i < n.ids.size(); ++i) s->phonemes[i] = uint8_t(n.ids[i]);
        s->setLyric("la");
    }
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, false);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool loadWithBank(VstHost& host, const std::vector<uint8_t>& bank, int block) {
    std::string error;
    if (!host.load(std::getenv("LYRENA_PLUGIN"), error)) return false;
    host.start(float(kRate), block);
    std::vector<uint8_t> copy = bank;
    return host.dispatch(effSetChunk, 0, IntPtr(copy.size()), copy.data()) == IntPtr(copy.size());
}

std::vector<float> play(VstHost& host, int block, int frames) {
    std::vector<float> out;
    std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
    host.timeInfo = VstTimeInfo{};
    host.timeInfo.sampleRate = kRate;
    host.timeInfo.tempo = 120;
    host.timeInfo.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
    for (int done = 0; done < frames; done += block) {
        host.process(l.data(), r.data(), block);
        out.insert(out.end(), l.begin(), l.end());
        host.advance(block);
    }
    return out;
}

float rms(const std::vector<float>& x, size_t from, size_t to) {
    double e = 0;
    to = std::min(to, x.size());
    for (size_t i = from; i < to; ++i) e += double(x[i]) * x[i];
    return to > from ? float(std::sqrt(e / double(to - from))) : 0.0f;
}

// Fundamental by normalised autocorrelation over 60..600 Hz.
float pitchOf(const std::vector<float>& x, size_t from, size_t n) {
    int best = 0;
    double bestValue = 0;
    for (int lag = kRate / 600; lag <= kRate / 60; ++lag) {
        double c = 0, e0 = 0, e1 = 0;
        for (size_t i = from; i < from + n; ++i) {
            c += double(x[i]) * x[i + size_t(lag)];
            e0 += double(x[i]) * x[i];
            e1 += double(x[i + size_t(lag)]) * x[i + size_t(lag)];
        }
        double v = c / std::sqrt(e0 * e1 + 1e-30);
        if (v > bestValue * 1.02) bestValue = v, best = lag;  // the first strong peak, not its multiples
    }
    if (best <= 0) return 0;
    // Parabolic refinement.
    auto at = [&](int lag) {
        double c = 0;
        for (size_t i = from; i < from + n; ++i) c += double(x[i]) * x[i + size_t(lag)];
        return c;
    };
    double a = at(best - 1), b = at(best), c = at(best + 1);
    double d = (a - 2 * b + c) != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0;
    return float(kRate / (double(best) + d));
}

float midiHz(int key) { return 440.0f * std::pow(2.0f, float(key - 69) / 12); }

// First frame from which the signal stays above a share of its loud level.
size_t onsetOf(const std::vector<float>& x, size_t from, size_t to, float threshold) {
    for (size_t i = from; i + 64 < to; i += 32)
        if (rms(x, i, i + 64) > threshold) return i;
    return to;
}

TEST(Sings, ScoreFromBankFollowsTheHostAtItsTempo) {
    // Quarter notes at 120 BPM: 0.5 s each; rests between them.
    const std::vector<Note> notes = {{15360, 30720, 57, {AA}}, {46080, 61440, 64, {IY}}, {76800, 92160, 52, {AA}}};
    const std::vector<uint8_t> bank = bankWith(notes, true);
    for (int block : {100, 4096}) {
        VstHost host;
        ASSERT_TRUE(loadWithBank(host, bank, block)) << block;
        std::vector<float> out = play(host, block, kRate * 7 / 2);
        const size_t q = kRate / 2;  // frames per quarter note
        float loud = rms(out, 0, out.size());
        ASSERT_GT(loud, 1e-4f) << "silent at block size " << block;
        for (size_t k = 0; k < notes.size(); ++k) {
            size_t start = size_t(notes[k].start / 15360 * float(q)), end = size_t(notes[k].end / 15360 * float(q));
            // Silent before the note, sounding in it.
            float before = rms(out, start - q / 2, start - 256);
            float inside = rms(out, start + q / 4, end - q / 8);
            EXPECT_GT(inside, 20 * before) << "note " << k << " block " << block;
            // The onset lies within one engine block of the note's time.
            size_t onset = onsetOf(out, start - q / 2, end, 0.01f * inside);
            EXPECT_LE(std::labs(long(onset) - long(start)), 256 + 64) << "note " << k << " block " << block;
            // The voiced middle has the note's pitch within 1 %.
            float hz = pitchOf(out, start + q / 4, 4096);
            EXPECT_NEAR(hz, midiHz(notes[k].pitch), 0.01f * midiHz(notes[k].pitch))
                << "note " << k << " block " << block;
        }
        // After the last note has ended and faded, silence again.
        EXPECT_LT(rms(out, size_t(3.3 * q * 2), out.size()), 0.05f * loud);
    }
}

TEST(Sings, MidiKeysStepThroughSyllablesAndHoldTheVowel) {
    // A rest after the first syllable, so that it ends its phrase: the
    // release silences it instead of gliding into the next one.
    const std::vector<Note> notes = {{0, 15360, 60, {L, AA}}, {30720, 46080, 62, {IY}}};
    const std::vector<uint8_t> bank = bankWith(notes, true);
    VstHost host;
    ASSERT_TRUE(loadWithBank(host, bank, 512));
    host.timeInfo = VstTimeInfo{};  // stopped
    host.timeInfo.sampleRate = kRate;
    host.timeInfo.tempo = 120;
    host.timeInfo.flags = kVstTempoValid;
    std::vector<float> out, l(512), r(512);
    auto run = [&](int frames) {
        for (int d = 0; d < frames; d += 512) {
            host.process(l.data(), r.data(), 512);
            out.insert(out.end(), l.begin(), l.end());
            host.advance(512);
        }
    };
    run(kRate / 4);
    float quiet = rms(out, 0, out.size());
    host.sendMidi({{0, {0x90, 67, 100}}});  // any key sings the next syllable at the key's pitch
    run(3 * kRate);  // held for three seconds: far longer than the note
    size_t heldFrom = size_t(kRate / 4), heldEnd = out.size();
    float late = rms(out, heldEnd - kRate / 2, heldEnd);
    EXPECT_GT(late, 20 * quiet + 1e-5f) << "the main vowel sustains while the key is held";
    EXPECT_NEAR(pitchOf(out, heldEnd - kRate / 2, 4096), midiHz(67), 0.01f * midiHz(67));
    host.sendMidi({{0, {0x80, 67, 0}}});
    run(kRate);
    EXPECT_LT(rms(out, out.size() - kRate / 2, out.size()), 0.05f * late) << "the release plays the end of the note";
    (void)heldFrom;

    // The next key sings the second syllable.
    host.sendMidi({{0, {0x90, 69, 100}}});
    run(kRate / 2);
    EXPECT_GT(rms(out, out.size() - kRate / 4, out.size()), 0.2f * late);
    EXPECT_NEAR(pitchOf(out, out.size() - kRate / 4 - 2000, 4096), midiHz(69), 0.01f * midiHz(69));
}

}  // namespace
