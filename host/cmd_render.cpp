// lyrena render INPUT -o OUT.wav: a project or a MIDI file with lyrics sung
// by the plug-in binary, driven through our host library as a host drives
// it, into a 16-bit stereo WAV file (or stdout).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "files/wave_io.h"
#include "host/cmd_render_song.h"
#include "host/commands.h"
#include "host/install_folder.h"
#include "host/vst_host.h"

namespace {

const char kUsage[] =
    "usage: lyrena render INPUT.qlp|INPUT.mid -o OUT.wav|- [--part N] [--part N:FILE.mid ...] [--lang en|de]\n"
    "         [--channel auto|1..16] [--tempo BPM] [--rate HZ] [--choir VOICES[,DETUNE,JITTER,GENDER,PAN]]\n"
    "         [--set [N:]NAME] [--mix N:NAME=V,...] [--master NAME=V,...] [--param N:P=X,...]\n"
    "         [--block N] [--seed N] [--save-project FILE.qlp]\n"
    "  --mix    part N's mixer strip: reverb (send), chorus (send), level, pan (64 centre); V 0..127\n"
    "  --master level, pan, reverb, preset (reverb preset 0..23), predelay, time, size, structure,\n"
    "           fusion, damping, on; V 0..127\n"
    "  --param  part N's voice parameter P (0..85, as lyrena info lists them) to X (0..1, as a host sends it)\n";

constexpr int kRates[] = {96000, 88200, 48000, 44100, 32000, 22050};
// A plain "--choir N" sounds like a choir, not N copies of one singer:
// about 10 cents of detune, up to 45 ms of onset spread at 44.1 kHz, a
// little gender variation and the full stereo spread.
constexpr CWaveIO::ChoirSettings kChoirDefaults{8, 0.015f, 0.5f, 0.15f, 1.0f};

int fail(const std::string& line) {
    std::fprintf(stderr, "lyrena render: %s\n", line.c_str());
    return 1;
}

int usageError(const std::string& line) {
    std::fprintf(stderr, "lyrena render: %s\n%s", line.c_str(), kUsage);
    return 2;
}

bool parseInt(const char* s, long lo, long hi, long& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseFloat(const char* s, float lo, float hi, float& out) {
    char* end = nullptr;
    float v = std::strtof(s, &end);
    if (!*s || *end || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

// "a,b,,c" -> "a", "b", "", "c" (an empty text is one empty field).
std::vector<std::string> commaFields(const std::string& text) {
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        size_t comma = text.find(',', at);
        fields.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (comma == std::string::npos) return fields;
        at = comma + 1;
    }
}

bool parseChoir(const char* s, CWaveIO::ChoirSettings& out) {
    out = kChoirDefaults;
    const std::vector<std::string> fields = commaFields(s);
    if (fields.size() > 5) return false;
    long voices = 0;
    if (!parseInt(fields[0].c_str(), 1, 64, voices)) return false;
    out.voices = int(voices);
    float* values[] = {&out.detune, &out.jitter, &out.gender, &out.pan};
    for (size_t i = 1; i < fields.size(); ++i)
        if (!parseFloat(fields[i].c_str(), 0, 1, *values[i - 1])) return false;
    return true;
}

struct MixName {
    const char* name;
    int entry;
};
const MixName kMixerNames[] = {{"reverb", 0}, {"chorus", 1}, {"level", 2}, {"pan", 3}, {nullptr, 0}};
const MixName kMasterNames[] = {{"level", 2},      {"pan", 3},     {"reverb", 4},  {"preset", -1},
                                {"predelay", 6},   {"time", 7},    {"size", 8},    {"structure", 9},
                                {"fusion", 10},    {"damping", 11}, {"on", 12},    {nullptr, 0}};

// "NAME=V,NAME=V" into values of one part (or the master, part -1), in order.
bool parseMix(const std::string& text, int part, const MixName* names, std::vector<SongMixValue>& out) {
    for (const std::string& field : commaFields(text)) {
        size_t eq = field.find('=');
        if (eq == std::string::npos) return false;
        const std::string name = field.substr(0, eq);
        const MixName* m = names;
        while (m->name && name != m->name) ++m;
        long v = 0;
        if (!m->name || !parseInt(field.c_str() + eq + 1, 0, m->entry < 0 ? 23 : 127, v)) return false;
        out.push_back({part, m->entry, int(v)});
    }
    return true;
}

// "P=X,P=X" voice parameters of part N, in order.
bool parseParams(const std::string& text, int part, std::vector<SongVoiceValue>& out) {
    for (const std::string& field : commaFields(text)) {
        size_t eq = field.find('=');
        long entry = 0;
        float x = 0;
        if (eq == std::string::npos || !parseInt(field.substr(0, eq).c_str(), 0, 85, entry) ||
            !parseFloat(field.c_str() + eq + 1, 0, 1, x))
            return false;
        out.push_back({part, int(entry), x});
    }
    return true;
}

bool endsWith(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

// "[#####-----]  42 %" redrawn in place, only when stderr is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(bool on) : enabled(on) {}
    void show(double share) {
        if (!enabled) return;
        int percent = std::clamp(int(share * 100), 0, 100);
        if (percent == shown) return;
        shown = percent;
        char bar[41];
        int filled = percent * 40 / 100;
        for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '-';
        bar[40] = 0;
        std::fprintf(stderr, "\r[%s] %3d %%", bar, percent);
        std::fflush(stderr);
    }
    void clear() {
        if (enabled && shown >= 0) std::fprintf(stderr, "\r%50s\r", "");
    }

private:
    bool enabled;
    int shown = -1;
};

bool writeStdout(const float* mix, int64_t frames, int rate) {
    CWaveBase format;
    format.sampleRate = rate;
    size_t samples = size_t(frames) * 2;
    if (samples * 2 > CWaveFile::kMaxDataBytes) return false;
    uint8_t header[CWaveBase::kHeaderBytes];
    format.header(uint32_t(samples * 2), header);
    if (std::fwrite(header, 1, sizeof header, stdout) != sizeof header) return false;
    float scale = CWaveIO::normaliseScale(mix, samples);
    std::vector<int16_t> chunk(size_t(CWaveIO::kChunkFrames) * 2);
    for (size_t done = 0; done < samples; done += chunk.size()) {
        size_t n = std::min(chunk.size(), samples - done);
        CWaveIO::toPcm16(mix + done, n, scale, chunk.data());
        if (std::fwrite(chunk.data(), sizeof(int16_t), n, stdout) != n) return false;
    }
    return std::fflush(stdout) == 0;
}

std::string clock(double seconds) {
    char text[32];
    int m = int(seconds / 60);
    std::snprintf(text, sizeof text, "%d:%04.1f", m, seconds - 60.0 * m);
    return text;
}

}  // namespace

int cmdRender(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    SongRenderRequest req;
    std::string input, output, saveProject;
    int inputPart = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        const char* v = hasValue ? argv[i + 1] : "";
        long n = 0;
        float f = 0;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a.size() > 1 && a[0] == '-' && a != "-" && !hasValue) return usageError(a + " needs a value");
        if (a == "-o") {
            output = v;
        } else if (a == "--part") {
            std::string s = v;
            size_t colon = s.find(':');
            if (!parseInt(s.substr(0, colon).c_str(), 1, 8, n)) return usageError("--part takes 1..8 or N:FILE.mid");
            if (colon == std::string::npos)
                inputPart = int(n - 1);
            else
                req.midi.push_back({int(n - 1), s.substr(colon + 1)});
        } else if (a == "--lang") {
            if (std::strcmp(v, "en") && std::strcmp(v, "de")) return usageError("--lang takes en or de");
            req.language = std::strcmp(v, "de") == 0 ? 1 : 0;
        } else if (a == "--channel") {
            if (std::strcmp(v, "auto") == 0)
                req.channel = kImportChannelAuto;
            else if (parseInt(v, 1, 16, n))
                req.channel = int(n - 1);
            else
                return usageError("--channel takes auto or 1..16");
        } else if (a == "--tempo") {
            if (!parseFloat(v, 10, 1000, f)) return usageError("--tempo takes 10..1000 beats per minute");
            req.tempo = f;
        } else if (a == "--rate") {
            if (!parseInt(v, 1, 1000000, n) || std::find(std::begin(kRates), std::end(kRates), n) == std::end(kRates))
                return usageError("--rate takes 96000, 88200, 48000, 44100, 32000 or 22050");
            req.rate = int(n);
        } else if (a == "--choir") {
            if (!parseChoir(v, req.choir))
                return usageError("--choir takes VOICES (1..64) and up to four values 0..1: DETUNE,JITTER,GENDER,PAN");
        } else if (a == "--set") {
            // NAME for every singing part, N:NAME for part N.
            std::string s = v;
            size_t colon = s.find(':');
            std::string name = colon == std::string::npos ? s : s.substr(colon + 1);
            if (name.empty() || name.find('/') != std::string::npos ||
                (colon != std::string::npos && !parseInt(s.substr(0, colon).c_str(), 1, 8, n)))
                return usageError("--set takes NAME or N:NAME of a phoneme set in Data/");
            (colon == std::string::npos ? req.phonemeSet : req.partSet[n - 1]) = name;
        } else if (a == "--mix") {
            std::string s = v;
            size_t colon = s.find(':');
            if (colon == std::string::npos || !parseInt(s.substr(0, colon).c_str(), 1, 8, n) ||
                !parseMix(s.substr(colon + 1), int(n - 1), kMixerNames, req.mix))
                return usageError("--mix takes N:NAME=V,... with NAME reverb, chorus, level or pan and V 0..127");
        } else if (a == "--master") {
            if (!parseMix(v, -1, kMasterNames, req.mix))
                return usageError("--master takes NAME=V,... (level, pan, reverb, predelay, time, size, structure, "
                                  "fusion, damping, on 0..127; preset 0..23)");
        } else if (a == "--param") {
            std::string s = v;
            size_t colon = s.find(':');
            if (colon == std::string::npos || !parseInt(s.substr(0, colon).c_str(), 1, 8, n) ||
                !parseParams(s.substr(colon + 1), int(n - 1), req.voice))
                return usageError("--param takes N:P=X,... with P 0..85 and X 0..1");
        } else if (a == "--block") {
            if (!parseInt(v, 1, 65536, n)) return usageError("--block takes 1..65536 frames");
            req.block = int(n);
        } else if (a == "--seed") {
            if (!parseInt(v, 0, 0x7FFFFFFF, n)) return usageError("--seed takes a whole number");
            req.seed = uint32_t(n);
        } else if (a == "--save-project") {
            saveProject = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (input.empty()) {
            input = a;
            continue;
        } else {
            return usageError("one input only (more MIDI files go in with --part N:FILE.mid)");
        }
        ++i;  // the option's value
    }
    if (input.empty() && req.midi.empty()) return usageError("no input");
    if (output.empty() && saveProject.empty()) return usageError("no output (-o OUT.wav, or - for stdout)");
    if (!input.empty()) {
        if (endsWith(input, ".qlp"))
            req.project = input;
        else
            req.midi.insert(req.midi.begin(), {inputPart, input});
    }

    const std::string folder = toolInstallationFolder();
    CSongRender song;
    std::string error;
    std::vector<std::string> warnings;
    if (!song.prepare(req, error, warnings)) return fail(error);
    for (const std::string& w : warnings) std::fprintf(stderr, "lyrena render: %s\n", w.c_str());
    if (!saveProject.empty() && !song.saveProject(saveProject.c_str()))
        return fail("cannot write the project " + saveProject);
    if (output.empty()) return warnings.empty() ? 0 : 1;

    VstHost host;
    const std::string plugin = folder + "lyrena.so";
    if (!host.load(plugin, error)) return fail(error);
    host.start(float(req.rate), req.block);

    ProgressBar bar(isatty(STDERR_FILENO) != 0);
    std::vector<float> mix;
    int64_t frames = 0;
    bool ok = song.render(host, mix, frames, error, [&](double share) { bar.show(share); });
    bar.clear();
    host.unload();
    if (!ok) return fail(error);

    const size_t samples = size_t(frames) * 2;
    float peak = 0;
    for (size_t i = 0; i < samples; ++i) peak = std::max(peak, std::fabs(mix[i]));
    const float written = peak * CWaveIO::normaliseScale(mix.data(), samples);
    const bool toStdout = output == "-";
    if (toStdout) {
        if (!writeStdout(mix.data(), frames, req.rate)) return fail("cannot write the WAV data to stdout");
    } else {
        auto wave = std::make_unique<CWaveIO>();
        if (!wave->writeChoir(output.c_str(), req.rate, mix.data(), frames)) return fail("cannot write " + output);
    }

    const double seconds = double(frames) / req.rate;
    const double songSeconds = double(song.songFrames()) / req.rate;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double rtf = seconds > 0 ? wall / seconds : 0;
    char peakText[64];
    if (written > 0 && written < peak)
        std::snprintf(peakText, sizeof peakText, "%.1f dBFS (scaled from %+.1f)", 20 * std::log10(double(written)),
                      20 * std::log10(double(peak)));
    else if (written > 0)
        std::snprintf(peakText, sizeof peakText, "%.1f dBFS", 20 * std::log10(double(written)));
    else
        std::snprintf(peakText, sizeof peakText, "silent");
    char copies[32] = "";
    if (req.choir.voices > 1) std::snprintf(copies, sizeof copies, ", choir of %d", req.choir.voices);
    std::fprintf(toStdout ? stderr : stdout,
                 "%s: %s (song %.2f s + tail %.2f s) at %d Hz%s, peak %s, real-time factor %.3f (%.1fx real time)\n",
                 toStdout ? "stdout" : output.c_str(), clock(seconds).c_str(), songSeconds, seconds - songSeconds,
                 req.rate, copies, peakText, rtf, rtf > 0 ? 1 / rtf : 0.0);
    return warnings.empty() ? 0 : 1;
}
