#include "plugin/vst_program.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/cu_file.h"
#include "params/pi_base.h"
#include "score/sequencer.h"

namespace {

float readFloatLE(const uint8_t* p) {
    uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float v;
    std::memcpy(&v, &bits, 4);
    return std::isfinite(v) ? v : 0.0f;  // a garbled value must not poison the engine
}

uint8_t byteOf(float v) {
    float b = v * 127 + 0.5f;
    return (b > 0 && b < 256) ? uint8_t(b) : (b >= 256 ? 255 : 0);
}

void copyName(char* out, const uint8_t* in) {
    std::memcpy(out, in, kNameLen);
    out[kNameLen - 1] = 0;
}

}  // namespace

CVSTProgram::CVSTProgram() {
    for (int k = 0; k < kPrograms; ++k) {
        initValues(programs[k]);
        std::snprintf(names[k], kNameLen, "Preset %0d", k + 1);
        rebuildListText(k);
    }
    for (int p = 0; p < kParts; ++p) {
        partProgram[p] = -1;
        std::memset(mixer[p], 0, sizeof mixer[p]);
        mixer[p][2] = 100;
        mixer[p][3] = 64;
        mixer[p][4] = float(p);
        mixer[p][15] = float(p);
    }
    mixer[0][10] = 1;
    std::memset(master, 0, sizeof master);
    master[2] = 127;
    master[3] = 64;
    master[4] = 100;
}

void CVSTProgram::attach(CSequencer* s, CPIBase* p) {
    sequencer = s;
    parameters = p;
}

void CVSTProgram::initValues(float* values) {
    const ParamDescriptor* d = voiceDescriptors();
    for (int i = 0; i < kVoiceEntries; ++i) values[i] = d[i].programDefault;
}

void CVSTProgram::selectPart(int part) {
    if (part < 0 || part >= kParts) return;
    selectedPart = part;
    if (partProgram[part] < 0) partProgram[part] = part;
}

int CVSTProgram::effectiveProgram(int part) const {
    if (part < 0 || part >= kParts) part = 0;
    int n = partProgram[part];
    return (n >= 0 && n < kPrograms) ? n : 0;
}

void CVSTProgram::setName(int program, const char* name) {
    if (program < 0 || program >= kPrograms || !name) return;
    std::snprintf(names[program], kNameLen, "%s", name);
    rebuildListText(program);
}

void CVSTProgram::rebuildListText(int program) {
    char text[kNameLen + 8];
    std::snprintf(text, sizeof text, "%02d %s", program + 1, names[program]);
    std::snprintf(listTexts[program], kNameLen, "%s", text);
}

void CVSTProgram::copyToClipboard(int program) {
    if (program < 0 || program >= kPrograms) return;
    std::memcpy(clipboard, programs[program], sizeof clipboard);
    std::memcpy(clipboardName, names[program], kNameLen);
    clipboardValid = true;
}

bool CVSTProgram::pasteFromClipboard(int program) {
    if (!clipboardValid || program < 0 || program >= kPrograms) return false;
    std::memcpy(programs[program], clipboard, sizeof clipboard);
    setName(program, clipboardName);
    return true;
}

void CVSTProgram::initProgram(int program) {
    if (program < 0 || program >= kPrograms) return;
    initValues(programs[program]);
    setName(program, "NewPreset");
}

// ---- chunks ----

void CVSTProgram::writeProgram(CUFile& f, int program) const {
    for (int i = 0; i < kNameLen; ++i) f.writeByte(uint8_t(names[program][i]));
    for (int e = 0; e < 128; ++e) f.writeFloat(programs[program][e]);
    for (int e = 128; e < kVoiceEntries; ++e) f.writeByte(byteOf(programs[program][e]));
}

const std::vector<uint8_t>& CVSTProgram::buildPresetChunk() {
    const CPhoneme* model = parameters ? &parameters->phonemes[selectedPart] : nullptr;
    size_t size = kPresetHead + (model ? model->recordSize() : 0);
    std::vector<uint8_t>(size, 0).swap(presetChunk);
    CUFile f;
    f.attachMemory(presetChunk.data(), presetChunk.size());
    f.writeByte(kChunkVersion);
    for (int i = 0; i < 3; ++i) f.writeByte(0);
    writeProgram(f, effectiveProgram(selectedPart));
    if (model) model->writeRecord(f);
    presetChunk.resize(f.count());
    return presetChunk;
}

const std::vector<uint8_t>& CVSTProgram::buildBankChunk() {
    size_t models = 0;
    if (parameters)
        for (const CPhoneme& m : parameters->phonemes) models += m.recordSize();
    size_t size = kBankHead + models + (sequencer ? sequencer->storedSize() : 0);
    std::vector<uint8_t>(size, 0).swap(bankChunk);
    CUFile f;
    f.attachMemory(bankChunk.data(), bankChunk.size());
    f.writeByte(kChunkVersion);
    for (int i = 0; i < 3; ++i) f.writeByte(0);
    char project[kNameLen] = {};
    std::snprintf(project, sizeof project, "%s", projectName);
    for (char c : project) f.writeByte(uint8_t(c));
    for (int k = 0; k < kPrograms; ++k) writeProgram(f, k);
    for (int p = 0; p < kParts; ++p)
        for (float v : mixer[p]) f.writeFloat(v);
    for (float v : master) f.writeFloat(v);
    if (parameters)
        for (const CPhoneme& m : parameters->phonemes) m.writeRecord(f);
    if (sequencer) sequencer->write(f);
    bankChunk.resize(f.count());
    return bankChunk;
}

void CVSTProgram::readProgram(const uint8_t* data, float* values, char* name) {
    copyName(name, data);
    for (int e = 0; e < 128; ++e) values[e] = readFloatLE(data + kNameLen + 4 * e);
    for (int e = 128; e < kVoiceEntries; ++e) values[e] = float(data[kNameLen + 512 + (e - 128)]) / 127;
}

void CVSTProgram::repairBands(float* values) {
    for (int e = 256; e < 304; ++e)
        if (values[e] != 0) return;
    for (int e = 256; e < 304; ++e) values[e] = 1.0f;
}

bool CVSTProgram::readPresetHead(const uint8_t* data, size_t size) {
    if (!data || size < kPresetHead || (data[0] != 1 && data[0] != 4)) return false;
    int version = data[0];
    int program = effectiveProgram(selectedPart);
    float* values = programs[program];
    readProgram(data + 4, values, names[program]);
    repairBands(values);
    if (values[100] < 0.01f)
        for (int e = 100; e <= 115; ++e) values[e] = 64;
    if (version > 1) values[71] = 111;
    rebuildListText(program);
    return true;
}

int CVSTProgram::readBankHead(const uint8_t* data, size_t size) {
    if (!data || size < kBankHead || data[0] < 1 || data[0] > 4) return 0;
    int version = data[0];
    char project[kNameLen];
    copyName(project, data + 4);
    std::snprintf(projectName, sizeof projectName, "%s", project);
    for (int k = 0; k < kPrograms; ++k) {
        float* values = programs[k];
        readProgram(data + 36 + kProgramRecord * size_t(k), values, names[k]);
        repairBands(values);
        if (version == 1) {
            for (int e = 100; e <= 115; ++e) values[e] = 64;
            for (int e = 75; e <= 77; ++e) values[e] = 64;
        }
        if (version > 3) values[71] = 111;
        rebuildListText(k);
    }
    for (int p = 0; p < kParts; ++p)
        for (int e = 0; e < kMixerEntries; ++e) mixer[p][e] = readFloatLE(data + 7460 + 64 * size_t(p) + 4 * size_t(e));
    for (int e = 0; e < kMasterEntries; ++e) master[e] = readFloatLE(data + 7972 + 4 * size_t(e));
    return version;
}
