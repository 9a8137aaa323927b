// The platform-independent part of choosing the output device: the silent device.

#include "audio/AudioDeviceFactory.h"

#include "audio/NullAudioDevice.h"

#include <cstdlib>
#include <string_view>

namespace vyn {

bool chooseNullDevice(const char* envApi, AudioDeviceChoice& c) {
    const std::string_view api = envApi ? envApi : "";
    if (api.substr(0, 4) != "null") return false;
    int channels = 2;
    if (api.size() > 5 && api[4] == ':') {
        channels = std::atoi(std::string(api.substr(5)).c_str());
        if (channels < 1 || channels > kMaxOutputChannels) {
            c.error = "VYN_AUDIO=null:N needs a channel count from 1 to 32";
            return true;
        }
    } else if (api.size() != 4) {
        c.error = "unknown VYN_AUDIO value: " + std::string(api);
        return true;
    }
    c.device = std::make_unique<NullAudioDevice>(channels);
    c.facility = "null";
    return true;
}

} // namespace vyn
