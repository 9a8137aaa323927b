#pragma once
// Sets for `vyn-tool render`, made and rendered as the tool's users do: commands at frames, the
// set file, and the tool run as a process.

#include "common/TestPaths.h"
#include "engine/Command.h"
#include "engine/SetReplay.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>

namespace vyn::test {

inline ReplayEvent setCommand(std::int64_t frame, CommandType type, int deck, double value = 0.0,
                              std::string path = {}) {
    ReplayEvent e;
    e.frame = frame;
    e.command = static_cast<std::int32_t>(type);
    e.deck = deck;
    e.value = value;
    e.path = std::move(path);
    return e;
}

// Writes `set` to DIR/set.vynset and returns that path.
inline std::string writeSet(const std::string& dir, const SetReplay& set) {
    const std::string path = dir + "/set.vynset";
    std::ofstream(path) << writeSetReplay(set);
    return path;
}

} // namespace vyn::test
