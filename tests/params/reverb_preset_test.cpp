// A reverb preset chosen through the parameter interface rebuilds the
// engine's reverb from its values.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/engine.h"
#include "files/global_data.h"
#include "params/pi_base.h"
#include "plugin/vst_synth.h"

namespace {
vst::IntPtr quiet(vst::AEffect*, vst::Int32 op, vst::Int32, vst::IntPtr, void*, float) {
    return op == vst::audioMasterVersion ? 2400 : 0;
}
}  // namespace

TEST(Reverb, PresetSevenSetsPredelayAndTimeFromOneValue) {
    globalData().setSampleRate(44100);
    auto synth = std::make_unique<CVSTSynth>(quiet);
    CEngine& e = synth->getEngine();
    synth->getParameters().applyReverbPreset(7);  // "Bathroom": 39 2 86 25 126
    e.controlStep();
    const CXReverb& rv = e.masterEffects.reverb;
    EXPECT_EQ(rv.predelayLength, int(39.0f / 127 * 4410 + 1));
    // Size 2 -> 2.56 m -> 332 samples -> the prime 337; Time 39 -> 0.05 * 2^3.9 s.
    EXPECT_EQ(rv.lineLength[0], 337);
    double g = std::pow(0.001, 337.0 / (44100 * 0.05 * std::pow(2.0, 3.9)));
    EXPECT_NEAR(std::fabs(rv.lineGain[0]), g, 1e-4);
    EXPECT_NEAR(rv.dampG, 1 - (126.0f / 127 + 1e-7f) / 2, 1e-5);
}
