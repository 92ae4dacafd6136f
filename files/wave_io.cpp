#include "files/wave_io.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "files/global_data.h"

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

int16_t toSample(float x, float scale) {
    float v = x * scale;
    if (!(v == v)) return 0;  // NaN
    v = std::clamp(v, -1.0f, 1.0f);
    return int16_t(v * 32767.0f);  // truncation, as the converter always did
}

}  // namespace

// ---- header ----

void CWaveBase::header(uint32_t dataBytes, uint8_t out[kHeaderBytes]) const {
    uint32_t blockAlign = uint32_t(channels * bits / 8);
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, dataBytes + 36);
    std::memcpy(out + 8, "WAVE", 4);
    std::memcpy(out + 12, "fmt ", 4);
    put32(out + 16, 16);
    put16(out + 20, 1);  // PCM
    put16(out + 22, uint32_t(channels));
    put32(out + 24, uint32_t(sampleRate));
    put32(out + 28, uint32_t(sampleRate) * blockAlign);
    put16(out + 32, blockAlign);
    put16(out + 34, uint32_t(bits));
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, dataBytes);
}

// ---- file ----

CWaveFile::~CWaveFile() { close(); }

bool CWaveFile::open(const char* path, int rate) {
    close();
    if (!path || !path[0] || rate <= 0) return false;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    sampleRate = rate;
    uint8_t h[kHeaderBytes];
    header(0, h);
    if (std::fwrite(h, 1, sizeof h, f) != sizeof h) {
        std::fclose(f);
        return false;
    }
    file = f;
    data = 0;
    return true;
}

bool CWaveFile::write(const int16_t* samples, size_t count) {
    if (!file || !samples) return false;
    if (count > (kMaxDataBytes - data) / 2) return false;
    uint8_t buf[4096];
    size_t done = 0;
    while (done < count) {
        size_t n = std::min(count - done, sizeof buf / 2);
        for (size_t i = 0; i < n; ++i) put16(buf + 2 * i, uint16_t(samples[done + i]));
        size_t wrote = std::fwrite(buf, 2, n, file);
        data += uint32_t(wrote * 2);
        if (wrote != n) return false;
        done += n;
    }
    return true;
}

bool CWaveFile::close() {
    if (!file) return false;
    uint8_t h[kHeaderBytes];
    header(data, h);
    bool ok = std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file) == sizeof h;
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    return ok;
}

// ---- recorder ----

CWaveIO::CWaveIO() {
    char initial[CGlobalData::kPathLen + 16];
    std::snprintf(initial, sizeof initial, "%srecord.wav", globalData().installFolder);
    setPath(initial);
}

void CWaveIO::setPath(const char* newPath) {
    // Cut to the path's size; a longer path simply cannot be opened later.
    size_t n = newPath ? std::min(std::strlen(newPath), sizeof path - 1) : 0;
    std::memcpy(path, newPath ? newPath : "", n);
    path[n] = 0;
    const char* slash = std::strrchr(path, '/');
    std::snprintf(title, sizeof title, "%s", slash ? slash + 1 : path);
}

void CWaveIO::append(const float* left, const float* right, int frames) {
    if (!recording.load(std::memory_order_acquire) || !left || !right || frames <= 0) return;
    uint32_t w = written.load(std::memory_order_relaxed);
    uint32_t used = w - drained.load(std::memory_order_acquire);
    int room = int((uint32_t(kRingSamples) - used) / 2);
    int n = std::min(frames, room);
    for (int i = 0; i < n; ++i) {
        ring[(w + 2 * uint32_t(i)) % kRingSamples] = toSample(left[i], 1);
        ring[(w + 2 * uint32_t(i) + 1) % kRingSamples] = toSample(right[i], 1);
    }
    written.store(w + 2 * uint32_t(n), std::memory_order_release);
    if (n < frames) dropped.fetch_add(uint64_t(frames - n), std::memory_order_relaxed);
    recorded.fetch_add(uint64_t(frames), std::memory_order_relaxed);
}

void CWaveIO::drain() {
    uint32_t w = written.load(std::memory_order_acquire);
    uint32_t d = drained.load(std::memory_order_relaxed);
    while (d != w) {
        uint32_t at = d % kRingSamples;
        uint32_t n = std::min(w - d, uint32_t(kRingSamples) - at);  // up to the ring's end, then from 0
        CWaveFile::write(ring + at, n);
        d += n;
    }
    drained.store(d, std::memory_order_release);
}

bool CWaveIO::openFile(const char* newPath, int rate) {
    if (!newPath || !newPath[0]) return false;
    recording.store(false, std::memory_order_release);
    paused.store(false, std::memory_order_relaxed);
    if (!open(newPath, rate)) return false;
    setPath(newPath);
    recorded.store(0, std::memory_order_relaxed);
    dropped.store(0, std::memory_order_relaxed);
    // Nothing captured for an earlier file goes into this one.
    drained.store(written.load(std::memory_order_acquire), std::memory_order_release);
    return true;
}

bool CWaveIO::record(int rate) {
    if (!isOpen() && !openFile(path, rate)) return false;
    paused.store(false, std::memory_order_relaxed);
    recording.store(true, std::memory_order_release);
    return true;
}

void CWaveIO::stop() {
    if (!isOpen()) return;
    recording.store(false, std::memory_order_release);
    drain();
    close();
    paused.store(false, std::memory_order_relaxed);
}

void CWaveIO::pause() {
    if (!isOpen()) return;
    if (paused.load(std::memory_order_relaxed)) {
        paused.store(false, std::memory_order_relaxed);
        recording.store(true, std::memory_order_release);
    } else {
        recording.store(false, std::memory_order_release);
        paused.store(true, std::memory_order_relaxed);
    }
}

bool CWaveIO::recordWithPlayback(const char* newPath, int rate, const WavePlayback& playback) {
    if (!openFile(newPath, rate)) return false;
    record(rate);
    if (playback.startLoop) playback.startLoop(playback.context, true);
    return true;
}

void CWaveIO::timeText(char* out, size_t size, int rate) const {
    if (!out || size == 0) return;
    if ((!isRecording() && !isPaused()) || rate <= 0) {
        std::snprintf(out, size, "not recording");
        return;
    }
    uint64_t ms = recordedFrames() * 1000 / uint64_t(rate);
    std::snprintf(out, size, "%02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
                  int(ms % 1000));
}

// ---- render choir ----

int CWaveIO::choirRandom(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return int(state >> 16 & 0x7FFF);
}

void CWaveIO::choirCopy(const ChoirSettings& settings, int s, const float savedPan[kChoirParts],
                        const float savedGender[kChoirParts], uint32_t& state, ChoirCopy& out) {
    int voices = std::max(settings.voices, 1);
    for (int p = 0; p < kChoirParts; ++p) {
        float pan = savedPan[p];
        float w = 2 * std::min(pan, 1 - pan);  // how far the part can move either way
        out.pan[p] = std::clamp(pan + settings.pan * w * (float(s) / float(voices) - 0.5f), 0.0f, 1.0f);

        // Four bytes summed: a bell-shaped detune around the written pitch,
        // as often flat as sharp.
        int r = 0;
        for (int i = 0; i < 4; ++i) r += choirRandom(state) & 0xFF;
        float o = float(r) / 256 / 2 - 1;
        out.fine[p] = std::clamp(settings.detune * 0.125f * o, -1.0f, 1.0f);

        float g = float(choirRandom(state) & 0xFF) / 256 * settings.gender + 1;
        out.gender[p] = std::clamp(savedGender[p] * g, 0.0f, 1.0f);
    }
    // The offset counts interleaved samples; halved to whole frames so the
    // copy's channels never swap.
    int samples = int(float(choirRandom(state) % 8000) * std::clamp(settings.jitter, 0.0f, 1.0f));
    out.startFrame = samples / 2;
}

int64_t CWaveIO::choirLength(float loopStart, float loopEnd, float tempo, int rate) {
    if (!(loopEnd > loopStart) || !(tempo > 0) || rate <= 0) return 0;
    double ticksPerFrame = double(tempo) * 15360.0 / (double(rate) * 60.0);
    double frames = (double(loopEnd) - double(loopStart)) / ticksPerFrame;
    if (!(frames < 9e15)) return 0;
    return int64_t(frames);
}

void CWaveIO::mixBlock(float* mix, int64_t mixFrames, int64_t at, const float* left, const float* right,
                       int frames) {
    if (!mix || !left || !right || at < 0) return;
    for (int i = 0; i < frames && at + i < mixFrames; ++i) {
        mix[2 * (at + i)] += left[i];
        mix[2 * (at + i) + 1] += right[i];
    }
}

float CWaveIO::normaliseScale(const float* samples, size_t count) {
    float peak = 0;
    for (size_t i = 0; i < count; ++i) {
        float a = std::fabs(samples[i]);
        if (a > peak) peak = a;  // NaN never counts
    }
    return peak >= 1 && std::isfinite(peak) ? 0.9f / peak : 1.0f;
}

void CWaveIO::toPcm16(const float* samples, size_t count, float scale, int16_t* out) {
    for (size_t i = 0; i < count; ++i) out[i] = toSample(samples[i], scale);
}

bool CWaveIO::writeChoir(const char* newPath, int rate, const float* mix, int64_t frames) {
    if (!openFile(newPath, rate)) return false;
    bool ok = true;
    if (mix && frames > 0) {
        size_t samples = size_t(frames) * 2;
        float scale = normaliseScale(mix, samples);
        std::vector<int16_t> chunk(size_t(kChunkFrames) * 2);
        for (size_t done = 0; done < samples && ok; done += chunk.size()) {
            size_t n = std::min(chunk.size(), samples - done);
            toPcm16(mix + done, n, scale, chunk.data());
            ok = CWaveFile::write(chunk.data(), n);
        }
    }
    return close() && ok;
}
