#pragma once
// The Windows output device: the default render endpoint through WASAPI, event driven. A device
// with four or more channels is first tried in exclusive mode with 32-bit float; otherwise, or
// when that is refused, the stream is shared (the low-latency shared stream of IAudioClient3
// when the system offers it, else a plain shared float stream). The render thread joins the
// multimedia class "Pro Audio" and fills each buffer through the shared OutputRouter.
//
// Threading: open/close/start/stop/format/latencyFrames/lastError take the device mutex and are
// called from the owning thread, which open() joins to COM's multithreaded apartment (an
// apartment it already has is kept). The render thread touches only the stream objects, the
// router, the stop flag and the engine's render block.

#include "audio/IAudioDevice.h"
#include "audio/OutputRouter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace vyn {

class WasapiAudioDevice final : public IAudioDevice {
public:
    // `preferredRate` / `preferredChannels`: 0 = take the device's.
    explicit WasapiAudioDevice(double preferredRate = 0.0, int preferredChannels = 0);
    ~WasapiAudioDevice() override;
    WasapiAudioDevice(const WasapiAudioDevice&) = delete;
    WasapiAudioDevice& operator=(const WasapiAudioDevice&) = delete;

    bool open(IRenderTarget& engine) override;
    void close() override;
    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    DeviceFormat format() const override;
    std::int64_t latencyFrames() const override;
    std::string lastError() const override;

    // The exclusive attempt's channel count for an endpoint with `nativeChannels` whose mix
    // format has `mixChannels`: 4 or more try exclusive (at most 32); below 4, none (0).
    static std::uint32_t exclusiveChannels(std::uint32_t nativeChannels, std::uint32_t mixChannels);

private:
    struct Stream; // the COM objects of an open stream

    void renderLoop();
    bool fail(const char* text);
    void releaseStream();

    mutable std::mutex mutex_;
    double preferredRate_;
    int preferredChannels_;
    std::unique_ptr<Stream> stream_;
    IRenderTarget* engine_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    bool running_ = false;
    bool comJoined_ = false; // open() initialised COM on the owning thread
    double preparedRate_ = 0.0;
    std::int64_t latency_ = 0;
    std::string error_;
    DeviceFormat format_;
    OutputRouter router_;
};

} // namespace vyn
