// The additive renderer: sums groups of four partials into four lanes per
// channel with a two-term recursive sine (no per-sample sine evaluation).
// SSE on x86-64; a portable scalar version gives the same results within
// float tolerance and serves as the reference.
#pragma once

#include <cstdint>

constexpr int kRenderFrames = 256;

// One partial of one block, 32 bytes.
struct alignas(32) CXPartial {
    float frequency = 0;  // normalized: f / (rate / 2); a sine advances pi * F per sample
    float phase = 0;      // cycles, 0..1, at the block's first sample
    float gainL = 0, incL = 0;
    float gainR = 0, incR = 0;
    // Gains at the block's end (the ramps' targets): the renderer stores them
    // as the new gains so ramps land exactly, free of accumulated rounding.
    float endL = 0, endR = 0;
};
static_assert(sizeof(CXPartial) == 32, "partial records are 32 bytes");

// Lanes of a part: per frame 4 left lanes then 4 right lanes (frame-major,
// 16-byte aligned).
struct alignas(16) CXLaneBuffer {
    float v[kRenderFrames * 8];
};

// Renders four partials into lanes (adds); advances their phases by 128 F
// cycles and sets their gains to the block's end values.
void renderPartialsScalar(CXPartial* const p[4], CXLaneBuffer& lanes);
void renderPartialsSSE(CXPartial* const p[4], CXLaneBuffer& lanes);
// Two groups of the same part at once: the lanes are loaded and stored once
// for eight partials.
void renderPartialsSSE2x(CXPartial* const p[8], CXLaneBuffer& lanes);
// Four groups of the same part at once with AVX and FMA: four independent
// recursions per frame (throughput-bound, not latency-bound); the fused
// multiply-subtract rounds once, so results equal the others within float
// tolerance. Call only when partialRendererHasAVX().
void renderPartialsAVX4x(CXPartial* const p[16], CXLaneBuffer& lanes);
// Eight groups of the same part with AVX-512: two groups per vector, the
// same operations per partial as renderPartialsAVX4x. Call only when
// partialRendererHasAVX512().
void renderPartialsAVX512x8(CXPartial* const p[32], CXLaneBuffer& lanes);
bool partialRendererHasSSE();
bool partialRendererHasAVX();
bool partialRendererHasAVX512();

// 2 cos(pi F) and sin(2 pi phi - k pi F) with the renderer's polynomials
// (scalar forms; exposed for tests).
float rendererTwoCos(float w);
float rendererSin(float x);
