#pragma once
// An output device: owns the system's audio stream and the real-time render thread that calls
// the engine's render block. Implementations: RtAudioDevice (JACK, ALSA, PulseAudio through
// RtAudio), NullAudioDevice (silent, paced by the clock) and OfflineAudioDevice (driven by the
// caller, for rendering to files).
//
// Threading: open/close/start/stop/format/latencyFrames/lastError are called from the owning
// thread; the render thread only runs the render block.

#include "audio/IRenderTarget.h"

#include <cstdint>
#include <string>

namespace vyn {

struct DeviceFormat {
    double sampleRate = 0.0;
    std::uint32_t bufferFrames = 0;
    std::uint32_t periodFrames = 0;
    std::uint32_t channels = 0;       // channels of the opened stream
    std::uint32_t deviceChannels = 0; // the larger of the endpoint's and the stream's
    bool lowLatency = false;
    std::string backendName;  // e.g. "ALSA", "JACK", "PulseAudio", "null"
    std::string endpointName; // the device's display name, may be empty
};

class IAudioDevice {
public:
    virtual ~IAudioDevice() = default;
    // Negotiates the stream and prepares `engine` for its rate. True at once when already open.
    virtual bool open(IRenderTarget& engine) = 0;
    // Stops if needed and releases the stream.
    virtual void close() = 0;
    virtual bool start() = 0;
    virtual bool stop() = 0;
    virtual bool isRunning() const = 0;
    virtual DeviceFormat format() const = 0;
    virtual std::int64_t latencyFrames() const = 0;
    // The text of the last failure, kept until the next one.
    virtual std::string lastError() const = 0;
};

} // namespace vyn
