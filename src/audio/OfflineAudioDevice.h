#pragma once
// A device without a clock: the caller pulls audio with renderInto(), as fast as it likes, through
// the same router a real device uses. Used by `vyn-tool render` and by tests.
//
// Threading: everything runs on the caller's thread.

#include "audio/IAudioDevice.h"
#include "audio/OutputRouter.h"

namespace vyn {

class OfflineAudioDevice final : public IAudioDevice {
public:
    OfflineAudioDevice(int channels, double sampleRate);

    bool open(IRenderTarget& engine) override;
    void close() override;
    bool start() override;
    bool stop() override;
    bool isRunning() const override { return running_; }
    DeviceFormat format() const override { return format_; }
    std::int64_t latencyFrames() const override { return 0; }
    std::string lastError() const override { return error_; }

    // Renders `frames` interleaved frames of format().channels into `out`. False when not running.
    bool renderInto(float* out, long frames);

private:
    IRenderTarget* engine_ = nullptr;
    bool open_ = false;
    bool running_ = false;
    double preparedRate_ = 0.0;
    std::string error_;
    DeviceFormat format_;
    OutputRouter router_;
};

} // namespace vyn
