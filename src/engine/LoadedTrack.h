#pragma once
// One loaded track: decoded audio plus the timing data the library knows about it. Built on the
// loader thread, handed to the audio thread inside LOAD_TRACK / REPLACE_TRACK, and destroyed on
// a non-audio thread after the engine retires it.

#include "audio/SampleSource.h"
#include "dsp/KeyNotation.h"
#include "engine/BeatGrid.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vyn {

struct LoadedTrack {
    std::int32_t id = 0; // catalogue id; 0 or less when unknown
    std::string path;
    std::unique_ptr<SampleSource> source;
    BeatGrid grid;
    std::vector<CueMark> cues;
    bool hasStems = false;
    std::uint8_t stemVariant = 0;
    KeyCode key; // unknown unless the library supplied a key text
};

} // namespace vyn
