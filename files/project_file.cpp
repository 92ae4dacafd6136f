#include "files/project_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/cu_file.h"
#include "plugin/vst_editor.h"
#include "plugin/vst_synth.h"
#include "support/o_system.h"

namespace {

constexpr size_t kMaxFile = 64u << 20;  // far beyond any project; bounds a wrong file

// The whole file, or false when it cannot be read or is absurdly large.
bool readFile(const char* path, std::vector<uint8_t>& out) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    out.clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (out.size() + n > kMaxFile) break;
        out.insert(out.end(), buffer, buffer + n);
    }
    bool ok = !std::ferror(f) && out.size() <= kMaxFile;
    std::fclose(f);
    return ok;
}

// Written beside the target and moved over it, so a failed write never
// destroys the previous file.
bool writeFile(const char* path, const std::vector<uint8_t>& head, const std::vector<uint8_t>& body) {
    if (!path || !*path) return false;
    std::string tmp = std::string(path) + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
              std::fwrite(body.data(), 1, body.size(), f) == body.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = std::rename(tmp.c_str(), path) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

void putBE(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}

std::vector<uint8_t> fileHeader(size_t size, const char* kind, uint32_t chunkSize) {
    std::vector<uint8_t> h(size, 0);
    std::memcpy(&h[0], "CcnK", 4);
    std::memcpy(&h[8], kind, 4);
    putBE(h, 12, 4);
    std::memcpy(&h[16], "QLRN", 4);
    putBE(h, 20, 1);
    putBE(h, 24, 1024);
    putBE(h, size - 4, chunkSize);
    return h;
}

bool loadProjectFile(CVSTSynth& synth, const char* path) {
    std::vector<uint8_t> data;
    if (!readFile(path, data) || data.size() < CProjectFile::kProjectHeader + CVSTProgram::kBankHead) return false;
    if (data[9] != 'B') return false;
    int fileVersion = data[15];
    const uint8_t* head = data.data() + CProjectFile::kProjectHeader;
    if (!synth.getPrograms().readBankHead(head, CVSTProgram::kBankHead)) return false;
    synth.applyBank();
    // From here on what was applied stays, even if the rest is cut short.
    CUFile f;
    size_t tail = CProjectFile::kProjectHeader + CVSTProgram::kBankHead;
    f.attachMemory(static_cast<const void*>(data.data() + tail), data.size() - tail);
    f.version = fileVersion;
    synth.readBankTail(f, fileVersion, true);
    return true;
}

}  // namespace

bool CProjectFile::loadDefault(CVSTSynth& synth) {
    COSystem os;
    return loadProjectFile(synth, os.path("Default.qlp"));
}

bool CProjectFile::loadProject(CVSTSynth& synth, const char* path) {
    bool wasMuted = synth.isOutputMuted();
    synth.setOutputMuted(true);
    bool ok = loadProjectFile(synth, path);
    if (ok) {
        for (int p = 0; p < kParts; ++p) synth.markPartChanged(p);
        if (CVSTEditor* e = synth.getVSTEditor()) e->requestRefresh();
        synth.updateDisplay();
    }
    synth.setOutputMuted(wasMuted);
    return ok;
}

bool CProjectFile::saveProject(CVSTSynth& synth, const char* path) {
    const std::vector<uint8_t>& chunk = synth.getPrograms().buildBankChunk();
    return writeFile(path, fileHeader(kProjectHeader, "FBCh", uint32_t(chunk.size())), chunk);
}

bool CProjectFile::loadVoice(CVSTSynth& synth, const char* path) {
    std::vector<uint8_t> data;
    if (!readFile(path, data) || data.size() < kVoiceHeader + CVSTProgram::kPresetHead || data[9] != 'P') return false;
    int fileVersion = data[15];
    bool wasMuted = synth.isOutputMuted();
    synth.setOutputMuted(true);
    bool ok = synth.setChunk(data.data() + kVoiceHeader, vst::Int32(CVSTProgram::kPresetHead), true) != 0;
    if (ok && fileVersion > 3) {
        CUFile f;
        size_t tail = kVoiceHeader + CVSTProgram::kPresetHead;
        f.attachMemory(static_cast<const void*>(data.data() + tail), data.size() - tail);
        f.version = fileVersion;
        synth.getParameters().phonemes[synth.getPrograms().selectedPart].readRecord(f);
    }
    synth.setOutputMuted(wasMuted);
    return ok;
}

bool CProjectFile::loadVoiceIntoPart(CVSTSynth& synth, const char* path, int part) {
    if (part < 0 || part >= kParts) return false;
    CVSTProgram& programs = synth.getPrograms();
    int editorPart = programs.selectedPart;
    programs.selectPart(part);
    bool ok = loadVoice(synth, path);
    programs.selectPart(editorPart);
    if (ok) {
        synth.markPartChanged(part);
        if (CVSTEditor* e = synth.getVSTEditor()) e->requestRefresh();
    }
    return ok;
}

bool CProjectFile::saveVoice(CVSTSynth& synth, const char* path) {
    CVSTProgram& programs = synth.getPrograms();
    const std::vector<uint8_t>& chunk = programs.buildPresetChunk();
    std::vector<uint8_t> head = fileHeader(kVoiceHeader, "FPCh", uint32_t(CVSTProgram::kPresetHead));
    const char* name = programs.names[programs.effectiveProgram(programs.selectedPart)];
    std::strncpy(reinterpret_cast<char*>(&head[28]), name, 27);  // 27 characters and a NUL
    return writeFile(path, head, chunk);
}
