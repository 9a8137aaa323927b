#pragma once
// What the analysis files of one track add to it: the beat grid, the cue marks and the detailed
// waveform, gathered from the .DAT file and its .EXT companion.
//
// Cue mapping: hot cues A-H become hot-cue marks (kind 1) with slots 0-7, loops become loop marks
// (kind 2) with their end and their slot (or -1), memory cues become kind 0 without a slot. Both
// files usually list the same cues, and the .EXT lists them twice (plain and extended): each cue
// is kept once, from an extended list when there is one.
//
// Threading: pure functions; any thread.

#include "dsp/Waveform.h"
#include "engine/BeatGrid.h"
#include "library/AnlzReader.h"

#include <string>
#include <vector>

namespace vyn {

struct TrackAnalysis {
    int filesRead = 0;
    BeatGrid grid; // from the first file that holds one
    std::vector<CueMark> cues;
    Waveform waveform; // no columns when neither file holds a detail waveform
    bool colourWaveform = false;
};

// Cue marks for the cues of all analysis files of one track, duplicates removed, by start time.
std::vector<CueMark> anlzCueMarks(const std::vector<AnlzCue>& cues);

// Reads `first` (the .DAT) and then `second` (the .EXT; derived from `first` when empty), each by
// its descriptor when one is given (>= 0; the caller keeps it), else by path. Files that cannot
// be read are skipped. Light mode (`full` false) reads no waveform.
TrackAnalysis readTrackAnalysis(const std::string& first, const std::string& second, int firstFd,
                                int secondFd, bool full);

} // namespace vyn
