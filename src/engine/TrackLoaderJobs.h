#pragma once
// The loader's records of finished work, shared by its load and stem halves (TrackLoader.cpp,
// TrackLoaderStems.cpp). Not part of the loader's interface.

#include "dsp/Waveform.h"
#include "engine/LoadedTrack.h"
#include "engine/TrackLoader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vyn {

// A finished load, waiting for poll().
struct TrackLoader::Job {
    std::uint32_t deck = 0;
    std::uint64_t generation = 0;
    std::uint32_t commandWord = 0;
    std::string path;
    bool hold = false; // a held load: poll() hands it over once released
    bool ok = false;
    std::string error;
    std::unique_ptr<LoadedTrack> track;
    std::shared_ptr<const Waveform> waveform;
    std::shared_ptr<const BeatGrid> grid;
    std::shared_ptr<const std::vector<CueMark>> cues;
    std::uint64_t audioBytes = 0;
    double sampleRate = 0.0;
};

// A finished stem job, waiting for poll() to install its track with REPLACE_TRACK.
struct TrackLoader::StemCompletion {
    std::uint32_t deck = 0;
    std::uint64_t job = 0;         // the job identity
    std::uint32_t requestWord = 0; // carried through from the request
    std::string path;
    bool ok = false;
    bool fromCache = false;
    bool neural = false;
    std::string error;
    std::unique_ptr<LoadedTrack> track; // the stem-carrying copy
    std::uint64_t stemBytes = 0;        // its stems' memory
    std::uint64_t basis = 0;            // serial of the track it was split from
};

} // namespace vyn
