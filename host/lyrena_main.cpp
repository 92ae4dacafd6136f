// lyrena: the command line of the singing synthesizer.
#include <cstdio>
#include <cstring>

#include "host/commands.h"

const Command kCommands[] = {
    {"info", cmdInfo, "lyrena info PLUGIN.so           identity, programs and parameters of a VST 2.4 plug-in"},
    {"phd", cmdPhd, "lyrena phd dump SET.phd | build SET.txt -o SET.phd   phoneme set to / from its text form"},
    {"render", cmdRender, "lyrena render SONG.qlp|SONG.mid -o OUT.wav [options]  sing a song into a WAV file (render --help)"},
    {"phonemes", cmdPhonemes, "lyrena phonemes [--lang en|de] SYL- LA- BLES ...  phonemes of lyric syllables"},
    {nullptr, nullptr, nullptr},
};

static int usage(std::FILE* out) {
    std::fprintf(out, "usage:\n");
    for (const Command* c = kCommands; c->name; ++c) std::fprintf(out, "  %s\n", c->usage);
    return out == stdout ? 0 : 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    if (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "help"))
        return usage(stdout);
    for (const Command* c = kCommands; c->name; ++c)
        if (std::strcmp(argv[1], c->name) == 0) return c->run(argc - 1, argv + 1);
    std::fprintf(stderr, "lyrena: unknown command '%s' (try 'lyrena --help')\n", argv[1]);
    return 2;
}
