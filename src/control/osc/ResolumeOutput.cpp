#include "control/osc/ResolumeOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vyn {

namespace {

constexpr const char* kTempo = "/composition/tempocontroller/tempo";
constexpr const char* kPause = "/composition/tempocontroller/pause";
constexpr const char* kResync = "/composition/tempocontroller/resync";

bool playing(const DeckSnapshot& d) {
    return d.state == static_cast<std::uint8_t>(DeckState::PLAYING);
}

float dial(double value) {
    if (!std::isfinite(value)) return 0.0f;
    return static_cast<float>(std::clamp(value, 0.0, 1.0));
}

} // namespace

double mixTempo(const EngineSnapshot& s) {
    if (s.masterBpm > 0.5f) return s.masterBpm;
    for (const DeckSnapshot& d : s.decks)
        if (playing(d) && d.hasGrid && d.bpm > 0.5f) return static_cast<double>(d.bpm) * d.rate;
    return 0.0;
}

void ResolumeOutput::reset() {
    hasPrevious_ = false;
    lastTempo_ = 0.0f;
    lastPaused_ = false;
    dialsSent_ = false;
    lastDials_.fill(0.0f);
    cueHead_ = 0;
    cueCount_ = 0;
}

void ResolumeOutput::queueCue(const Command& c) {
    const bool press = c.commandType() == CommandType::JUMP_HOT_CUE;
    if (!press && c.commandType() != CommandType::HOT_CUE_UP) return;
    // A negative or non-finite value addresses no cue (truncating -0.5 would give cue 1).
    if (!std::isfinite(c.value) || c.value < 0.0 || c.value >= 8.0) return;
    if (c.deck < 0 || c.deck > 15) return;
    const CueEvent e{c.deck, static_cast<std::int8_t>(c.value), press};
    if (cueCount_ == kCueQueue) {
        // Full: the oldest press gives way; a release is never dropped, or its clip would stay
        // connected. (A queue of releases only would need 512 presses before them.)
        int victim = -1;
        for (int i = 0; i < cueCount_ && victim < 0; ++i)
            if (cues_[static_cast<std::size_t>((cueHead_ + i) % kCueQueue)].press) victim = i;
        if (victim < 0) return;
        for (int i = victim; i + 1 < cueCount_; ++i)
            cues_[static_cast<std::size_t>((cueHead_ + i) % kCueQueue)] =
                cues_[static_cast<std::size_t>((cueHead_ + i + 1) % kCueQueue)];
        --cueCount_;
    }
    cues_[static_cast<std::size_t>((cueHead_ + cueCount_) % kCueQueue)] = e;
    ++cueCount_;
}

bool ResolumeOutput::cueMessage(const CueEvent& e, OscMessage& out) const {
    char address[96];
    if (settings_.cueMap == 0) {
        const std::int64_t column = static_cast<std::int64_t>(settings_.columnOffset) + e.index;
        if (column < 1 || column > INT32_MAX) return false;
        std::snprintf(address, sizeof address, "/composition/columns/%d/connect",
                      static_cast<int>(column));
    } else {
        const std::int64_t layer = static_cast<std::int64_t>(settings_.layerOffset) + e.deck;
        if (layer < 1 || layer > INT32_MAX) return false;
        std::snprintf(address, sizeof address, "/composition/layers/%d/clips/%d/connect",
                      static_cast<int>(layer), e.index + 1);
    }
    out = OscMessage::withInt(address, e.press ? 1 : 0);
    return !out.empty();
}

int ResolumeOutput::referenceDeck(const EngineSnapshot& s) const {
    if (s.masterDeck >= 0 && s.masterDeck < 16 && s.decks[s.masterDeck].hasGrid)
        return s.masterDeck;
    for (int d = 0; d < 16; ++d)
        if (playing(s.decks[d]) && s.decks[d].hasGrid) return d;
    for (int d = 0; d < 16; ++d)
        if (s.decks[d].hasGrid) return d;
    return -1;
}

bool ResolumeOutput::wantResync(const EngineSnapshot& s, int r) const {
    const DeckSnapshot& now = s.decks[r];
    if (!hasPrevious_) {
        if (!now.hasGrid) return false;
        for (const DeckSnapshot& d : s.decks)
            if (playing(d)) return true;
        return false;
    }
    const DeckSnapshot& before = previous_.decks[r];
    if (settings_.resyncEveryBar && now.hasGrid && before.hasGrid) {
        const double barNow = std::max(0.0, std::floor(static_cast<double>(now.bar)));
        const double barBefore = std::max(0.0, std::floor(static_cast<double>(before.bar)));
        if (barNow == 0.0 && barBefore > 0.0) return true;
    }
    if (playing(now) && !playing(before)) return true;
    const double moved = now.beat - before.beat;
    return moved < -0.05 || moved > 0.5;
}

void ResolumeOutput::tick(const EngineSnapshot& s,
                          const std::function<bool(Command&)>& popApplied) {
    const bool open = sender_.isOpen();
    Command c;
    while (popApplied && popApplied(c))
        if (open && settings_.cuesOn) queueCue(c);
    if (!open) {
        cueCount_ = 0;
        return;
    }

    OscMessage state[12];
    int states = 0;
    const double tempo = mixTempo(s);
    if (settings_.tempoOn && tempo > 0.5 &&
        std::fabs(tempo - static_cast<double>(lastTempo_)) >= 0.01) {
        state[states++] = OscMessage::withStringFloat(kTempo, "a", static_cast<float>(tempo));
        lastTempo_ = static_cast<float>(tempo);
    }
    bool allStopped = true;
    for (const DeckSnapshot& d : s.decks)
        if (playing(d)) allStopped = false;
    if (settings_.pauseOn && (!hasPrevious_ || allStopped != lastPaused_)) {
        state[states++] = OscMessage::withInt(kPause, allStopped ? 1 : 0);
        lastPaused_ = allStopped;
    }
    const int r = referenceDeck(s);
    if (settings_.resyncOn && r >= 0 && wantResync(s, r))
        state[states++] = OscMessage::withInt(kResync, 1);
    if (settings_.dashboardOn) {
        std::array<float, 8> v{};
        if (r >= 0) {
            const DeckSnapshot& d = s.decks[r];
            v[0] = d.hasGrid ? dial(static_cast<double>(d.bar) * 0.25) : 0.0f;
            const double beat = d.beat - std::floor(d.beat);
            v[1] = dial(beat < 0.0 ? beat + 1.0 : beat);
            v[3] = d.length > 0 ? dial(d.position / static_cast<double>(d.length)) : 0.0f;
        }
        v[2] = dial(s.masterPeak);
        for (int i = 0; i < 4; ++i)
            v[static_cast<std::size_t>(4 + i)] = dial((s.decks[i].filter + 1.0) * 0.5);
        for (std::size_t i = 0; i < 8; ++i) {
            if (dialsSent_ && std::fabs(v[i] - lastDials_[i]) < 0.002f) continue;
            char address[48];
            std::snprintf(address, sizeof address, "/composition/dashboard/link%d",
                          static_cast<int>(i + 1));
            state[states++] = OscMessage::withFloat(address, v[i]);
            lastDials_[i] = v[i];
        }
        dialsSent_ = true;
    }
    previous_ = s;
    hasPrevious_ = true;

    // Hot cues first, in the order they were applied, in the room the state messages leave.
    OscMessage cueMessages[kMaxMessages];
    CueEvent taken[kMaxMessages];
    int cues = 0, takenCount = 0;
    while (cueCount_ > 0 && cues < kMaxMessages - states) {
        const CueEvent e = cues_[static_cast<std::size_t>(cueHead_)];
        cueHead_ = (cueHead_ + 1) % kCueQueue;
        --cueCount_;
        if (!cueMessage(e, cueMessages[cues])) continue;
        taken[takenCount++] = e;
        ++cues;
    }

    const int total = cues + states;
    if (total == 0) return;
    OscSendResult result;
    if (total == 1) {
        const OscMessage& only = cues ? cueMessages[0] : state[0];
        result = sender_.send(only.data(), only.size());
    } else {
        OscBundle bundle;
        for (int i = 0; i < cues; ++i)
            bundle.add(cueMessages[i]);
        for (int i = 0; i < states; ++i)
            bundle.add(state[i]);
        result = sender_.send(bundle.data(), bundle.size());
    }
    if (result == OscSendResult::Sent) {
        ++datagrams_;
        return;
    }
    // Lost: the hot-cue events go back to the front of the queue, and the next tick sends the
    // tempo, pause and dials again.
    for (int i = takenCount - 1; i >= 0; --i) {
        if (cueCount_ == kCueQueue) break;
        cueHead_ = (cueHead_ + kCueQueue - 1) % kCueQueue;
        cues_[static_cast<std::size_t>(cueHead_)] = taken[i];
        ++cueCount_;
    }
    lastTempo_ = 0.0f;
    dialsSent_ = false;
    hasPrevious_ = false;
}

} // namespace vyn
