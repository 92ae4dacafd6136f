#include "engine/modulators.h"

float modulationSource(int selector, const CXModulationInputs& in, bool smoothedVelocity) {
    switch (selector) {
        case 1: return in.keytrack;
        case 2: return smoothedVelocity ? in.velocityGain : in.velocity;
        case 3: return in.pressure;
        case 4: return in.modWheel;
        case 5: return 1 - in.keytrack;
        case 6: return 1 - in.velocity;
        case 7: return 1 - in.pressure;
        case 8: return 1 - in.modWheel;
        default: return 0;
    }
}
