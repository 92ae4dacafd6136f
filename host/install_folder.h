// Where the command-line tool finds the instrument: $LYRENA_HOME, else the
// LYRENA/ folder built beside the tool (build/lyrena next to build/LYRENA/).
#pragma once

#include <string>

// Sets LYRENA_HOME to the folder beside the tool when it is unset, so that
// code of the instrument running in the tool reads the same data files as
// the plug-in it loads; returns the folder, ending with '/'.
std::string toolInstallationFolder();
