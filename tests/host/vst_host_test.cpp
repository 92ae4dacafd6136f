// Our host against a third-party VST 2.4 instrument from Debian, which shows
// that our binary interface matches the one real plug-ins are built with,
// and the lyrena tool as a user runs it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "host/vst_host.h"

using namespace vst;

namespace {

// A small synth of dpf-plugins-vst that needs no window to run.
const char* kThirdParty = "/usr/lib/vst/Kars-vst.so";

bool exists(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the lyrena tool with arguments, capturing stdout and stderr.
RunResult runCli(const std::string& args) {
    RunResult r;
    std::string errFile = std::string(std::getenv("XDG_CONFIG_HOME")) + "/cli_stderr.txt";
    std::system(("mkdir -p '" + std::string(std::getenv("XDG_CONFIG_HOME")) + "'").c_str());
    std::string cmd = std::string(std::getenv("LYRENA_CLI")) + " " + args + " 2>'" + errFile + "'";
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (std::FILE* e = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buf.data(), 1, buf.size(), e)) > 0) r.err.append(buf.data(), n);
        std::fclose(e);
    }
    return r;
}

}  // namespace

TEST(VstHost, PlaysAThirdPartyInstrument) {
    if (!exists(kThirdParty))
        GTEST_SKIP() << kThirdParty << " is missing: the Debian package dpf-plugins-vst could not be installed";
    VstHost host;
    std::string error;
    ASSERT_TRUE(host.load(kThirdParty, error)) << error;
    AEffect* e = host.effect();
    EXPECT_TRUE(e->flags & effFlagsIsSynth);
    EXPECT_FALSE(host.stringOf(effGetEffectName).empty());
    host.start(44100, 512);

    std::vector<float> left(512), right(512);
    double energy = 0, silentEnergy = 0;
    host.process(left.data(), right.data(), 512);
    for (float x : left) silentEnergy += double(x) * x;
    host.sendMidi({{0, {0x90, 57, 110}}, {100, {0x90, 64, 110}}});
    for (int block = 0; block < 40; ++block) {
        host.process(left.data(), right.data(), 512);
        host.advance(512);
        for (int i = 0; i < 512; ++i) {
            ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]));
            energy += double(left[i]) * left[i] + double(right[i]) * right[i];
        }
    }
    EXPECT_EQ(silentEnergy, 0.0);
    double rms = std::sqrt(energy / (2 * 40 * 512));
    EXPECT_GT(rms, 1e-3) << "the notes should sound";
    host.sendMidi({{0, {0x80, 57, 0}}, {0, {0x80, 64, 0}}});
    host.process(left.data(), right.data(), 512);
}

TEST(VstHost, TimeInfoFollowsTheTransport) {
    VstHost host;
    host.timeInfo.sampleRate = 48000;
    host.timeInfo.tempo = 90;
    host.timeInfo.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid;
    host.advance(48000);
    EXPECT_DOUBLE_EQ(host.timeInfo.ppqPos, 1.5);
    EXPECT_DOUBLE_EQ(host.timeInfo.samplePos, 48000);
    EXPECT_FALSE(host.timeInfo.flags & kVstTransportChanged);
    host.timeInfo.flags = 0;
    host.advance(48000);
    EXPECT_DOUBLE_EQ(host.timeInfo.ppqPos, 1.5) << "a stopped transport keeps its position";
}

TEST(LyrenaCli, InfoShowsWhatAHostSees) {
    RunResult r = runCli(std::string("info ") + std::getenv("LYRENA_PLUGIN"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"name:           LYRENA\n", "vendor:         Quorix\n", "product:        Quorix LYRENA\n",
          "unique ID:      QLR2", "VST version:    2400\n", "programs:       8\n", "parameters:     86\n",
          "inputs:         0\n", "outputs:        2\n", "flags:          has editor / can replace / program chunks / is synth\n",
          "receiveVstEvents     1\n", "sendVstMidiEvent     -1\n", " 12 Volume ", "output 1: \"LYRN 1\" active stereo\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "\n" << r.out;
}

TEST(LyrenaCli, InfoOnAThirdPartyPlugin) {
    if (!exists(kThirdParty)) GTEST_SKIP() << kThirdParty << " is missing (package dpf-plugins-vst)";
    RunResult r = runCli(std::string("info ") + kThirdParty);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("is synth"), std::string::npos) << r.out;
}

TEST(LyrenaCli, ErrorsAreOneLineAndFail) {
    struct Case {
        std::string args;
        const char* says;
    } cases[] = {
        {"info /nonexistent/plugin.so", "cannot load /nonexistent/plugin.so"},
        {"info /lib/x86_64-linux-gnu/libm.so.6", "is not a VST 2.4 plug-in"},
        {"info", "usage: lyrena info"},
        {"frobnicate", "unknown command 'frobnicate'"},
    };
    for (const Case& c : cases) {
        RunResult r = runCli(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}
