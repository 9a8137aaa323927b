#pragma once
// Chooses the output device from the environment:
//   VYN_AUDIO=jack|alsa|pulse|null[:CHANNELS]  (unset: JACK when a server runs, else ALSA default)
//   VYN_AUDIO_DEVICE=<part of a device name>
// `facility` receives the name used in messages ("ALSA", "JACK", "PulseAudio", "null").

#include "audio/IAudioDevice.h"

#include <memory>
#include <string>

namespace vyn {

struct AudioDeviceChoice {
    std::unique_ptr<IAudioDevice> device;
    std::string facility;
    std::string error; // set when VYN_AUDIO names nothing we know
};

AudioDeviceChoice createAudioDeviceFromEnvironment();

} // namespace vyn
