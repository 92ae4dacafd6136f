// Any bytes as a project or voice preset file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "files/project_file.h"
#include "plugin/vst_synth.h"

using namespace vst;

namespace {
IntPtr fuzzHost(AEffect*, Int32 opcode, Int32, IntPtr, void*, float) { return opcode == audioMasterVersion ? 2400 : 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CVSTSynth* synth = new CVSTSynth(fuzzHost);
    static const std::string path = "/tmp/lyrena_project_fuzz_" + std::to_string(getpid());
    if (size < 1) return 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    if (data[0] & 1)
        CProjectFile::loadVoiceIntoPart(*synth, path.c_str(), data[0] >> 5);
    else
        CProjectFile::loadProject(*synth, path.c_str());
    return 0;
}
