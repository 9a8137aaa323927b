#pragma once
// The Linux output device, through RtAudio: JACK, ALSA or PulseAudio. RtAudio owns the stream's
// callback thread; each callback renders through the shared OutputRouter.
//
// Threading: open/close/start/stop/format/latencyFrames/lastError take the device mutex and are
// called from the owning thread; the callback thread only touches the router and the engine.

#include "audio/IAudioDevice.h"
#include "audio/OutputRouter.h"

#include <memory>
#include <mutex>

class RtAudio;

namespace vyn {

enum class LinuxAudioApi { Jack, Alsa, Pulse };

class RtAudioDevice final : public IAudioDevice {
public:
    // `deviceName`: a substring of the wanted device's name; empty = the API's default output.
    // `preferredRate` / `preferredChannels`: 0 = take the device's.
    explicit RtAudioDevice(LinuxAudioApi api, std::string deviceName = {},
                           double preferredRate = 0.0, int preferredChannels = 0);
    ~RtAudioDevice() override;

    bool open(IRenderTarget& engine) override;
    void close() override;
    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    DeviceFormat format() const override;
    std::int64_t latencyFrames() const override;
    std::string lastError() const override;

    // "ALSA", "JACK" or "PulseAudio": the facility named in messages.
    static const char* apiName(LinuxAudioApi api);

private:
    static int callback(void* out, void* in, unsigned frames, double time, unsigned status,
                        void* self);
    bool fail(const std::string& text);

    mutable std::mutex mutex_;
    LinuxAudioApi api_;
    std::string deviceName_;
    double preferredRate_;
    int preferredChannels_;
    std::unique_ptr<RtAudio> audio_;
    IRenderTarget* engine_ = nullptr;
    bool open_ = false;
    bool running_ = false;
    double preparedRate_ = 0.0;
    std::int64_t latency_ = 0;
    std::string error_;
    DeviceFormat format_;
    OutputRouter router_;
};

} // namespace vyn
