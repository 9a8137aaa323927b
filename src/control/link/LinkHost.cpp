#include "control/link/LinkHost.h"

#include "dsp/Waveform.h"
#include "engine/EngineHost.h"
#include "support/TrackName.h"

#include <cmath>

namespace vyn {

LinkHost::LinkHost(EngineHost& engine) : engine_(engine) {}

LinkHost::~LinkHost() {
    stop();
}

bool LinkHost::start(LinkSettings settings) {
    server_.stop();
    if (producer_ < 0) producer_ = engine_.acquireProducer();
    if (producer_ < 0) return false;
    for (Published& p : published_)
        p = Published{};
    return server_.start(std::move(settings), [this](const LinkIntent& i) { onIntent(i); });
}

void LinkHost::stop() {
    server_.stop();
}

void LinkHost::onIntent(const LinkIntent& intent) {
    if (!intent.hasCommand || replayOwnsMix_.load()) return;
    if (intent.command == static_cast<std::int32_t>(CommandType::SWAP_DECKS)) {
        // Decks change places through the loader, which moves their load records along with
        // the engine's decks; surfaces reach the first eight.
        const double other = std::round(intent.value);
        if (intent.deck >= 0 && intent.deck < 8 && other >= 0.0 && other <= 7.0)
            engine_.loader().requestSwap(intent.deck, static_cast<int>(other));
        return;
    }
    const Command c(static_cast<CommandType>(intent.command), intent.deck, intent.value);
    if (!engine_.push(producer_, c)) dropped_.fetch_add(1);
}

bool LinkHost::tick(const LinkTickInput& input) {
    if (!server_.running()) return true;

    LinkDeckRecord records[16];
    for (int deck = 0; deck < 16; ++deck) {
        const LoadedDeckInfo info = engine_.loader().deckInfo(deck);
        LinkDeckRecord& r = records[deck];
        const LinkDeckView* view = input.views ? &input.views[deck] : nullptr;
        if (view && !view->name.empty())
            r.name = view->name;
        else if (!info.path.empty())
            r.name = trackDisplayName({}, {}, info.path);
        r.zoomSeconds = view && std::isfinite(view->zoomSeconds) ? view->zoomSeconds : 0.0;
        r.trackId = info.trackId;
        r.waveColumns =
            info.waveform ? static_cast<std::int32_t>(info.waveform->columns.size()) : 0;
        r.sampleRate = info.sampleRate;

        Published& p = published_[deck];
        if (p.done && p.loadCount == info.loadCount && p.waveform == info.waveform.get() &&
            p.trackId == info.trackId)
            continue;
        p.done = true;
        p.loadCount = info.loadCount;
        p.waveform = info.waveform.get();
        p.trackId = info.trackId;
        held_[deck] = info.waveform;
        if (!info.waveform || info.waveform->columns.empty()) {
            server_.publishWaveform(deck, info.trackId, kWaveOverview, 0.0f, nullptr, 0);
            server_.publishWaveform(deck, info.trackId, kWaveDetail, 0.0f, nullptr, 0);
            continue;
        }
        const Waveform& w = *info.waveform;
        const auto publish = [&](int kind, std::size_t limit) {
            if (w.columns.size() <= limit) {
                server_.publishWaveform(deck, info.trackId, kind,
                                        static_cast<float>(w.columnsPerSecond), w.columns.data(),
                                        w.columns.size());
                return;
            }
            const Waveform reduced = reduceWaveform(w, limit);
            server_.publishWaveform(deck, info.trackId, kind,
                                    static_cast<float>(reduced.columnsPerSecond),
                                    reduced.columns.data(), reduced.columns.size());
        };
        publish(kWaveOverview, kOverviewColumnLimit);
        publish(kWaveDetail, kDetailColumnLimit);
    }

    EngineSnapshot snapshot;
    if (!engine_.readSnapshot(snapshot)) return false;
    LinkStateInput state;
    state.deckCount = input.deckCount;
    state.decks = records;
    state.snapshot = &snapshot;
    state.outputSampleRate = engine_.sampleRate();
    state.focusedDeck = input.focusedDeck;
    state.controllerDecks = input.controllerDecks;
    server_.publishState(buildStateDocument(state));
    return true;
}

} // namespace vyn
