// Cost of the effects and the Time model per engine block, during a loud
// signal and after it has decayed to silence: a block of silence must not
// cost more than a loud one (no denormal slow-down in the feedback paths).
// Argument 0: loud input; 1: silence after a loud passage.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/effects.h"
#include "engine/engine.h"
#include "files/global_data.h"

namespace {

struct Tables {
    CTLParameter curves;
    CTLLFOWaves waves;
    CTLShapes shapes;
};

void fillNoise(float* x, int n, uint32_t& s, float gain) {
    for (int i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        x[i] = (float(s >> 8) / 16777216.0f - 0.5f) * gain;
    }
}

// Distortion, delay with feedback and the chorus of one part.
void BM_PartEffects(benchmark::State& state) {
    const bool silent = state.range(0) == 1;
    auto t = std::make_unique<Tables>();
    auto fx = std::make_unique<CXPartEffects>();
    fx->setTables(&t->curves, &t->waves, &t->shapes);
    fx->clear();
    float c[512] = {};
    c[59] = c[60] = c[61] = 1;
    c[39] = 2, c[40] = 0.5f, c[42] = 0.3f, c[43] = 0.5f, c[44] = 0.9f, c[45] = 0.7f;
    c[46] = 2, c[47] = 0.1f, c[48] = 0.13f, c[49] = 0.9f, c[50] = 0.6f, c[51] = 3000;
    c[53] = 3, c[54] = 3000, c[55] = 0.5f, c[56] = 1, c[57] = 1;
    CXEffectClock clock{1378, 16777216.0f * 256 / 1378};
    float block[512];
    uint32_t s = 1;
    auto run = [&](bool loud) {
        if (loud) fillNoise(block, 512, s, 0.5f);
        else for (float& x : block) x = 0;
        fx->update(c, clock);
        for (int i = 0; i < 256; ++i) fx->process(block[2 * i], block[2 * i + 1]);
    };
    for (int b = 0; b < 200; ++b) run(true);
    if (silent)
        for (int b = 0; b < 3000; ++b) run(false);  // about 17 s: every feedback path has decayed
    for (auto _ : state) {
        run(!silent);
        benchmark::DoNotOptimize(block[0]);
    }
}
BENCHMARK(BM_PartEffects)->Arg(0)->Arg(1);

// The reverb ("Hall 1"-like settings, 3.2 s decay).
void BM_Reverb(benchmark::State& state) {
    const bool silent = state.range(0) == 1;
    auto rv = std::make_unique<CXReverb>();
    rv->clear();
    CXReverbSettings st;
    st.predelay = 2000, st.time = 3.2f, st.size = 45, st.structure = 0.66f, st.fusion = 0.65f, st.damping = 0.57f;
    rv->rebuild(st, 44100);
    float bus[512], out[512];
    uint32_t s = 7;
    auto run = [&](bool loud) {
        if (loud) fillNoise(bus, 512, s, 0.5f);
        else for (float& x : bus) x = 0;
        rv->process(bus, out, 256, 0.5f);
    };
    for (int b = 0; b < 200; ++b) run(true);
    if (silent)
        for (int b = 0; b < 10000; ++b) run(false);  // about 58 s: far below -200 dB
    for (auto _ : state) {
        run(!silent);
        benchmark::DoNotOptimize(out[0]);
    }
}
BENCHMARK(BM_Reverb)->Arg(0)->Arg(1);

// A Time-model part with a 16-oscillator choir and all effects, through
// whole engine blocks; silent: after its note faded out (the slot still
// renders until its silence counter runs out).
void BM_TimeModelBank16(benchmark::State& state) {
    const bool silent = state.range(0) == 1;
    globalData().setSampleRate(44100);
    auto e = std::make_unique<CEngine>();
    e->setSampleRate(44100);
    e->loadNeutralMaster();
    e->loadNeutralVoice(0);
    float* c = e->part[0].current;
    c[78] = 1, c[85] = 16, c[2] = 0.5f, c[3] = 0.5f, c[86] = 1;
    c[59] = c[60] = c[61] = 1, c[39] = 2, c[47] = 0.1f, c[48] = 0.13f, c[49] = 0.8f, c[50] = 0.5f, c[57] = 0.5f;
    e->part[0].reverbSendTarget = 0.5f;
    e->reverb.on = 1;
    e->masterReverbTarget = 0.5f;
    CXFormantTarget t;
    const float f[10] = {730, 1090, 2440, 3400, 4500, 5500, 6500, 7500, 8000, 100};
    const float l[10] = {1, 0.6f, 0.35f, 0.25f, 0.01f, 0.01f, 0.01f, 0.01f, 1, 0};
    const float b[10] = {80, 90, 120, 150, 200, 250, 300, 350, 100, 100};
    for (int k = 0; k < 10; ++k) t.frequency[k] = f[k], t.level[k] = l[k], t.bandwidth[k] = b[k];
    e->noteStart(0, 45, 100, (45 - 69) / 192.0f);
    e->setFormantTarget(0, t);
    const float bands[48] = {};
    e->setSpectralTarget(0, bands, 0);
    e->setSourceEnvelope(0, kSourceVoicing, 1.0f, 0.01f);
    std::vector<float> out(2 * kEngineBlock);
    for (int i = 0; i < 100; ++i) e->renderBlock(out.data());
    if (silent) {
        e->fadeOut(0);
        for (int i = 0; i < 230; ++i) e->renderBlock(out.data());
    }
    for (auto _ : state) {
        e->renderBlock(out.data());
        benchmark::DoNotOptimize(out[0]);
    }
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) * kEngineBlock / 44100.0,
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TimeModelBank16)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
