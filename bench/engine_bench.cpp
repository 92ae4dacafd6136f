// Engine throughput: the partial renderer against a plain sine loop, and
// whole engine blocks (control + render) with one and eight singing parts.
// Real-time factors are reported as counters ("x_realtime").
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "files/global_data.h"

namespace {

constexpr int kGroups = 64;  // 256 partials per iteration

struct Partials {
    alignas(32) CXPartial rec[4 * kGroups];
    CXPartial* ptr[4 * kGroups];
    CXLaneBuffer lanes = {};
    Partials() {
        for (int i = 0; i < 4 * kGroups; ++i) {
            rec[i].frequency = 0.005f * float(i + 1) / 1.3f;
            rec[i].phase = 0.1f * float(i % 10);
            rec[i].gainL = rec[i].endL = 0.001f;
            rec[i].gainR = rec[i].endR = 0.001f;
            ptr[i] = &rec[i];
        }
    }
};

void partialSamples(benchmark::State& state) {
    state.counters["partial_samples_per_s"] =
        benchmark::Counter(double(state.iterations()) * 4 * kGroups * kEngineBlock, benchmark::Counter::kIsRate);
}

void BM_PartialsSSE(benchmark::State& state) {
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int g = 0; g < kGroups; ++g) renderPartialsSSE(&p->ptr[4 * g], p->lanes);
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsSSE);

void BM_PartialsSSEPaired(benchmark::State& state) {
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int g = 0; g < kGroups; g += 2) renderPartialsSSE2x(&p->ptr[4 * g], p->lanes);
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsSSEPaired);

void BM_PartialsAVXFour(benchmark::State& state) {
    if (!partialRendererHasAVX()) return state.SkipWithError("no AVX");
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int g = 0; g < kGroups; g += 4) renderPartialsAVX4x(&p->ptr[4 * g], p->lanes);
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsAVXFour);

void BM_PartialsScalar(benchmark::State& state) {
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int g = 0; g < kGroups; ++g) renderPartialsScalar(&p->ptr[4 * g], p->lanes);
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsScalar);

// The reference: one std::sin per partial and sample.
void BM_PartialsStdSin(benchmark::State& state) {
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int i = 0; i < 4 * kGroups; ++i) {
            const CXPartial& r = p->rec[i];
            float* out = p->lanes.v + (i & 3);
            float w = 3.14159265f * r.frequency, a = 6.2831853f * r.phase;
            for (int f = 0; f < kEngineBlock; ++f) out[8 * f] += r.gainL * std::sin(a + w * float(f));
        }
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsStdSin);

// Engine blocks with `parts` parts singing a sustained AA at 110 Hz with
// every harmonic below the pitch limit.
void engineBlocks(benchmark::State& state, int parts, bool sse) {
    globalData().setSampleRate(44100);
    auto e = std::make_unique<CEngine>();
    e->setSampleRate(44100);
    e->useSSE = sse;
    e->loadNeutralMaster();
    CXFormantTarget t;
    const float f[10] = {730, 1090, 2440, 3400, 4500, 5500, 6500, 7500, 8000, 100};
    const float l[10] = {1, 0.6f, 0.35f, 0.25f, 0.01f, 0.01f, 0.01f, 0.01f, 1, 0};
    const float b[10] = {80, 90, 120, 150, 200, 250, 300, 350, 100, 100};
    for (int k = 0; k < 10; ++k) t.frequency[k] = f[k], t.level[k] = l[k], t.bandwidth[k] = b[k];
    const float bands[48] = {};
    for (int p = 0; p < parts; ++p) {
        e->loadNeutralVoice(p);
        e->part[p].current[32] = 256;  // every harmonic
        e->part[p].current[3] = 0.5f;  // humanize and a little breath: the whole voice path runs
        e->part[p].breathAmount = 0.1f;
        e->part[p].current[74] = 1;
        e->noteStart(p, 45, 100, (45 - 69) / 192.0f);
        e->setFormantTarget(p, t);
        e->setSpectralTarget(p, bands, 0);
        e->setSourceEnvelope(p, kSourceVoicing, 1.0f, 0.01f);
    }
    std::vector<float> out(2 * kEngineBlock);
    for (int i = 0; i < 50; ++i) e->renderBlock(out.data());
    for (auto _ : state) {
        e->renderBlock(out.data());
        benchmark::DoNotOptimize(out[0]);
    }
    // Seconds of audio per second of work.
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) * kEngineBlock / 44100.0,
                                                      benchmark::Counter::kIsRate);
    state.counters["partials"] = double(e->listCount);
}

void BM_EngineEightParts(benchmark::State& state) { engineBlocks(state, 8, true); }
void BM_EngineOnePart(benchmark::State& state) { engineBlocks(state, 1, true); }
void BM_EngineEightPartsScalar(benchmark::State& state) { engineBlocks(state, 8, false); }
BENCHMARK(BM_EngineEightParts);
BENCHMARK(BM_EngineOnePart);
BENCHMARK(BM_EngineEightPartsScalar);

void BM_EngineObjectSize(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sizeof(CEngine));
    state.counters["bytes"] = double(sizeof(CEngine));
}
BENCHMARK(BM_EngineObjectSize)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
