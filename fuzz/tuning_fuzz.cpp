// Tuning files of any bytes: the Scala/AnaMark reader never reads past its
// input, and a refused file leaves the pitches unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "score/tuning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    float pitch[CTuning::kKeys], before[CTuning::kKeys];
    CTuning::equalTemperament(pitch);
    std::memcpy(before, pitch, sizeof pitch);
    CTuning::Result r = CTuning::read(reinterpret_cast<const char*>(data), size, pitch);
    if (r != CTuning::kOk && std::memcmp(before, pitch, sizeof pitch) != 0) std::abort();
    if (r == CTuning::kOk)
        for (float p : pitch)
            if (!std::isfinite(p)) std::abort();
    return 0;
}
