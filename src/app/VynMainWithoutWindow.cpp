// vynMain for builds without a window (Windows until its window lands): the command-line host
// only.
#include "app/CommandLine.h"
#include "app/CommandLineHost.h"
#include "app/window/VynMain.h"

#include <cstdio>

namespace vyn {

int vynMain(int argc, char** argv) {
    const CommandLine cl = parseCommandLine(argc, argv);
    switch (cl.outcome) {
    case CommandLine::Outcome::Help:
        std::fputs(usageText(argv[0]).c_str(), stderr);
        return 0;
    case CommandLine::Outcome::Usage:
        std::fputs(usageText(argv[0]).c_str(), stderr);
        return 2;
    case CommandLine::Outcome::Window:
        std::fputs("VYN has no window yet in this build; use --file PATH or --probe\n", stderr);
        return 1;
    case CommandLine::Outcome::Host:
        return runCommandLineHost(cl.path, cl.deck, cl.probe);
    }
    return 1;
}

} // namespace vyn
