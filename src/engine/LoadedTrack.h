#pragma once
// One loaded track: decoded audio plus the timing data the library knows about it. Built on the
// loader thread, handed to the audio thread inside LOAD_TRACK / REPLACE_TRACK, and destroyed on
// a non-audio thread after the engine retires it.
//
// The source is immutable and shared: a stem job on the loader thread may keep reading the audio
// of a track the deck has already let go of. The audio thread only reads through the pointer and
// never copies it, so no reference count changes there.

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
    std::shared_ptr<const SampleSource> source;
    BeatGrid grid;
    std::vector<CueMark> cues;
    bool hasStems = false;        // the source is a StemSource
    std::uint8_t stemVariant = 0; // with stems: 1 when a neural separator made them, else 0
    KeyCode key;                  // unknown unless the library supplied a key text
};

} // namespace vyn
