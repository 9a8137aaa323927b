#include "engine/OfflineRenderer.h"

#include "audio/OfflineAudioDevice.h"
#include "engine/EngineHost.h"
#include "engine/ReplaySchedule.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace vyn {
namespace {

// The schedule's output for a render: the engine's own ring, and loads held in the loader until
// their frame. Failures end the render with `error`.
class OfflineOutput final : public ReplayOutput {
public:
    OfflineOutput(EngineHost& engine, const TrackResolver& resolver)
        : engine_(engine), resolver_(resolver) {}

    bool post(const Command& command) override {
        if (!engine_.pushOwn(command)) return false;
        ++posted;
        return true;
    }
    bool preload(int deck, std::int32_t trackId, const std::string& path) override {
        LoadRequest request;
        const bool known = trackId > 0 && resolver_ && resolver_(trackId, request);
        if (!known) {
            request = LoadRequest();
            request.audioPath = path;
        }
        request.deck = deck;
        request.hold = true;
        if ((known || !path.empty()) && engine_.loader().submit(std::move(request))) return true;
        fail("could not queue the load on deck " + std::to_string(deck + 1));
        return false;
    }
    HandOver handOver(int deck) override {
        engine_.loader().release(deck);
        collect();
        if (!engine_.loader().releasePending(deck)) return HandOver::Done;
        waitingDeck = deck;
        return HandOver::Waiting;
    }
    void swap(int a, int b) override { engine_.loader().requestSwap(a, b); }
    void discardPreloads() override { engine_.loader().dropHeld(); }

    // Hands released loads and swaps to the engine, frees retired tracks, notes failed loads.
    void collect() {
        engine_.loader().poll(results_);
        for (const LoadResult& r : results_)
            if (!r.ok && r.error != "cancelled") fail("could not load " + r.path + ": " + r.error);
    }
    void fail(std::string message) {
        if (error.empty()) error = std::move(message);
    }

    std::string error;
    std::uint64_t posted = 0;
    int waitingDeck = -1;

private:
    EngineHost& engine_;
    const TrackResolver& resolver_;
    std::vector<LoadResult> results_;
};

struct Renderer {
    const OfflineRenderOptions& options;
    const RenderSink& sink;
    OfflineAudioDevice& device;
    std::vector<float> buffer;
    std::uint64_t position = 0;

    bool renderFrames(std::uint64_t frames) {
        while (frames > 0) {
            const auto n = static_cast<long>(
                std::min<std::uint64_t>(frames, static_cast<std::uint64_t>(options.blockFrames)));
            device.renderInto(buffer.data(), n);
            if (!sink(buffer.data(), static_cast<std::size_t>(n))) return false;
            position += static_cast<std::uint64_t>(n);
            frames -= static_cast<std::uint64_t>(n);
        }
        return true;
    }
};

} // namespace

OfflineRenderResult renderSetReplay(const SetReplay& replay, const OfflineRenderOptions& options,
                                    const RenderSink& sink, const TrackResolver& resolver,
                                    const EngineHook& beforeFirstEvent) {
    OfflineRenderResult result;
    OfflineRenderOptions opts = options;
    opts.sampleRate = opts.sampleRate > 0 ? opts.sampleRate : 48000.0;
    opts.channels = std::clamp(opts.channels, 1, kMaxOutputChannels);
    opts.blockFrames = std::clamp(opts.blockFrames, 1, 1 << 16);

    auto owned = std::make_unique<OfflineAudioDevice>(opts.channels, opts.sampleRate);
    OfflineAudioDevice& device = *owned;
    auto engine = EngineHost::create(std::move(owned));
    engine->setSoundOptions(options.sound);
    if (!engine->open()) {
        result.error = "could not open the offline device";
        return result;
    }
    if (beforeFirstEvent) beforeFirstEvent(*engine);

    ReplaySchedule schedule(replay);
    OfflineOutput out(*engine, resolver);
    Renderer r{opts, sink, device,
               std::vector<float>(static_cast<std::size_t>(opts.blockFrames) * opts.channels), 0};

    // Set frames map onto render frames by the ratio of the rates.
    const double scale = opts.sampleRate / schedule.set().sampleRate;
    auto renderFrameOf = [&](std::int64_t f) {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(f) * scale));
    };
    // The last set frame that falls on or before render frame p.
    auto setFrameAt = [&](std::uint64_t p) {
        auto f = static_cast<std::int64_t>(std::floor((static_cast<double>(p) + 0.5) / scale));
        while (renderFrameOf(f + 1) <= p)
            ++f;
        while (f > 0 && renderFrameOf(f) > p)
            --f;
        return f;
    };
    const std::uint64_t total =
        opts.seconds >= 0
            ? static_cast<std::uint64_t>(std::llround(opts.seconds * opts.sampleRate))
            : renderFrameOf(schedule.set().events.empty() ? 0
                                                          : schedule.set().events.back().frame) +
                  static_cast<std::uint64_t>(opts.sampleRate);
    const auto chunk = static_cast<std::uint64_t>(opts.sampleRate); // how often loads look ahead
    const auto loadTimeout = std::chrono::duration<double>(opts.loadTimeoutSeconds);
    bool sinkFailed = false;

    while (out.error.empty() && !sinkFailed && r.position < total) {
        // Everything due now; a held track still decoding is waited for, a full ring drains a
        // block later.
        auto waitingSince = std::chrono::steady_clock::now();
        out.waitingDeck = -1;
        while (!schedule.advanceTo(setFrameAt(r.position), out) && out.error.empty()) {
            if (out.waitingDeck < 0) {
                if (!r.renderFrames(static_cast<std::uint64_t>(opts.blockFrames)))
                    sinkFailed = true;
                if (sinkFailed || r.position >= total) break;
                waitingSince = std::chrono::steady_clock::now();
                continue;
            }
            if (std::chrono::steady_clock::now() - waitingSince > loadTimeout) {
                out.fail("timed out waiting for a track to load on deck " +
                         std::to_string(out.waitingDeck + 1));
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            out.waitingDeck = -1;
        }
        out.collect();
        if (!out.error.empty() || sinkFailed || r.position >= total) break;
        const std::int64_t next = schedule.nextFrame();
        std::uint64_t stop = std::min(total, r.position + chunk);
        if (next >= 0) stop = std::min(stop, std::max(renderFrameOf(next), r.position + 1));
        if (!r.renderFrames(stop - r.position)) sinkFailed = true;
    }
    if (sinkFailed) out.fail("could not write the rendered audio");

    engine->loader().dropHeld();
    std::vector<LoadResult> ignored;
    engine->loader().poll(ignored);
    engine->stop();
    result.frames = r.position;
    result.commandsPushed = out.posted;
    result.error = out.error;
    result.ok = result.error.empty();
    return result;
}

} // namespace vyn
