#include "host/cmd_render_song.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/project_file.h"
#include "host/vst_host.h"
#include "plugin/vst_synth.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

// The in-tool instance only builds chunks: it asks its host nothing.
IntPtr quietHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

constexpr int kPan = 13, kGender = 4, kFine = 31, kBend = 28, kReverbSendEntry = 64;

bool readable(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    return true;
}

// The Fine entry (raw 1..100, 50 in tune) holds cents as a signed square:
// cents = +-(raw - 50)^2 / 50. A choir copy's offset (engine pitch units,
// 1/192 per semitone) is added in cents and clamped to what Fine can hold.
float fineWithOffset(float raw, float offset) {
    float d = raw - 50;
    float cents = std::copysign(d * d / 50, d) + offset * 19200;
    cents = std::clamp(cents, -50.0f, 50.0f);
    return std::clamp(50 + std::copysign(std::sqrt(std::fabs(cents) * 50), cents), 1.0f, 100.0f);
}

std::string partName(int p) { return "part " + std::to_string(p + 1); }

}  // namespace

CSongRender::CSongRender() = default;
CSongRender::~CSongRender() = default;

int64_t CSongRender::songFrames() const { return CWaveIO::choirLength(first, last, bpm, req.rate); }

bool CSongRender::prepare(const SongRenderRequest& request, std::string& error, std::vector<std::string>& warnings) {
    req = request;
    if (!req.project.empty() && !readable(req.project, error)) return false;
    for (const SongPartInput& in : req.midi)
        if (!readable(in.path, error)) return false;

    // The constructor loads the default project and the factory set, when
    // the installation folder has them.
    synth = std::make_unique<CVSTSynth>(quietHost);
    CSequencer* seq = synth->getSequencer();
    if (!seq) {
        error = "out of memory";
        return false;
    }
    synth->setSampleRate(float(req.rate));
    if (!req.project.empty() && !CProjectFile::loadProject(*synth, req.project.c_str())) {
        error = req.project + " is not a LYRENA project";
        return false;
    }
    CPIBase& params = synth->getParameters();

    // The parts that will sing: the MIDI files' parts, else the project's.
    bool target[kParts] = {};
    for (const SongPartInput& in : req.midi) target[in.part] = true;
    if (req.midi.empty())
        for (int p = 0; p < kParts; ++p) target[p] = seq->lists[p].noteCount() > 0;
    // The set goes in first: the import times the phonemes with the model.
    for (int p = 0; p < kParts; ++p) {
        const std::string& set = !req.partSet[p].empty() ? req.partSet[p] : target[p] ? req.phonemeSet : req.partSet[p];
        if (!set.empty() && !params.phonemes[p].load(set.c_str())) {
            error = "no phoneme set Data/" + set + ".phd in the installation folder";
            return false;
        }
    }

    // A MIDI file as the song: the default project lends its voices only.
    if (req.project.empty() && !req.midi.empty())
        for (CSQEventList& list : seq->lists) list.clear();
    bool tempoTaken = false;
    for (const SongPartInput& in : req.midi) {
        SMImportOptions options;
        options.language = req.language;
        options.channel = req.channel;
        options.bendSemitones = synth->getPrograms().valuesOfPart(in.part)[kBend];
        options.model = &params.phonemes[in.part];
        options.log = false;  // a song would add thousands of lines to the diagnostic log
        auto result = std::make_unique<SMImportResult>();
        SMImportResult& r = *result;
        bool ok = importMidiFile(in.path.c_str(), seq->lists[in.part], options, r);
        if (!r.opened) {
            error = "cannot read " + in.path;
            return false;
        }
        if (!ok || !r.isMidi) {
            error = in.path + " is not a MIDI file";
            return false;
        }
        if (r.errors > 0) {
            error = in.path + " is a damaged MIDI file: " + r.firstError;
            return false;
        }
        if (r.notes == 0) {
            error = in.path + (req.channel == kImportChannelAuto ? std::string(": no notes found")
                                                                  : ": no notes on channel " + std::to_string(req.channel + 1));
            return false;
        }
        seq->lists[in.part].releaseRetired(true);
        for (int i = 0; i < std::min(r.unknownCount, SMImportResult::kMaxUnknown); ++i) {
            float bar = float(kTicksPerQuarter) * 4 * float(r.numerator) / float(std::max(r.denominator, 1));
            char line[SMUnknownWord::kTextLen + 160];
            std::snprintf(line, sizeof line, "%s: unknown word \"%s\" in bar %d (%s sings it without phonemes)",
                          in.path.c_str(), r.unknown[i].syllables, int(r.unknown[i].tick / bar) + 1,
                          partName(in.part).c_str());
            warnings.push_back(line);
        }
        if (r.unknownCount > SMImportResult::kMaxUnknown)
            warnings.push_back(in.path + ": " + std::to_string(r.unknownCount - SMImportResult::kMaxUnknown) +
                               " more unknown words");
        if (!tempoTaken) {
            // The first file's tempo and metre lead the song.
            if (r.tempoFound) seq->setTempo(r.tempo);
            if (r.timeSignatureFound) seq->setTimeSignature(r.numerator, r.denominator);
            tempoTaken = true;
        }
    }
    // A part's reverb send is its program's Level entry: every part gets a
    // program of its own first, so that a send or a voice value changes that
    // part only.
    bool ownPrograms = !req.voice.empty();
    for (const SongMixValue& m : req.mix) ownPrograms |= m.part >= 0 && m.entry == 0;
    if (ownPrograms) ownProgramPerPart();
    for (const SongMixValue& m : req.mix) {
        if (m.part >= 0 && m.entry == 0) {
            params.setVoiceValue(m.part, kReverbSendEntry, float(m.raw) / 127, true);
        } else if (m.part >= 0) {
            params.setMixerValue(m.part, m.entry, float(m.raw) / 127);
        } else if (m.entry < 0) {
            params.applyReverbPreset(m.raw);
            params.setMasterValue(5, float(m.raw) / 127);
        } else {
            params.setMasterValue(m.entry, float(m.raw) / 127);
        }
    }
    for (const SongVoiceValue& v : req.voice) params.setVoiceValue(v.part, v.entry, v.value, true);
    if (req.tempo > 0) seq->setTempo(req.tempo);
    bpm = seq->getTempo();
    // The plug-in follows the host's transport; the host's cycle switch (off)
    // decides the loop.
    seq->setOptions(true, seq->repeat, seq->phonemeAudition);

    bool any = false;
    for (int p = 0; p < kParts; ++p) {
        singing[p] = false;
        for (const CSQEvent* e = seq->lists[p].head(); e; e = e->next) {
            if (e->isEnd()) continue;
            first = any ? std::min(first, e->start) : e->start;
            last = any ? std::max(last, e->end()) : e->end();
            any = singing[p] = true;
        }
    }
    if (!any) {
        error = (req.project.empty() ? std::string("the default project") : req.project) + " has no notes to sing";
        return false;
    }
    return true;
}

bool CSongRender::saveProject(const char* path) { return synth && CProjectFile::saveProject(*synth, path); }

std::vector<uint8_t> CSongRender::bankChunk() {
    void* data = nullptr;
    Int32 size = synth->getChunk(&data, false);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + std::max(size, 0));
}

// Parts may share a program; a choir copy varies each part on its own, so
// every part gets a program of its own holding the values it plays.
void CSongRender::ownProgramPerPart() {
    CVSTProgram& pr = synth->getPrograms();
    std::vector<float> values(size_t(kParts) * kVoiceEntries);
    char names[kParts][kNameLen];
    for (int p = 0; p < kParts; ++p) {
        std::memcpy(&values[size_t(p) * kVoiceEntries], pr.valuesOfPart(p), sizeof(float) * kVoiceEntries);
        std::memcpy(names[p], pr.names[pr.effectiveProgram(p)], kNameLen);
    }
    for (int p = 0; p < kParts; ++p) {
        std::memcpy(pr.programs[p], &values[size_t(p) * kVoiceEntries], sizeof(float) * kVoiceEntries);
        std::memcpy(pr.names[p], names[p], kNameLen);
        pr.partProgram[p] = p;
        pr.mixer[p][15] = float(p);
    }
}

bool CSongRender::render(VstHost& host, std::vector<float>& mix, int64_t& frames, std::string& error,
                         const std::function<void(double)>& progress) {
    const int voices = std::max(req.choir.voices, 1);
    const CWaveIO::ChoirSettings& c = req.choir;
    const bool varied = voices > 1 || c.detune != 0 || c.jitter != 0 || c.gender != 0 || c.pan != 0;
    CVSTProgram& pr = synth->getPrograms();
    float savedPan[kParts], savedGender[kParts], savedFine[kParts];
    if (varied) ownProgramPerPart();
    for (int p = 0; p < kParts; ++p) {
        savedPan[p] = pr.programs[p][kPan] / 127;
        savedGender[p] = pr.programs[p][kGender] / 127;
        savedFine[p] = pr.programs[p][kFine];
    }

    const int64_t song = songFrames();
    int64_t length = -1;  // copy 0 finds the tail
    int64_t estimate = song + req.rate;
    int64_t widest = 0;
    uint32_t state = req.seed;
    mix.clear();
    for (int s = 0; s < voices; ++s) {
        CWaveIO::ChoirCopy copy{};
        if (varied) {
            CWaveIO::choirCopy(c, s, savedPan, savedGender, state, copy);
            for (int p = 0; p < kParts; ++p) {
                pr.programs[p][kPan] = copy.pan[p] * 127;
                pr.programs[p][kGender] = copy.gender[p] * 127;
                pr.programs[p][kFine] = fineWithOffset(savedFine[p], copy.fine[p]);
            }
        }
        int64_t rendered = 0;
        auto done = [&](int64_t n) {
            if (progress) progress((double(s) * double(estimate) + double(n)) / (double(voices) * double(estimate)));
        };
        if (!renderCopy(host, bankChunk(), length, copy.startFrame, mix, rendered, error, done)) return false;
        widest = std::max<int64_t>(widest, copy.startFrame);
        if (s == 0) {
            length = estimate = rendered;
            mix.resize(size_t(length + CWaveIO::kChoirExtraFrames) * 2, 0.0f);
        }
    }
    frames = length + widest;
    mix.resize(size_t(frames) * 2);
    if (progress) progress(1);
    return true;
}

bool CSongRender::renderCopy(VstHost& host, const std::vector<uint8_t>& bank, int64_t length, int64_t offset,
                             std::vector<float>& mix, int64_t& rendered, std::string& error,
                             const std::function<void(int64_t)>& done) {
    std::vector<uint8_t> chunk = bank;  // the plug-in may keep a pointer only for the call
    if (host.dispatch(effSetChunk, 0, IntPtr(chunk.size()), chunk.data()) != IntPtr(chunk.size())) {
        error = "the plug-in refused the song's bank chunk";
        return false;
    }
    CSequencer* seq = synth->getSequencer();
    VstTimeInfo& t = host.timeInfo;
    t = VstTimeInfo{};
    t.sampleRate = req.rate;
    t.tempo = bpm;
    t.ppqPos = double(first) / kTicksPerQuarter;
    t.timeSigNumerator = seq->timeSigNumerator;
    t.timeSigDenominator = seq->timeSigDenominator;
    t.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;

    const int block = std::max(req.block, 1);
    const int64_t song = songFrames();
    const int64_t quietNeeded = int64_t(kQuietSeconds * req.rate);
    const int64_t maxTail = int64_t(kMaxTailSeconds * req.rate);
    std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
    if (length < 0) mix.reserve(size_t(song + 2 * int64_t(req.rate) + offset) * 2);
    float songPeak = 0;
    int64_t n = 0, quiet = 0;
    for (;;) {
        int k = block;
        if (length >= 0) {
            if (n >= length) break;
            k = int(std::min<int64_t>(block, length - n));
        } else if (n >= song) {
            int64_t tail = n - song;
            if ((tail >= quietNeeded && quiet >= quietNeeded) || tail >= maxTail) break;
        }
        host.process(l.data(), r.data(), k);
        host.advance(k);
        float peak = 0;
        for (int i = 0; i < k; ++i) peak = std::max({peak, std::fabs(l[size_t(i)]), std::fabs(r[size_t(i)])});
        if (n < song)
            songPeak = std::max(songPeak, peak);
        else if (peak > std::max(songPeak * kQuietLevel, 1e-7f))
            quiet = 0;
        else
            quiet += k;
        if (length < 0 && mix.size() < size_t(offset + n + k) * 2) mix.resize(size_t(offset + n + k) * 2, 0.0f);
        CWaveIO::mixBlock(mix.data(), int64_t(mix.size() / 2), offset + n, l.data(), r.data(), k);
        n += k;
        done(n);
    }
    // The host stops: the plug-in ends its notes before the next copy.
    t.flags = (t.flags & ~kVstTransportPlaying) | kVstTransportChanged;
    host.process(l.data(), r.data(), block);
    host.advance(block);
    rendered = n;
    return true;
}
