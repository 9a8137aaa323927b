// Any bytes given to the analysis reader, in full and in light mode: it must never read outside
// the input, and both modes must agree on the sections, grid and cues they find.

#include "FuzzTarget.h"
#include "library/AnlzReader.h"
#include "library/TrackAnalysis.h"

VYN_FUZZ_TARGET(anlz) {
    const vyn::AnlzResult full = vyn::parseAnlz(data, size);
    const vyn::AnlzResult light = vyn::parseAnlzLight(data, size);
    vyn::anlzCueMarks(full.cues);
    // Light mode skips sections above its own cap, so only smaller inputs must agree exactly.
    if (!full.ok || !light.ok || size > vyn::kMaxLightSectionBytes) return;
    vyn::fuzz::require(full.sections.size() == light.sections.size() &&
                           full.cues.size() == light.cues.size() &&
                           full.grid.beats.size() == light.grid.beats.size(),
                       "light and full reads agree");
}
