#include "plugin/vst_synth.h"

#include <algorithm>
#include <vector>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/cu_file.h"
#include "files/global_data.h"
#include "files/project_file.h"
#include "plugin/vst_editor.h"
#include "score/midi.h"
#include "score/sequencer.h"

using namespace vst;

namespace {

constexpr int kHostStringLen = 64;

void fillMidiProgramName(MidiProgramName* m, int program, const char* name) {
    std::snprintf(m->name, sizeof m->name, "%s", name);
    m->midiProgram = char(program);
    m->midiBankMsb = 0;
    m->midiBankLsb = 0;
    m->reserved = 0;
    m->parentCategoryIndex = -1;
    m->flags = 0;
}

}  // namespace

CVSTSynth::CVSTSynth(HostCallback host) : AudioEffectX(host, kPrograms, kHostParameters) {
    if (host) {
        setNumInputs(0);
        setNumOutputs(2);
        canProcessReplacing(true);
        isSynth(true);
        setUniqueID(fourCC('Q', 'L', 'R', '2'));
        programsAreChunks(true);

        // Only exact vendor names select a host's quirks.
        char vendor[kHostStringLen + 1] = {};
        char product[kHostStringLen + 1] = {};
        getHostVendorString(vendor);
        getHostProductString(product);
        vendor[kHostStringLen] = 0;
        if (std::strcmp(vendor, "Emagic") == 0)
            hostKindValue = kHostEmagic;
        else if (std::strcmp(vendor, "Steinberg") == 0)
            hostKindValue = kHostSteinberg;
        else if (std::strcmp(vendor, "Ableton") == 0)
            hostKindValue = kHostAbleton;
        hostVersionValue = Int32(callHost(audioMasterVersion));

        outputMuted = true;
        inProcess = false;
        inSetProgram = false;
        residualCount = 0;

        new (std::nothrow) CVSTEditor(this);  // registers itself as the editor
        parameters.init(&engine, &programs);
        parameters.setEditor(getVSTEditor());
        engine.init();
        midi = new (std::nothrow) CMIDI(&engine, this);
        sequencer = new (std::nothrow) CSequencer(this);
        programs.attach(sequencer, &parameters);

        if (editor) {
            // Missing files leave the start-up voice and programs in place.
            parameters.phonemes[0].load("Factory");
            CProjectFile::loadDefault(*this);
            parameters.applyReverbPreset(0);
        }
        setProgram(0);
        partChanged[0] = true;
        bulkProgramLoad = false;
    } else {
        parameters.init(&engine, &programs);
        engine.init();
    }

    // The engine must hold the program's values; the plug-in stays muted
    // until the host's first resume.
    outputMuted = true;
    for (int i = 0; i < kVoiceEntries; ++i) setParameter(i, getParameter(i));
    suspend();
}

CVSTSynth::~CVSTSynth() { close(); }

CVSTEditor* CVSTSynth::getVSTEditor() { return static_cast<CVSTEditor*>(editor); }

void CVSTSynth::close() {
    programs.attach(nullptr, &parameters);
    delete midi;
    midi = nullptr;
    delete sequencer;
    sequencer = nullptr;
}

void CVSTSynth::suspend() { outputMuted = true; }

void CVSTSynth::resume() {
    AudioEffectX::resume();
    outputMuted = false;
}

void CVSTSynth::setSampleRate(float rate) {
    // A rate that is no number of samples per second changes nothing.
    if (!(rate >= 1.0f && rate <= 10'000'000.0f)) return;
    AudioEffect::setSampleRate(rate);
    float tempo = sequencer ? sequencer->getTempo() : 0;
    parameters.setSampleRate(int(rate));
    if (sequencer) sequencer->setTempo(tempo);
}

float CVSTSynth::getSampleRate() { return float(globalData().sampleRate); }

void CVSTSynth::markPartChanged(int part) {
    if (part >= 0 && part < kParts) partChanged[part] = true;
}

// ---- programs ----

void CVSTSynth::checkVoiceCount(int p) {
    float voices = programs.valuesOfPart(p)[63];
    if (voices == programs.mixer[p][10]) return;
    bool wasMuted = outputMuted;
    outputMuted = true;
    programs.mixer[p][10] = voices;
    engine.part[p].voiceCount = int(voices);
    engine.allocate();
    outputMuted = wasMuted;
}

void CVSTSynth::setProgram(Int32 program) {
    if (program < 0 || program >= kPrograms) return;
    curProgram = program;
    int s = programs.selectedPart;
    engine.part[s].busy = 1;  // silent while its values change
    programs.partProgram[s] = program;
    engine.resetPart(s);
    inSetProgram = true;
    if (!bulkProgramLoad) {
        for (int i = 0; i < kVoiceEntries; ++i) setParameter(i, getParameter(i));
        if (CVSTEditor* e = getVSTEditor()) e->requestRefresh();
    }
    programs.mixer[s][15] = float(program);
    inSetProgram = false;
    checkVoiceCount(s);
    engine.part[s].busy = 0;
}

void CVSTSynth::assignProgramWithEffect(int p, int program) {
    if (p < 0 || p >= kParts || program < 0 || program >= kPrograms) return;
    engine.part[p].busy = 1;
    programs.partProgram[p] = program;
    engine.resetPart(p);
    parameters.resendProgram(p);
    if (p == programs.selectedPart)
        if (CVSTEditor* e = getVSTEditor()) e->requestRefresh();
    programs.mixer[p][15] = float(program);
    checkVoiceCount(p);
    engine.part[p].busy = 0;
}

void CVSTSynth::copyProgram() { programs.copyToClipboard(programs.effectiveProgram(programs.selectedPart)); }

void CVSTSynth::pasteProgram() {
    int n = programs.effectiveProgram(programs.selectedPart);
    if (programs.pasteFromClipboard(n)) setProgram(n);
}

void CVSTSynth::initProgram() {
    int n = programs.effectiveProgram(programs.selectedPart);
    programs.initProgram(n);
    setProgram(n);
}

void CVSTSynth::nextProgram(int step) {
    int n = programs.effectiveProgram(programs.selectedPart) + step;
    if (n >= 0 && n < kPrograms) setProgram(n);
}

Int32 CVSTSynth::getChunk(void** data, bool isPreset) {
    const std::vector<uint8_t>& chunk = isPreset ? programs.buildPresetChunk() : programs.buildBankChunk();
    *data = const_cast<uint8_t*>(chunk.data());
    return Int32(chunk.size());
}

void CVSTSynth::applyBank() {
    for (int p = 0; p < kParts; ++p) {
        partChanged[p] = true;
        assignProgramWithEffect(p, std::clamp(int(programs.mixer[p][15] + 0.1f), 0, kPrograms - 1));
    }
    setProgram(std::clamp(int(programs.mixer[programs.selectedPart][15] + 0.1f), 0, kPrograms - 1));
    parameters.resendMixerAndMaster();
}

void CVSTSynth::readBankTail(CUFile& f, int version, bool withModels) {
    if (withModels && version > 3)
        for (CPhoneme& model : parameters.phonemes)
            if (!model.readRecord(f)) return;  // a short tail keeps what was read
    if (sequencer) sequencer->read(f);
}

Int32 CVSTSynth::setChunk(void* data, Int32 size, bool isPreset) {
    if (!data || size <= 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    bool wasMuted = outputMuted;
    outputMuted = true;  // the audio thread renders silence while parts change
    bool ok = false;
    if (isPreset) {
        if ((ok = programs.readPresetHead(bytes, size_t(size)))) {
            int s = programs.selectedPart;
            assignProgramWithEffect(s, programs.effectiveProgram(s));
            partChanged[s] = true;
        }
    } else if (int version = programs.readBankHead(bytes, size_t(size))) {
        CUFile f;
        f.attachMemory(static_cast<const void*>(bytes + CVSTProgram::kBankHead), size_t(size) - CVSTProgram::kBankHead);
        f.version = version;
        readBankTail(f, version, true);
        applyBank();
        ok = true;
    }
    outputMuted = wasMuted;
    if (!ok) return 0;
    updateDisplay();
    return size;
}

void CVSTSynth::setProgramName(const char* name) {
    programs.setName(curProgram, name);
    if (CVSTEditor* e = getVSTEditor()) e->requestRefresh();
}

void CVSTSynth::getProgramName(char* name) { std::snprintf(name, kNameLen, "%s", programs.names[curProgram]); }

bool CVSTSynth::getProgramNameIndexed(Int32, Int32 index, char* text) {
    if (index < 0 || index >= kPrograms) return false;
    std::snprintf(text, kNameLen, "%s", programs.names[index]);
    return true;
}

bool CVSTSynth::beginSetProgram() {
    bulkProgramLoad = true;
    return false;
}

bool CVSTSynth::endSetProgram() {
    bulkProgramLoad = false;
    if (CVSTEditor* e = getVSTEditor()) e->requestRefresh();
    return false;
}

Int32 CVSTSynth::getMidiProgramName(Int32, MidiProgramName* m) {
    int n = m->thisProgramIndex;
    if (n < 0 || n >= kPrograms) return 0;
    fillMidiProgramName(m, n, programs.names[n]);
    return kPrograms;
}

Int32 CVSTSynth::getCurrentMidiProgram(Int32 channel, MidiProgramName* m) {
    if (channel < 0 || channel >= kParts) return -1;  // no part behind channels 8..15
    int n = programs.partProgram[channel];
    fillMidiProgramName(m, n, programs.names[programs.effectiveProgram(channel)]);
    return n;
}

bool CVSTSynth::hasMidiProgramsChanged(Int32 channel) {
    if (channel < 0 || channel >= kParts) return false;
    bool changed = partChanged[channel];
    partChanged[channel] = false;
    return changed;
}

// ---- parameters ----

void CVSTSynth::setParameter(Int32 index, float value) {
    if (index < 0 || index >= kVoiceEntries) return;
    parameters.setVoiceValue(programs.selectedPart, index, value, false);
    if (!inSetProgram && !bulkProgramLoad)
        if (CVSTEditor* e = getVSTEditor()) e->valueChanged(programs.selectedPart, kGroupVoice, index);
}

float CVSTSynth::getParameter(Int32 index) {
    if (index < 0 || index >= kVoiceEntries) return 0;
    return parameters.getVoiceValue(programs.selectedPart, index);
}

void CVSTSynth::getParameterName(Int32 index, char* text) {
    std::snprintf(text, kHostTextLen, "%s", parameters.voiceDescriptor(index).name);
}

void CVSTSynth::getParameterDisplay(Int32 index, char* text) {
    std::snprintf(text, kHostTextLen, "%s", parameters.voiceText(programs.selectedPart, index));
}

// ---- processing ----

void CVSTSynth::renderFrames(int frames) {
    int blocks = frames / kEngineBlock;
    if (outputMuted) {
        std::memset(renderBuffer, 0, sizeof(float) * 2 * size_t(frames));
        engine.skipBlocks(blocks);
        return;
    }
    for (int b = 0; b < blocks; ++b) engine.renderBlock(renderBuffer + 2 * kEngineBlock * b);
}

void CVSTSynth::processReplacing(float**, float** outputs, Int32 frames) {
    if (inProcess) return;
    inProcess = true;
    lastTimeInfo = getTimeInfo(0x3E02);

    if (outputs && outputs[0] && outputs[1] && frames > 0) {
        float* left = outputs[0];
        float* right = outputs[1];
        int done = 0;

        // Frames rendered ahead in the previous call come first.
        int take = std::min(frames, residualCount);
        for (int i = 0; i < take; ++i) {
            left[i] = residualBuffer[2 * i];
            right[i] = residualBuffer[2 * i + 1];
        }
        residualCount -= take;
        std::memmove(residualBuffer, residualBuffer + 2 * take, sizeof(float) * 2 * size_t(residualCount));
        done = take;

        // Then whole engine blocks; a host block longer than the render
        // buffer is rendered in pieces.
        while (done < frames) {
            int wanted = frames - done;
            int rendered = std::min((wanted + kEngineBlock - 1) / kEngineBlock * kEngineBlock, kRenderFrames);
            renderFrames(rendered);
            int used = std::min(rendered, wanted);
            for (int i = 0; i < used; ++i) {
                left[done + i] = renderBuffer[2 * i];
                right[done + i] = renderBuffer[2 * i + 1];
            }
            done += used;
            residualCount = rendered - used;  // under one engine block, only on the last piece
            std::memcpy(residualBuffer, renderBuffer + 2 * used, sizeof(float) * 2 * size_t(residualCount));
        }
    }
    inProcess = false;
}

Int32 CVSTSynth::processEvents(VstEvents*) { return 1; }

// ---- identity ----

bool CVSTSynth::getEffectName(char* name) {
    std::snprintf(name, kMaxEffectNameLen, "LYRENA");
    return true;
}

bool CVSTSynth::getVendorString(char* text) {
    std::snprintf(text, kMaxVendorStrLen, "Quorix");
    return true;
}

bool CVSTSynth::getProductString(char* text) {
    std::snprintf(text, kMaxProductStrLen, "Quorix LYRENA");
    return true;
}

Int32 CVSTSynth::canDo(const char* text) {
    if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}

bool CVSTSynth::getOutputProperties(Int32 index, VstPinProperties* pin) {
    if (index < 0 || index > 1) return false;
    // Both outputs are one stereo pair, so both carry the number 1.
    std::snprintf(pin->label, sizeof pin->label, "LYRN %1d", index / 2 + 1);
    pin->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}
