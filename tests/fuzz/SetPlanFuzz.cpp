// The Set Plan parser on any text: what it accepts writes back as text that parses to the same
// plan (the local file is rewritten at every change and undo goes through it), merging that text
// into the plan changes nothing, and the stick text parses too. A failed parse leaves the plan as
// it was.

#include "FuzzTarget.h"
#include "library/SetPlan.h"

#include <string>
#include <string_view>

VYN_FUZZ_TARGET(setplan) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string before = "VYNSETPLAN 1\nplaylist Kept\ngroup 2\na\nb\n";
    vyn::SetPlan plan;
    vyn::fuzz::require(plan.parse(before).empty(), "the reference plan parses");
    if (!plan.parse(text).empty()) {
        vyn::fuzz::require(plan.fullText() == before, "a failed parse leaves the plan as it was");
        return;
    }
    const std::string written = plan.fullText();
    vyn::SetPlan again;
    vyn::fuzz::require(again.parse(written).empty() && again.fullText() == written,
                       "what is written reads back the same");
    vyn::fuzz::require(again.merge(written).empty() && again.fullText() == written,
                       "merging the plan's own text changes nothing");
    vyn::SetPlan stick;
    vyn::fuzz::require(stick.parse(plan.stickText()).empty(), "the stick text parses");
}
