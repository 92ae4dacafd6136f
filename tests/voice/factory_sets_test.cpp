// The factory phoneme sets of the installation folder (compiled from
// data/phonemes/*.txt by the build): each loads as its set, holds the right
// language, keeps its vowels on the published measurements it was authored
// from, and holds only values the engine can sing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "files/global_data.h"
#include "voice/phoneme.h"
#include "voice/phoneme_inventory.h"

namespace {

// Points the model's file lookups at LYRENA_HOME for one test.
class FactorySets : public testing::Test {
protected:
    void SetUp() override {
        std::memcpy(previous, globalData().installFolder, sizeof previous);
        const char* home = std::getenv("LYRENA_HOME");
        ASSERT_NE(home, nullptr);
        std::snprintf(globalData().installFolder, sizeof globalData().installFolder, "%s/", home);
    }
    void TearDown() override { std::memcpy(globalData().installFolder, previous, sizeof previous); }

    static std::unique_ptr<CPhoneme> loaded(int set) {
        auto m = std::make_unique<CPhoneme>();
        if (!m->loadSet(set)) return nullptr;
        return m;
    }

    char previous[sizeof globalData().installFolder];
};

struct SetInfo {
    int set;
    int language;
    const char* nameWord;  // the name says what the set is
};
const SetInfo kSets[] = {
    {24, kLanguageEnglish, "male"},    {25, kLanguageEnglish, "female"}, {26, kLanguageGerman, "male"},
    {27, kLanguageGerman, "female"},   {28, kLanguageEnglish, "soprano"}, {29, kLanguageEnglish, "alto"},
    {30, kLanguageEnglish, "tenor"},   {31, kLanguageEnglish, "bass"},
};

// --- Published vowel measurements (F1, F2 in Hz), typed from the tables ----

struct F12 {
    float f1, f2;
};
// Hillenbrand et al. (1995), steady state, men and women.
const std::map<std::string, F12> kHillM = {
    {"IY", {343, 2323}}, {"IH", {429, 2034}}, {"EY", {476, 2090}}, {"EH", {588, 1803}},
    {"AE", {591, 1930}}, {"AA", {756, 1309}}, {"AO", {656, 1023}}, {"OW", {498, 910}},
    {"UH", {469, 1123}}, {"UW", {380, 992}},  {"AH", {621, 1181}}, {"ER", {475, 1379}}};
const std::map<std::string, F12> kHillW = {
    {"IY", {437, 2761}}, {"IH", {484, 2369}}, {"EY", {535, 2526}}, {"EH", {727, 2063}},
    {"AE", {676, 2335}}, {"AA", {921, 1526}}, {"AO", {804, 1188}}, {"OW", {555, 1036}},
    {"UH", {519, 1229}}, {"UW", {460, 1106}}, {"AH", {760, 1416}}, {"ER", {524, 1588}}};
// Hillenbrand at 20 % and 80 % of the vowel: the glides of EY and OW.
const F12 kEY20M{479, 2089}, kEY80M{400, 2229}, kOW20M{511, 936}, kOW80M{435, 898};
const F12 kEY20W{534, 2514}, kEY80W{447, 2693}, kOW20W{603, 1078}, kOW80W{472, 996};
// Peterson & Barney (1952), men and women.
const std::map<std::string, F12> kPBM = {
    {"IY", {270, 2290}}, {"IH", {390, 1990}}, {"EH", {530, 1840}}, {"AE", {660, 1720}}, {"AA", {730, 1090}},
    {"AO", {570, 840}},  {"UH", {440, 1020}}, {"UW", {300, 870}},  {"AH", {640, 1190}}, {"ER", {490, 1350}}};
const std::map<std::string, F12> kPBW = {
    {"IY", {310, 2790}}, {"IH", {430, 2480}}, {"EH", {610, 2330}}, {"AE", {860, 2050}}, {"AA", {850, 1220}},
    {"AO", {590, 920}},  {"UH", {470, 1160}}, {"UW", {370, 950}},  {"AH", {760, 1400}}, {"ER", {500, 1640}}};
// Klatt (1980) table II onset and offset of the diphthongs (one man).
const std::map<std::string, std::pair<F12, F12>> kKlattDiphthongs = {
    {"AY", {{660, 1200}, {400, 1880}}}, {"AW", {{640, 1230}, {420, 940}}}, {"OY", {{550, 960}, {360, 1820}}}};

// Women's formants relative to men's, averaged over Hillenbrand's vowels:
// how the sets scale the sources that measured men only.
F12 womenRatio() {
    F12 r{0, 0};
    for (const auto& [v, m] : kHillM) {
        r.f1 += kHillW.at(v).f1 / m.f1;
        r.f2 += kHillW.at(v).f2 / m.f2;
    }
    return {r.f1 / float(kHillM.size()), r.f2 / float(kHillM.size())};
}

F12 scaled(F12 a, F12 r) { return {a.f1 * r.f1, a.f2 * r.f2}; }

struct Expect {
    int number;
    F12 a, b;
};

const char* const kEnglishVowels[] = {"AA", "AE", "AH", "AO", "EH", "ER", "IH", "IY", "UH", "UW"};

int englishNumber(const char* token) { return parsePhonemeToken(kLanguageEnglish, token, int(std::strlen(token))); }
int germanNumber(const char* token) { return parsePhonemeToken(kLanguageGerman, token, int(std::strlen(token))); }

// The English vowels of a set whose monophthongs come from `mono`, glides of
// EY/OW and women's scaling from the group `women`.
std::vector<Expect> englishExpectations(const std::map<std::string, F12>& mono, bool women) {
    std::vector<Expect> out;
    for (const char* v : kEnglishVowels) out.push_back({englishNumber(v), mono.at(v), mono.at(v)});
    out.push_back({englishNumber("EY"), women ? kEY20W : kEY20M, women ? kEY80W : kEY80M});
    out.push_back({englishNumber("OW"), women ? kOW20W : kOW20M, women ? kOW80W : kOW80M});
    F12 r = women ? womenRatio() : F12{1, 1};
    for (const auto& [v, ab] : kKlattDiphthongs)
        out.push_back({englishNumber(v.c_str()), scaled(ab.first, r), scaled(ab.second, r)});
    return out;
}

// German vowels after the acoustics notes: i: IY, I IH, e: the start of EY,
// E and E: EH, a and a: AA, O AO, o: the start of OW, U UH, u: UW with F2
// 850 Hz (men), schwa 500/1500, the front rounded vowels after Delattre
// (men, scaled for women by their unrounded counterpart).
std::vector<Expect> germanExpectations(bool women) {
    const auto& h = women ? kHillW : kHillM;
    auto same = [](F12 f) { return std::pair<F12, F12>{f, f}; };
    auto ratioOf = [&](const char* v) {
        return F12{h.at(v).f1 / kHillM.at(v).f1, h.at(v).f2 / kHillM.at(v).f2};
    };
    std::map<std::string, std::pair<F12, F12>> e;
    e["i:"] = same(h.at("IY"));
    e["I"] = same(h.at("IH"));
    e["e:"] = same(women ? kEY20W : kEY20M);
    e["E"] = e["E:"] = same(h.at("EH"));
    e["a"] = e["a:"] = same(h.at("AA"));
    e["O"] = same(h.at("AO"));
    e["o:"] = same(women ? kOW20W : kOW20M);
    e["U"] = same(h.at("UH"));
    e["u:"] = same({h.at("UW").f1, 850 * ratioOf("UW").f2});
    F12 r = women ? womenRatio() : F12{1, 1};
    e["@"] = same(scaled({500, 1500}, r));
    e["y:"] = same(scaled({250, 1900}, ratioOf("IY")));
    e["2:"] = same(scaled({360, 1650}, ratioOf("EY")));
    e["9"] = same(scaled({510, 1450}, ratioOf("EH")));
    // Diphthongs move between the set's own vowels.
    e["aU"] = {e["a"].first, e["U"].first};
    e["aI"] = {e["a"].first, e["I"].first};
    e["eI"] = {women ? kEY20W : kEY20M, women ? kEY80W : kEY80M};
    e["@U"] = {women ? kOW20W : kOW20M, women ? kOW80W : kOW80M};
    std::vector<Expect> out;
    for (const auto& [token, ab] : e) out.push_back({germanNumber(token.c_str()), ab.first, ab.second});
    return out;
}

std::vector<Expect> expectationsOf(int set) {
    switch (set) {
    case 0: case 24: case 31: return englishExpectations(kHillM, false);
    case 25: case 28: return englishExpectations(kHillW, true);
    case 26: return germanExpectations(false);
    case 27: return germanExpectations(true);
    case 29: {  // alto: Peterson & Barney women, EY/OW and the diphthongs as the women's set
        auto out = englishExpectations(kPBW, true);
        return out;
    }
    case 30: return englishExpectations(kPBM, false);
    }
    return {};
}

float frequency(const CPhoneme& m, int slot, int k) {
    float f, l, b;
    m.formant(slot, k, f, l, b);
    return f;
}

// Band b of a spectral envelope lies at 22050 Hz x 2^((b - 48) / 6).
float bandHz(int b) { return 22050.0f * std::exp2(float(b - 48) / 6.0f); }

int peakBand(const CPhoneme& m, int slot) {
    int best = 0;
    for (int b = 1; b < CPhoneme::kBands; ++b)
        if (m.spectralValue(slot, b) > m.spectralValue(slot, best)) best = b;
    return best;
}

TEST_F(FactorySets, EverySetLoadsAsItsNumberWithItsLanguage) {
    auto factory = std::make_unique<CPhoneme>();
    ASSERT_TRUE(factory->load("Factory"));
    EXPECT_EQ(factory->language, kLanguageEnglish);
    EXPECT_EQ(factory->articulation, 1);
    for (const SetInfo& s : kSets) {
        auto m = loaded(s.set);
        ASSERT_NE(m, nullptr) << "set " << s.set;
        EXPECT_EQ(m->setNumber, s.set);
        EXPECT_EQ(m->language, s.language) << m->name;
        EXPECT_EQ(m->articulation, 1) << m->name;
        EXPECT_NE(std::strstr(m->name, s.nameWord), nullptr) << m->name;
        EXPECT_NE(std::strstr(m->name, s.language == kLanguageGerman ? "German" : "English"), nullptr) << m->name;
    }
}

// Every phoneme of the set's language is modelled as its class needs: vowels,
// nasals and liquids are voiced resonances, fricatives and plosives have a
// noise envelope and a spectrum to shape it.
TEST_F(FactorySets, PhonemesAreModelledByTheirClass) {
    for (const SetInfo& s : kSets) {
        auto m = loaded(s.set);
        ASSERT_NE(m, nullptr);
        int count = s.language == kLanguageGerman ? kGermanPhonemes : kEnglishPhonemes;
        for (int n = 0; n < count; ++n) {
            int cls = phonemeClass(s.language, n);
            int a = 2 * n;
            SCOPED_TRACE(std::string(m->name) + " phoneme " + phonemeToken(s.language, n));
            ASSERT_EQ(m->slotClass(a), cls);
            float peak = 0;
            for (int b = 0; b < CPhoneme::kBands; ++b) peak = std::max(peak, m->spectralValue(a, b));
            NoiseSegment seg = m->noiseEnvelope(a, 0, 0);
            switch (cls) {
            case kClassVowel:
                EXPECT_LT(frequency(*m, a, 0), 1100.0f);
                EXPECT_EQ(m->timeModel[n][CPhoneme::kLevel1], 0.0f);
                break;
            case kClassNasal: {
                // The low murmur, and the anti-resonance switched on.
                float f, l, bw;
                m->formant(a, 8, f, l, bw);
                EXPECT_LT(frequency(*m, a, 0), 300.0f);
                EXPECT_LT(l, 0.5f);
                break;
            }
            case kClassFricative:
            case kClassPlosive:
                EXPECT_FLOAT_EQ(peak, 1.0f) << "the spectrum peaks at full level";
                EXPECT_GT(seg.level, 0.01f);
                EXPECT_GT(seg.decay, 0.0f);
                EXPECT_GT(m->timeModel[n][CPhoneme::kTime1] + m->timeModel[n][CPhoneme::kTime2] +
                              m->timeModel[n][CPhoneme::kTime3],
                          0.04f)
                    << "a consonant takes time";
                break;
            case kClassLiquid:
                EXPECT_LT(frequency(*m, a, 0), 600.0f);
                break;
            case kClassNone:
                break;  // German a-, o-: sung as nothing
            }
        }
        // Only the German r rolls.
        float rate, amount;
        m->trill(54, rate, amount);
        if (s.language == kLanguageGerman) {
            EXPECT_GE(rate, 0.7f);
            EXPECT_GT(amount, 0.0f);
        } else {
            EXPECT_EQ(amount, 0.0f);
        }
        m->trill(40, rate, amount);
        EXPECT_EQ(amount, 0.0f);
    }
}

TEST_F(FactorySets, VowelsStayWithinTenPercentOfTheirSources) {
    auto check = [](const CPhoneme& m, const std::vector<Expect>& rows) {
        ASSERT_FALSE(rows.empty());
        for (const Expect& e : rows) {
            for (int half = 0; half < 2; ++half) {
                F12 want = half ? e.b : e.a;
                int slot = 2 * e.number + half;
                SCOPED_TRACE(std::string(m.name) + " " + phonemeToken(m.language, e.number) + (half ? " B" : " A"));
                EXPECT_NEAR(frequency(m, slot, 0), want.f1, 0.1f * want.f1);
                EXPECT_NEAR(frequency(m, slot, 1), want.f2, 0.1f * want.f2);
            }
        }
    };
    auto factory = std::make_unique<CPhoneme>();
    ASSERT_TRUE(factory->load("Factory"));
    check(*factory, expectationsOf(0));
    for (const SetInfo& s : kSets) {
        auto m = loaded(s.set);
        ASSERT_NE(m, nullptr);
        check(*m, expectationsOf(s.set));
    }
    // The higher voices sit above the lower ones.
    auto male = loaded(24), female = loaded(25);
    ASSERT_TRUE(male && female);
    EXPECT_GT(frequency(*female, 34, 1), frequency(*male, 34, 1) * 1.1f);  // IY F2
}

TEST_F(FactorySets, ValuesAreFiniteOrderedAndInRange) {
    for (int set : {0, 24, 25, 26, 27, 28, 29, 30, 31}) {
        auto m = std::make_unique<CPhoneme>();
        ASSERT_TRUE(set == 0 ? m->load("Factory") : m->loadSet(set));
        for (int slot = 0; slot < kPhonemeSlots; ++slot) {
            SCOPED_TRACE(std::string(m->name) + " slot " + std::to_string(slot));
            float last = 0;
            for (int k = 0; k < CPhoneme::kFormants; ++k) {
                float f, l, bw;
                m->formant(slot, k, f, l, bw);
                ASSERT_TRUE(std::isfinite(f) && std::isfinite(l) && std::isfinite(bw));
                EXPECT_GT(f, 0.0f);
                EXPECT_LT(f, 20000.0f) << "below the Nyquist frequency and the resonator tables";
                EXPECT_GT(bw, 0.0f);
                EXPECT_LE(bw, 2000.0f);
                EXPECT_GE(l, 0.0f);
                EXPECT_LE(l, 1.0f);
                // Formant 9 is the anti-resonance: a nasal's sits low.
                if (k < 8 || k == 9) {
                    EXPECT_GT(f, last) << "formant " << k + 1;
                    last = f;
                }
            }
            for (int b = 0; b < CPhoneme::kBands; ++b) {
                float v = m->spectralValue(slot, b);
                ASSERT_TRUE(std::isfinite(v));
                EXPECT_GE(v, 0.0f);
                EXPECT_LE(v, 1.0f) << "the engine drops band levels above 1";
            }
        }
        for (int n = 0; n < kPhonemeNumbers; ++n)
            for (int v = 0; v < CPhoneme::kTimeValues; ++v) {
                float x = m->timeModel[n][v];
                ASSERT_TRUE(std::isfinite(x)) << m->name << " phoneme " << n;
                EXPECT_GE(x, 0.0f);
                float top = v <= CPhoneme::kTime3 ? 0.254f : v <= CPhoneme::kLevel3 ? 1.0f
                            : v <= CPhoneme::kSustain3 ? 0.127f : 1.0f;
                EXPECT_LE(x, top) << m->name << " phoneme " << n << " value " << v;
            }
    }
}

// Frication where the measurements put it: s above sh, f and th flatter than
// s; the alveolar burst rises, the velar one is compact; German
// ich high and ach low.
TEST_F(FactorySets, NoiseSpectraPeakWherePublished) {
    const float sixth = std::exp2(1.0f / 6) - 1;  // one band: a sixth of an octave
    auto near = [&](const CPhoneme& m, int slot, float hz) {
        float at = bandHz(peakBand(m, slot));
        EXPECT_NEAR(at, hz, hz * sixth) << m.name << " slot " << slot;
    };
    auto spread = [](const CPhoneme& m, int slot) {  // bands above half the peak level
        int n = 0;
        for (int b = 0; b < CPhoneme::kBands; ++b) n += m.spectralValue(slot, b) >= 0.5f;
        return n;
    };
    for (int set : {24, 25, 26, 27, 31}) {
        auto m = loaded(set);
        ASSERT_NE(m, nullptr);
        near(*m, 56, 6839);  // S (Jongman et al. 2000)
        near(*m, 58, 3820);  // SH
        EXPECT_GT(spread(*m, 26), spread(*m, 56)) << "F is broader than S";
        EXPECT_GT(spread(*m, 62), spread(*m, 56)) << "TH is broader than S";
        EXPECT_GT(spread(*m, 52), 24) << "the labial burst is flat";
        EXPECT_GT(bandHz(peakBand(*m, 60)), 4000.0f) << "the alveolar burst rises";
        // Before front vowels Klatt's velar burst peaks at F3 (A3 53 dB).
        float k = bandHz(peakBand(*m, 38));
        EXPECT_NEAR(k, frequency(*m, 38, 2), frequency(*m, 38, 2) * sixth);
        EXPECT_LT(spread(*m, 38), spread(*m, 52) / 2) << "the velar burst is compact";
        if (m->language == kLanguageGerman) {
            float ich = bandHz(peakBand(*m, 108)), ach = bandHz(peakBand(*m, 106));
            EXPECT_GE(ich, 3000.0f);
            EXPECT_LE(ich, 4500.0f);
            EXPECT_GE(ach, 1000.0f);
            EXPECT_LE(ach, 2000.0f);
        }
    }
}

}  // namespace
