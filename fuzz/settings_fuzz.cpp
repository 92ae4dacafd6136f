// Any bytes as a settings file: the reader never fails hard and the values
// it keeps stay within their buffers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "files/global_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const std::string path = "/tmp/lyrena_settings_fuzz_" + std::to_string(getpid()) + ".ini";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CGlobalData settings;
    settings.read(path, "/opt/lyrena/");
    if (std::strlen(settings.projectFolder) > CGlobalData::kPathLen) __builtin_trap();
    if (std::strlen(settings.midiDeviceIn) > CGlobalData::kDeviceLen) __builtin_trap();
    return 0;
}
