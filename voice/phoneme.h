// The phoneme model of one part: per slot a ten-formant filter and a
// 48-band spectral envelope, per phoneme a three-segment time envelope with
// optional trill. Loaded from phoneme data files (".phd", which it can write
// back byte for byte) or from a model record inside a record stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/phoneme_inventory.h"

class CUFile;

// One segment of a phoneme's noise/time envelope.
struct NoiseSegment {
    float level = 0, time = 0, attack = 0, decay = 0, sustain = 0;
};

class CPhoneme {
public:
    static constexpr int kNameLen = 32;
    static constexpr int kFormants = 10;
    static constexpr int kBands = 48;
    static constexpr int kTimeValues = 17;
    static constexpr int kEditorTypes = 15;

    // Time model values of a phoneme.
    enum TimeValue {
        kTime1 = 0, kTime2, kTime3,
        kLevel1, kLevel2, kLevel3,
        kAttack1, kAttack2, kAttack3,
        kDecay1, kDecay2, kDecay3,
        kSustain1, kSustain2, kSustain3,
        kTrillRate, kTrillAmount,
    };

    // Phoneme data file layout.
    static constexpr size_t kOuterHeader = 160;
    static constexpr size_t kInnerHeader = 512;
    static constexpr size_t kRecordSize = 636;
    static constexpr size_t kFileSize = kOuterHeader + kInnerHeader + kPhonemeSlots * kRecordSize;  // 82,080
    static constexpr int kRecordFloats = 36;                  // floats of F, S and U per record
    static constexpr int kBlockFloats = kPhonemeSlots * kRecordFloats;  // 4608
    static constexpr int kFormantGroup = 72;                  // floats of F per slot filter
    static constexpr const char* kInnerMagic = "QUORIX-LYRENA   PHONEMES        1000 128";
    // Per-slot floats of a record before its F/S/U part: offsets 0..16,
    // 20 (kept), 36..56. Flags sit at 24, 28, 32.
    enum RecordFloat { kRecLevel = 0, kRecTime, kRecAttack, kRecDecay, kRecSustain };
    static constexpr int kFurther = 6;  // offsets 36, 40, 44, 48, 52, 56
    static constexpr int kFlags = 3;

    CPhoneme();
    virtual ~CPhoneme() = default;

    // Per-slot lookups; with an English model the slot first goes through
    // the substitution of German-only slots.
    int slotClass(int slot) const;
    bool isVowel(int slot) const { return slotClass(slot) == kClassVowel; }
    bool isLiquid(int slot) const { return slotClass(slot) == kClassLiquid; }
    bool isFricative(int slot) const { return slotClass(slot) == kClassFricative; }
    bool isPlosive(int slot) const { return slotClass(slot) == kClassPlosive; }
    bool isNasal(int slot) const { return slotClass(slot) == kClassNasal; }
    bool isVoicedContinuant(int slot) const;

    void formant(int slot, int index, float& frequency, float& level, float& bandwidth) const;
    void setFormant(int slot, int index, float frequency, float level, float bandwidth);
    float spectralValue(int slot, int band) const;
    void setSpectralValue(int slot, int band, float value);
    void trill(int slot, float& rate, float& amount) const;
    // Segment 0..2 of the phoneme's envelope; a fricative's sustain fills a
    // positive duration.
    NoiseSegment noiseEnvelope(int slot, int segment, float duration) const;
    int spectralFlagOf(int slot) const;

    // Time-model editor: value types 1..15 of the selected slot's label set,
    // normalized values 0..1.
    void selectSlot(int slot);
    int selectedSlot() const { return selected; }
    bool showsTrillLabels() const { return trillLabels; }
    const char* editorLabel(int type) const;
    bool isEditable(int type) const;
    void setEditorValue(int type, int slot, float x);
    float editorValue(int type, int slot) const;
    void editorDisplay(int type, int slot, char* text, size_t size) const;

    // Formants 0..5 of every vowel slot 0..77 from the reference vowel
    // table, with slot 0's levels and bandwidth ratios.
    void resetVowelFormants();
    void copyFrom(const CPhoneme& source);

    // Data file of a set number: false when the set cannot be saved.
    static void loadFileName(int set, char* name, size_t size);
    static bool saveFileName(int set, char* name, size_t size);
    // "Data/<name>.phd" below the installation folder.
    bool loadSet(int set);
    bool saveSet(int set) const;
    bool load(const char* fileName);
    bool loadPath(const char* path);
    // The file's bytes; missing bytes read as zero. False (model unchanged)
    // when the outer header is wrong; true with the model unchanged when the
    // inner magic differs.
    bool loadBytes(const uint8_t* data, size_t size);
    bool savePath(const char* path) const;
    // Exactly kFileSize bytes.
    void saveBytes(uint8_t* out) const;
    // Fills the slot classes and the working tables from the file blocks,
    // as loading does after reading them.
    void deriveFromFileBlocks();

    // The model record of programs, banks and voice files.
    void writeRecord(CUFile& file) const;
    // False, model unchanged, when the stream ends early.
    bool readRecord(CUFile& file);
    uint32_t recordSize() const;

    char name[kNameLen + 1];
    int setNumber = 0;
    int language = kLanguageEnglish;
    int articulation = 1;
    int slotClasses[kPhonemeSlots] = {};
    float timeModel[kPhonemeNumbers][kTimeValues] = {};
    float formants[kPhonemeSlots][kFormants][3];  // frequency, level, bandwidth
    float spectra[kPhonemeSlots][kBands] = {};

    // The raw blocks of the data file, kept so it can be written back.
    float fileValues[5][kPhonemeSlots] = {};       // offsets 0..16
    float fileKept[kPhonemeSlots] = {};            // offset 20
    bool fileFlags[kFlags][kPhonemeSlots] = {};    // offsets 24, 28, 32
    float fileFurther[kFurther][kPhonemeSlots] = {};  // offsets 36..56
    float fileF[2 * kBlockFloats] = {};
    // S then U: slot 127's envelope runs on from the end of S into U.
    float fileSU[2 * kBlockFloats] = {};

private:
    bool loadPadded(const uint8_t* data);  // exactly kFileSize bytes

    int selected = 0;
    bool trillLabels = false;
};
