// The set replay reader on any bytes: a replay that reads back writes the same document again
// (written, read and written once more, the text is unchanged), with its events in frame order.

#include "FuzzTarget.h"
#include "engine/SetReplay.h"

#include <string_view>

VYN_FUZZ_TARGET(vynset) {
    const vyn::SetReplayReadResult read =
        vyn::readSetReplay(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!read.ok) {
        vyn::fuzz::require(!read.error.empty(), "a refusal says why");
        return;
    }
    for (std::size_t i = 1; i < read.replay.events.size(); ++i)
        vyn::fuzz::require(read.replay.events[i - 1].frame <= read.replay.events[i].frame,
                           "events are in frame order");
    const std::string written = vyn::writeSetReplay(read.replay);
    const vyn::SetReplayReadResult again = vyn::readSetReplay(written);
    vyn::fuzz::require(again.ok, "what was written reads back");
    vyn::fuzz::require(again.replay.events.size() == read.replay.events.size(),
                       "every event survives the round trip");
    vyn::fuzz::require(vyn::writeSetReplay(again.replay) == written,
                       "a replay that reads back writes the same document");
}
