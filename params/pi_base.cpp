#include "params/pi_base.h"

#include <cmath>

#include "engine/engine.h"
#include "files/global_data.h"
#include "plugin/vst_program.h"

namespace {

int clampEntry(int entry) { return (entry < 0 || entry >= kVoiceEntries) ? 0 : entry; }

}  // namespace

void CPIBase::init(CEngine* e, CVSTProgram* p) {
    engine = e;
    programs = p;
}

const ParamDescriptor& CPIBase::voiceDescriptor(int entry) const {
    return voiceDescriptors()[((entry % 1024) + 1024) % 1024 % kVoiceEntries];
}

void CPIBase::setVoiceValue(int part, int entry, float x, bool) {
    if (!programs || entry < 0 || entry >= kVoiceEntries || !std::isfinite(x)) return;
    const ParamDescriptor& d = voiceDescriptors()[entry];
    float q = x * d.maximum;
    if (entry != 71 && d.listMaximum > 0 && q > d.listMaximum) q = d.listMaximum;
    programs->valuesOfPart(part)[entry] = q;
}

float CPIBase::getVoiceValue(int part, int entry) const {
    if (!programs) return 0;
    entry = clampEntry(entry);
    const ParamDescriptor& d = voiceDescriptors()[entry];
    return programs->valuesOfPart(part)[entry] / d.maximum;
}

void CPIBase::setSampleRate(int rate) {
    globalData().setSampleRate(rate);
    if (engine) engine->setSampleRate(rate);
}
