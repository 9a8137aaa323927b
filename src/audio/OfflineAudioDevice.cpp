#include "audio/OfflineAudioDevice.h"

#include <algorithm>

namespace vyn {

OfflineAudioDevice::OfflineAudioDevice(int channels, double sampleRate) {
    format_.sampleRate = sampleRate > 0 ? sampleRate : 48000.0;
    format_.channels = static_cast<std::uint32_t>(std::clamp(channels, 1, kMaxOutputChannels));
    format_.deviceChannels = format_.channels;
    format_.bufferFrames = kMaxBlockFrames;
    format_.periodFrames = kMaxBlockFrames;
    format_.backendName = "offline";
}

bool OfflineAudioDevice::open(IRenderTarget& engine) {
    if (open_) return true;
    if (preparedRate_ != format_.sampleRate) {
        engine.prepare(format_.sampleRate, kMaxBlockFrames);
        preparedRate_ = format_.sampleRate;
    }
    engine_ = &engine;
    open_ = true;
    return true;
}

void OfflineAudioDevice::close() {
    running_ = false;
    open_ = false;
    engine_ = nullptr;
}

bool OfflineAudioDevice::start() {
    if (!open_) {
        error_ = "start() called before open()";
        return false;
    }
    running_ = true;
    return true;
}

bool OfflineAudioDevice::stop() {
    running_ = false;
    return true;
}

bool OfflineAudioDevice::renderInto(float* out, long frames) {
    if (!running_ || !engine_) return false;
    router_.fill(*engine_, out, static_cast<int>(format_.channels), frames);
    return true;
}

} // namespace vyn
