#pragma once
// Reader of the analysis files a stick export carries per track (the "PMAI" container: a .DAT
// file with the beat grid, cue points and small previews, and its .EXT companion with detailed
// waveforms and extended cues). Full mode parses a whole file held in memory, waveforms
// included; light mode streams over a descriptor and skips waveform bodies without reading them.
//
// Threading: pure functions; any thread. Descriptors stay owned by the caller.

#include "dsp/Waveform.h"
#include "engine/BeatGrid.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

struct AnlzCue {
    std::int32_t hotCueIndex = -1; // 0-based hot-cue slot; -1 for a memory cue
    double start = 0.0;            // seconds
    double end = -1.0;             // seconds; -1 when the entry has no loop end
    bool loop = false;
    bool extended = false; // read from an extended ("PCO2") list
};

struct AnlzSection {
    char tag[5] = {};
    std::uint32_t headerLength = 0;
    std::uint32_t totalLength = 0;
};

struct AnlzResult {
    bool ok = false;
    std::string error;
    BeatGrid grid;               // empty unless a "PQTZ" section was read
    std::vector<AnlzCue> cues;   // file order
    Waveform waveform;           // columns empty unless a detail waveform was read (full mode)
    bool colourWaveform = false; // the waveform came from a colour ("PWV5") section
    std::vector<AnlzSection> sections; // every section seen, in file order
};

// Caps of what a read may hold in memory: a full read, and one section in light mode.
constexpr std::uint64_t kMaxAnlzBytes = 64ull << 20;
constexpr std::uint32_t kMaxLightSectionBytes = 4u << 20;

// "x.DAT" -> "x.EXT", "x.dat" -> "x.ext"; empty for any other extension.
std::string anlzCompanionPath(const std::string& analysisPath);

// Full mode over bytes in memory.
AnlzResult parseAnlz(const unsigned char* data, std::size_t length);
// Light mode over bytes in memory (what a light read of the same file yields).
AnlzResult parseAnlzLight(const unsigned char* data, std::size_t length);

// By path: light mode streams the file; full mode reads it whole (at most kMaxAnlzBytes).
AnlzResult readAnlzFile(const std::string& path, bool full);
// By an open descriptor, read from its start.
AnlzResult readAnlzDescriptor(int descriptor, bool full);

} // namespace vyn
