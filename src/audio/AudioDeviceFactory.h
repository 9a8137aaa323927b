#pragma once
// Chooses the output device from the environment:
//   Linux:   VYN_AUDIO=jack|alsa|pulse|null[:CHANNELS]  (unset: JACK when a server runs, else
//            ALSA default); VYN_AUDIO_DEVICE=<part of a device name>
//   Windows: VYN_AUDIO=wasapi|null[:CHANNELS]  (unset: WASAPI's default output)
// `facility` receives the name used in messages ("ALSA", "JACK", "PulseAudio", "WASAPI", "null").
// One implementation per platform (AudioDeviceFactory.cpp for RtAudio, AudioDeviceFactoryWindows
// .cpp); the null device is chosen the same way everywhere.

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

// The silent device when `api` is "null" or "null:N" (N from 1 to 32). False when `api` names
// something else; an out-of-range N gives a choice with only the error set.
bool chooseNullDevice(const char* api, AudioDeviceChoice& choice);

// The usage text's sentence naming this platform's host, e.g. "Starts the Windows WASAPI host."
const char* hostSentence();

} // namespace vyn
