#include "engine/engine.h"

#include <cstring>

void CEngine::init() { blockCounter = 0; }

void CEngine::renderBlock(float* out) {
    // No voices sound yet; the block still counts.
    std::memset(out, 0, sizeof(float) * 2 * kEngineBlock);
    ++blockCounter;
}
