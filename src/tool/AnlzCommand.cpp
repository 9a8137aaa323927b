// vyn-tool anlz FILE: reads one analysis file in full and prints what the reader found, so the
// reader can be checked from outside: {"sections": [{"tag", "headerLength", "totalLength"}],
// "grid", "cues" (as in the library JSON), "waveform": {"columns", "columnsPerSecond"} or null}.

#include "library/AnlzReader.h"
#include "library/TrackAnalysis.h"
#include "support/JsonWriter.h"
#include "tool/LibraryJson.h"
#include "tool/ToolCommands.h"

#include <cstdio>
#include <string>

namespace vyn::tool {

int runAnlz(int argc, char** argv) {
    if (argc != 1 || argv[0][0] == '-') {
        std::fputs("usage: vyn-tool anlz FILE\n", stderr);
        return 2;
    }
    const AnlzResult r = readAnlzFile(argv[0], true);
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return 1;
    }
    JsonWriter w;
    w.beginObject();
    w.key("sections").beginArray();
    for (const AnlzSection& s : r.sections) {
        w.beginObject();
        w.key("tag").string(s.tag);
        w.key("headerLength").unsignedInteger(s.headerLength);
        w.key("totalLength").unsignedInteger(s.totalLength);
        w.endObject();
    }
    w.endArray();
    w.key("grid");
    writeGrid(w, r.grid);
    w.key("cues");
    writeCues(w, anlzCueMarks(r.cues));
    w.key("waveform");
    if (r.waveform.columns.empty()) {
        w.null();
    } else {
        w.beginObject();
        w.key("columns").unsignedInteger(r.waveform.columns.size());
        w.key("columnsPerSecond").number(r.waveform.columnsPerSecond);
        w.endObject();
    }
    w.endObject();
    std::string out = w.take();
    out += '\n';
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fputs("vyn-tool anlz: could not write the output\n", stderr);
        return 1;
    }
    return 0;
}

} // namespace vyn::tool
