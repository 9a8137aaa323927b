#include "control/midi/MidiClockOutput.h"

#include "audio/RealtimeThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace vyn {

namespace {

class ThreadedClockDriver final : public IMidiClockDriver {
public:
    explicit ThreadedClockDriver(std::unique_ptr<IMidiByteOutput> out) : out_(std::move(out)) {
        thread_ = std::thread([this] { run(); });
    }
    ~ThreadedClockDriver() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
        out_->send(midi_clock::kStop); // stopping always ends with a stop byte
        sent_.fetch_add(1, std::memory_order_relaxed);
    }

    void set(double bpm, bool running) override {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const double before = generator_.tempo;
            const bool wasRunning = generator_.running;
            generator_.set(bpm, running);
            // Only a start or a stop needs the thread now; a new tempo applies from the pulse
            // it is already waiting for.
            if (wasRunning != generator_.running || (before == 0.0) != (generator_.tempo == 0.0))
                wake = changed_ = true;
        }
        if (wake) wake_.notify_one();
    }

    std::uint64_t bytesSent() const override { return sent_.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kIdlePoll = std::chrono::milliseconds(1);

    void run() {
        // A pulse is only as punctual as the wake-up: ask for real-time scheduling where the
        // system grants it.
        raiseToRealtimePriority();
        const Clock::time_point epoch = Clock::now();
        const auto seconds = [&](Clock::time_point t) {
            return std::chrono::duration<double>(t - epoch).count();
        };
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            std::uint8_t bytes[midi_clock::kMaxBytesPerStep];
            const int n = midiClockStep(generator_, seconds(Clock::now()), bytes,
                                        midi_clock::kMaxBytesPerStep);
            Clock::time_point wake = Clock::now() + kIdlePoll;
            if (generator_.primed)
                wake = epoch + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(generator_.nextTick));
            changed_ = false;
            lock.unlock();
            for (int i = 0; i < n; ++i)
                out_->send(bytes[i]);
            sent_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
            lock.lock();
            // An absolute deadline: the pulse's own time, not "a millisecond from now".
            wake_.wait_until(lock, wake, [this] { return stop_ || changed_; });
        }
    }

    std::unique_ptr<IMidiByteOutput> out_;
    std::mutex mutex_;
    std::condition_variable wake_;
    MidiClockGenerator generator_;
    bool stop_ = false;
    bool changed_ = false;
    std::atomic<std::uint64_t> sent_{0};
    std::thread thread_;
};

} // namespace

std::unique_ptr<IMidiClockDriver> makeThreadedClockDriver(std::unique_ptr<IMidiByteOutput> out) {
    return std::make_unique<ThreadedClockDriver>(std::move(out));
}

bool MidiClockOutput::open(const std::string& name) {
    stop();
    error_.clear();
    const std::vector<MidiOutputInfo> outputs = backend_.listOutputs();
    const MidiOutputInfo* chosen = nullptr;
    for (const MidiOutputInfo& o : outputs)
        if (o.name == name) {
            chosen = &o;
            break;
        }
    if (!chosen && name.empty() && outputs.size() == 1) chosen = &outputs.front();
    if (!chosen) {
        error_ = outputs.empty() ? kNoOutput : kNotConnected;
        return false;
    }
    const bool jack = std::strcmp(backend_.apiName(), "JACK") == 0;
    driver_ = openPlatformClockDriver(*chosen, jack, forceBytes_);
    if (!driver_) {
        error_ = kCouldNotOpen;
        return false;
    }
    name_ = chosen->name;
    return true;
}

void MidiClockOutput::stop() {
    driver_.reset();
    name_.clear();
}

void MidiClockOutput::set(double bpm, bool running) {
    if (driver_) driver_->set(bpm, running);
}

} // namespace vyn
