#pragma once
// Renders a set replay to audio without a device, faster than real time, through the same
// EngineHost, render block and output routing a device uses. Command events are pushed at their
// frames (the render is split so each lands at the start of a block); a LOAD_TRACK event is handed
// to the track loader and rendering waits for its result.

#include "engine/SetReplay.h"
#include "engine/SoundOptions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vyn {

class EngineHost;
class TrackLoader;

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

// Queues a load for an event that names a catalogue track (trackId > 0). Returns false when the
// id is unknown; the default resolver knows no ids.
using TrackResolver = std::function<bool(TrackLoader& loader, int deck, int trackId)>;

// Called once the engine is open and before the first event, e.g. to prime state in tests.
using EngineHook = std::function<void(EngineHost& engine)>;

OfflineRenderResult renderSetReplay(const SetReplay& replay, const OfflineRenderOptions& options,
                                    const RenderSink& sink, const TrackResolver& resolver = {},
                                    const EngineHook& beforeFirstEvent = {});

} // namespace vyn
