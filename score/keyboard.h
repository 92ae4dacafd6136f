// Key states of the eight parts: which keys are held or were released,
// their velocities, the sustain pedal and the last note played.
#pragma once

class CKeyboard {
public:
    static constexpr int kParts = 8;
    static constexpr int kKeys = 128;
    enum { kUp = 0, kHeld = 1, kReleased = 2 };

    struct PartKeys {
        unsigned char state[kKeys] = {};
        unsigned char velocity[kKeys] = {};
        int lastPlayed = 0;
        bool sustain = false;
        bool newNote = false;
        int lastNote = 0, lastVelocity = 0;
        int learnedKey[16] = {};
    };

    // Key k of part p pressed with velocity v: when no key was held, the
    // released marks are cleared first.
    void press(int p, int k, int v);
    void release(int p, int k);
    void clear(int p);  // -1: all parts
    bool isHeld(int p, int k) const;
    bool anyHeld(int p) const;
    // A held key of the part: searching up from key 0, or down from 127;
    // -1 when none.
    int findHeld(int p, bool upward) const;
    int velocityOf(int p, int k) const;

    PartKeys part[kParts];
};
