#include "audio/AudioDeviceFactory.h"

#include "audio/NullAudioDevice.h"
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

    if (api.substr(0, 4) == "null") {
        int channels = 2;
        if (api.size() > 5 && api[4] == ':') {
            channels = std::atoi(std::string(api.substr(5)).c_str());
            if (channels < 1 || channels > kMaxOutputChannels) {
                c.error = "VYN_AUDIO=null:N needs a channel count from 1 to 32";
                return c;
            }
        } else if (api.size() != 4) {
            c.error = "unknown VYN_AUDIO value: " + std::string(api);
            return c;
        }
        c.device = std::make_unique<NullAudioDevice>(channels);
        c.facility = "null";
        return c;
    }
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

} // namespace vyn
