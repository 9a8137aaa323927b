#pragma once
// Renders a set replay to audio without a device, faster than real time, through the same
// EngineHost, render block and output routing a device uses, and through the same ReplaySchedule
// the live replay player follows. Command events are pushed at their frames (the render is split
// so each lands at the start of a block); loads are decoded ahead while rendering goes on, and
// rendering waits at a load's frame only when its track is not decoded yet.

#include "engine/SetReplay.h"
#include "engine/SoundOptions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vyn {

class EngineHost;
struct LoadRequest;

struct OfflineRenderOptions {
    double sampleRate = 48000.0;
    int channels = 2;
    int blockFrames = 256;
    double seconds = -1.0; // < 0: until one second after the last event
    double loadTimeoutSeconds = 120.0;
    SoundOptions sound;
};

struct OfflineRenderResult {
    bool ok = false;
    std::string error;
    std::uint64_t frames = 0;
    std::uint64_t commandsPushed = 0;
};

// Receives each rendered chunk: `frames` interleaved frames of options.channels. Returning false
// stops the render with an error.
using RenderSink = std::function<bool(const float* interleaved, std::size_t frames)>;

// Fills the load request for an event that names a catalogue track (trackId > 0): its file, grid,
// cues and key. Returns false when the id is unknown (the event's path is loaded instead); the
// default resolver knows no ids.
using TrackResolver = std::function<bool(int trackId, LoadRequest& request)>;

// Called once the engine is open and before the first event, e.g. to prime state in tests.
using EngineHook = std::function<void(EngineHost& engine)>;

OfflineRenderResult renderSetReplay(const SetReplay& replay, const OfflineRenderOptions& options,
                                    const RenderSink& sink, const TrackResolver& resolver = {},
                                    const EngineHook& beforeFirstEvent = {});

} // namespace vyn
