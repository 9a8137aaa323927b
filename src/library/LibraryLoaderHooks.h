#pragma once
// The library's part of loading a track: USB staging (loader step 4) and the analysis files
// (step 5). Install with engine.loader().setHooks(makeLibraryLoaderHooks(cache)) before the
// engine opens; the cache must outlive the engine.
//
// The analysis hook reads the request's first analysis file and its companion (by descriptor when
// given, else by path; staged through the cache like the audio when that lives on a removable
// drive). A colour or monochrome detail waveform becomes the deck's waveform; when the request
// carries no grid, the files' beat grid is used, and when it carries no cues, their cue marks.
//
// Threading: the hooks run on the loader's worker threads; the cache they share is thread-safe.

#include "engine/TrackLoader.h"

namespace vyn {

struct CatalogueTrack;
class UsbTrackCache;

LoaderHooks makeLibraryLoaderHooks(UsbTrackCache& cache);

// A load of a catalogue track onto `deck`: its id, effective path, analysis path, grid, cues and
// key. Copy what the track holds while the catalogue lock is held; submit after releasing it.
LoadRequest makeLoadRequest(const CatalogueTrack& track, int deck);

} // namespace vyn
