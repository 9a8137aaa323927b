#include "audio/AudioDeviceFactory.h"

#include "audio/WasapiAudioDevice.h"

#include <cstdlib>
#include <string>

namespace vyn {

AudioDeviceChoice createAudioDeviceFromEnvironment() {
    AudioDeviceChoice c;
    const char* envApi = std::getenv("VYN_AUDIO");
    if (chooseNullDevice(envApi, c)) return c;
    const std::string api = envApi ? envApi : "";
    if (!api.empty() && api != "wasapi") {
        c.error = "unknown VYN_AUDIO value: " + api + " (use wasapi or null[:N])";
        return c;
    }
    c.device = std::make_unique<WasapiAudioDevice>();
    c.facility = "WASAPI";
    return c;
}

const char* hostSentence() {
    return "Starts the Windows WASAPI host.";
}

} // namespace vyn
