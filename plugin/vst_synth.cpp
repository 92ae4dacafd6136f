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
        // Time goes on without sound; queued events wait for the first block
        // rendered afterwards.
        std::memset(renderBuffer, 0, sizeof(float) * 2 * size_t(frames));
        engine.skipBlocks(blocks);
        return;
    }
    for (int b = 0; b < blocks; ++b) {
        if (midi) midi->step(engine.blocks());
        if (sequencer) {
            sequencer->blockStep();
            sequencer->blockAdvance();
        }
        engine.renderBlock(renderBuffer + 2 * kEngineBlock * b);
        if (hostKindValue != kHostOther && perfMeter.overloaded(frames, globalData().sampleRate)) {
            std::memset(renderBuffer, 0, sizeof(float) * 2 * size_t(frames));
            return;
        }
    }
}

void CVSTSynth::applyHostTime(const VstTimeInfo* t) {
    if (!t) return;  // tempo, position and transport stay as they are
    if (midi) midi->setExternalTransport(false);
    if (!(t->tempo > 0 && t->tempo < 10000)) return;
    const float rate = float(globalData().sampleRate);
    if (sequencer) sequencer->setTempo(float(t->tempo));
    if (midi) midi->setTickLength(rate * 60 / (float(t->tempo) * 96));
    if (!sequencer || !sequencer->isHostSynced()) return;

    // Host positions in ticks, truncated; values no song reaches are ignored.
    auto ticks = [](double ppq, bool& ok) {
        double x = ppq * 15360.0;
        ok = std::isfinite(x) && x > -1e9 && x < 1e9;
        return ok ? float(int(x)) : 0.0f;
    };
    const bool playingHost = (t->flags & kVstTransportPlaying) != 0;
    bool ppqOk = false;
    float at = (t->flags & kVstPpqPosValid) ? ticks(t->ppqPos, ppqOk) : 0.0f;
    if (ppqOk && playingHost) sequencer->hostLocate(at);
    sequencer->setLoopEnabled((t->flags & kVstTransportCycleActive) != 0);
    if (t->flags & kVstCyclePosValid) {
        bool ok1 = false, ok2 = false;
        float c0 = ticks(t->cycleStartPos, ok1), c1 = ticks(t->cycleEndPos, ok2);
        if (ok1 && ok2) sequencer->setLoopRange(int(c0), int(c1));
    }
    if (hostKindValue != kHostAbleton) {
        if (t->flags & kVstTransportChanged) {
            if (!playingHost) sequencer->stop();
            else sequencer->start(ppqOk ? at : 0.0f);
        }
    } else if (!sequencer->isPlaying() && playingHost) {
        // This host reports no transport change reliably: start when it plays.
        sequencer->start(ppqOk ? at : 0.0f);
    }
}

void CVSTSynth::processReplacing(float**, float** outputs, Int32 frames) {
    if (inProcess) return;
    inProcess = true;
    const bool metered = hostKindValue != kHostOther;
    if (metered) perfMeter.beginCall();
    lastTimeInfo = getTimeInfo(0x3E02);
    applyHostTime(lastTimeInfo);

    if (outputs && outputs[0] && outputs[1] && frames > 0) {
        float* left = outputs[0];
        float* right = outputs[1];
        const int n = frames;

        if (n < residualCount) {
            // Everything comes from the frames rendered ahead.
            for (int i = 0; i < n; ++i) {
                left[i] = residualBuffer[2 * i];
                right[i] = residualBuffer[2 * i + 1];
            }
            residualCount -= n;
            std::memmove(residualBuffer, residualBuffer + 2 * n, sizeof(float) * 2 * size_t(residualCount));
        } else {
            for (int i = 0; i < residualCount; ++i) {
                left[i] = residualBuffer[2 * i];
                right[i] = residualBuffer[2 * i + 1];
            }
            int done = residualCount;
            residualCount = 0;
            // Whole engine blocks, up to 255 frames ahead; a host block
            // longer than the render buffer is rendered in pieces.
            while (done < n) {
                int wanted = n - done;
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
    }
    if (metered) perfMeter.endCall();
    inProcess = false;
}

Int32 CVSTSynth::processEvents(VstEvents* events) {
    if (!events || events->numEvents <= 0) return 1;
    // Note-ons go after every other event of the call, in their order.
    constexpr int kHeld = 1024;
    int noteOns[kHeld];
    uint32_t noteOnBlocks[kHeld];
    int held = 0;
    const uint32_t counter = engine.blocks();
    auto enqueue = [&](uint32_t block, int message) {
        if (midi) midi->enqueue(block, message, -1, 0, 0);
    };
    // Hosts allocate the pointer array past the two entries the record declares.
    VstEvent* const* list = events->events;
    for (Int32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = list[i];
        if (!e || e->type != kVstMidiType) continue;  // SysEx and others are ignored
        const auto* m = reinterpret_cast<const VstMidiEvent*>(e);
        int b0 = uint8_t(m->midiData[0]), b1 = uint8_t(m->midiData[1]), b2 = uint8_t(m->midiData[2]);
        int message = b0 + b1 * 256 + b2 * 65536;
        int delta = std::clamp(int(m->deltaFrames), 0, 1 << 24);
        uint32_t block = counter + uint32_t(delta / kEngineBlock);
        if ((b0 & 0xF0) != 0x90) {
            enqueue(block, message);
        } else if (held < kHeld) {
            noteOns[held] = message;
            noteOnBlocks[held++] = block;
        }
    }
    // The ring holds fewer entries than the list above, so a call never
    // loses a note-on here that the queue could have kept.
    for (int i = 0; i < held; ++i) enqueue(noteOnBlocks[i], noteOns[i]);
    return 1;
}

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
