#include "engine/ReplaySchedule.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vyn {
namespace {

constexpr int kLoad = static_cast<int>(CommandType::LOAD_TRACK);
constexpr int kSetRate = static_cast<int>(CommandType::SET_RATE);
constexpr int kSwap = static_cast<int>(CommandType::SWAP_DECKS);
constexpr int kLastReplayed = static_cast<int>(CommandType::SWAP_DECKS);

bool isDeck(std::int32_t deck) {
    return deck >= 0 && deck < kDeckCount;
}

// `frame` plus `seconds` of the set, saturating instead of overflowing on absurd sample rates.
std::int64_t framesAhead(std::int64_t frame, double seconds, double sampleRate) {
    const double ahead = seconds * sampleRate;
    const double limit = static_cast<double>(std::numeric_limits<std::int64_t>::max() - frame);
    if (!(ahead < limit)) return std::numeric_limits<std::int64_t>::max();
    return frame + static_cast<std::int64_t>(ahead);
}

} // namespace

ReplaySchedule::ReplaySchedule(SetReplay set) : set_(std::move(set)) {
    set_.sampleRate = std::isfinite(set_.sampleRate) ? std::max(set_.sampleRate, 1.0) : 48000.0;
    // A hand-made document may be out of order; a recorded one never is.
    sortEventsStably(set_.events);
    lastFrame_ = set_.events.empty() ? 0 : std::max<std::int64_t>(set_.events.back().frame, 0);
    for (std::size_t i = 0; i < set_.events.size(); ++i) {
        const ReplayEvent& e = set_.events[i];
        if (!e.isMidi && e.command == kLoad) loadIndices_.push_back(i);
    }
    fired_.assign(set_.events.size(), false);
    waiting_.fill(-1);
    recordedRate_.fill(1.0);
}

std::int64_t ReplaySchedule::nextFrame() const {
    return next_ < set_.events.size() ? set_.events[next_].frame : -1;
}

bool ReplaySchedule::anyLoadWaiting() const {
    return std::any_of(waiting_.begin(), waiting_.end(), [](std::int64_t i) { return i >= 0; });
}

void ReplaySchedule::rewind(ReplayOutput& out) {
    if (anyLoadWaiting()) out.discardPreloads();
    position_ = 0;
    next_ = 0;
    firstUnfiredLoad_ = 0;
    std::fill(fired_.begin(), fired_.end(), false);
    waiting_.fill(-1);
}

void ReplaySchedule::resetDecks(ReplayOutput& out) {
    for (int d = 0; d < kDeckCount; ++d) {
        out.post(Command(CommandType::UNLOAD, d));
        out.post(Command(CommandType::SET_RATE, d, speed_));
    }
    recordedRate_.fill(1.0);
}

void ReplaySchedule::setSpeed(double speed, ReplayOutput& out) {
    speed_ = speed == 4.0 ? 4.0 : 1.0;
    for (int d = 0; d < kDeckCount; ++d)
        out.post(
            Command(CommandType::SET_RATE, d, recordedRate_[static_cast<std::size_t>(d)] * speed_));
}

bool ReplaySchedule::fire(std::size_t index, ReplayOutput& out) {
    fired_[index] = true;
    const ReplayEvent& e = set_.events[index];
    if (!isDeck(e.deck) || !out.preload(e.deck, e.trackId, e.path)) return false;
    waiting_[static_cast<std::size_t>(e.deck)] = static_cast<std::int64_t>(index);
    return true;
}

void ReplaySchedule::preloadUpTo(std::int64_t horizon, ReplayOutput& out) {
    while (firstUnfiredLoad_ < loadIndices_.size() && fired_[loadIndices_[firstUnfiredLoad_]])
        ++firstUnfiredLoad_;
    // A deck holds one track ahead at a time: its next load starts once the previous one reached
    // the deck, so a held track is never superseded before its frame.
    std::array<bool, kDeckCount> busy{};
    for (int d = 0; d < kDeckCount; ++d)
        busy[static_cast<std::size_t>(d)] = waiting_[static_cast<std::size_t>(d)] >= 0;
    for (std::size_t k = firstUnfiredLoad_; k < loadIndices_.size(); ++k) {
        const std::size_t i = loadIndices_[k];
        const ReplayEvent& e = set_.events[i];
        if (e.frame > horizon) break;
        if (fired_[i]) continue;
        if (!isDeck(e.deck)) {
            fired_[i] = true;
            continue;
        }
        auto& deckBusy = busy[static_cast<std::size_t>(e.deck)];
        if (deckBusy) continue;
        deckBusy = true;
        fire(i, out);
    }
}

bool ReplaySchedule::dispatch(std::size_t index, ReplayOutput& out) {
    const ReplayEvent& e = set_.events[index];
    if (e.isMidi || e.command <= 0 || e.command > kLastReplayed) return true;
    if (e.command == kLoad) {
        if (!isDeck(e.deck)) return true;
        const auto deck = static_cast<std::size_t>(e.deck);
        // Not loaded ahead (its deck still held an earlier track, or this is its own frame).
        if (!fired_[index] && !fire(index, out)) return true;
        if (waiting_[deck] != static_cast<std::int64_t>(index)) return true;
        if (out.handOver(e.deck) == HandOver::Waiting) return false;
        waiting_[deck] = -1;
        return true;
    }
    if (e.command == kSwap) {
        const double other = std::round(e.value); // half away from zero
        if (isDeck(e.deck) && std::isfinite(other) && other >= 0 && other < kDeckCount)
            out.swap(e.deck, static_cast<int>(other));
        return true;
    }
    Command c(static_cast<CommandType>(e.command), std::clamp(e.deck, -1, 32767), e.value);
    if (e.command == kSetRate && isDeck(e.deck)) {
        recordedRate_[static_cast<std::size_t>(e.deck)] = e.value;
        c.value = e.value * speed_;
    }
    return out.post(c);
}

bool ReplaySchedule::advanceTo(std::int64_t target, ReplayOutput& out) {
    const std::int64_t horizon =
        framesAhead(std::max<std::int64_t>(target, 0), kPreloadSeconds, set_.sampleRate);
    preloadUpTo(horizon, out);
    bool reached = true;
    while (next_ < set_.events.size() && set_.events[next_].frame <= target) {
        if (!dispatch(next_, out)) {
            reached = false;
            break;
        }
        ++next_;
    }
    position_ =
        reached ? std::max(position_, target) : std::max(position_, set_.events[next_].frame);
    // A deck whose held track just went over may start decoding its next one.
    preloadUpTo(horizon, out);
    return reached;
}

} // namespace vyn
