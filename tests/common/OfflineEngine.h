#pragma once
// An engine host on the offline device, rendered from the test thread the way a device's callback
// would, with the track loader's results collected in between. An allocation, free or lock in one
// of its render blocks fails the test.

#include "audio/OfflineAudioDevice.h"
#include "common/RealtimeGuard.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace vyn::test {

class OfflineEngine {
public:
    // `openNow` false leaves room to set the loader's hooks first; then call open().
    explicit OfflineEngine(bool openNow = true, int channels = 2, double rate = 48000.0) {
        auto device = std::make_unique<OfflineAudioDevice>(channels, rate);
        offline_ = device.get();
        engine = EngineHost::create(std::move(device));
        buffer_.assign(static_cast<std::size_t>(channels) * 256, 0.0f);
        resetRealtimeViolations();
        if (openNow) open();
    }
    bool open() {
        opened_ = engine->open();
        EXPECT_TRUE(opened_);
        return opened_;
    }
    ~OfflineEngine() {
        if (opened_) engine->stop();
        EXPECT_TRUE(noRealtimeViolations());
    }

    void render(int blocks = 1) {
        for (int i = 0; i < blocks; ++i)
            offline_->renderInto(buffer_.data(), 256);
    }
    // Polls the loader, rendering in between, until `count` results arrived (or 20 s passed).
    std::vector<LoadResult> collect(std::size_t count = 1) {
        std::vector<LoadResult> all, some;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (all.size() < count && std::chrono::steady_clock::now() < deadline) {
            engine->loader().poll(some);
            all.insert(all.end(), some.begin(), some.end());
            render();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return all;
    }
    EngineSnapshot snapshot() {
        EngineSnapshot s;
        EXPECT_TRUE(engine->readSnapshot(s));
        return s;
    }

    std::unique_ptr<EngineHost> engine;

private:
    OfflineAudioDevice* offline_ = nullptr;
    std::vector<float> buffer_;
    bool opened_ = false;
};

} // namespace vyn::test
