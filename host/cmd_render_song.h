// A song rendered the way a host renders it: the score is put together in
// an instance of the instrument inside the tool (a project, or MIDI files
// imported into parts over the default project's voices), handed as a bank
// chunk to the plug-in binary loaded through VstHost, and played with host
// sync while the host's transport runs from the first note to the end of
// the last plus the reverb tail. A choir render plays the song once per
// copy with that copy's pan, gender, detune and start offset and mixes them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/wave_io.h"
#include "score/midi_import.h"

class CVSTSynth;
class VstHost;

struct SongPartInput {
    int part = 0;  // 0..7
    std::string path;
};

// A mixer value of one part, or a master value (part -1), raw 0..127 as the
// mixer shows it; entry -1 of the master is the reverb preset number.
struct SongMixValue {
    int part = -1;
    int entry = 0;
    int raw = 0;
};

// A voice parameter of one part's program: host parameter number 0..85 as
// "lyrena info" lists it, value 0..1 as a host sends it.
struct SongVoiceValue {
    int part = 0;
    int entry = 0;
    float value = 0;
};

struct SongRenderRequest {
    std::string project;              // ".qlp"; empty: the default project (or the start-up state)
    std::vector<SongPartInput> midi;  // MIDI files into parts; their parts lose the project's score
    int language = 0;
    int channel = kImportChannelAuto;
    float tempo = 0;                  // 0: the song's own
    int rate = 44100;
    int block = 512;
    std::string phonemeSet;           // Data/<name>.phd for the singing parts; empty: keep
    std::string partSet[8];           // Data/<name>.phd for one part, before phonemeSet
    CWaveIO::ChoirSettings choir{1, 0, 0, 0, 0};
    uint32_t seed = 1;                // the choir's variations repeat with the seed
    std::vector<SongMixValue> mix;    // applied in order over the project's mixer and master
    std::vector<SongVoiceValue> voice;  // applied in order, after the mix
};

class CSongRender {
public:
    static constexpr float kQuietLevel = 1e-4f;  // tail ends 80 dB below the song's peak
    static constexpr double kQuietSeconds = 0.25;
    static constexpr double kMaxTailSeconds = 10;

    CSongRender();
    ~CSongRender();
    CSongRender(const CSongRender&) = delete;
    CSongRender& operator=(const CSongRender&) = delete;

    // Builds the score; false with error (one line) when an input cannot be
    // used. Unknown words do not fail: they are listed in warnings.
    bool prepare(const SongRenderRequest& request, std::string& error, std::vector<std::string>& warnings);
    // The project as it stands after prepare, as a ".qlp" file.
    bool saveProject(const char* path);

    // Extent of the song in ticks and its tempo (after prepare).
    float firstTick() const { return first; }
    float lastTick() const { return last; }
    float tempo() const { return bpm; }
    int64_t songFrames() const;

    // Plays every copy through the loaded plug-in into mix (interleaved
    // stereo). progress gets the share done, 0..1.
    bool render(VstHost& host, std::vector<float>& mix, int64_t& frames, std::string& error,
                const std::function<void(double)>& progress);

private:
    std::vector<uint8_t> bankChunk();
    void ownProgramPerPart();
    bool renderCopy(VstHost& host, const std::vector<uint8_t>& bank, int64_t length, int64_t offset,
                    std::vector<float>& mix, int64_t& rendered, std::string& error,
                    const std::function<void(int64_t)>& done);

    std::unique_ptr<CVSTSynth> synth;
    SongRenderRequest req;
    float first = 0, last = 0, bpm = 120;
    bool singing[8] = {};
};
