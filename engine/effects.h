// Insert effects of a part (distortion, delay, phaser/flanger/chorus), run
// in that order on the part's sample pair after its equaliser, and the
// master effects (reverb and master chorus) fed by the mixer's send buses.
// All delay lines are members: nothing is allocated after construction.
#pragma once

#include <cstdint>

class CTLParameter;
class CTLLFOWaves;
class CTLShapes;

// Tempo of the sync effects: samples per sync tick (1/96 quarter note) and
// the 24-bit LFO phase increment per engine block for one cycle per tick.
struct CXEffectClock {
    float tickSamples = 0;
    float tickIncrement = 0;
};

// A coefficient that glides linearly to its target over one engine block.
struct CXRamped {
    float value = 0, step = 0;
    void to(float target, float perSample) { step = (target - value) * perSample; }
    float next() { return value += step; }
};

// The phaser/flanger/chorus (voice entries 39..45, 58). Also the master chorus.
class CXModulationEffect {
public:
    static constexpr int kLine = 4096;
    enum { kPhaser = 0, kFlanger = 1, kChorus = 2 };

    // Per block: LFOs and the delay-time and feedback ramps. rate: the Rate
    // entry (sync: 1 / ticks of the note length); delay, depth, feedback,
    // level in engine units.
    void update(const CTLParameter& curves, const CTLLFOWaves& waves, const CXEffectClock& clock, int type,
                bool sync, float rate, float delay, float depth, float feedback, float level);
    void process(float& left, float& right);
    void clear();

    int type = kChorus;
    uint32_t phase[4] = {0, 4194304, 8388608, 12582912};  // quarter cycles apart
    uint32_t increment[4] = {};
    float lfo[4] = {};
    CXRamped delayTime[4];  // samples
    CXRamped feedback;
    float level = 0;
    float allpass[8] = {};
    float lastOutput = 0;
    int write = 0;
    float line[4][kLine];

private:
    float read(int n, float t) const;
};

class CXPartEffects {
public:
    static constexpr int kDelayLine = 32768;

    void setTables(const CTLParameter* c, const CTLLFOWaves* w, const CTLShapes* s) {
        curves = c;
        waves = w;
        shapes = s;
    }
    // Per block: coefficients, lengths and LFOs from the part's current
    // parameters (engine units, indexed like the voice entries).
    void update(const float* current, const CXEffectClock& clock);
    // Works in place on the part's sample pair.
    void process(float& left, float& right) {
        if (distortionOn) distortion(left, right);
        if (delayOn) delay(left, right);
        if (modulationOn) modulation.process(left, right);
    }
    // Clears delay lines and filter memories (part reset).
    void clear();

    // One-pole low-pass of the tone and delay filters at f Hz: y = gain x - b y[-1].
    static void lowPass(float hz, float& gain, float& b);

    int distortionOn = 0, delayOn = 0, modulationOn = 0;

    // Distortion.
    int distortionType = 0;
    CXRamped lpGain, lpFeedback, hpGain, hpFeedback, drive, compensation;
    float tone = 0;
    float lpCoef[2] = {1, 0}, hpCoef[2] = {1, 0};  // gain, feedback before Level
    float distortionCutoff = -1;                      // Hz the coefficients were made for
    float lp = 0, hp = 0, hpInput = 0, dc = 0;

    // Delay.
    int delayType = 0;
    int length[2] = {1, 1};
    float delayGain = 1, delayB = 0;
    float delayCutoff = -1;
    float delayFeedback = 0, delayLevel = 0;
    float delayOut[2] = {};
    int delayWrite = 0;
    float delayLine[2][kDelayLine];

    CXModulationEffect modulation;

private:
    void distortion(float& left, float& right);
    void delay(float& left, float& right);

    const CTLParameter* curves = nullptr;
    const CTLLFOWaves* waves = nullptr;
    const CTLShapes* shapes = nullptr;
};

// The reverb's settings in engine units (master entries 6..11 and 12).
struct CXReverbSettings {
    int predelay = 1;        // samples
    float time = 1;          // seconds, 999999 endless
    float size = 1;          // metres
    float structure = 0, fusion = 0, damping = 0;
    int on = 0;
    int preset = 0;
};

// Six feedback delay lines through a fixed matrix after a predelay, then a
// chain of six allpasses per output side.
class CXReverb {
public:
    static constexpr int kLine = 16384;
    static constexpr int kAllpassLine = 4096;
    static constexpr int kLines = 6;
    static constexpr int kAllpasses = 6;

    // Lengths, gains and damping from the settings at a sample rate. The
    // lines keep their contents.
    void rebuild(const CXReverbSettings& s, int rate);
    // Adds level x the reverb of the bus (interleaved stereo) into out.
    void process(const float* bus, float* out, int frames, float level);
    void clear();
    // Smallest prime >= n below kLine, else 0.
    static int primeAtLeast(double n);

    int predelayLength = 1;
    int lineLength[kLines] = {};
    float lineGain[kLines] = {};
    int allpassLength[2][kAllpasses] = {};
    float allpassCoef[kAllpasses] = {};
    float dampG = 1;
    float inputGain = 1;
    float damp[kLines][4] = {};  // previous input of each damping stage
    int index = 0, allpassIndex = 0;

    float predelay[kLine];
    float line[kLines][kLine];
    float allpass[2][kAllpasses][kAllpassLine];
};

class CXMasterEffects {
public:
    static constexpr int kChorusPresets = 24;

    void setTables(const CTLParameter* c, const CTLLFOWaves* w) {
        curves = c;
        waves = w;
    }
    // Reads the send buses and adds into the master bus (interleaved
    // stereo): the reverb at reverbLevel when on, the master chorus always.
    void process(const float* reverbBus, const float* chorusBus, float* master, int frames, float reverbLevel,
                 bool reverbOn);
    // Per block: the master chorus's LFOs from its preset and the tempo.
    void update(const CXEffectClock& clock);
    // Rebuilds the reverb after a change of its master settings.
    void rebuildReverb(const CXReverbSettings& s, int rate) { reverb.rebuild(s, rate); }
    // Master chorus preset 0..23 (others ignored).
    void setChorusPreset(int n);
    void clear();

    CXReverb reverb;
    CXModulationEffect chorus;
    int chorusPreset = 0;
    int chorusActive = 0;  // blocks left in which the chorus still sounds

private:
    const CTLParameter* curves = nullptr;
    const CTLLFOWaves* waves = nullptr;
};

// Names and values (0..127: rate, delay, depth, feedback, level) of the
// master chorus presets.
struct CXChorusPreset {
    const char* name;
    int values[5];
};
const CXChorusPreset& chorusPreset(int n);
