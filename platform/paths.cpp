#include "platform/paths.h"

#include <cstdlib>
#include <dlfcn.h>

namespace platform {

namespace {

std::string withSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

}  // namespace

std::string installationFolder() {
    if (const char* home = std::getenv("LYRENA_HOME"); home && *home) return withSlash(home);
    Dl_info info{};
    // Any address inside this binary names the file it was loaded from.
    if (dladdr(reinterpret_cast<void*>(&installationFolder), &info) && info.dli_fname) {
        std::string file = info.dli_fname;
        size_t slash = file.rfind('/');
        if (slash != std::string::npos) return file.substr(0, slash + 1);
    }
    return "/";
}

std::string settingsFile() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return withSlash(base) + "lyrena/settings.ini";
}

}  // namespace platform
