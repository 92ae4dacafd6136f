// Insert effects of a part (distortion, delay, chorus/flanger/phaser) and
// the master effects (reverb, master chorus). Their place in the engine
// block is fixed; until the effect algorithms are built a switched-off
// effect passes the pair unchanged and the master effects add nothing.
#pragma once

class CXPartEffects {
public:
    // Per block: coefficients and LFOs from the part's current parameters.
    void update(const float* current) { (void)current; }
    // Works in place on the part's sample pair.
    void process(float& left, float& right) {
        (void)left;
        (void)right;
    }
    // Clears delay lines and filter memories (part reset).
    void clear() {}
};

class CXMasterEffects {
public:
    // Reads the send buses and adds into the master bus (left, right).
    void process(const float* reverbBus, const float* chorusBus, float* master, int frames) {
        (void)reverbBus;
        (void)chorusBus;
        (void)master;
        (void)frames;
    }
    // Rebuilds the reverb after a change of its master settings.
    void rebuildReverb() {}
    void clear() {}
};
