// Where the plug-in finds its files and keeps its settings on this system.
#pragma once

#include <string>

namespace platform {

// The folder of the loaded plug-in binary (the installation folder), or the
// environment variable LYRENA_HOME when set; always ends with '/'.
std::string installationFolder();

// $XDG_CONFIG_HOME/lyrena/settings.ini, with ~/.config when unset.
std::string settingsFile();

}  // namespace platform
