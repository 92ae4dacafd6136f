// Subcommands of the lyrena command-line tool.
#pragma once

int cmdInfo(int argc, char** argv);
int cmdPhonemes(int argc, char** argv);
int cmdPhd(int argc, char** argv);
int cmdRender(int argc, char** argv);

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);  // argv[0] is the subcommand
    const char* usage;
};

// All subcommands, ended by a null name.
extern const Command kCommands[];
