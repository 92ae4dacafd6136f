// The block engine: renders the eight parts of the choir into one stereo
// output in fixed blocks of 256 frames. Everything it touches while
// rendering is allocated at construction; the control and render steps
// never allocate, lock, do I/O or throw.
//
// Values flow in through plain fields, written between blocks on the audio
// thread (or as whole floats/ints from the editor thread):
//  - per part (`part[p]`): target/current parameter blocks (512 floats in
//    engine units), mixer strip (levelTarget, panTarget, reverbSendTarget,
//    chorusSend, outputBus, voiceCount, mute, solo), eqUpdate[3] band
//    rebuild requests, harmonicPower/noisePower exponents, bandLevel[96],
//    busy, the source spectrum, and from the sequencer the effective
//    gender/balance/breathAmount, formantScale, lane[5], pitchCurve;
//  - master: globalGainTarget, masterPanTarget, masterReverbTarget and the
//    reverb settings (`reverb`, then requestReverbRebuild());
//  - voice slots: allocate() after a voice count changes; note starts,
//    fade-outs and the phoneme targets through the functions below.
#pragma once

#include <cstdint>

#include "engine/engine_part.h"
#include "engine/fft.h"
#include "engine/harmonic_levels.h"
#include "engine/gen/tl_lfo_waves.h"
#include "engine/gen/tl_parameter.h"
#include "engine/gen/tl_shapes.h"
#include "engine/noise_synth.h"
#include "engine/spectral_model.h"
#include "engine/synth_engine.h"
#include "engine/voice_slot.h"

constexpr int kEngineBlock = 256;
constexpr int kEngineParts = 8;
constexpr int kEngineParams = kPartParams;
constexpr int kVoiceSlots = 8;
constexpr int kRenderListCapacity = 2048;
constexpr int kPartialBands = 80;

class CEngine {
public:
    CEngine();
    ~CEngine() = default;
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // Engine data back to the start: voice count 1 per part, all slots free,
    // parameter blocks zero, buffers and filters cleared.
    void init();
    // Regenerates the rate-dependent tables (the rate itself lives in the
    // process's global settings).
    void setSampleRate(int rate);

    // One engine block: the control step, then 256 interleaved stereo frames.
    void renderBlock(float* out) {
        controlStep();
        render(out);
    }
    void controlStep();
    void render(float* out);
    // Advances time without sound (muted output).
    void skipBlocks(int n) { blockCounter += uint32_t(n); }
    uint32_t blocks() const { return blockCounter; }

    // Clears a part's filters, effects and voice records (-1: all parts);
    // the next control step jumps every smoothed value to its target.
    void resetPart(int p);

    // ---- voice slots ----
    // Rebuilds the slot table from the parts' requested voice counts.
    void allocate();
    bool isSilenced(int p) const;
    // Starts a note on a slot: note number, velocity 0..127, pitch value of
    // the note (1/192 per semitone, 0 at A4), legato flag. Fails (false) for
    // a free slot or a silenced part.
    bool noteStart(int slot, int note, int velocity, float notePitch, bool legato = false);
    // Ramps a slot's sound to 0 over about 80 ms (a note cut off).
    void fadeOut(int slot);
    // The effective settings of a part's note (note values: gender offset,
    // balance offset, brightness) as playback refreshes them before each
    // formant target.
    void setNoteSettings(int p, float noteGender, float noteBalance, float noteBrightness);

    // ---- phoneme targets (index = part number = its voice slot) ----
    void setFormantTarget(int p, const CXFormantTarget& t);
    void setSpectralTarget(int p, const float* levels48, int flag);
    // Mode 0 voicing (level, ramp time); 1 noise, 2 noise with a click
    // (level, attack, decay, sustain), times in seconds.
    void setSourceEnvelope(int p, int mode, float v0, float v1, float v2 = 0, float v3 = 0);

    // Meter: a part's peak (as a level) and follower; reading clears the peak.
    float readPeak(int p);
    void requestReverbRebuild() { reverbRebuild = 1; }
    // Samples per sync tick and the LFO increment per tick of the tempo-synced
    // effects; the MIDI layer may also write `effectClock` directly.
    void setTempo(float bpm);

    // Engine-unit values of a new program for a part: lets tools and tests
    // drive the engine before the parameter interface delivers a program.
    void loadNeutralVoice(int p);
    void loadNeutralMaster();

    // ---- data ----
    CXPart part[kEngineParts];
    CXVoiceSlot slot[kVoiceSlots];
    int voiceCount = 0;  // slots 0 .. voiceCount-1 are in use

    float globalGainTarget = 0, globalGain = 0;
    float masterPanTarget = 0.5f, masterPan = 0.5f;
    float masterReverbTarget = 0, masterReverb = 0;
    CXReverbSettings reverb;
    int reverbRebuild = 0;
    float masterSmoothing = 1;  // 1 after init or a full reset: master values jump

    // Generated tables and transforms, shared by all parts.
    CTLParameter curves;
    CTLLFOWaves waves;
    CTLShapes shapes;
    CFFT fft;
    int bandOfHarmonic[kHarmonics + 1];
    float defaultBandWeight[kPartialBands];

    // The render list: groups of four partial records, each group of one part.
    CXPartial* listRecord[kRenderListCapacity];
    int listSlot[kRenderListCapacity];
    int listPart[kRenderListCapacity];
    int listCount = 0;
    CXPartial silentPartial;

    // SSE renderer (default) or the scalar reference.
    bool useSSE = true;
    bool useAVX = partialRendererHasAVX();  // with useSSE: the AVX renderer where the CPU has it
    bool useAVX512 = partialRendererHasAVX512();  // with useAVX: eight groups at once where the CPU has it
    // With useSSE: lanes of the Spectral model's harmonic loop (4, 8 or 16),
    // the widest the CPU runs.
    int harmonicWidth = harmonicLevelsHasAVX512() ? 16 : harmonicLevelsHasAVX2() ? 8 : 4;

    CXSpectralModel spectral;
    CXNoiseSynth noise;
    CXMasterEffects masterEffects;
    CXEffectClock effectClock;
    float effectTempo = 120;  // beats per minute of effectClock
    // The Time model of each part.
    CXSynthEngine synth[kEngineParts];

    // Master and send buses of the block, interleaved stereo.
    alignas(16) float masterBus[2 * kEngineBlock];
    alignas(16) float reverbBus[2 * kEngineBlock];
    alignas(16) float chorusBus[2 * kEngineBlock];

    // A fresh uniform random number in [0, 1) (spectral target, humanize).
    float random01();

    // Whether a slot is rendered this block.
    bool slotRenders(int s) const;
    // Clears a part's buffers once per block.
    void clearPartBuffers(int p);

private:
    void smoothParameters();
    void updateEqualiser(int p);
    void advanceModulators(int s);
    void renderList();
    // Whether the render list's `groups` groups from entry i are all of part p.
    bool groupsOfPart(int i, int groups, int p) const;

    uint32_t blockCounter = 0;
    uint32_t randomState = 22222;
};
