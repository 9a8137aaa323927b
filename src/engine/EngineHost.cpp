#include "engine/EngineHost.h"

#include "support/RealtimeScope.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace vyn {
namespace {

bool isDeferrable(CommandType t) {
    return t == CommandType::PLAY || t == CommandType::JUMP_HOT_CUE ||
           t == CommandType::RELOOP_EXIT || t == CommandType::BEAT_LOOP ||
           t == CommandType::BEAT_JUMP;
}

bool carriesTrack(CommandType t) {
    return t == CommandType::LOAD_TRACK || t == CommandType::REPLACE_TRACK;
}

// The second deck of a SWAP_DECKS, or -1 when the value names none.
int swapPartner(const Command& c) {
    const double other = std::round(c.value);
    return other >= 0.0 && other < kDeckCount ? static_cast<int>(other) : -1;
}

} // namespace

EngineHost::EngineHost(std::unique_ptr<IAudioDevice> device) {
    loader_ = std::make_unique<TrackLoader>(*this);
    device_ = std::move(device);
    ownProducer_ = queue_.acquireProducer();
    snapshot_.publish(scratchSnapshot_);
}

std::unique_ptr<EngineHost> EngineHost::create(std::unique_ptr<IAudioDevice> device) {
    return std::make_unique<EngineHost>(std::move(device));
}

EngineHost::~EngineHost() {
    if (running_) stop();
    device_.reset();
    loader_.reset();
    // Tracks the audio thread retired but nobody polled for are freed here, off the audio thread.
    LoadedTrack* t = nullptr;
    while (retired_.pop(t))
        delete t;
}

bool EngineHost::open() {
    if (running_) return true;
    if (!device_) return false;
    if (!device_->open(*this)) return false;
    if (!device_->start()) {
        device_->close();
        return false;
    }
    loader_->start(1);
    running_ = true;
    return true;
}

void EngineHost::stop() {
    if (!running_) return;
    loader_->stop();
    device_->stop();
    device_->close();
    running_ = false;
}

void EngineHost::prepare(double sampleRate, int blockFrames) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    maxBlock_ = std::clamp(blockFrames, 1, kMaxBlockFrames);
    const std::size_t stereo = 2 * static_cast<std::size_t>(maxBlock_);
    deckBuf_.assign(stereo, 0.0f);
    cueOut_.assign(stereo, 0.0f);
    for (int d = 0; d < kDeckCount; ++d) {
        decks_[d].prepare(sampleRate_, maxBlock_, d);
        filters_[d].prepare(sampleRate_);
    }
    fx_.prepare(sampleRate_, maxBlock_);
    bus_.prepare(sampleRate_, maxBlock_);
    appliedSoundOptions_ = soundOptions_.load(std::memory_order_acquire);
    for (Deck& deck : decks_)
        deck.setSoundOptions(SoundOptions::unpack(appliedSoundOptions_));
    frameClock_ = 0;
    prepared_ = true;
    publishSnapshot();
}

void EngineHost::overrideMaster(int deck, double beatPosition, double bpm) noexcept {
    masterOverridden_ = deck >= 0 && deck < kDeckCount;
    masterDeck_ = masterOverridden_ ? deck : -1;
    masterPlaying_ = masterOverridden_;
    masterBeat_ = masterOverridden_ ? beatPosition : 0.0;
    masterBpm_ = masterOverridden_ ? bpm : 0.0;
}

void EngineHost::drainRetired(std::vector<LoadedTrack*>& out) {
    LoadedTrack* t = nullptr;
    while (retired_.pop(t))
        if (t) out.push_back(t);
}

void EngineHost::destroyTrack(LoadedTrack* track) {
    delete track;
}

void EngineHost::retire(LoadedTrack* track) noexcept {
    // A full ring leaks the object rather than freeing it on the audio thread.
    if (track) retired_.push(track);
}

// ---------------------------------------------------------------------------------------------
// Commands

void EngineHost::drainCommands() noexcept {
    Command pendingSeek[kDeckCount];
    bool hasPendingSeek[kDeckCount] = {};
    const auto flushSeek = [&](int deck) {
        if (deck < 0 || deck >= kDeckCount || !hasPendingSeek[deck]) return;
        hasPendingSeek[deck] = false;
        apply(pendingSeek[deck]);
    };
    queue_.drain([&](const Command& c) {
        if (c.commandType() == CommandType::SET_PLAYHEAD && c.hasValidDeck()) {
            // Only the last playhead move per deck and block takes effect.
            pendingSeek[c.deck] = c;
            hasPendingSeek[c.deck] = true;
            return;
        }
        if (c.hasValidDeck()) flushSeek(c.deck);
        // A move queued for either deck of a swap belongs to the track that deck holds now.
        if (c.commandType() == CommandType::SWAP_DECKS) flushSeek(swapPartner(c));
        apply(c);
    });
    for (int d = 0; d < kDeckCount; ++d)
        if (hasPendingSeek[d]) apply(pendingSeek[d]);
}

void EngineHost::apply(const Command& c) noexcept {
    const CommandType type = c.commandType();
    // A load without a track has nothing to load; a number that is not finite means nothing.
    if (carriesTrack(type) && !c.track) return;
    if (commandValueIsNumber(type) && !std::isfinite(c.value)) {
        if (carriesTrack(type)) retire(c.track);
        return;
    }
    if (isEngineLevelCommand(type)) {
        applyEngineCommand(c);
        afterApply(c);
        return;
    }
    if (!c.hasValidDeck()) {
        // The track of a misaddressed load still has to leave through the retire ring.
        if (carriesTrack(type)) retire(c.track);
        return;
    }
    if (tryDefer(c)) return;
    applyDeckCommand(c, quantise_);
    afterApply(c);
    requestRealign(c);
}

void EngineHost::requestRealign(const Command& c) noexcept {
    // A jump moves a synced follower off the master's phase: line it up again (without the
    // bar snap, which would undo a deliberate jump by whole beats).
    const CommandType type = c.commandType();
    if ((type == CommandType::JUMP_HOT_CUE || type == CommandType::BEAT_JUMP) &&
        decks_[c.deck].playing() && sync_.syncOn(c.deck) && masterDeck_ != c.deck)
        sync_.requestAlign(c.deck, false);
}

bool EngineHost::tryDefer(const Command& c) noexcept {
    const CommandType type = c.commandType();
    if (type == CommandType::HOT_CUE_UP) return deferRelease(c);
    // Only a playing master's beat advances: waiting on a paused one would wait for ever.
    if (!quantise_ || !isDeferrable(type) || masterDeck_ < 0 || masterDeck_ == c.deck ||
        !masterPlaying_)
        return false;
    if (type == CommandType::PLAY && decks_[c.deck].slipPaused()) return false;
    for (DeferredSlot& slot : deferred_) {
        if (slot.pending) continue;
        slot.command = c;
        slot.targetBeat = std::floor(masterBeat_) + 1.0;
        slot.pending = true;
        slot.hasRelease = false;
        return true;
    }
    return false; // every slot busy: apply at once
}

bool EngineHost::deferRelease(const Command& c) noexcept {
    // A hot-cue button let go before its parked jump fired: released now, the jump would fire
    // afterwards and hold the deck at the cue (in slip mode, for good). The release rides with
    // the jump and is applied right after it.
    for (DeferredSlot& slot : deferred_) {
        if (!slot.pending || slot.hasRelease || slot.command.deck != c.deck ||
            slot.command.commandType() != CommandType::JUMP_HOT_CUE ||
            std::lround(slot.command.value) != std::lround(c.value))
            continue;
        slot.release = c;
        slot.hasRelease = true;
        return true;
    }
    return false;
}

void EngineHost::applyDeckCommand(const Command& c, bool quantiseLoops) noexcept {
    Deck& deck = decks_[c.deck];
    switch (c.commandType()) {
    case CommandType::LOOP_IN:
    case CommandType::LOOP_OUT: {
        double p = deck.audiblePosition();
        if (quantiseLoops) p = deck.quantisedPosition(p);
        if (c.commandType() == CommandType::LOOP_IN)
            deck.setLoopIn(p);
        else
            deck.setLoopOut(p);
        break;
    }
    case CommandType::RELOOP_EXIT:
        deck.reloopExit();
        break;
    case CommandType::BEAT_LOOP:
        deck.beatLoop(c.value, quantiseLoops);
        break;
    case CommandType::LOOP_HALVE:
        deck.scaleLoop(0.5);
        break;
    case CommandType::LOOP_DOUBLE:
        deck.scaleLoop(2.0);
        break;
    default:
        retire(deck.apply(c));
        break;
    }
}

void EngineHost::setSync(int deck, bool on) noexcept {
    Deck& d = decks_[deck];
    if (!on) {
        // Leaving sync keeps the tempo the deck was synced to until the tempo control meets it.
        if (sync_.syncOn(deck) && masterDeck_ != deck) d.holdCurrentRate();
        sync_.setSyncOn(deck, false);
        sync_.clearAlign(deck);
        return;
    }
    const bool wasOn = sync_.syncOn(deck);
    sync_.setSyncOn(deck, true);
    if (!wasOn) sync_.requestAlign(deck, true);
    if (masterDeck_ == deck)
        for (int other = 0; other < kDeckCount; ++other)
            if (other != deck && sync_.syncOn(other)) sync_.requestAlign(other, true);
}

void EngineHost::applyEngineCommand(const Command& c) noexcept {
    const bool deckOk = c.hasValidDeck();
    switch (c.commandType()) {
    case CommandType::SET_MASTER_GAIN:
        bus_.setMasterGain(static_cast<float>(c.value));
        break;
    case CommandType::SET_SYNC:
        if (deckOk) setSync(c.deck, c.flag());
        break;
    case CommandType::SET_SYNC_MASTER:
        if (deckOk && sync_.syncOn(c.deck) && masterDeck_ != c.deck)
            decks_[c.deck].holdCurrentRate();
        sync_.setChosenMaster(deckOk ? c.deck : -1);
        break;
    case CommandType::SYNC_NOW:
        if (deckOk) sync_.requestAlign(c.deck, true);
        break;
    case CommandType::SET_QUANTISE:
        quantise_ = c.flag();
        break;
    case CommandType::SET_FILTER:
        if (deckOk) filters_[c.deck].setKnob(static_cast<float>(std::clamp(c.value, -1.0, 1.0)));
        break;
    case CommandType::SET_FILTER_RESONANCE:
        if (deckOk)
            filters_[c.deck].setResonance(static_cast<float>(std::clamp(c.value, 0.0, 1.0)));
        break;
    case CommandType::SET_FX_TARGET:
        fx_.setTarget(c.value);
        break;
    case CommandType::SET_FX_MODE:
        fx_.setMode(c.value);
        break;
    case CommandType::SET_FX_MIX:
        fx_.setMix(c.value);
        break;
    case CommandType::SET_FX_PARAM:
        fx_.setParam(c.value); // the unit clamps per type (filter and pitch take -1..1)
        break;
    case CommandType::SET_FX_RESONANCE:
        fx_.setResonance(c.value);
        break;
    case CommandType::SET_FX_TYPE:
        fx_.setType(c.value);
        break;
    case CommandType::CLEAR_FX_TARGET:
        fx_.clearTarget();
        break;
    case CommandType::KEY_SYNC:
        // A one-time transposition towards the current master; later changes are not followed.
        if (deckOk)
            decks_[c.deck].toggleKeySync(
                masterDeck_ >= 0 && masterDeck_ != c.deck ? &decks_[masterDeck_] : nullptr);
        break;
    case CommandType::SET_BEAT_JUMP_BEATS: {
        const double r = std::round(c.value);
        if (r == 8.0 || r == 16.0 || r == 32.0 || r == 64.0)
            beatJumpBeats_ = static_cast<std::uint32_t>(r);
        break;
    }
    case CommandType::SWAP_DECKS: {
        const int other = swapPartner(c);
        if (deckOk && other >= 0 && other != c.deck) swapDecks(c.deck, other);
        break;
    }
    default:
        break;
    }
}

void EngineHost::swapDecks(int a, int b) noexcept {
    // Everything the mixer keeps per deck moves with the track, as trim, fader and EQ do.
    decks_[a].swapWith(decks_[b]);
    std::swap(filters_[a], filters_[b]);
    fx_.swapDeckTargets(a, b);
    sync_.swap(a, b);
    std::swap(syncResults_[a], syncResults_[b]);
    if (!masterOverridden_) masterDeck_ = sync_.master();
    for (DeferredSlot& slot : deferred_) {
        if (!slot.pending) continue;
        if (slot.command.deck == a)
            slot.command.deck = slot.release.deck = static_cast<std::int16_t>(b);
        else if (slot.command.deck == b)
            slot.command.deck = slot.release.deck = static_cast<std::int16_t>(a);
    }
}

void EngineHost::afterApply(const Command& c) noexcept {
    capture_.capture(c, frameClock_);
    applied_.push(c); // a full ring simply misses the entry
}

void EngineHost::runDeferred() noexcept {
    for (DeferredSlot& slot : deferred_) {
        if (!slot.pending) continue;
        // Without a master, or once it stops, nothing is waited for any longer.
        double lateness = 0.0;
        if (masterDeck_ >= 0 && masterPlaying_) {
            if (masterBeat_ < slot.targetBeat) continue;
            lateness = masterBeat_ - slot.targetBeat;
        }
        slot.pending = false;
        const Command c = slot.command;
        if (!c.hasValidDeck()) continue;
        // A deferred beat loop starts where the audible position is now, unquantised.
        applyDeckCommand(c, false);
        afterApply(c);
        if (lateness > 0.0) {
            Deck& deck = decks_[c.deck];
            deck.seek(deck.audiblePosition() + deck.beatsToFrames(lateness));
        }
        requestRealign(c);
        if (slot.hasRelease) {
            slot.hasRelease = false;
            applyDeckCommand(slot.release, false);
            afterApply(slot.release);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Render

void EngineHost::render(float* masterOut, float* multiOut, int multiChannels, int frames) {
    realtime::AudioThreadScope audioThread;
    if (!prepared_ || frames < 1) return;
    const auto blockStart = std::chrono::steady_clock::now();
    const int n = std::min(maxBlock_, frames);
    if (multiOut && multiChannels >= 1)
        std::memset(multiOut, 0, sizeof(float) * static_cast<std::size_t>(n) * multiChannels);

    capture_.tick(frameClock_);
    applySoundOptions();
    drainCommands();
    updateSync();
    runDeferred();

    bus_.beginBlock(n);
    fx_.setTempo(masterBpm_);
    fx_.beginBlock(n);

    float* buf = deckBuf_.data();
    for (int d = 0; d < kDeckCount; ++d) {
        Deck& deck = decks_[d];
        if (deck.empty()) continue;
        deck.render(buf, n);
        filters_[d].process(buf, n);
        fx_.processDeck(d, buf, n);
        if (multiOut && 2 * d + 2 <= multiChannels) {
            for (int f = 0; f < n; ++f) {
                multiOut[static_cast<std::size_t>(f) * multiChannels + 2 * d] = buf[2 * f];
                multiOut[static_cast<std::size_t>(f) * multiChannels + 2 * d + 1] = buf[2 * f + 1];
            }
        }
        bus_.addDeck(buf, n, deck.cueEnabled());
    }
    fx_.finishBlock(bus_.master(), n);
    bus_.output(masterOut, cueOut_.data(), n);
    if (tap_) tap_->onMasterBlock(masterOut, n, frameClock_);

    frameClock_ += static_cast<std::uint64_t>(n);
    noteBlockTime(std::chrono::steady_clock::now() - blockStart, n);
    publishSnapshot();
}

// The worst block of the last second: the larger of the previous whole second's worst and the
// current second's so far, so the figure never forgets a block younger than a second.
void EngineHost::noteBlockTime(std::chrono::steady_clock::duration took, int frames) noexcept {
    const float ms = std::chrono::duration<float, std::milli>(took).count();
    windowWorstMs_ = std::max(windowWorstMs_, ms);
    windowFrames_ += frames;
    if (windowFrames_ >= sampleRate_) {
        previousWorstMs_ = windowWorstMs_;
        windowWorstMs_ = 0.0f;
        windowFrames_ = 0;
    }
}

void EngineHost::applySoundOptions() noexcept {
    const std::uint32_t word = soundOptions_.load(std::memory_order_acquire);
    if (word == appliedSoundOptions_) return;
    appliedSoundOptions_ = word;
    for (Deck& deck : decks_)
        deck.setSoundOptions(SoundOptions::unpack(word));
}

void EngineHost::updateSync() noexcept {
    for (int d = 0; d < kDeckCount; ++d) {
        const Deck& deck = decks_[d];
        SyncInput& in = syncInputs_[d];
        in.loaded = !deck.empty();
        in.playing = deck.playing();
        in.hasGrid = deck.hasGrid();
        in.gridBpm = deck.gridBpm();
        in.localBpm = deck.localBpm();
        in.userRate = deck.userRate();
        in.beat = deck.beatPosition();
        in.barPhase = deck.barPhase();
        in.jogging = deck.jogging();
    }
    sync_.update(syncInputs_, syncResults_);
    for (int d = 0; d < kDeckCount; ++d) {
        Deck& deck = decks_[d];
        const SyncResult& r = syncResults_[d];
        // A deck that stops following keeps the tempo it was synced to.
        if (!r.following && deck.syncRate() > 0.0) deck.holdCurrentRate();
        deck.setSyncRate(r.following ? r.rate : 0.0);
        if (r.correction != 0.0) deck.jumpBeats(r.correction);
    }
    if (!masterOverridden_) {
        masterDeck_ = sync_.master();
        masterBpm_ = sync_.masterBpm();
        masterBeat_ = sync_.masterBeat();
        masterPlaying_ = sync_.masterPlaying();
    }
}

void EngineHost::publishSnapshot() noexcept {
    EngineSnapshot& s = scratchSnapshot_;
    s.frame = frameClock_;
    s.worst1s = std::max(previousWorstMs_, windowWorstMs_);
    s.loadedDecks = 0;
    s.masterPeak = bus_.masterPeak();
    s.limiterGain = bus_.limiterGain();
    s.masterBpm = masterDeck_ >= 0 ? static_cast<float>(masterBpm_) : 0.0f;
    s.masterDeck = masterDeck_;
    s.quantise = quantise_;
    s.fxTarget = fx_.target();
    s.fxType = static_cast<std::uint32_t>(fx_.type());
    s.fxSendMode = fx_.sendMode();
    s.fxMix = static_cast<float>(fx_.mix());
    s.fxParam = static_cast<float>(fx_.param());
    s.fxResonance = static_cast<float>(fx_.resonance());
    s.beatJumpBeats = beatJumpBeats_;
    for (int d = 0; d < kDeckCount; ++d) {
        DeckSnapshot& ds = s.decks[d];
        decks_[d].fillSnapshot(ds);
        if (ds.state != static_cast<std::uint8_t>(DeckState::EMPTY)) ++s.loadedDecks;
        ds.sync = sync_.syncOn(d);
        ds.isMaster = masterDeck_ == d;
        ds.filter = filters_[d].knob();
        ds.filterResonance = filters_[d].resonance();
    }
    snapshot_.publish(s);
}

} // namespace vyn
