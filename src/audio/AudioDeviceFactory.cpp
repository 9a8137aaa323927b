#include "audio/AudioDeviceFactory.h"

#include "audio/RtAudioDevice.h"
#include "support/JackServer.h"

#include <cstdlib>
#include <string_view>

namespace vyn {

AudioDeviceChoice createAudioDeviceFromEnvironment() {
    AudioDeviceChoice c;
    const char* envApi = std::getenv("VYN_AUDIO");
    const char* envDevice = std::getenv("VYN_AUDIO_DEVICE");
    const std::string deviceName = envDevice ? envDevice : "";
    std::string_view api = envApi ? envApi : "";
    if (chooseNullDevice(envApi, c)) return c;
    LinuxAudioApi chosen;
    if (api == "jack")
        chosen = LinuxAudioApi::Jack;
    else if (api == "alsa")
        chosen = LinuxAudioApi::Alsa;
    else if (api == "pulse")
        chosen = LinuxAudioApi::Pulse;
    else if (api.empty())
        chosen = jackServerRunning() ? LinuxAudioApi::Jack : LinuxAudioApi::Alsa;
    else {
        c.error =
            "unknown VYN_AUDIO value: " + std::string(api) + " (use jack, alsa, pulse or null[:N])";
        return c;
    }
    c.device = std::make_unique<RtAudioDevice>(chosen, deviceName);
    c.facility = RtAudioDevice::apiName(chosen);
    return c;
}

const char* hostSentence() {
    return "Starts the Linux JACK/ALSA host.";
}

} // namespace vyn
