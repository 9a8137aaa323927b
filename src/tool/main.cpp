// vyn-tool: the workbench for work without a device or window (offline render, decoding,
// stem separation, library and analysis dumps, MIDI monitor).

#include "app/ProcessSetup.h"
#include "tool/ToolCommands.h"

#include <cstdio>
#include <cstring>

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int, char**);
    const char* synopsis;
};

const Subcommand kSubcommands[] = {
    {"render", vyn::tool::runRender,
     "render [--rate R] [--channels N] [--block B] [--seconds S] [--eq-type 0|1] "
     "[--keylock-quality 0|1] [--interpolation 0|1] "
     "[--library FILE.xml|STICK_ROOT] LOG.vynset OUT.wav"},
    {"decode", vyn::tool::runDecode, "decode IN OUT.wav"},
    {"stems", vyn::tool::runStems, "stems IN OUTPREFIX"},
    {"waveform", vyn::tool::runWaveform, "waveform IN"},
    {"library", vyn::tool::runLibrary,
     "library xml [--summary] [--track ID] FILE | "
     "library usb [--summary] [--track ID] [--analysis] STICK_ROOT"},
    {"anlz", vyn::tool::runAnlz, "anlz FILE"},
    {"link", vyn::tool::runLink, "link [--port P] [--library FILE.xml|STICK_ROOT] [TRACK...]"},
    {"midi", vyn::tool::runMidi,
     "midi monitor [--api alsa|jack] [--clock] [--seconds S] [--count N] | midi devices | "
     "midi check FILE.vynmap"},
};

void usage() {
    std::fputs("usage: vyn-tool COMMAND [ARGS]\n\ncommands:\n", stderr);
    for (const Subcommand& s : kSubcommands)
        std::fprintf(stderr, "  %s\n", s.synopsis);
}

} // namespace

int main(int rawArgc, char** rawArgv) {
    vyn::ProcessSetup process(rawArgc, rawArgv);
    if (!process.ok()) return 1;
    const int argc = process.argc();
    char** argv = process.argv();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage();
        return argc < 2 ? 2 : 0;
    }
    for (const Subcommand& s : kSubcommands)
        if (std::strcmp(argv[1], s.name) == 0) return s.run(argc - 2, argv + 2);
    std::fprintf(stderr, "vyn-tool: unknown command '%s'\n", argv[1]);
    usage();
    return 2;
}
