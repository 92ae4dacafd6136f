#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "voice/phoneme.h"
#include "voice/phoneme_text.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes saved(const CPhoneme& m) {
    Bytes b(CPhoneme::kFileSize);
    m.saveBytes(b.data());
    return b;
}

float fromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// A set with plausible values everywhere plus the awkward ones a file may
// hold: NaN, infinity, negative zero, denormals, levels at or below zero,
// kept fields and flags.
std::unique_ptr<CPhoneme> awkwardModel(int language) {
    auto m = std::make_unique<CPhoneme>();
    std::snprintf(m->name, sizeof m->name, "%s", "Chor \"A\" \\ \xE4");
    m->setNumber = 27;
    m->language = language;
    m->articulation = 1;
    uint32_t s = 11;
    auto next = [&] {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    };
    for (int r = 0; r < kPhonemeSlots; ++r) {
        m->fileValues[0][r] = 0.001f * float(next() % 1000 + 1);
        for (int v = 1; v < 5; ++v) m->fileValues[v][r] = 0.0001f * float(next() % 2540);
        m->fileFurther[0][r] = 0.5f;
        for (int v = 1; v < 5; ++v) m->fileFurther[v][r] = 0.001f * float(next() % 127);
    }
    for (int i = 0; i < 2 * CPhoneme::kBlockFloats; ++i) {
        m->fileF[i] = float(next() % 50000) / 7.0f;
        m->fileSU[i] = (i % 97 == 0) ? float(next() % 1000) / 3.0f - 100.0f : 0.0f;
    }
    m->fileValues[0][5] = 0.0f;                  // level "off"
    m->fileValues[0][6] = -0.25f;                // a negative gain has no dB
    m->fileFurther[0][7] = fromBits(0x7FC00001);  // NaN with payload
    m->fileValues[1][8] = std::numeric_limits<float>::infinity();
    m->fileValues[2][9] = -0.0f;
    m->fileF[30] = fromBits(1);                  // denormal in a kept F float
    m->fileKept[3] = 1.5f;
    m->fileFlags[1][4] = true;
    m->fileFurther[5][11] = 2.0f;
    m->fileSU[CPhoneme::kBlockFloats + 4000] = 42.0f;  // the fourth block
    m->fileValues[2][40] = 0.85f;                       // L trill rate
    m->fileFurther[2][40] = 0.5f;                       // and amount
    m->deriveFromFileBlocks();
    return m;
}

std::string replaceLine(const std::string& text, const std::string& prefix, const std::string& line, int& number) {
    std::istringstream in(text);
    std::string out, current;
    number = 0;
    int n = 0;
    while (std::getline(in, current)) {
        ++n;
        if (!number && current.compare(0, prefix.size(), prefix) == 0) {
            number = n;
            current = line;
        }
        out += current + "\n";
    }
    return out;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary);
    out << data;
}

}  // namespace

TEST(PhonemeText, RoundTripsEveryBit) {
    for (int language : {kLanguageEnglish, kLanguageGerman, 300}) {
        auto m = awkwardModel(language);
        std::string text = CPhonemeText::write(*m);
        auto back = std::make_unique<CPhoneme>();
        std::string error;
        ASSERT_TRUE(CPhonemeText::read(text.data(), text.size(), "set.txt", *back, error)) << error;
        EXPECT_EQ(saved(*back), saved(*m)) << language;
        EXPECT_EQ(CPhonemeText::write(*back), text);
        EXPECT_STREQ(back->name, m->name);
        EXPECT_EQ(0, std::memcmp(back->timeModel, m->timeModel, sizeof m->timeModel));
    }
}

TEST(PhonemeText, ReadsLikeTheFile) {
    auto m = awkwardModel(kLanguageEnglish);
    std::string text = CPhonemeText::write(*m);
    // Natural units and the comment that names each phoneme.
    EXPECT_NE(text.find("language      english\n"), std::string::npos);
    EXPECT_NE(text.find("\nphoneme 5 AY"), std::string::npos);
    EXPECT_NE(text.find("# HIDE, Vowel"), std::string::npos);
    EXPECT_NE(text.find("  trill rate 0.85 amount 0.5\n"), std::string::npos);
    EXPECT_NE(text.find("phoneme 40 ?"), std::string::npos);
    EXPECT_NE(text.find(" off "), std::string::npos);
    EXPECT_NE(text.find("0x7FC00001"), std::string::npos);
    EXPECT_NE(text.find("kept U 3996"), std::string::npos);
    // Segment 2 of AA: level 0.5 is -6.0206 dB.
    EXPECT_NE(text.find("segment 2     -6.0206"), std::string::npos) << text.substr(0, 800);
}

TEST(PhonemeText, RejectsMalformedLinesNamingThem) {
    auto m = awkwardModel(kLanguageGerman);
    const std::string text = CPhonemeText::write(*m);
    struct Case {
        const char* prefix;  // the first line starting with it is replaced
        const char* line;
        const char* message;
        bool atThatLine = true;  // false: found when the block ends or a later line clashes
    } cases[] = {
        {"set ", "set 70000", "'70000' is not a whole number from 0 to 65535"},
        {"name ", "name \"unterminated", "no closing quote"},
        {"name ", "name \"0123456789012345678901234567890123\"", "longer than 32"},
        {"language", "language klingon", "language must be"},
        {"  segment 1", "  segment 1 1 2 3 4", "takes 6 values"},
        {"  segment 2", "  segment 2 -6 12 x 4 5", "'x' is not a number"},
        {"  segment 3", "  segment 3 nan 1 2 3 4", "'nan' is not a number"},
        {"  segment 1", "  segment 3 0 0 0 0 0", "segment 3 given twice", false},
        {"phoneme 20 l", "phoneme 20 L", "written 'l' in this language"},
        {"phoneme 3 ", "phoneme 4 aU", "expected phoneme 3 here"},
        {"  trill", "  trill rate 0.5 amount 0.5", "below 0.7 means no trill"},
        {"  trill", "  # no trill", "phoneme 20 is a liquid and needs a 'trill' line", false},
        {"  F3 ", "  F3 1 2", "takes 3 values"},
        {"  F3 ", "  F11 1 2 3", "formants are F1 to F10"},
        {"  bands 36", "  bands 36 9 9 9 9 9 9 9 9 9 9 9 9", "bands 36..47 of a slot and bands 0..11", false},
        {"  bands 12", "  bands 13 0 0 0 0 0 0 0 0 0 0 0 0", "write 'bands 0'"},
        {"  kept A", "  kept A 0 2 0 0 0", "flag '2' must be 0 or 1"},
        {"slot 1 B", "slot 2 A", "expected 'slot 1 B' here"},
        {"  segment 1", "  tempo 120", "unknown line 'tempo'"},
        {"  F1 ", "  F1 1e39 1 1", "out of range"},
        {"  F1 ", "  F1 0x123 1 1", "not a raw float"},
    };
    for (const Case& c : cases) {
        int number = 0;
        std::string bad = replaceLine(text, c.prefix, c.line, number);
        ASSERT_NE(number, 0) << c.prefix;
        auto target = std::make_unique<CPhoneme>();
        std::string error;
        EXPECT_FALSE(CPhonemeText::read(bad.data(), bad.size(), "set.txt", *target, error)) << c.line;
        std::string where = c.atThatLine ? "set.txt:" + std::to_string(number) + ": " : "set.txt:";
        EXPECT_EQ(error.compare(0, where.size(), where), 0) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        if (!c.atThatLine) {
            EXPECT_GT(std::atoi(error.c_str() + 8), number) << error;
        }
        EXPECT_STREQ(target->name, "Factory phoneme model");  // untouched
    }

    // A text cut short names its last line.
    std::string cut = text.substr(0, text.find("\nphoneme 30 "));
    auto target = std::make_unique<CPhoneme>();
    std::string error;
    EXPECT_FALSE(CPhonemeText::read(cut.data(), cut.size(), "set.txt", *target, error));
    EXPECT_NE(error.find("ends after phoneme 29"), std::string::npos) << error;
    EXPECT_FALSE(CPhonemeText::read("", 0, "empty.txt", *target, error));
    EXPECT_NE(error.find("empty.txt:0:"), std::string::npos) << error;
}

class PhdCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const char* cli = std::getenv("LYRENA_CLI");
        if (!cli) GTEST_SKIP() << "LYRENA_CLI not set";
        tool = cli;
        dir = fs::temp_directory_path() / ("lyrena_phd_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    int run(const std::string& args) {
        std::string command = tool + " " + args + " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string tool;
    fs::path dir;
};

TEST_F(PhdCommand, DumpBuildRoundTrips) {
    auto m = awkwardModel(kLanguageGerman);
    ASSERT_TRUE(m->savePath((dir / "a.phd").c_str()));
    ASSERT_EQ(run("phd dump " + (dir / "a.phd").string()), 0) << readFile(dir / "err");
    std::string text = readFile(dir / "out");
    EXPECT_EQ(text, CPhonemeText::write(*m));
    writeFile(dir / "a.txt", text);
    ASSERT_EQ(run("phd build " + (dir / "a.txt").string() + " -o " + (dir / "b.phd").string()), 0)
        << readFile(dir / "err");
    EXPECT_EQ(readFile(dir / "b.phd"), readFile(dir / "a.phd"));
    ASSERT_EQ(run("phd dump " + (dir / "b.phd").string()), 0);
    EXPECT_EQ(readFile(dir / "out"), text);
}

TEST_F(PhdCommand, FailuresWriteNothing) {
    auto m = awkwardModel(kLanguageEnglish);
    std::string text = CPhonemeText::write(*m);
    int number = 0;
    writeFile(dir / "bad.txt", replaceLine(text, "  F7 ", "  F7 1 2 three", number));
    EXPECT_EQ(run("phd build " + (dir / "bad.txt").string() + " -o " + (dir / "bad.phd").string()), 1);
    EXPECT_FALSE(fs::exists(dir / "bad.phd"));
    EXPECT_NE(readFile(dir / "err").find((dir / "bad.txt").string() + ":" + std::to_string(number) + ": 'three'"),
              std::string::npos)
        << readFile(dir / "err");

    writeFile(dir / "junk.phd", std::string(500, 'x'));
    EXPECT_EQ(run("phd dump " + (dir / "junk.phd").string()), 1);
    EXPECT_NE(readFile(dir / "err").find("not a phoneme data file"), std::string::npos);
    EXPECT_EQ(run("phd dump " + (dir / "missing.phd").string()), 1);
    EXPECT_EQ(run("phd frobnicate"), 2);

    // A short file still dumps, with a warning, its missing values as 0.
    ASSERT_TRUE(m->savePath((dir / "whole.phd").c_str()));
    std::string whole = readFile(dir / "whole.phd");
    writeFile(dir / "short.phd", whole.substr(0, 5000));
    EXPECT_EQ(run("phd dump " + (dir / "short.phd").string()), 0);
    EXPECT_NE(readFile(dir / "err").find("missing values read as 0"), std::string::npos);
}
