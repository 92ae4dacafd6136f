// Project and voice preset files with any damage: a valid file with bytes
// changed and cut at any length.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "files/project_file.h"
#include "plugin/vst_synth.h"

using namespace vst;

namespace {

IntPtr fuzzHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CVSTSynth* synth = new CVSTSynth(fuzzHost);
    static const std::string path = "/tmp/lyrena_project_fuzz_" + std::to_string(getpid());
    static std::vector<std::uint8_t> valid[2];
    if (valid[0].empty()) {
        CProjectFile::saveProject(*synth, path.c_str());
        valid[0] = bytesOf(path);
        CProjectFile::saveVoice(*synth, path.c_str());
        valid[1] = bytesOf(path);
    }
    if (size < 3) return 0;
    bool voice = data[0] & 1;
    const std::vector<std::uint8_t>& base = valid[voice];
    size_t length = (size_t(data[1]) << 8 | data[2]) * (base.size() + 64) / 65535;
    std::vector<std::uint8_t> file(base.begin(), base.begin() + long(std::min(length, base.size())));
    file.resize(length, 0);
    for (size_t i = 3; i + 3 < size && !file.empty(); i += 4)
        file[(size_t(data[i]) << 16 | size_t(data[i + 1]) << 8 | data[i + 2]) % file.size()] = data[i + 3];
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    if (voice)
        CProjectFile::loadVoiceIntoPart(*synth, path.c_str(), data[0] >> 5);
    else
        CProjectFile::loadProject(*synth, path.c_str());
    return 0;
}
