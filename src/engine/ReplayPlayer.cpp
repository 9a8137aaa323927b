#include "engine/ReplayPlayer.h"

#include <cmath>
#include <cstdio>

namespace vyn {

std::string minutesAndSeconds(double seconds) {
    const long long whole =
        std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

void ReplayPlayer::start(const SetReplay& set, ReplayOutput& out) {
    if (schedule_) schedule_->rewind(out);
    schedule_.emplace(set);
    restart(out);
}

void ReplayPlayer::restart(ReplayOutput& out) {
    schedule_->rewind(out);
    schedule_->resetDecks(out);
    pausedByReplay_.fill(false);
    pendingSeconds_ = 0.0;
    playing_ = schedule_->lastFrame() > 0;
    paused_ = false;
    schedule_->advanceTo(0, out);
}

void ReplayPlayer::tick(double elapsedSeconds, ReplayOutput& out) {
    if (!loaded() || !playing_ || paused_) return;
    if (std::isfinite(elapsedSeconds) && elapsedSeconds > 0) pendingSeconds_ += elapsedSeconds;
    const double frames =
        std::trunc(pendingSeconds_ * schedule_->set().sampleRate * schedule_->speed());
    if (frames <= 0) return;
    pendingSeconds_ = 0.0;
    const std::int64_t last = schedule_->lastFrame();
    const double target = static_cast<double>(schedule_->position()) + frames;
    schedule_->advanceTo(
        target >= static_cast<double>(last) ? last : static_cast<std::int64_t>(target), out);
    if (schedule_->position() >= last && schedule_->nextFrame() < 0) playing_ = false;
}

void ReplayPlayer::pause(const EngineSnapshot& state, ReplayOutput& out) {
    if (!loaded() || !playing_ || paused_) return;
    for (int d = 0; d < kDeckCount; ++d) {
        const bool wasPlaying =
            state.decks[d].state == static_cast<std::uint8_t>(DeckState::PLAYING);
        pausedByReplay_[static_cast<std::size_t>(d)] = wasPlaying;
        if (wasPlaying) out.post(Command(CommandType::PAUSE, d));
    }
    paused_ = true;
}

void ReplayPlayer::resume(ReplayOutput& out) {
    if (!loaded() || !playing_ || !paused_) return;
    for (int d = 0; d < kDeckCount; ++d)
        if (pausedByReplay_[static_cast<std::size_t>(d)]) out.post(Command(CommandType::PLAY, d));
    pausedByReplay_.fill(false);
    paused_ = false;
}

void ReplayPlayer::toggleSpeed(ReplayOutput& out) {
    if (!loaded()) return;
    schedule_->setSpeed(schedule_->speed() == 4.0 ? 1.0 : 4.0, out);
}

void ReplayPlayer::rewind(ReplayOutput& out) {
    if (loaded()) restart(out);
}

void ReplayPlayer::takeOver(ReplayOutput& out) {
    if (schedule_) schedule_->rewind(out);
    schedule_.reset();
    playing_ = paused_ = false;
    pausedByReplay_.fill(false);
}

std::string ReplayPlayer::timeText() const {
    if (!loaded()) return std::string();
    const double rate = schedule_->set().sampleRate;
    return minutesAndSeconds(static_cast<double>(schedule_->position()) / rate) + " / " +
           minutesAndSeconds(static_cast<double>(schedule_->lastFrame()) / rate);
}

} // namespace vyn
