#pragma once
// The stem cache: separated stems kept on disk as ".vynstem" files so a track is split only once.
// A file is named after the SHA-256 of its key (track path, frame count, sample rate, separator
// kind and model identity) and holds drums, bass and vocals; "other" is rebuilt on load as the
// original less the three, so it adds up exactly. Loading touches the file, and every store
// prunes the folder to its budgets, oldest use first.
//
// File layout (little-endian): "VYNSTEM1", byte-order mark 0x01020304 (u32), version 1 (u32),
// neural flag (u32), channels 2 (u32), frames (i64), sample rate (f64), label length L (u32),
// reserved 0 (u32), the label (L bytes), then stems 0-2 as interleaved stereo i16.
//
// Threading: the settings are process-wide behind their own mutex; the file operations may run
// on any thread (the loader's worker runs them).

#include "dsp/StemSet.h"

#include <cstdint>
#include <string>

namespace vyn {

struct StemCacheSettings {
    std::string folder;                    // empty: caching is off
    std::uint64_t byteBudget = 8ull << 30; // 0: no byte limit
    std::uint32_t fileBudget = 64;         // 0: no file limit
};

void setStemCacheSettings(const StemCacheSettings& settings);
StemCacheSettings stemCacheSettings();

// The key text a cache file is named after.
std::string stemCacheKey(const std::string& trackPath, std::int64_t frames, double sampleRate,
                         bool neural, const std::string& modelIdentity);
// The file for that key in the cache folder; empty when caching is off, the track path is empty
// or frames < 1.
std::string stemCachePath(const std::string& trackPath, std::int64_t frames, double sampleRate,
                          bool neural, const std::string& modelIdentity);

// Fills `out` from the file when it is a valid cache file for exactly these frames and this rate,
// rebuilding "other" from `original`. A missing, damaged or mismatching file is a miss (false).
bool loadStemCache(const std::string& path, const std::int16_t* original, std::int64_t frames,
                   double sampleRate, StemSet& out);
// Writes the stems through a ".part" file, renames it into place and prunes the folder. False
// (and no ".part" left behind) on failure.
bool storeStemCache(const std::string& path, const StemSet& stems);
// Deletes the least recently used cache files beyond the budgets.
void pruneStemCache();

} // namespace vyn
