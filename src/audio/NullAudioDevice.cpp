#include "audio/NullAudioDevice.h"

#include "audio/RealtimeThread.h"

#include <algorithm>
#include <chrono>

namespace vyn {

NullAudioDevice::NullAudioDevice(int channels, double sampleRate, std::uint32_t bufferFrames) {
    format_.sampleRate = sampleRate > 0 ? sampleRate : 48000.0;
    format_.bufferFrames = std::clamp<std::uint32_t>(bufferFrames, 16, 8192);
    format_.periodFrames = format_.bufferFrames;
    format_.channels = static_cast<std::uint32_t>(std::clamp(channels, 1, kMaxOutputChannels));
    format_.deviceChannels = format_.channels;
    format_.lowLatency = format_.bufferFrames <= 512;
    format_.backendName = "null";
}

NullAudioDevice::~NullAudioDevice() {
    close();
}

bool NullAudioDevice::open(IRenderTarget& engine) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) return true;
    if (preparedRate_ != format_.sampleRate) {
        engine.prepare(format_.sampleRate, kMaxBlockFrames);
        preparedRate_ = format_.sampleRate;
    }
    engine_ = &engine;
    buffer_.assign(static_cast<std::size_t>(format_.bufferFrames) * format_.channels, 0.0f);
    open_ = true;
    return true;
}

void NullAudioDevice::close() {
    stop();
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    engine_ = nullptr;
}

bool NullAudioDevice::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) {
        error_ = "start() called before open()";
        return false;
    }
    if (running_) return true;
    stopRequested_ = false;
    framesRendered_.store(0, std::memory_order_relaxed);
    running_ = true;
    thread_ = std::thread([this] { renderLoop(); });
    return true;
}

bool NullAudioDevice::stop() {
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
        t = std::move(thread_);
    }
    wake_.notify_all();
    if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    return true;
}

bool NullAudioDevice::isRunning() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

DeviceFormat NullAudioDevice::format() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return format_;
}

std::int64_t NullAudioDevice::latencyFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return format_.bufferFrames;
}

std::string NullAudioDevice::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void NullAudioDevice::renderLoop() {
    enableFlushToZero();
    raiseToRealtimePriority();
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    std::uint64_t frames = 0;
    const long block = format_.bufferFrames;
    const int channels = static_cast<int>(format_.channels);
    for (;;) {
        router_.fill(*engine_, buffer_.data(), channels, block);
        frames += static_cast<std::uint64_t>(block);
        framesRendered_.store(frames, std::memory_order_relaxed);
        // Pace by the absolute frame count so rounding never accumulates into drift.
        const auto due = start + std::chrono::duration_cast<clock::duration>(
                                     std::chrono::duration<double>(frames / format_.sampleRate));
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_until(lock, due, [this] { return stopRequested_; })) return;
    }
}

} // namespace vyn
