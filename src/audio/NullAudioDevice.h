#pragma once
// A silent output for headless machines and tests: a render thread paced in real time by the
// steady clock, any channel count, nothing reaches a speaker. Selected with VYN_AUDIO=null[:N].

#include "audio/IAudioDevice.h"
#include "audio/OutputRouter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vyn {

class NullAudioDevice final : public IAudioDevice {
public:
    explicit NullAudioDevice(int channels = 2, double sampleRate = 48000.0,
                             std::uint32_t bufferFrames = 256);
    ~NullAudioDevice() override;

    bool open(IRenderTarget& engine) override;
    void close() override;
    bool start() override;
    bool stop() override;
    bool isRunning() const override;
    DeviceFormat format() const override;
    std::int64_t latencyFrames() const override;
    std::string lastError() const override;

    // Frames rendered since start (any thread).
    std::uint64_t framesRendered() const { return framesRendered_.load(std::memory_order_relaxed); }

private:
    void renderLoop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    IRenderTarget* engine_ = nullptr;
    bool open_ = false;
    bool running_ = false;
    bool stopRequested_ = false; // guarded by mutex_
    double preparedRate_ = 0.0;
    std::string error_;
    DeviceFormat format_;
    std::thread thread_;
    OutputRouter router_;
    std::vector<float> buffer_;
    std::atomic<std::uint64_t> framesRendered_{0};
};

} // namespace vyn
