// The block engine: renders fixed blocks of 256 stereo frames and counts
// them since start. It holds the per-part parameter arrays the parameter
// interface writes.
#pragma once

#include <cstdint>

constexpr int kEngineBlock = 256;
constexpr int kEngineParts = 8;
constexpr int kEngineParams = 512;

class CEngine {
public:
    void init();
    void setSampleRate(int rate) { sampleRate = rate; }

    // Control step, then 256 interleaved stereo frames into out.
    void renderBlock(float* out);
    // Advances time without sound (muted output).
    void skipBlocks(int blocks) { blockCounter += uint32_t(blocks); }
    uint32_t blocks() const { return blockCounter; }

    float target[kEngineParts][kEngineParams] = {};
    float current[kEngineParts][kEngineParams] = {};

private:
    int sampleRate = 44100;
    uint32_t blockCounter = 0;
};
