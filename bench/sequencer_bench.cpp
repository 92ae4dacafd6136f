// Cost of the score side per engine block: the MIDI step, the sequencer's
// block step and advance (triggering notes, articulating their phonemes,
// delivering due events into the engine) with eight parts singing busy
// syllables. The engine's own control and render steps are measured by
// engine_bench.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/engine.h"
#include "files/global_data.h"
#include "plugin/vst_synth.h"
#include "score/midi.h"
#include "score/sequencer.h"

namespace {

vst::IntPtr quietHost(vst::AEffect*, vst::Int32 opcode, vst::Int32, vst::IntPtr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// "strings", "glad", "zone", "mist": clusters of every class.
const int kSyllables[4][6] = {{56, 60, 54, 32, 46, 74}, {28, 40, 2, 16, 198, 198},
                              {74, 48, 44, 198, 198, 198}, {42, 32, 56, 60, 198, 198}};

std::unique_ptr<CVSTSynth> makeChoir() {
    auto synth = std::make_unique<CVSTSynth>(quietHost);
    CEngine& e = synth->getEngine();
    for (int p = 0; p < 8; ++p) e.part[p].voiceCount = 1;
    e.allocate();
    CSequencer& seq = *synth->getSequencer();
    for (int p = 0; p < 8; ++p) {
        // Eighth notes with short rests over the 4-bar loop.
        for (int n = 0; n < 32; ++n) {
            float t = float(n) * 7680 + float(p) * 240;
            CSQEvent* s = seq.lists[p].append(true, t, 48 + (n + p) % 24, 100);
            seq.lists[p].append(false, t + 6400, 60, 0);
            for (int i = 0; i < 6; ++i) s->phonemes[i] = uint8_t(kSyllables[(n + p) % 4][i]);
        }
    }
    seq.loopStart = 0;
    seq.loopEnd = 4 * 61440;
    seq.loopEnabled = true;
    synth->resume();
    seq.start(0);
    return synth;
}

void BM_SequencerEightPartsPerBlock(benchmark::State& state) {
    auto synth = makeChoir();
    CSequencer& seq = *synth->getSequencer();
    CMIDI& midi = *synth->getMidi();
    uint32_t block = 0;
    for (auto _ : state) {
        midi.step(block++);
        seq.blockStep();
        seq.blockAdvance();
        benchmark::DoNotOptimize(synth->getEngine().part[7].pitchCurve);
    }
    // Engine blocks of audio the score side keeps up with per second of CPU.
    state.counters["blocks_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SequencerEightPartsPerBlock);

}  // namespace

BENCHMARK_MAIN();
