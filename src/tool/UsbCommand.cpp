// vyn-tool library usb: imports a stick export into a fresh catalogue and prints it in the same
// JSON as the XML import, so a stick can be checked from outside.

#include "library/UsbImport.h"
#include "tool/LibraryJson.h"
#include "tool/ToolArgs.h"
#include "tool/ToolCommands.h"

#include <climits>
#include <cstdio>

namespace vyn::tool {

int runLibraryUsb(int argc, char** argv) {
    static const char* kUsage =
        "usage: vyn-tool library usb [--summary] [--track ID] [--analysis] STICK_ROOT\n";
    ToolArgs args(argc, argv);
    bool summary = false;
    int trackId = 0;
    UsbImportOptions options;
    std::vector<std::string> positional;
    while (args.more()) {
        if (args.flag("--summary", summary)) continue;
        if (args.flag("--analysis", options.readAnalysis)) continue;
        if (args.option("--track", trackId, 1, INT_MAX)) continue;
        if (args.failed()) break;
        positional.push_back(args.next());
    }
    if (args.failed() || positional.size() != 1 || (summary && trackId > 0)) {
        if (args.failed()) std::fprintf(stderr, "vyn-tool library: %s\n", args.error().c_str());
        if (summary && trackId > 0)
            std::fputs("vyn-tool library: --summary and --track exclude each other\n", stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }
    Catalogue catalogue;
    const ImportResult result = importUsbStick(catalogue, positional[0], options);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    return printLibraryDump(catalogue, result.counts, summary, trackId);
}

} // namespace vyn::tool
