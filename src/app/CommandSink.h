#pragma once
// Where the window's handlers send engine commands. The application posts them to the engine
// host's own ring (refusing them while a set replay owns the mix); tests collect them.

#include "engine/Command.h"

namespace vyn {

class CommandSink {
public:
    virtual ~CommandSink() = default;
    // False when the command was not accepted.
    virtual bool post(const Command& command) = 0;
};

} // namespace vyn
