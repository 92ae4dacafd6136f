// formant_reader WAV STRETCHES F0: F1 and F2 of steady stretches of a
// rendered WAV file (16-bit PCM or 32-bit float, any channel count, mixed to
// mono), read as the vowel test reads them (harmonic_envelope.h), for
// scripts/measure/vowel_table.py. STRETCHES is a table "label start end"
// (seconds, one header line); prints "label F1 F2" per stretch.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/harmonic_envelope.h"

namespace {

uint32_t le(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool readWave(const char* path, std::vector<float>& mono, double& rate) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    int format = 0, channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const size_t size = le(&b[at + 4], 4), body = at + 8;
        if (size > b.size() - body) return false;
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && size >= 16) {
            format = int(le(&b[body], 2));
            channels = int(le(&b[body + 2], 2));
            rate = le(&b[body + 4], 4);
            bits = int(le(&b[body + 14], 2));
        } else if (std::memcmp(&b[at], "data", 4) == 0 && channels > 0) {
            const bool pcm16 = format == 1 && bits == 16, float32 = format == 3 && bits == 32;
            if (!pcm16 && !float32) return false;
            const size_t frame = size_t(channels) * size_t(bits / 8), frames = size / frame;
            mono.assign(frames, 0);
            for (size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const unsigned char* p = &b[body + i * frame + size_t(c) * size_t(bits / 8)];
                    float v;
                    if (pcm16) {
                        v = float(int16_t(le(p, 2))) / 32768;
                    } else {
                        const uint32_t u = le(p, 4);
                        std::memcpy(&v, &u, 4);
                    }
                    mono[i] += v / float(channels);
                }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: formant_reader WAV STRETCHES F0\n");
        return 2;
    }
    std::vector<float> x;
    double rate = 0;
    if (!readWave(argv[1], x, rate) || rate <= 0) {
        std::fprintf(stderr, "formant_reader: cannot read %s\n", argv[1]);
        return 1;
    }
    const double f0 = std::atof(argv[3]);
    std::ifstream table(argv[2]);
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream row(line);
        std::string label;
        double t0 = 0, t1 = 0;
        if (!(row >> label >> t0 >> t1)) continue;
        const size_t from = size_t(t0 * rate), to = std::min(size_t(t1 * rate), x.size());
        envelope::Peaks p;
        if (f0 > 0 && from < to) {
            std::vector<double> db = envelope::harmonicLevels(x, rate, from, to, f0, int(3200 / f0));
            envelope::removeLoudnessShelf(db, f0, 1.0);
            p = envelope::formantPeaks(db, f0);
        }
        std::printf("%s %.0f %.0f\n", label.c_str(), p.f1, p.f2);
    }
    return 0;
}
