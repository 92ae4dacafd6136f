// The wave recorder: 16-bit stereo WAV files written while the song plays
// (the audio thread fills a ring, the editor's idle step writes it to disk)
// or rendered offline as a choir of several varied copies of the song.
//
// CWaveBase holds the format and makes the canonical 44-byte header;
// CWaveFile is one open file whose header is rewritten with the final sizes
// on close; CWaveIO is the recorder with its ring, its controls and the
// arithmetic of the choir render.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

class CWaveBase {
public:
    static constexpr int kHeaderBytes = 44;

    // "RIFF", size, "WAVE", "fmt " (16, PCM, channels, rate, byte rate,
    // block align, bits), "data", data bytes; little-endian.
    void header(uint32_t dataBytes, uint8_t out[kHeaderBytes]) const;

    int channels = 2;
    int sampleRate = 44100;
    int bits = 16;
};

class CWaveFile : public CWaveBase {
public:
    static constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36;  // what the RIFF size can count

    CWaveFile() = default;
    ~CWaveFile();
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // Creates the file with a header of sizes 0; false (nothing open) when
    // it cannot be created. An open file is closed first.
    bool open(const char* path, int rate);
    bool isOpen() const { return file != nullptr; }
    // Interleaved samples; skipped without an open file. False when the
    // disk refused them or the file would outgrow what its header can say.
    bool write(const int16_t* samples, size_t count);
    // Rewrites the header with the final sizes and closes; false without a
    // file or when the header could not be written.
    bool close();
    uint32_t dataBytes() const { return data; }

private:
    std::FILE* file = nullptr;
    uint32_t data = 0;
};

// What "record with playback" asks of the sequencer: play the loop range
// and stop at its end.
struct WavePlayback {
    void* context = nullptr;
    void (*startLoop)(void* context, bool stopAtLoopEnd) = nullptr;
};

class CWaveIO : public CWaveFile {
public:
    static constexpr int kRingSamples = 65536;  // 32768 stereo frames
    static constexpr int kPathLen = 512;
    static constexpr int kChoirParts = 8;
    static constexpr int kChoirExtraFrames = 8192;  // room for the start offset and the last block
    static constexpr int kChunkFrames = 32768;

    // The path starts as "record.wav" in the installation folder.
    CWaveIO();

    // ---- audio thread: no allocation, no lock, no I/O ----
    // Captures a rendered block while recording: clipped at full scale,
    // x 32767, truncated. Samples that find the ring full are dropped and
    // counted, never written over undrained data.
    void append(const float* left, const float* right, int frames);

    // ---- user-interface thread ----
    // Writes what the ring holds to the file (skipped without a file).
    void drain();
    // Choose file: remembers the path and opens it at rate.
    bool openFile(const char* path, int rate);
    // Record: with a file open, recording starts; otherwise the current path
    // is opened at rate and recording starts unpaused.
    bool record(int rate);
    // Stop: pending ring data is written, the file closed, the flags cleared.
    // Nothing happens without an open file.
    void stop();
    // Pause: only with a file open; toggles between paused and recording.
    void pause();
    // Opens path, starts recording and asks the sequencer to play its loop
    // range once.
    bool recordWithPlayback(const char* path, int rate, const WavePlayback& playback);
    // "hh:mm:ss.mmm" of the recorded frames at rate while recording or
    // paused, else "not recording".
    void timeText(char* out, size_t size, int rate) const;

    bool isRecording() const { return recording.load(std::memory_order_relaxed); }
    bool isPaused() const { return paused.load(std::memory_order_relaxed); }
    uint64_t recordedFrames() const { return recorded.load(std::memory_order_relaxed); }
    uint64_t droppedFrames() const { return dropped.load(std::memory_order_relaxed); }
    const char* filePath() const { return path; }
    const char* fileTitle() const { return title; }

    // ---- render choir to file ----
    struct ChoirSettings {
        int voices = 8;
        float detune = 0, jitter = 0, gender = 0, pan = 0;  // 0..1
    };
    // What one copy of the song changes: per part the normalized Pan and
    // Gender, and the Fine offset in engine pitch units (1/192 per
    // semitone); where in the mix buffer the copy starts.
    struct ChoirCopy {
        float pan[kChoirParts];
        float gender[kChoirParts];
        float fine[kChoirParts];
        int startFrame;
    };
    // The generator of the render's variations: 0..32767 like rand(), from
    // a state the caller keeps (so a render can be repeated).
    static int choirRandom(uint32_t& state);
    // Copy s of settings.voices, from each part's saved Pan and Gender.
    static void choirCopy(const ChoirSettings& settings, int s, const float savedPan[kChoirParts],
                          const float savedGender[kChoirParts], uint32_t& state, ChoirCopy& out);
    // Song length in frames of a loop region: trunc(ticks / (tempo x 15360 /
    // (rate x 60))); 0 for an empty region or a bad tempo or rate.
    static int64_t choirLength(float loopStart, float loopEnd, float tempo, int rate);
    // Adds a rendered block into the interleaved stereo mix at frame at;
    // frames beyond mixFrames are dropped.
    static void mixBlock(float* mix, int64_t mixFrames, int64_t at, const float* left, const float* right, int frames);
    // 0.9 / peak when the largest absolute sample is 1 or more, else 1.
    static float normaliseScale(const float* samples, size_t count);
    // x scale, clipped at full scale, x 32767, truncated.
    static void toPcm16(const float* samples, size_t count, float scale, int16_t* out);
    // Writes frames of the interleaved stereo mix as a normalised file at
    // rate, in chunks of 32768 frames, and closes it.
    bool writeChoir(const char* path, int rate, const float* mix, int64_t frames);

private:
    void setPath(const char* newPath);

    char path[kPathLen + 1] = "";
    char title[kPathLen + 1] = "";
    std::atomic<bool> recording{false};
    std::atomic<bool> paused{false};
    int16_t ring[kRingSamples] = {};
    // Samples written / drained since the start, modulo 2^32: their
    // difference is what the ring holds.
    std::atomic<uint32_t> written{0};
    std::atomic<uint32_t> drained{0};
    std::atomic<uint64_t> recorded{0};
    std::atomic<uint64_t> dropped{0};
};
