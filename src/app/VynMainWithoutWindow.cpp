// vynMain for builds without a window (Windows until its window lands): the command-line host
// only.
#include "app/CommandLine.h"
#include "app/CommandLineHost.h"
#include "app/window/VynMain.h"

#include <cstdio>

namespace vyn {

int vynMain(int argc, char** argv) {
    const CommandLine cl = parseCommandLine(argc, argv);
    if (const std::optional<int> code = runUnlessWindow(cl, argv[0])) return *code;
    std::fputs("VYN has no window yet in this build; use --file PATH or --probe\n", stderr);
    return 1;
}

} // namespace vyn
