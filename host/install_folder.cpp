#include "host/install_folder.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

std::string toolInstallationFolder() {
    if (const char* home = std::getenv("LYRENA_HOME"); home && *home) {
        std::string folder(home);
        if (folder.back() != '/') folder += '/';
        return folder;
    }
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "./LYRENA/";
    exe[n] = 0;
    std::string folder(exe);
    folder = folder.substr(0, folder.rfind('/') + 1) + "LYRENA/";
    setenv("LYRENA_HOME", folder.c_str(), 1);
    return folder;
}
