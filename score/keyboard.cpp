#include "score/keyboard.h"

namespace {
bool validPart(int p) { return p >= 0 && p < CKeyboard::kParts; }
bool validKey(int k) { return k >= 0 && k < CKeyboard::kKeys; }
}  // namespace

void CKeyboard::press(int p, int k, int v) {
    if (!validPart(p) || !validKey(k)) return;
    PartKeys& pk = part[p];
    if (!anyHeld(p))
        for (unsigned char& s : pk.state)
            if (s == kReleased) s = kUp;
    pk.state[k] = kHeld;
    pk.velocity[k] = (unsigned char)(v < 0 ? 0 : (v > 127 ? 127 : v));
    pk.newNote = true;
    pk.lastNote = k;
    pk.lastVelocity = pk.velocity[k];
}

void CKeyboard::release(int p, int k) {
    if (validPart(p) && validKey(k)) part[p].state[k] = kReleased;
}

void CKeyboard::clear(int p) {
    for (int q = 0; q < kParts; ++q) {
        if (p >= 0 && q != p) continue;
        for (unsigned char& s : part[q].state) s = kUp;
        part[q].newNote = false;
    }
}

bool CKeyboard::isHeld(int p, int k) const { return validPart(p) && validKey(k) && part[p].state[k] == kHeld; }

bool CKeyboard::anyHeld(int p) const { return findHeld(p, true) >= 0; }

int CKeyboard::findHeld(int p, bool upward) const {
    if (!validPart(p)) return -1;
    for (int i = 0; i < kKeys; ++i) {
        int k = upward ? i : kKeys - 1 - i;
        if (part[p].state[k] == kHeld) return k;
    }
    return -1;
}

int CKeyboard::velocityOf(int p, int k) const { return validPart(p) && validKey(k) ? part[p].velocity[k] : 0; }
