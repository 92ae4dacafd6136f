#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "files/cu_file.h"
#include "files/global_data.h"
#include "voice/phoneme.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LYRENA_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LYRENA_ASAN 1
#endif
#ifdef LYRENA_ASAN
#include <sanitizer/asan_interface.h>
#define POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POISON(p, n) ((void)(p), (void)(n))
#define UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes saved(const CPhoneme& m) {
    Bytes b(CPhoneme::kFileSize);
    m.saveBytes(b.data());
    return b;
}

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// A model whose every file field holds a distinct value, as a factory file
// edited by hand might.
std::unique_ptr<CPhoneme> scrambledModel(int language) {
    auto m = std::make_unique<CPhoneme>();
    std::snprintf(m->name, sizeof m->name, "%s", "Scrambled set");
    m->setNumber = 41;
    m->language = language;
    m->articulation = 1;
    uint32_t s = 7;
    auto value = [&] { return float(nextRandom(s) % 100000) / 1000.0f - 20.0f; };
    for (int r = 0; r < kPhonemeSlots; ++r) {
        for (auto& column : m->fileValues) column[r] = value();
        m->fileKept[r] = value();
        for (auto& column : m->fileFlags) column[r] = nextRandom(s) & 1;
        for (auto& column : m->fileFurther) column[r] = value();
    }
    for (float& f : m->fileF) f = value();
    for (float& f : m->fileSU) f = value();
    m->deriveFromFileBlocks();
    return m;
}

void put32(Bytes& b, size_t at, float f) { std::memcpy(&b[at], &f, 4); }

size_t recordAt(int r) { return CPhoneme::kOuterHeader + CPhoneme::kInnerHeader + size_t(r) * CPhoneme::kRecordSize; }

bool sameModel(const CPhoneme& a, const CPhoneme& b) {
    return std::strcmp(a.name, b.name) == 0 && a.setNumber == b.setNumber && a.language == b.language &&
           a.articulation == b.articulation && !std::memcmp(a.slotClasses, b.slotClasses, sizeof a.slotClasses) &&
           !std::memcmp(a.timeModel, b.timeModel, sizeof a.timeModel) &&
           !std::memcmp(a.formants, b.formants, sizeof a.formants) &&
           !std::memcmp(a.spectra, b.spectra, sizeof a.spectra) && saved(a) == saved(b);
}

}  // namespace

TEST(Phoneme, ConstructorDefaults) {
    auto m = std::make_unique<CPhoneme>();
    EXPECT_STREQ(m->name, "Factory phoneme model");
    EXPECT_EQ(m->setNumber, 0);
    EXPECT_EQ(m->language, kLanguageEnglish);
    EXPECT_EQ(m->articulation, 1);
    float f, l, b;
    m->formant(7, 9, f, l, b);
    EXPECT_EQ(f, 9500.0f);
    EXPECT_EQ(l, 1.0f);
    EXPECT_EQ(b, 30.0f);
    m->formant(127, 0, f, l, b);
    EXPECT_EQ(f, 500.0f);
    EXPECT_EQ(m->slotClasses[40], kClassLiquid);
    EXPECT_EQ(m->slotClasses[77], kClassFricative);
    EXPECT_EQ(m->slotClasses[78], kClassNone);  // only the English slots are classed
    EXPECT_EQ(m->timeModel[20][CPhoneme::kTrillAmount], 0.0f);
}

TEST(Phoneme, FileLayoutMapsIntoTheWorkingTables) {
    CPhoneme blank;
    Bytes file = saved(blank);
    EXPECT_EQ(file.size(), 82080u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&file[0]), 6), "QUORIX");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&file[16]), 4), "QLRN");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&file[160]), 40), CPhoneme::kInnerMagic);
    file[160 + 128] = 30;   // set number
    file[160 + 130] = 1;    // German
    file[160 + 132] = 0;    // no articulation
    put32(file, recordAt(0) + 0, 0.5f);    // AA level 1
    put32(file, recordAt(0) + 36, 0.25f);  // level 2
    put32(file, recordAt(1) + 0, 0.125f);  // level 3
    put32(file, recordAt(1) + 16, 0.03f);  // sustain 3
    put32(file, recordAt(40) + 0, 0.9f);   // l: a liquid; its levels are not taken
    put32(file, recordAt(40) + 8, 0.8f);   // trill rate
    put32(file, recordAt(40) + 44, 0.6f);  // trill amount
    put32(file, recordAt(54) + 8, 0.5f);   // r: trill rate below 0.7 ...
    put32(file, recordAt(54) + 44, 0.6f);  // ... so no trill amount
    put32(file, recordAt(2) + 60, 1234.0f);           // F[72]: slot 1, F1 frequency
    put32(file, recordAt(12) + 60 + 4, 2345.0f);      // F[4608 + 432]: slot 70, F1 frequency
    put32(file, recordAt(1) + 60 + 8, 7.0f);          // S[36]: slot 0 band 36 = slot 1 band 0
    put32(file, recordAt(2) + 60 + 16 * 11 + 8, 8.0f);  // S[83]: slot 1 band 47
    put32(file, recordAt(0) + 60 + 16 * 11 + 12, 9.0f);  // U[11]: slot 127 band 47
    auto m = std::make_unique<CPhoneme>();
    ASSERT_TRUE(m->loadBytes(file.data(), file.size()));
    EXPECT_EQ(m->setNumber, 30);
    EXPECT_EQ(m->language, kLanguageGerman);
    EXPECT_EQ(m->articulation, 0);
    EXPECT_EQ(m->slotClasses[100], kClassVowel);  // loading classes all 128 slots
    EXPECT_EQ(m->timeModel[0][CPhoneme::kLevel1], 0.5f);
    EXPECT_EQ(m->timeModel[0][CPhoneme::kLevel2], 0.25f);
    EXPECT_EQ(m->timeModel[0][CPhoneme::kLevel3], 0.125f);
    EXPECT_EQ(m->timeModel[0][CPhoneme::kSustain3], 0.03f);
    EXPECT_EQ(m->timeModel[20][CPhoneme::kLevel1], 0.0f);
    float rate, amount;
    m->trill(40, rate, amount);
    EXPECT_EQ(rate, 0.8f);
    EXPECT_EQ(amount, 0.6f);
    m->trill(55, rate, amount);
    EXPECT_EQ(rate, 0.5f);
    EXPECT_EQ(amount, 0.0f);
    float f, l, b;
    m->formant(1, 0, f, l, b);
    EXPECT_EQ(f, 1234.0f);
    m->formant(70, 0, f, l, b);
    EXPECT_EQ(f, 2345.0f);
    // Neighbouring slots share 12 bands.
    EXPECT_EQ(m->spectralValue(0, 36), 7.0f);
    EXPECT_EQ(m->spectralValue(1, 0), 7.0f);
    EXPECT_EQ(m->spectralValue(1, 47), 8.0f);
    EXPECT_EQ(m->spectralValue(2, 11), 8.0f);
    EXPECT_EQ(m->spectralValue(127, 47), 9.0f);
    EXPECT_EQ(m->spectralValue(1, 48), 0.0f);
}

TEST(Phoneme, SaveLoadSaveIsByteIdentical) {
    for (int language : {kLanguageEnglish, kLanguageGerman, 7}) {
        auto a = scrambledModel(language);
        Bytes first = saved(*a);
        auto b = std::make_unique<CPhoneme>();
        ASSERT_TRUE(b->loadBytes(first.data(), first.size()));
        EXPECT_EQ(saved(*b), first) << language;
        EXPECT_TRUE(sameModel(*a, *b));
        auto c = std::make_unique<CPhoneme>();
        c->copyFrom(*b);
        EXPECT_EQ(saved(*c), first);
    }
}

TEST(Phoneme, BadHeadersAndTruncation) {
    auto good = scrambledModel(kLanguageGerman);
    Bytes file = saved(*good);

    auto before = scrambledModel(kLanguageEnglish);
    auto m = std::make_unique<CPhoneme>();
    m->copyFrom(*before);
    Bytes wrongOuter = file;
    wrongOuter[12] = 'X';
    EXPECT_FALSE(m->loadBytes(wrongOuter.data(), wrongOuter.size()));
    EXPECT_TRUE(sameModel(*m, *before));
    Bytes wrongInner = file;
    wrongInner[160 + 39] = '9';
    EXPECT_TRUE(m->loadBytes(wrongInner.data(), wrongInner.size()));  // counts as loaded ...
    EXPECT_TRUE(sameModel(*m, *before));                               // ... but takes nothing

    // Every cut of the file loads without reading past its end (the tail is
    // poisoned under ASan); missing values read 0.
    Bytes buffer = file;
    auto cut = std::make_unique<CPhoneme>();
    int loaded = 0;
    for (size_t length = 0; length <= file.size(); ++length) {
        POISON(buffer.data() + length, file.size() - length);
        if (cut->loadBytes(buffer.data(), length)) ++loaded;
        UNPOISON(buffer.data(), file.size());
    }
    EXPECT_EQ(loaded, int(file.size() - 15));  // from 16 bytes on, "PHONEMES" is there
    auto part = std::make_unique<CPhoneme>();
    size_t length = recordAt(3) + 38;  // two bytes into record 3's level 2
    ASSERT_TRUE(part->loadBytes(file.data(), length));
    EXPECT_EQ(part->timeModel[0][CPhoneme::kLevel1], good->timeModel[0][CPhoneme::kLevel1]);
    EXPECT_EQ(part->fileValues[0][3], good->fileValues[0][3]);
    EXPECT_NE(part->fileFurther[0][3], good->fileFurther[0][3]);
    EXPECT_EQ(part->fileFurther[1][3], 0.0f);
    EXPECT_EQ(part->fileValues[0][4], 0.0f);
    EXPECT_STREQ(part->name, "Scrambled set");
}

TEST(Phoneme, ModelRecordRoundTripAndTruncation) {
    auto a = scrambledModel(kLanguageGerman);
    a->timeModel[3][CPhoneme::kTrillAmount] = 0.75f;  // working values travel, not file blocks
    a->formants[127][9][2] = 99.0f;
    a->spectra[5][47] = -3.0f;
    uint32_t size = a->recordSize();
    EXPECT_EQ(size, 12 + CUFile::textSize(a->name) + 128 * 312 + 64 * 68);
    Bytes buffer(size);
    CUFile out;
    out.attachMemory(buffer.data(), buffer.size());
    a->writeRecord(out);
    EXPECT_EQ(out.count(), size);

    auto b = std::make_unique<CPhoneme>();
    CUFile in;
    in.attachMemory(static_cast<const void*>(buffer.data()), buffer.size());
    ASSERT_TRUE(b->readRecord(in));
    EXPECT_EQ(in.count(), size);
    EXPECT_STREQ(b->name, a->name);
    EXPECT_EQ(b->language, kLanguageGerman);
    EXPECT_EQ(b->timeModel[3][CPhoneme::kTrillAmount], 0.75f);
    EXPECT_EQ(b->formants[127][9][2], 99.0f);
    EXPECT_EQ(b->spectra[5][47], -3.0f);
    EXPECT_EQ(0, std::memcmp(a->timeModel, b->timeModel, sizeof a->timeModel));
    EXPECT_EQ(b->slotClasses[127], kClassNone);
    EXPECT_EQ(b->slotClasses[100], kClassVowel);

    // A stream that ends anywhere before the record does fails and leaves the
    // model alone.
    auto c = std::make_unique<CPhoneme>();
    Bytes untouched = saved(*c);
    for (uint32_t length = 0; length < size; length += (length < 64 ? 1 : 97)) {
        CUFile shortStream;
        shortStream.attachMemory(static_cast<const void*>(buffer.data()), length);
        EXPECT_FALSE(c->readRecord(shortStream)) << length;
    }
    CUFile last;
    last.attachMemory(static_cast<const void*>(buffer.data()), size - 1);
    EXPECT_FALSE(c->readRecord(last));
    EXPECT_STREQ(c->name, "Factory phoneme model");
    EXPECT_EQ(saved(*c), untouched);
    EXPECT_EQ(c->formants[0][0][0], 500.0f);

    // A huge name length fails at once; a missing name reads "empty"; a
    // long name is cut to 32 characters.
    Bytes huge = buffer;
    huge[0] = huge[1] = huge[2] = huge[3] = 0xFF;
    CUFile hugeStream;
    hugeStream.attachMemory(static_cast<const void*>(huge.data()), huge.size());
    EXPECT_FALSE(c->readRecord(hugeStream));
    Bytes nameless(4, 0);
    nameless.insert(nameless.end(), buffer.begin() + CUFile::textSize(a->name), buffer.end());
    CUFile namelessStream;
    namelessStream.attachMemory(static_cast<const void*>(nameless.data()), nameless.size());
    ASSERT_TRUE(c->readRecord(namelessStream));
    EXPECT_STREQ(c->name, "empty");
    Bytes longName(1000);
    CUFile w;
    w.attachMemory(longName.data(), longName.size());
    w.writeText("0123456789012345678901234567890123456789");
    w.writeInt(1);
    CUFile r;
    r.attachMemory(static_cast<const void*>(longName.data()), longName.size());
    EXPECT_FALSE(c->readRecord(r));  // too short for the rest, but the name read must stay in bounds
}

TEST(Phoneme, SetFileNames) {
    struct Case {
        int set;
        const char* load;
        const char* save;  // nullptr: the set cannot be saved
    } cases[] = {
        {30, "FS07", nullptr},         {12, "FS01", "User12"},   {41, "UserSet02", "UserSet02"},
        {24, "FS01", nullptr},         {31, "FS08", nullptr},    {23, "FS01", nullptr},
        {55, "UserSet16", "UserSet16"}, {56, "FS01", nullptr},   {1, "FS01", "User01"},
        {16, "FS01", "User16"},        {17, "FS01", nullptr},    {0, "FS01", nullptr},
        {-5, "FS01", nullptr},         {40, "UserSet01", "UserSet01"},
    };
    for (const Case& c : cases) {
        char name[32];
        CPhoneme::loadFileName(c.set, name, sizeof name);
        EXPECT_STREQ(name, c.load) << c.set;
        bool canSave = CPhoneme::saveFileName(c.set, name, sizeof name);
        EXPECT_EQ(canSave, c.save != nullptr) << c.set;
        if (c.save) {
            EXPECT_STREQ(name, c.save) << c.set;
        }
    }
}

TEST(Phoneme, LoadAndSaveSetsInTheInstallationFolder) {
    namespace fs = std::filesystem;
    fs::path home = fs::temp_directory_path() / ("lyrena_phoneme_" + std::to_string(getpid()));
    fs::create_directories(home / "Data");
    char previous[sizeof globalData().installFolder];
    std::memcpy(previous, globalData().installFolder, sizeof previous);
    std::snprintf(globalData().installFolder, sizeof globalData().installFolder, "%s/", home.c_str());

    auto source = scrambledModel(kLanguageGerman);
    ASSERT_TRUE(source->savePath((home / "Data/FS07.phd").c_str()));
    auto m = std::make_unique<CPhoneme>();
    ASSERT_TRUE(m->loadSet(30));
    EXPECT_EQ(m->setNumber, 30);
    EXPECT_EQ(m->fileF[100], source->fileF[100]);

    auto kept = std::make_unique<CPhoneme>();
    kept->copyFrom(*m);
    EXPECT_FALSE(m->loadSet(41));  // Data/UserSet02.phd does not exist yet
    EXPECT_TRUE(sameModel(*m, *kept));
    EXPECT_TRUE(m->saveSet(41));
    EXPECT_TRUE(fs::exists(home / "Data/UserSet02.phd"));
    EXPECT_FALSE(m->saveSet(30));
    auto back = std::make_unique<CPhoneme>();
    ASSERT_TRUE(back->loadSet(41));
    EXPECT_EQ(back->setNumber, 41);
    EXPECT_EQ(saved(*back).size(), fs::file_size(home / "Data/UserSet02.phd"));

    std::memcpy(globalData().installFolder, previous, sizeof previous);
    fs::remove_all(home);
}

TEST(Phoneme, EnglishModelsSubstituteGermanSlots) {
    auto m = std::make_unique<CPhoneme>();
    m->setFormant(65, 0, 321, 0.5f, 40);
    m->setSpectralValue(0, 3, 2.5f);
    float f, l, b;
    m->formant(95, 0, f, l, b);
    EXPECT_EQ(f, 321.0f);
    EXPECT_EQ(m->spectralValue(78, 3), 2.5f);
    EXPECT_EQ(m->slotClass(95), kClassVowel);  // UH's class, though slot 95's own entry is unset
    m->language = kLanguageGerman;
    m->formant(95, 0, f, l, b);
    EXPECT_EQ(f, 500.0f);
    EXPECT_EQ(m->spectralValue(78, 3), 0.0f);
    m->setSpectralValue(0, 48, 1.0f);  // ignored
    EXPECT_EQ(m->spectralValue(1, 0), 0.0f);
}

TEST(Phoneme, NoiseEnvelopeFillsFricatives) {
    auto m = std::make_unique<CPhoneme>();
    float* s = m->timeModel[28];  // S, a fricative
    s[CPhoneme::kAttack1] = 0.01f;
    s[CPhoneme::kDecay1] = 0.02f;
    s[CPhoneme::kSustain1] = 0.05f;
    s[CPhoneme::kLevel2] = 0.3f;
    EXPECT_FLOAT_EQ(m->noiseEnvelope(56, 0, 0.1f).sustain, 0.07f);
    EXPECT_EQ(m->noiseEnvelope(56, 0, 0.02f).sustain, 0.0f);
    EXPECT_EQ(m->noiseEnvelope(57, 0, 0.0f).sustain, 0.05f);
    EXPECT_EQ(m->noiseEnvelope(56, 1, 0.0f).level, 0.3f);
    m->timeModel[0][CPhoneme::kSustain1] = 0.05f;  // a vowel keeps its sustain
    EXPECT_EQ(m->noiseEnvelope(0, 0, 0.1f).sustain, 0.05f);
}

TEST(Phoneme, EditorAccess) {
    auto m = std::make_unique<CPhoneme>();
    char text[32];
    m->selectSlot(0);
    EXPECT_FALSE(m->showsTrillLabels());
    m->setEditorValue(1, 0, 1.0f);
    EXPECT_EQ(m->timeModel[0][CPhoneme::kLevel1], 1.0f);
    m->editorDisplay(1, 0, text, sizeof text);
    EXPECT_STREQ(text, "- 0 dB");
    m->setEditorValue(6, 0, 0.0f);
    EXPECT_FLOAT_EQ(m->timeModel[0][CPhoneme::kLevel2], 0.0001f);
    m->editorDisplay(6, 0, text, sizeof text);
    EXPECT_STREQ(text, "-60 dB");
    m->setEditorValue(11, 0, 0.5f);
    EXPECT_NEAR(m->editorValue(11, 0), 0.5f, 1e-6);
    m->editorDisplay(11, 0, text, sizeof text);
    EXPECT_STREQ(text, "-30 dB");
    m->setEditorValue(2, 1, 0.5f);  // time 1 of the same phoneme through its B slot
    EXPECT_FLOAT_EQ(m->timeModel[0][CPhoneme::kTime1], 0.127f);
    m->editorDisplay(2, 0, text, sizeof text);
    EXPECT_STREQ(text, " 127 ms");
    m->setEditorValue(15, 0, 1.0f);
    EXPECT_FLOAT_EQ(m->timeModel[0][CPhoneme::kDecay3], 0.127f);
    m->setEditorValue(4, 0, 2.0f);  // clamped
    EXPECT_FLOAT_EQ(m->timeModel[0][CPhoneme::kSustain1], 0.127f);
    EXPECT_STREQ(m->editorLabel(3), "Attack");
    EXPECT_STREQ(m->editorLabel(0), "undef");
    EXPECT_STREQ(m->editorLabel(16), "undef");

    // A liquid with phoneme articulation shows the trill set.
    m->selectSlot(41);  // L, B half
    EXPECT_TRUE(m->showsTrillLabels());
    EXPECT_STREQ(m->editorLabel(3), "Trill frq");
    EXPECT_STREQ(m->editorLabel(8), "Trill amnt");
    EXPECT_STREQ(m->editorLabel(1), "Level");
    EXPECT_STREQ(m->editorLabel(4), "undef");
    m->setEditorValue(3, 41, 1.0f);
    EXPECT_FLOAT_EQ(m->timeModel[20][CPhoneme::kTrillRate], 0.97f);
    EXPECT_EQ(m->timeModel[20][CPhoneme::kAttack1], 0.0f);
    m->setEditorValue(8, 41, 0.4f);
    EXPECT_FLOAT_EQ(m->timeModel[20][CPhoneme::kTrillAmount], 0.4f);
    m->setEditorValue(1, 41, 1.0f);  // not editable in the trill set
    EXPECT_EQ(m->timeModel[20][CPhoneme::kLevel1], 0.0f);
    m->editorDisplay(1, 41, text, sizeof text);
    EXPECT_STREQ(text, "no value");
    m->editorDisplay(8, 41, text, sizeof text);
    EXPECT_STREQ(text, "0.40");
    m->editorDisplay(3, 41, text, sizeof text);
    double expected = std::exp2(16.0 * 0.97f) * 256.0 / 64.0;
    EXPECT_NEAR(std::strtod(text, nullptr), expected, expected * 1e-4) << text;
    EXPECT_NEAR(m->editorValue(3, 41), 1.0f, 1e-6);

    m->articulation = 0;
    m->selectSlot(41);
    EXPECT_FALSE(m->showsTrillLabels());
    EXPECT_STREQ(m->editorLabel(3), "Attack");
}

TEST(Phoneme, ResetVowelFormants) {
    auto m = std::make_unique<CPhoneme>();
    for (int j = 0; j < 6; ++j) m->setFormant(0, j, 1000, 0.5f + j, 100);  // ratio 0.1
    m->setFormant(0, 1, 0, 1, 50);  // a zero frequency gives ratio 0, not infinity
    m->setFormant(72, 0, 111, 1, 1);  // Y is a liquid: untouched
    m->resetVowelFormants();
    float f, l, b;
    m->formant(9, 0, f, l, b);  // AW, B half
    EXPECT_EQ(f, 560.0f);
    EXPECT_EQ(l, 0.5f);
    EXPECT_FLOAT_EQ(b, 56.0f);
    m->formant(9, 1, f, l, b);
    EXPECT_EQ(f, 970.0f);
    EXPECT_EQ(b, 0.0f);
    m->formant(0, 0, f, l, b);
    EXPECT_EQ(f, 730.0f);
    EXPECT_FLOAT_EQ(b, 73.0f);
    m->formant(24, 5, f, l, b);
    EXPECT_EQ(f, 5600.0f);
    EXPECT_EQ(l, 5.5f);
    m->formant(9, 6, f, l, b);
    EXPECT_EQ(f, 6500.0f);  // formants 6..9 stay
    m->formant(72, 0, f, l, b);
    EXPECT_EQ(f, 111.0f);
    m->formant(12, 0, f, l, b);  // B, a plosive
    EXPECT_EQ(f, 500.0f);
    EXPECT_EQ(b, 30.0f);
}
