#include "plugin/vst_program.h"

#include <cstdio>
#include <cstring>

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
