#include "platform/audio_effect.h"

#include <cstring>

using namespace vst;

namespace {

IntPtr dispatchEntry(AEffect* e, Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    AudioEffect* self = AudioEffect::fromAeffect(e);
    if (!self) return 0;
    if (opcode == effClose) {
        self->dispatcher(opcode, index, value, ptr, opt);
        delete self;
        return 1;
    }
    return self->dispatcher(opcode, index, value, ptr, opt);
}

void processEntry(AEffect* e, float** in, float** out, Int32 frames) {
    if (AudioEffect* self = AudioEffect::fromAeffect(e)) self->process(in, out, frames);
}

void processReplacingEntry(AEffect* e, float** in, float** out, Int32 frames) {
    if (AudioEffect* self = AudioEffect::fromAeffect(e)) self->processReplacing(in, out, frames);
}

void processDoubleEntry(AEffect* e, double** in, double** out, Int32 frames) {
    if (AudioEffect* self = AudioEffect::fromAeffect(e)) self->processDoubleReplacing(in, out, frames);
}

void setParameterEntry(AEffect* e, Int32 index, float value) {
    if (AudioEffect* self = AudioEffect::fromAeffect(e)) self->setParameter(index, value);
}

float getParameterEntry(AEffect* e, Int32 index) {
    AudioEffect* self = AudioEffect::fromAeffect(e);
    return self ? self->getParameter(index) : 0.0f;
}

}  // namespace

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {
    if (effect) effect->setEditor(this);
}

bool AEffEditor::getRect(ERect** rect) {
    if (rect) *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* parentWindow) {
    parent = parentWindow;
    return false;
}

void AEffEditor::close() { parent = nullptr; }
bool AEffEditor::onKeyDown(Int32, IntPtr, float) { return false; }
bool AEffEditor::onKeyUp(Int32, IntPtr, float) { return false; }
bool AEffEditor::setKnobMode(Int32) { return false; }

AudioEffect::AudioEffect(HostCallback host, Int32 programs, Int32 params)
    : hostCallback(host), numPrograms(programs), numParams(params) {
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
    cEffect.processDoubleReplacing = processDoubleEntry;
}

AudioEffect::~AudioEffect() { delete editor; }

AudioEffect* AudioEffect::fromAeffect(AEffect* e) {
    return (e && e->magic == kEffectMagic) ? static_cast<AudioEffect*>(e->object) : nullptr;
}

void AudioEffect::setFlag(Int32 flag, bool on) {
    if (on)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setEditor(AEffEditor* e) {
    editor = e;
    setFlag(effFlagsHasEditor, e != nullptr);
}

Int32 AudioEffect::getChunk(void** data, bool) {
    if (data) *data = nullptr;
    return 0;
}

Int32 AudioEffect::setChunk(void*, Int32, bool) { return 0; }

IntPtr AudioEffect::callHost(Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    return hostCallback ? hostCallback(&cEffect, opcode, index, value, ptr, opt) : 0;
}

Int32 AudioEffect::getMasterVersion() {
    Int32 version = Int32(callHost(audioMasterVersion));
    return version ? version : 1;
}

void AudioEffect::setParameterAutomated(Int32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

IntPtr AudioEffect::dispatcher(Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(Int32(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
        if (text) setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text) getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text) getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text) getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text) getParameterName(index, text);
        return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(Int32(value)); return 0;
    case effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;
    case effEditGetRect:
        if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        return 0;
    case effEditOpen: return (editor && editor->open(ptr)) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify: return fourCC('N', 'v', 'E', 'f');
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return (ptr && value > 0) ? setChunk(ptr, Int32(value), index != 0) : 0;
    default: return 0;
    }
}

IntPtr AudioEffectX::dispatcher(Int32 opcode, Int32 index, IntPtr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effProcessEvents: return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter: return text ? string2parameter(index, text) : 0;
    case effGetProgramNameIndexed: return (text && getProgramNameIndexed(Int32(value), index, text)) ? 1 : 0;
    case effGetInputProperties:
        return (ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
    case effGetOutputProperties:
        return (ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr))) ? 1 : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effGetEffectName: return (text && getEffectName(text)) ? 1 : 0;
    case effGetVendorString: return (text && getVendorString(text)) ? 1 : 0;
    case effGetProductString: return (text && getProductString(text)) ? 1 : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effCanDo: return text ? canDo(text) : 0;
    case effGetTailSize: return getTailSize();
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown: return (editor && editor->onKeyDown(index, value, opt)) ? 1 : 0;
    case effEditKeyUp: return (editor && editor->onKeyUp(index, value, opt)) ? 1 : 0;
    case effSetEditKnobMode: return (editor && editor->setKnobMode(Int32(value))) ? 1 : 0;
    case effGetMidiProgramName: return ptr ? getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)) : 0;
    case effGetCurrentMidiProgram:
        return ptr ? getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)) : -1;
    case effGetMidiProgramCategory: return ptr ? getMidiProgramCategory(index, ptr) : 0;
    case effHasMidiProgramsChanged: return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName: return (ptr && getMidiKeyName(index, ptr)) ? 1 : 0;
    case effBeginSetProgram: return beginSetProgram() ? 1 : 0;
    case effEndSetProgram: return endSetProgram() ? 1 : 0;
    case effSetTotalSampleToProcess: return value;
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if (cEffect.flags & effFlagsIsSynth) wantEvents();
}

Int32 AudioEffectX::getPlugCategory() { return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : 0; }

bool AudioEffectX::wantEvents(Int32 filter) { return callHost(audioMasterWantMidi, 0, filter) != 0; }

VstTimeInfo* AudioEffectX::getTimeInfo(Int32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::getHostVendorString(char* text) {
    text[0] = 0;
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    text[0] = 0;
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
