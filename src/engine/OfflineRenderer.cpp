#include "engine/OfflineRenderer.h"

#include "audio/OfflineAudioDevice.h"
#include "engine/EngineHost.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace vyn {
namespace {

struct Renderer {
    const OfflineRenderOptions& options;
    const RenderSink& sink;
    OfflineAudioDevice* device = nullptr;
    EngineHost* engine = nullptr;
    std::vector<float> buffer;
    OfflineRenderResult result;

    bool renderFrames(std::uint64_t frames) {
        while (frames > 0) {
            const auto n = static_cast<long>(
                std::min<std::uint64_t>(frames, static_cast<std::uint64_t>(options.blockFrames)));
            device->renderInto(buffer.data(), n);
            if (!sink(buffer.data(), static_cast<std::size_t>(n))) {
                result.error = "could not write the rendered audio";
                return false;
            }
            result.frames += static_cast<std::uint64_t>(n);
            frames -= static_cast<std::uint64_t>(n);
        }
        return true;
    }

    // Retires freed tracks and waits for the load on `deck`. The loader pushes LOAD_TRACK itself.
    bool awaitLoad(int deck) {
        std::vector<LoadResult> results;
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration<double>(options.loadTimeoutSeconds);
        while (std::chrono::steady_clock::now() < deadline) {
            engine->loader().poll(results);
            for (const LoadResult& r : results) {
                if (static_cast<int>(r.deck) != deck) continue;
                if (!r.ok) {
                    result.error = "could not load " + r.path + ": " + r.error;
                    return false;
                }
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        result.error = "timed out waiting for a track to load on deck " + std::to_string(deck + 1);
        return false;
    }

    bool pushCommand(const Command& c) {
        // A full ring drains one block later; render a block to make room rather than drop.
        for (int attempt = 0; attempt < 64; ++attempt) {
            if (engine->pushOwn(c)) {
                ++result.commandsPushed;
                return true;
            }
            if (!renderFrames(static_cast<std::uint64_t>(options.blockFrames))) return false;
        }
        result.error = "the engine stopped taking commands";
        return false;
    }
};

} // namespace

OfflineRenderResult renderSetReplay(const SetReplay& replay, const OfflineRenderOptions& options,
                                    const RenderSink& sink, const TrackResolver& resolver,
                                    const EngineHook& beforeFirstEvent) {
    OfflineRenderOptions opts = options;
    opts.sampleRate = opts.sampleRate > 0 ? opts.sampleRate : 48000.0;
    opts.channels = std::clamp(opts.channels, 1, kMaxOutputChannels);
    opts.blockFrames = std::clamp(opts.blockFrames, 1, 1 << 16);
    Renderer r{opts, sink, nullptr, nullptr, {}, {}};

    auto device = std::make_unique<OfflineAudioDevice>(opts.channels, opts.sampleRate);
    r.device = device.get();
    auto engine = EngineHost::create(std::move(device));
    engine->setSoundOptions(options.sound);
    r.engine = engine.get();
    if (!engine->open()) {
        r.result.error = "could not open the offline device";
        return r.result;
    }
    r.buffer.assign(static_cast<std::size_t>(opts.blockFrames) * opts.channels, 0.0f);
    if (beforeFirstEvent) beforeFirstEvent(*engine);

    const double scale = opts.sampleRate / std::max(replay.sampleRate, 1.0);
    auto toRenderFrame = [&](std::int64_t f) {
        return static_cast<std::uint64_t>(
            std::llround(static_cast<double>(std::max<std::int64_t>(f, 0)) * scale));
    };
    std::uint64_t total;
    if (opts.seconds >= 0) {
        total = static_cast<std::uint64_t>(std::llround(opts.seconds * opts.sampleRate));
    } else {
        const std::int64_t last = replay.events.empty() ? 0 : replay.events.back().frame;
        total = toRenderFrame(last) + static_cast<std::uint64_t>(opts.sampleRate);
    }

    std::uint64_t position = 0;
    for (const ReplayEvent& e : replay.events) {
        if (e.isMidi) continue;
        const std::uint64_t at = toRenderFrame(e.frame);
        if (at >= total) break;
        if (at > position) {
            if (!r.renderFrames(at - position)) break;
            position = at;
        }
        if (e.command == static_cast<int>(CommandType::LOAD_TRACK)) {
            if (e.deck < 0 || e.deck >= kDeckCount) continue;
            bool queued = false;
            if (e.trackId > 0 && resolver) queued = resolver(engine->loader(), e.deck, e.trackId);
            if (!queued && !e.path.empty()) queued = engine->loader().queueLoad(e.deck, e.path);
            if (!queued) {
                r.result.error = "could not queue the load on deck " + std::to_string(e.deck + 1);
                break;
            }
            if (!r.awaitLoad(e.deck)) break;
            continue;
        }
        // Track objects only ever come from the loader; NONE does nothing.
        if (e.command <= 0 || e.command > kLastCommandType ||
            e.command == static_cast<int>(CommandType::REPLACE_TRACK))
            continue;
        Command c;
        c.type = static_cast<std::uint16_t>(e.command);
        c.deck = static_cast<std::int16_t>(std::clamp(e.deck, -1, 32767));
        c.value = e.value;
        c.trackId = e.trackId > 0 ? e.trackId : -1;
        if (!r.pushCommand(c)) break;
    }
    if (r.result.error.empty() && position < total) r.renderFrames(total - position);

    std::vector<LoadResult> ignored;
    engine->loader().poll(ignored);
    engine->stop();
    r.result.ok = r.result.error.empty();
    return r.result;
}

} // namespace vyn
