#include "audio/RtAudioDevice.h"

#include "audio/PulseSinkProbe.h"
#include "audio/RealtimeThread.h"
#include "support/JackServer.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>

namespace vyn {
namespace {

RtAudio::Api toRtApi(LinuxAudioApi api) {
    switch (api) {
    case LinuxAudioApi::Jack:
        return RtAudio::UNIX_JACK;
    case LinuxAudioApi::Alsa:
        return RtAudio::LINUX_ALSA;
    case LinuxAudioApi::Pulse:
        return RtAudio::LINUX_PULSE;
    }
    return RtAudio::LINUX_ALSA;
}

// ALSA devices that are really a sound server's plugin: their channel range says nothing.
bool isSoundServerPlugin(const std::string& name) {
    return name == "default" || name == "pulse" || name == "pipewire" || name == "sysdefault";
}

} // namespace

RtAudioDevice::RtAudioDevice(LinuxAudioApi api, std::string deviceName, double preferredRate,
                             int preferredChannels)
    : api_(api), deviceName_(std::move(deviceName)), preferredRate_(preferredRate),
      preferredChannels_(preferredChannels) {}

RtAudioDevice::~RtAudioDevice() {
    close();
}

const char* RtAudioDevice::apiName(LinuxAudioApi api) {
    switch (api) {
    case LinuxAudioApi::Jack:
        return "JACK";
    case LinuxAudioApi::Alsa:
        return "ALSA";
    case LinuxAudioApi::Pulse:
        return "PulseAudio";
    }
    return "ALSA";
}

bool RtAudioDevice::fail(const std::string& text) {
    error_ = text;
    audio_.reset();
    return false;
}

bool RtAudioDevice::open(IRenderTarget& engine) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) return true;
    const std::string facility = apiName(api_);
    if (api_ == LinuxAudioApi::Jack) {
        silenceJackMessages();
    }
    try {
        audio_ = std::make_unique<RtAudio>(toRtApi(api_));
    } catch (const RtAudioError& e) {
        return fail(facility + " is not available: " + e.getMessage());
    }
    if (audio_->getCurrentApi() != toRtApi(api_))
        return fail(facility + " is not available in this build");
    audio_->showWarnings(false);

    const unsigned count = audio_->getDeviceCount();
    if (count == 0) return fail(facility + " reports no default output device");
    unsigned chosen = audio_->getDefaultOutputDevice();
    RtAudio::DeviceInfo info;
    bool found = false;
    for (unsigned i = 0; i < count; ++i) {
        RtAudio::DeviceInfo d = audio_->getDeviceInfo(i);
        if (!d.probed || d.outputChannels == 0) continue;
        const bool wanted = deviceName_.empty() ? (i == chosen || d.isDefaultOutput)
                                                : d.name.find(deviceName_) != std::string::npos;
        if (wanted) {
            chosen = i;
            info = d;
            found = true;
            break;
        }
    }
    if (!found && deviceName_.empty()) {
        // Some APIs mark no device as the default: take the first one that can play.
        for (unsigned i = 0; i < count && !found; ++i) {
            RtAudio::DeviceInfo d = audio_->getDeviceInfo(i);
            if (d.probed && d.outputChannels > 0) {
                chosen = i;
                info = d;
                found = true;
            }
        }
    }
    if (!found) {
        return fail(deviceName_.empty() ? facility + " reports no default output device"
                                        : facility + " has no output device named " + deviceName_);
    }

    std::string endpoint = info.name;
    int channels = static_cast<int>(std::min<unsigned>(info.outputChannels, kMaxOutputChannels));
    double rate = info.preferredSampleRate > 0 ? info.preferredSampleRate : 48000.0;
    if (api_ != LinuxAudioApi::Jack &&
        (api_ == LinuxAudioApi::Pulse || isSoundServerPlugin(info.name))) {
        if (auto sink = probePulseSink()) {
            channels = std::min(sink->channels, kMaxOutputChannels);
            if (sink->sampleRate > 0) rate = sink->sampleRate;
            endpoint = info.name + " via " + sink->name;
        } else if (isSoundServerPlugin(info.name)) {
            channels = 2;
        }
        // RtAudio's PulseAudio API cannot open more than six channels.
        if (api_ == LinuxAudioApi::Pulse) channels = std::min(channels, 6);
    }
    if (preferredChannels_ > 0) channels = std::min(preferredChannels_, kMaxOutputChannels);
    if (preferredRate_ > 0) rate = preferredRate_;
    channels = std::max(channels, 1);

    RtAudio::StreamParameters params;
    params.deviceId = chosen;
    params.nChannels = static_cast<unsigned>(channels);
    params.firstChannel = 0;
    RtAudio::StreamOptions options;
    // Real-time scheduling is requested from the callback thread itself: RtAudio's own request
    // prints to standard error on every start.
    options.flags = RTAUDIO_MINIMIZE_LATENCY;
    options.numberOfBuffers = 2;
    options.streamName = "VYN";
    options.priority = 70;
    unsigned bufferFrames = 256;
    try {
        audio_->openStream(&params, nullptr, RTAUDIO_FLOAT32, static_cast<unsigned>(rate),
                           &bufferFrames, &RtAudioDevice::callback, this, &options);
    } catch (const RtAudioError& e) {
        return fail(facility + " could not open the output stream: " + e.getMessage());
    }
    if (!audio_->isStreamOpen()) return fail(facility + " could not open the output stream");
    if (bufferFrames == 0) {
        audio_->closeStream();
        return fail(facility + " granted an empty buffer");
    }
    const double streamRate =
        audio_->getStreamSampleRate() > 0 ? audio_->getStreamSampleRate() : rate;
    if (streamRate != preparedRate_) {
        engine.prepare(streamRate, kMaxBlockFrames);
        preparedRate_ = streamRate;
    }
    engine_ = &engine;
    format_ = DeviceFormat{};
    format_.sampleRate = streamRate;
    format_.bufferFrames = bufferFrames;
    format_.periodFrames = bufferFrames;
    format_.channels = static_cast<std::uint32_t>(channels);
    format_.deviceChannels = std::max<std::uint32_t>(
        format_.channels,
        isSoundServerPlugin(info.name) ? format_.channels : std::min(info.outputChannels, 32u));
    format_.lowLatency = bufferFrames <= 512;
    format_.backendName = facility;
    format_.endpointName = endpoint;
    const long streamLatency = audio_->getStreamLatency();
    latency_ = static_cast<std::int64_t>(bufferFrames) + (streamLatency > 0 ? streamLatency : 0);
    open_ = true;
    return true;
}

int RtAudioDevice::callback(void* out, void*, unsigned frames, double, unsigned, void* self) {
    thread_local bool threadReady = false;
    if (!threadReady) {
        enableFlushToZero();
        raiseToRealtimePriority();
        threadReady = true;
    }
    auto* device = static_cast<RtAudioDevice*>(self);
    device->router_.fill(*device->engine_, static_cast<float*>(out),
                         static_cast<int>(device->format_.channels), static_cast<long>(frames));
    return 0;
}

void RtAudioDevice::close() {
    stop();
    std::lock_guard<std::mutex> lock(mutex_);
    if (audio_ && audio_->isStreamOpen()) audio_->closeStream();
    audio_.reset();
    open_ = false;
    engine_ = nullptr;
}

bool RtAudioDevice::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) {
        error_ = "start() called before open()";
        return false;
    }
    if (running_) return true;
    try {
        audio_->startStream();
    } catch (const RtAudioError& e) {
        error_ = std::string(apiName(api_)) + " could not start the output stream";
        return false;
    }
    running_ = true;
    return true;
}

bool RtAudioDevice::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return true;
    try {
        if (audio_ && audio_->isStreamRunning()) audio_->abortStream();
    } catch (const RtAudioError&) {
        // The stream is gone either way; nothing left to stop.
    }
    running_ = false;
    return true;
}

bool RtAudioDevice::isRunning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

DeviceFormat RtAudioDevice::format() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

std::int64_t RtAudioDevice::latencyFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latency_;
}

std::string RtAudioDevice::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

} // namespace vyn
