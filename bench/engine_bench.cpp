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

void BM_PartialsAVX512Eight(benchmark::State& state) {
    if (!partialRendererHasAVX512()) return state.SkipWithError("no AVX-512");
    auto p = std::make_unique<Partials>();
    for (auto _ : state) {
        for (int g = 0; g < kGroups; g += 8) renderPartialsAVX512x8(&p->ptr[4 * g], p->lanes);
        benchmark::DoNotOptimize(p->lanes.v[0]);
    }
    partialSamples(state);
}
BENCHMARK(BM_PartialsAVX512Eight);

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

// `parts` parts singing a sustained AA at 110 Hz with every harmonic below
// the pitch limit.
void singParts(CEngine& engine, int parts) {
    CEngine* e = &engine;
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
}

// Engine blocks of singParts (lanes: width of the harmonic loop, 0 the
// engine's choice).
void engineBlocks(benchmark::State& state, int parts, bool sse, int lanes = 0) {
    globalData().setSampleRate(44100);
    auto e = std::make_unique<CEngine>();
    e->setSampleRate(44100);
    e->useSSE = sse;
    if (lanes > 0) e->harmonicWidth = lanes;
    singParts(*e, parts);
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

// Eight parts with the harmonic loop 4, 8 or 16 lanes wide.
void BM_EngineEightPartsHarmonicLanes(benchmark::State& state) {
    const int lanes = int(state.range(0));
    if ((lanes == 8 && !harmonicLevelsHasAVX2()) || (lanes == 16 && !harmonicLevelsHasAVX512()))
        return state.SkipWithError("not on this CPU");
    engineBlocks(state, 8, true, lanes);
}
BENCHMARK(BM_EngineEightPartsHarmonicLanes)->Arg(4)->Arg(8)->Arg(16);

// The harmonic loop alone: one part's 180 harmonics of the eight-part case
// (0: the scalar reference).
void BM_HarmonicLevels(benchmark::State& state) {
    const int lanes = int(state.range(0));
    if ((lanes == 8 && !harmonicLevelsHasAVX2()) || (lanes == 16 && !harmonicLevelsHasAVX512()))
        return state.SkipWithError("not on this CPU");
    globalData().setSampleRate(44100);
    auto e = std::make_unique<CEngine>();
    e->setSampleRate(44100);
    singParts(*e, 1);
    std::vector<float> out(2 * kEngineBlock);
    for (int i = 0; i < 50; ++i) e->renderBlock(out.data());
    const CXVoiceSlot& v = e->slot[0];
    int number[kHarmonics], band[kHarmonics];
    float pitch[kHarmonics], frequency[kHarmonics], level[kHarmonics];
    int count = 0;
    for (int n = 1; n < kHarmonics && v.harmonicOffset[n] + v.pitch <= 0.99f; ++n, ++count) {
        number[count] = n;
        band[count] = e->bandOfHarmonic[n];
        pitch[count] = v.harmonicOffset[n] + v.pitch;
    }
    CXHarmonicFrame h = CXSpectralModel::harmonicFrame(*e, 0, 0);
    h.count = count;
    h.number = number;
    h.band = band;
    h.pitch = pitch;
    h.frequencyOut = frequency;
    h.levelOut = level;
    h.prepare();
    for (auto _ : state) {
        switch (lanes) {
            case 0: harmonicLevelsScalar(h); break;
            case 4: harmonicLevelsSSE(h); break;
            case 8: harmonicLevelsAVX2(h); break;
            default: harmonicLevelsAVX512(h); break;
        }
        benchmark::DoNotOptimize(level[0]);
    }
    state.counters["harmonics_per_s"] =
        benchmark::Counter(double(state.iterations()) * count, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HarmonicLevels)->Arg(0)->Arg(4)->Arg(8)->Arg(16);

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
