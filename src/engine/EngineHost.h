#pragma once
// The engine host owns everything that makes sound: sixteen decks, the buses, the command rings,
// the track loader and the output device. The device's render thread calls render() once per
// period; every other thread talks to the engine only by pushing Commands and reading snapshots.
//
// Threading:
// - open/stop/destruction: the owning thread only.
// - acquireProducer/push: any thread, each through its own producer slot.
// - readSnapshot: any thread. drainRetired/popApplied/capture(): one non-audio consumer each.
// - prepare: the device, while opening (never concurrently with render).
// - render: the audio thread; it never locks, allocates, frees or waits.

#include "audio/IAudioDevice.h"
#include "audio/IRenderTarget.h"
#include "dsp/ChannelFilter.h"
#include "dsp/FxUnit.h"
#include "dsp/MasterBus.h"
#include "engine/Command.h"
#include "engine/CommandCapture.h"
#include "engine/CommandQueue.h"
#include "engine/Deck.h"
#include "engine/EngineSnapshot.h"
#include "engine/MasterTap.h"
#include "engine/SnapshotSlot.h"
#include "engine/SoundOptions.h"
#include "engine/SyncManager.h"
#include "engine/TrackLoader.h"
#include "support/SpscRing.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace vyn {

class alignas(64) EngineHost final : public IRenderTarget {
public:
    // Takes ownership of `device` (may be null for hosts that only render through prepare/render).
    explicit EngineHost(std::unique_ptr<IAudioDevice> device);
    ~EngineHost() override;
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    // Heap allocation with the class's 64-byte alignment (the host is several megabytes).
    static std::unique_ptr<EngineHost> create(std::unique_ptr<IAudioDevice> device);

    // Opens and starts the device (which prepares the engine) and starts the loader.
    bool open();
    // Stops the loader (joining it), stops and closes the device.
    void stop();
    bool running() const { return running_; }

    // IRenderTarget
    void prepare(double sampleRate, int blockFrames) override;
    void render(float* masterOut, float* multiOut, int multiChannels, int frames) override;
    void render(float* masterOut, int frames) { render(masterOut, nullptr, 0, frames); }
    const float* cueOutput() const override { return cueOut_.data(); }

    // Commands.
    int acquireProducer() noexcept { return queue_.acquireProducer(); }
    bool push(int slot, const Command& command) noexcept { return queue_.push(slot, command); }
    // The slot of the thread that owns the engine host (acquired at construction).
    int ownProducer() const noexcept { return ownProducer_; }
    bool pushOwn(const Command& command) noexcept { return queue_.push(ownProducer_, command); }

    // Copies the latest published snapshot; false (out untouched) after 16 racing attempts.
    bool readSnapshot(EngineSnapshot& out) const noexcept { return snapshot_.read(out); }

    // Moves every track object the audio thread released into `out`; the caller destroys them.
    void drainRetired(std::vector<LoadedTrack*>& out);
    static void destroyTrack(LoadedTrack* track);
    // The next command the audio thread applied (applied-command ring consumer).
    bool popApplied(Command& out) noexcept { return applied_.pop(out); }

    // Sound-quality choices for every deck: any thread; the decks change over at the start of the
    // next render block (or at prepare, before the first one).
    void setSoundOptions(const SoundOptions& options) noexcept {
        soundOptions_.store(options.pack(), std::memory_order_release);
    }
    SoundOptions soundOptions() const noexcept {
        return SoundOptions::unpack(soundOptions_.load(std::memory_order_acquire));
    }

    CommandCapture& capture() noexcept { return capture_; }
    // Hands every rendered master block to `tap` (null: none). Owning thread, before open().
    void setMasterTap(MasterTap* tap) noexcept { tap_ = tap; }
    TrackLoader& loader() noexcept { return *loader_; }
    IAudioDevice* device() noexcept { return device_.get(); }

    double sampleRate() const noexcept { return sampleRate_; }

    // Drives quantised deferral without a synced master: deck `deck` (-1 = none) acts as a
    // playing master at `beatPosition`. Used where no sync manager runs (tests, offline checks);
    // render thread or, before rendering starts, the owning thread.
    void overrideMaster(int deck, double beatPosition, double bpm) noexcept;

private:
    struct DeferredSlot {
        Command command;
        double targetBeat = 0.0;
        bool pending = false;
        // A HOT_CUE_UP that arrived while this JUMP_HOT_CUE waited; applied right after it.
        Command release;
        bool hasRelease = false;
    };
    void drainCommands() noexcept;
    void apply(const Command& c) noexcept;
    void applyEngineCommand(const Command& c) noexcept;
    void applyDeckCommand(const Command& c, bool quantiseLoops) noexcept;
    void afterApply(const Command& c) noexcept;
    void requestRealign(const Command& c) noexcept;
    bool tryDefer(const Command& c) noexcept;
    bool deferRelease(const Command& c) noexcept;
    void runDeferred() noexcept;
    void swapDecks(int a, int b) noexcept;
    void retire(LoadedTrack* track) noexcept;
    void updateSync() noexcept;
    void setSync(int deck, bool on) noexcept;
    void publishSnapshot() noexcept;
    void applySoundOptions() noexcept;
    void noteBlockTime(std::chrono::steady_clock::duration took, int frames) noexcept;

    Deck decks_[kDeckCount];
    ChannelFilter filters_[kDeckCount];
    FxUnit fx_;
    MasterBus bus_;

    SyncManager sync_;
    SyncInput syncInputs_[kDeckCount];
    SyncResult syncResults_[kDeckCount];
    std::int32_t masterDeck_ = -1;
    double masterBpm_ = 0.0;
    double masterBeat_ = 0.0;
    bool masterPlaying_ = false;
    bool masterOverridden_ = false;

    DeferredSlot deferred_[16];
    bool quantise_ = false;
    std::uint32_t beatJumpBeats_ = 16;

    CommandQueue queue_;
    SpscRing<LoadedTrack*, 256> retired_;
    CommandCapture capture_;
    SpscRing<Command, 256> applied_;
    MasterTap* tap_ = nullptr;

    std::vector<float> deckBuf_;
    std::vector<float> cueOut_;

    SnapshotSlot<EngineSnapshot> snapshot_;
    EngineSnapshot scratchSnapshot_;

    std::uint64_t frameClock_ = 0;
    float windowWorstMs_ = 0.0f;   // render thread: worst block of the current second
    float previousWorstMs_ = 0.0f; // render thread: worst block of the previous second
    double windowFrames_ = 0.0;
    double sampleRate_ = 48000.0;
    int maxBlock_ = 2048;
    bool prepared_ = false;
    std::atomic<std::uint32_t> soundOptions_{SoundOptions{}.pack()};
    std::uint32_t appliedSoundOptions_ = SoundOptions{}.pack();

    std::unique_ptr<TrackLoader> loader_;
    std::unique_ptr<IAudioDevice> device_;
    int ownProducer_ = -1;
    bool running_ = false;
};

} // namespace vyn
