#pragma once
// Asks the PulseAudio server (or PipeWire's PulseAudio service) which channel count and rate the
// sink behind ALSA's "default"/"pulse" device has. ALSA's plugin device accepts any channel
// count up to 32, so without this a stereo sink would be fed 32 channels and an 8-channel sink
// could not be told apart from a stereo one.

#include <optional>
#include <string>

namespace vyn {

struct PulseSinkInfo {
    std::string name;
    std::string description;
    int channels = 0;
    double sampleRate = 0.0;
};

// The sink named by PULSE_SINK, else the server's default sink; nullopt when no server answers
// within about a second.
std::optional<PulseSinkInfo> probePulseSink();

} // namespace vyn
