#pragma once
// An engine host without a device, driven block by block from the test thread. Every test on it
// is also a real-time check: an allocation, free or lock inside a render block fails it. With
// VYN_TEST_INTERPOLATION=1 in the environment every deck reads band-limited, so a suite can run
// again under that setting and show that nothing but the interpolation changes.

#include "common/RealtimeGuard.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vyn::test {

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        engine = EngineHost::create(nullptr);
        engine->prepare(48000.0, 2048);
        if (const char* interpolation = std::getenv("VYN_TEST_INTERPOLATION")) {
            SoundOptions options;
            options.interpolation = std::atoi(interpolation);
            engine->setSoundOptions(options);
        }
        master.assign(2 * 2048, 0.0f);
        resetRealtimeViolations();
    }
    void TearDown() override {
        EXPECT_TRUE(noRealtimeViolations());
        std::vector<LoadedTrack*> retired;
        engine->drainRetired(retired);
        for (LoadedTrack* t : retired)
            EngineHost::destroyTrack(t);
    }

    void block(int frames = 256) { engine->render(master.data(), frames); }
    // Renders `frames` frames of the master in blocks of `blockFrames`; returns them interleaved.
    std::vector<float> render(std::size_t frames, int blockFrames = 256) {
        std::vector<float> out;
        out.reserve(2 * frames);
        for (std::size_t done = 0; done < frames; done += blockFrames) {
            const int n = static_cast<int>(std::min<std::size_t>(blockFrames, frames - done));
            block(n);
            out.insert(out.end(), master.begin(), master.begin() + 2 * n);
        }
        return out;
    }
    EngineSnapshot snapshot() {
        EngineSnapshot s;
        EXPECT_TRUE(engine->readSnapshot(s));
        return s;
    }
    bool push(CommandType type, int deck, double value = 0.0) {
        return engine->pushOwn(Command(type, deck, value));
    }
    bool load(int deck, LoadedTrack* track) {
        Command c(CommandType::LOAD_TRACK, deck);
        c.track = track;
        return engine->pushOwn(c);
    }
    std::vector<Command> applied() {
        std::vector<Command> out;
        Command c;
        while (engine->popApplied(c))
            out.push_back(c);
        return out;
    }

    std::unique_ptr<EngineHost> engine;
    std::vector<float> master;
};

} // namespace vyn::test
