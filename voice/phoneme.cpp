#include "voice/phoneme.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/cu_file.h"
#include "support/o_system.h"

namespace {

constexpr int kSlotsWithClass = 78;  // the constructor classes the English slots only

int clampSlot(int slot) { return slot < 0 ? 0 : slot >= kPhonemeSlots ? kPhonemeSlots - 1 : slot; }

float toFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t toBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// Reads little-endian values from a buffer of the full file size.
struct ByteReader {
    const uint8_t* data;
    uint8_t byte(size_t at) const { return data[at]; }
    uint32_t u32(size_t at) const {
        uint32_t v;
        std::memcpy(&v, data + at, 4);
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
        return v;
    }
    uint16_t u16(size_t at) const { return uint16_t(data[at] | data[at + 1] << 8); }
    float f32(size_t at) const { return toFloat(u32(at)); }
};

void put32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}

void put16(uint8_t* out, uint16_t v) {
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
}

// Reference vowel formants F1..F6 of the English vowel slots; any slot not
// listed reads kNeutral.
struct VowelReference {
    int slot;
    float hz[6];
};
const float kNeutral[6] = {500, 1500, 2500, 3500, 4500, 5500};
const VowelReference kVowels[] = {
    {0, {730, 1280, 2640, 3560, 4600, 5600}},  {1, {730, 1280, 2640, 3560, 4600, 5600}},
    {2, {700, 1670, 2460, 3610, 4600, 5600}},  {3, {700, 1670, 2460, 3610, 4600, 5600}},
    {4, {540, 1330, 2620, 3580, 4600, 5600}},  {5, {540, 1330, 2620, 3580, 4600, 5600}},
    {6, {650, 1050, 2640, 3600, 4600, 5600}},  {7, {650, 1050, 2640, 3600, 4600, 5600}},
    {8, {700, 1240, 2640, 3610, 4600, 5600}},  {9, {560, 970, 2550, 3580, 4600, 5600}},
    {10, {700, 1330, 2660, 3560, 4600, 5600}}, {11, {540, 1940, 2400, 3600, 4600, 5600}},
    {20, {630, 1760, 2500, 3580, 4600, 5600}}, {21, {630, 1620, 2550, 3580, 4600, 5600}},
    {22, {450, 1330, 1920, 3600, 4600, 5600}}, {23, {450, 1330, 1920, 3600, 4600, 5600}},
    {24, {609, 1850, 2550, 3600, 4600, 5600}}, {25, {450, 2030, 2550, 3600, 4600, 5600}},
    {32, {500, 1850, 2480, 3590, 4600, 5600}}, {33, {520, 1690, 2480, 3590, 4600, 5600}},
    {34, {320, 2190, 2880, 3580, 4600, 5600}}, {35, {320, 2190, 2880, 3580, 4600, 5600}},
    {48, {540, 1060, 2460, 3610, 4600, 5600}}, {49, {520, 970, 2350, 3610, 4600, 5600}},
    {50, {540, 1060, 2480, 3580, 4600, 5600}}, {51, {450, 1920, 2440, 3580, 4600, 5600}},
    {64, {480, 1150, 2500, 3600, 4600, 5600}}, {65, {480, 1300, 2500, 3600, 4600, 5600}},
    {66, {350, 1220, 2260, 3560, 4600, 5600}}, {67, {350, 1220, 2260, 3560, 4600, 5600}},
    {72, {260, 2030, 2550, 3550, 4600, 5600}}, {73, {260, 2030, 2550, 3550, 4600, 5600}},
};

const float* referenceFormants(int slot) {
    for (const VowelReference& v : kVowels)
        if (v.slot == slot) return v.hz;
    return kNeutral;
}

// The engine's LFO rate curve (24-bit phase increment per block): the
// generated table of 2^(t/256) x 256 over 4096 segments, flat in segment 0.
double lfoRateCurve(float x) {
    double t = double(x) * 4096.0;
    int i = int(t);
    if (!(t >= 0)) i = 0;
    if (i < 0) i = 0;
    if (i > 4095) i = 4095;
    auto f = [](double j) { return std::exp2(j / 256.0) * 256.0; };
    if (i == 0) return f(0);
    return f(i) + (t - i) * (f(i + 1) - f(i));
}

// Editor mapping of each value type in the plain label set: the time-model
// value it edits and the scale of seconds (0 for a level).
struct EditorSlot {
    const char* label;
    int value;
    float scale;
};
const EditorSlot kPlain[CPhoneme::kEditorTypes] = {
    {"Level", CPhoneme::kLevel1, 0},      {"Time", CPhoneme::kTime1, 0.254f},
    {"Attack", CPhoneme::kAttack1, 0.127f}, {"Sustain", CPhoneme::kSustain1, 0.127f},
    {"Decay", CPhoneme::kDecay1, 0.127f}, {"Level", CPhoneme::kLevel2, 0},
    {"Time", CPhoneme::kTime2, 0.254f},   {"Attack", CPhoneme::kAttack2, 0.127f},
    {"Sustain", CPhoneme::kSustain2, 0.127f}, {"Decay", CPhoneme::kDecay2, 0.127f},
    {"Level", CPhoneme::kLevel3, 0},      {"Time", CPhoneme::kTime3, 0.254f},
    {"Attack", CPhoneme::kAttack3, 0.127f}, {"Sustain", CPhoneme::kSustain3, 0.127f},
    {"Decay", CPhoneme::kDecay3, 0.127f},
};
// Trill label set: -1 marks a type that cannot be edited there.
const EditorSlot kTrill[CPhoneme::kEditorTypes] = {
    {"Level", -1, 0},      {"Time", CPhoneme::kTime1, 0.254f}, {"Trill frq", CPhoneme::kTrillRate, 0},
    {"undef", -1, 0},      {"undef", -1, 0},                   {"Level", -1, 0},
    {"Time", CPhoneme::kTime2, 0.254f}, {"Trill amnt", CPhoneme::kTrillAmount, 0}, {"undef", -1, 0},
    {"undef", -1, 0},      {"Level", -1, 0},                   {"Time", CPhoneme::kTime3, 0.254f},
    {"undef", -1, 0},      {"undef", -1, 0},                   {"undef", -1, 0},
};

float clamp01(float x) { return x >= 0 && x <= 1 ? x : x > 1 ? 1.0f : 0.0f; }  // NaN -> 0

}  // namespace

CPhoneme::CPhoneme() {
    std::snprintf(name, sizeof name, "%s", "Factory phoneme model");
    for (int slot = 0; slot < kSlotsWithClass; ++slot) slotClasses[slot] = phonemeClass(language, slot / 2);
    for (int slot = 0; slot < kPhonemeSlots; ++slot)
        for (int j = 0; j < kFormants; ++j) {
            formants[slot][j][0] = float((2 * j + 1) * 500);
            formants[slot][j][1] = 1.0f;
            formants[slot][j][2] = 30.0f;
        }
}

int CPhoneme::slotClass(int slot) const { return slotClasses[substituteSlot(language, clampSlot(slot))]; }

bool CPhoneme::isVoicedContinuant(int slot) const {
    int c = slotClass(slot);
    return c == kClassVowel || c == kClassLiquid || c == kClassNasal;
}

void CPhoneme::formant(int slot, int index, float& frequency, float& level, float& bandwidth) const {
    int s = substituteSlot(language, clampSlot(slot));
    int k = index < 0 ? 0 : index >= kFormants ? kFormants - 1 : index;
    frequency = formants[s][k][0];
    level = formants[s][k][1];
    bandwidth = formants[s][k][2];
}

void CPhoneme::setFormant(int slot, int index, float frequency, float level, float bandwidth) {
    if (index < 0 || index >= kFormants) return;
    int s = substituteSlot(language, clampSlot(slot));
    formants[s][index][0] = frequency;
    formants[s][index][1] = level;
    formants[s][index][2] = bandwidth;
}

float CPhoneme::spectralValue(int slot, int band) const {
    if (band < 0 || band >= kBands) return 0;
    return spectra[substituteSlot(language, clampSlot(slot))][band];
}

void CPhoneme::setSpectralValue(int slot, int band, float value) {
    if (band < 0 || band >= kBands) return;
    spectra[substituteSlot(language, clampSlot(slot))][band] = value;
}

void CPhoneme::trill(int slot, float& rate, float& amount) const {
    const float* t = timeModel[substituteSlot(language, clampSlot(slot)) / 2];
    rate = t[kTrillRate];
    amount = t[kTrillAmount];
}

NoiseSegment CPhoneme::noiseEnvelope(int slot, int segment, float duration) const {
    int s = substituteSlot(language, clampSlot(slot));
    int g = segment < 0 ? 0 : segment > 2 ? 2 : segment;
    const float* t = timeModel[s / 2];
    NoiseSegment out;
    out.level = t[kLevel1 + g];
    out.time = t[kTime1 + g];
    out.attack = t[kAttack1 + g];
    out.decay = t[kDecay1 + g];
    out.sustain = t[kSustain1 + g];
    if (duration > 0 && slotClasses[s] == kClassFricative) {
        float rest = duration - (out.attack + out.decay);
        out.sustain = rest > 0 ? rest : 0;
    }
    return out;
}

int CPhoneme::spectralFlagOf(int slot) const { return spectralFlag(language, slot); }

void CPhoneme::selectSlot(int slot) {
    selected = clampSlot(slot);
    trillLabels = articulation != 0 && slotClass(selected) == kClassLiquid;
}

const char* CPhoneme::editorLabel(int type) const {
    if (type < 1 || type > kEditorTypes) return "undef";
    return (trillLabels ? kTrill : kPlain)[type - 1].label;
}

bool CPhoneme::isEditable(int type) const {
    return type >= 1 && type <= kEditorTypes && (trillLabels ? kTrill : kPlain)[type - 1].value >= 0;
}

void CPhoneme::setEditorValue(int type, int slot, float x) {
    if (!isEditable(type)) return;
    const EditorSlot& e = (trillLabels ? kTrill : kPlain)[type - 1];
    x = clamp01(x);
    float* t = timeModel[substituteSlot(language, clampSlot(slot)) / 2];
    if (e.value == kTrillRate)
        t[kTrillRate] = 0.26f * x + 0.71f;
    else if (e.value == kTrillAmount)
        t[kTrillAmount] = x;
    else if (e.scale == 0)
        t[e.value] = std::pow(10000.0f, x - 1.0f);
    else
        t[e.value] = e.scale * x;
}

float CPhoneme::editorValue(int type, int slot) const {
    if (!isEditable(type)) return 0;
    const EditorSlot& e = (trillLabels ? kTrill : kPlain)[type - 1];
    const float* t = timeModel[substituteSlot(language, clampSlot(slot)) / 2];
    float v = t[e.value];
    if (e.value == kTrillRate) return clamp01((v - 0.71f) / 0.26f);
    if (e.value == kTrillAmount) return clamp01(v);
    if (e.scale == 0) return v > 0 ? clamp01(std::log(v) / std::log(10000.0f) + 1.0f) : 0.0f;
    return clamp01(v / e.scale);
}

void CPhoneme::editorDisplay(int type, int slot, char* text, size_t size) const {
    if (!text || !size) return;
    if (!isEditable(type)) {
        std::snprintf(text, size, "no value");
        return;
    }
    const EditorSlot& e = (trillLabels ? kTrill : kPlain)[type - 1];
    const float* t = timeModel[substituteSlot(language, clampSlot(slot)) / 2];
    if (e.value == kTrillRate)
        std::snprintf(text, size, "%5.2f", lfoRateCurve(t[kTrillRate]) / 64.0);
    else if (e.value == kTrillAmount)
        std::snprintf(text, size, "%3.2f", double(t[kTrillAmount]));
    else if (e.scale == 0)
        std::snprintf(text, size, "-%2.0f dB", double(60.0f * (1.0f - editorValue(type, slot))));
    else
        std::snprintf(text, size, "%4.0f ms", double(t[e.value]) * 1000.0);
}

void CPhoneme::resetVowelFormants() {
    float level[6], ratio[6];
    for (int j = 0; j < 6; ++j) {
        level[j] = formants[0][j][1];
        // A zero or broken slot-0 frequency would make every bandwidth
        // infinite; such a ratio counts as zero instead.
        float r = formants[0][j][2] / formants[0][j][0];
        ratio[j] = std::isfinite(r) ? r : 0.0f;
    }
    for (int slot = 0; slot < kSlotsWithClass; ++slot) {
        if (slotClasses[slot] != kClassVowel) continue;
        const float* hz = referenceFormants(slot);
        for (int j = 0; j < 6; ++j) {
            formants[slot][j][0] = hz[j];
            formants[slot][j][1] = level[j];
            formants[slot][j][2] = hz[j] * ratio[j];
        }
    }
}

void CPhoneme::copyFrom(const CPhoneme& source) {
    if (&source != this) *this = source;
}

void CPhoneme::loadFileName(int set, char* out, size_t size) {
    if (set >= 24 && set <= 31)
        std::snprintf(out, size, "FS%02d", set - 23);
    else if (set >= 40 && set <= 55)
        std::snprintf(out, size, "UserSet%02d", set - 39);
    else
        std::snprintf(out, size, "FS01");
}

bool CPhoneme::saveFileName(int set, char* out, size_t size) {
    if (set >= 1 && set <= 16)
        std::snprintf(out, size, "User%02d", set);
    else if (set >= 40 && set <= 55)
        std::snprintf(out, size, "UserSet%02d", set - 39);
    else
        return false;
    return true;
}

bool CPhoneme::loadSet(int set) {
    char file[32];
    loadFileName(set, file, sizeof file);
    if (!load(file)) return false;
    setNumber = set;
    return true;
}

bool CPhoneme::saveSet(int set) const {
    char file[32], relative[64];
    if (!saveFileName(set, file, sizeof file)) return false;
    std::snprintf(relative, sizeof relative, "Data/%s.phd", file);
    COSystem system;
    return savePath(system.path(relative));
}

bool CPhoneme::load(const char* fileName) {
    char relative[COSystem::kPathLen];
    std::snprintf(relative, sizeof relative, "Data/%s.phd", fileName ? fileName : "");
    COSystem system;
    return loadPath(system.path(relative));
}

bool CPhoneme::loadPath(const char* path) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return false;
    // Only the file's fixed size matters; anything after it is ignored.
    uint8_t* data = new (std::nothrow) uint8_t[kFileSize];
    if (!data) {
        std::fclose(f);
        return false;
    }
    size_t size = std::fread(data, 1, kFileSize, f);
    std::fclose(f);
    bool ok = loadBytes(data, size);
    delete[] data;
    return ok;
}

bool CPhoneme::loadBytes(const uint8_t* data, size_t size) {
    if (!data) size = 0;
    if (size < 16 || std::memcmp(data + 8, "PHONEMES", 8) != 0) return false;
    // Work on a zero-padded copy: a short file reads 0 for every missing
    // value, and no read can reach past the caller's bytes.
    uint8_t* padded = new (std::nothrow) uint8_t[kFileSize];
    if (!padded) return false;
    size_t have = size < kFileSize ? size : kFileSize;
    std::memcpy(padded, data, have);
    std::memset(padded + have, 0, kFileSize - have);
    bool ok = loadPadded(padded);
    delete[] padded;
    return ok;
}

bool CPhoneme::loadPadded(const uint8_t* data) {
    ByteReader in{data};
    const size_t inner = kOuterHeader;
    for (int i = 0; i < 40; ++i)
        if (in.byte(inner + i) != uint8_t(kInnerMagic[i])) return true;  // counts as done, model untouched

    for (int i = 0; i < kNameLen; ++i) name[i] = char(in.byte(inner + 40 + i));
    name[kNameLen] = 0;
    setNumber = in.u16(inner + 128);
    language = in.u16(inner + 130);
    articulation = in.u16(inner + 132);

    for (int r = 0; r < kPhonemeSlots; ++r) {
        size_t at = kOuterHeader + kInnerHeader + size_t(r) * kRecordSize;
        for (int v = 0; v < 5; ++v) fileValues[v][r] = in.f32(at + 4 * v);
        fileKept[r] = in.f32(at + 20);
        for (int k = 0; k < kFlags; ++k) fileFlags[k][r] = in.u32(at + 24 + 4 * k) != 0;
        for (int k = 0; k < kFurther; ++k) fileFurther[k][r] = in.f32(at + 36 + 4 * k);
        for (int j = 0; j < kRecordFloats; ++j) {
            size_t q = at + 60 + 16 * size_t(j);
            fileF[kRecordFloats * r + j] = in.f32(q);
            fileF[kBlockFloats + kRecordFloats * r + j] = in.f32(q + 4);
            fileSU[kRecordFloats * r + j] = in.f32(q + 8);
            fileSU[kBlockFloats + kRecordFloats * r + j] = in.f32(q + 12);
        }
    }
    deriveFromFileBlocks();
    return true;
}

void CPhoneme::deriveFromFileBlocks() {
    for (int r = 0; r < kPhonemeSlots; ++r) {
        slotClasses[r] = phonemeClass(language, r / 2);
        // A liquid without a real trill rate does not trill. Only the even
        // record holds the trill; the odd record's fields at these offsets
        // are segment-3 values and kept data.
        if ((r & 1) == 0 && slotClasses[r] == kClassLiquid && fileValues[kRecAttack][r] < 0.7f)
            fileFurther[2][r] = 0;
    }
    for (int n = 0; n < kPhonemeNumbers; ++n) {
        int a = 2 * n, b = 2 * n + 1;
        float* t = timeModel[n];
        t[kTime1] = fileValues[kRecTime][a];
        t[kTime2] = fileFurther[1][a];
        t[kTime3] = fileValues[kRecTime][b];
        if (phonemeClass(language, n) == kClassLiquid) {
            t[kTrillRate] = fileValues[kRecAttack][a];
            t[kTrillAmount] = fileFurther[2][a];
            continue;
        }
        t[kLevel1] = fileValues[kRecLevel][a];
        t[kLevel2] = fileFurther[0][a];
        t[kLevel3] = fileValues[kRecLevel][b];
        t[kAttack1] = fileValues[kRecAttack][a];
        t[kAttack2] = fileFurther[2][a];
        t[kAttack3] = fileValues[kRecAttack][b];
        t[kDecay1] = fileValues[kRecDecay][a];
        t[kDecay2] = fileFurther[3][a];
        t[kDecay3] = fileValues[kRecDecay][b];
        t[kSustain1] = fileValues[kRecSustain][a];
        t[kSustain2] = fileFurther[4][a];
        t[kSustain3] = fileValues[kRecSustain][b];
    }
    for (int s = 0; s < kPhonemeSlots; ++s) {
        for (int k = 0; k < kFormants; ++k)
            for (int c = 0; c < 3; ++c) formants[s][k][c] = fileF[kFormantGroup * s + 3 * k + c];
        for (int band = 0; band < kBands; ++band) spectra[s][band] = fileSU[kRecordFloats * s + band];
    }
}

void CPhoneme::saveBytes(uint8_t* out) const {
    std::memset(out, 0, kFileSize);
    std::memcpy(out, "QUORIX", 6);
    std::memcpy(out + 8, "PHONEMES", 8);
    std::memcpy(out + 16, "QLRN", 4);
    uint8_t* inner = out + kOuterHeader;
    std::memcpy(inner, kInnerMagic, 40);
    std::memcpy(inner + 40, name, strnlen(name, kNameLen));
    put16(inner + 128, uint16_t(setNumber));
    put16(inner + 130, uint16_t(language));
    put16(inner + 132, uint16_t(articulation));
    for (int r = 0; r < kPhonemeSlots; ++r) {
        uint8_t* at = out + kOuterHeader + kInnerHeader + size_t(r) * kRecordSize;
        for (int v = 0; v < 5; ++v) put32(at + 4 * v, toBits(fileValues[v][r]));
        put32(at + 20, toBits(fileKept[r]));
        for (int k = 0; k < kFlags; ++k) put32(at + 24 + 4 * k, fileFlags[k][r] ? 1 : 0);
        for (int k = 0; k < kFurther; ++k) put32(at + 36 + 4 * k, toBits(fileFurther[k][r]));
        for (int j = 0; j < kRecordFloats; ++j) {
            uint8_t* q = at + 60 + 16 * j;
            put32(q, toBits(fileF[kRecordFloats * r + j]));
            put32(q + 4, toBits(fileF[kBlockFloats + kRecordFloats * r + j]));
            put32(q + 8, toBits(fileSU[kRecordFloats * r + j]));
            put32(q + 12, toBits(fileSU[kBlockFloats + kRecordFloats * r + j]));
        }
    }
}

bool CPhoneme::savePath(const char* path) const {
    uint8_t* data = new (std::nothrow) uint8_t[kFileSize];
    if (!data) return false;
    saveBytes(data);
    std::FILE* f = path ? std::fopen(path, "wb") : nullptr;
    bool ok = f && std::fwrite(data, 1, kFileSize, f) == kFileSize;
    if (f && std::fclose(f) != 0) ok = false;
    delete[] data;
    return ok;
}

void CPhoneme::writeRecord(CUFile& file) const {
    file.writeText(name);
    file.writeInt(setNumber);
    file.writeInt(language);
    file.writeInt(articulation);
    static const int kOrder[kTimeValues] = {kLevel1,   kLevel2,   kLevel3,   kTime1,   kTime2,   kTime3,
                                            kAttack1,  kAttack2,  kAttack3,  kDecay1,  kDecay2,  kDecay3,
                                            kSustain1, kSustain2, kSustain3, kTrillRate, kTrillAmount};
    for (int s = 0; s < kPhonemeSlots; ++s) {
        if ((s & 1) == 0)
            for (int v : kOrder) file.writeFloat(timeModel[s / 2][v]);
        for (int k = 0; k < kFormants; ++k)
            for (int c = 0; c < 3; ++c) file.writeFloat(formants[s][k][c]);
        for (int band = 0; band < kBands; ++band) file.writeFloat(spectra[s][band]);
    }
}

bool CPhoneme::readRecord(CUFile& file) {
    // Read into a copy so a stream that ends early leaves this model alone.
    // A read that failed before this record also fails it: the stream is
    // already out of step.
    CPhoneme* next = new (std::nothrow) CPhoneme(*this);
    if (!next) return false;
    if (!file.readText(next->name, sizeof next->name))
        std::snprintf(next->name, sizeof next->name, "%s", "empty");
    next->setNumber = file.readInt();
    next->language = file.readInt();
    next->articulation = file.readInt();
    static const int kOrder[kTimeValues] = {kLevel1,   kLevel2,   kLevel3,   kTime1,   kTime2,   kTime3,
                                            kAttack1,  kAttack2,  kAttack3,  kDecay1,  kDecay2,  kDecay3,
                                            kSustain1, kSustain2, kSustain3, kTrillRate, kTrillAmount};
    for (int s = 0; s < kPhonemeSlots && !file.readFailed(); ++s) {
        next->slotClasses[s] = phonemeClass(next->language, s / 2);
        if ((s & 1) == 0)
            for (int v : kOrder) next->timeModel[s / 2][v] = file.readFloat();
        for (int k = 0; k < kFormants; ++k)
            for (int c = 0; c < 3; ++c) next->formants[s][k][c] = file.readFloat();
        for (int band = 0; band < kBands; ++band) next->spectra[s][band] = file.readFloat();
    }
    bool ok = !file.readFailed();
    if (ok) *this = *next;
    delete next;
    return ok;
}

uint32_t CPhoneme::recordSize() const {
    return 12 + CUFile::textSize(name) + kPhonemeSlots * (120 + 192) + (kPhonemeSlots / 2) * 68;
}
