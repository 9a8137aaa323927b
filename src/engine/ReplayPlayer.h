#pragma once
// The live replay of a set: plays a ReplaySchedule at the pace of the wall clock, at normal or
// four-times speed, with pause and resume of the decks it paused, rewind and take over. While it
// plays (or is paused) it owns the mix: the application then refuses the live surfaces' commands.
//
// Threading: user-interface thread only (its refresh pass drives tick()).

#include "engine/EngineSnapshot.h"
#include "engine/ReplaySchedule.h"

#include <array>
#include <optional>
#include <string>

namespace vyn {

class ReplayPlayer {
public:
    bool loaded() const { return schedule_.has_value(); }
    bool playing() const { return playing_; }
    bool paused() const { return paused_; }
    // True while the replay decides what the decks do.
    bool ownsMix() const { return loaded() && playing_; }
    double speed() const { return loaded() ? schedule_->speed() : 1.0; }

    // Empties the decks, sets their rates to 1.0 and dispatches the set's frame-0 events; a set
    // whose events all lie at frame 0 is done at once and does not keep the mix.
    void start(const SetReplay& set, ReplayOutput& out);
    // Turns elapsed wall time into frames of the set (at the set's rate and the speed) and
    // advances; time that makes no whole frame yet is kept for the next tick.
    void tick(double elapsedSeconds, ReplayOutput& out);
    // Pauses the decks the snapshot shows playing; resume plays exactly those again.
    void pause(const EngineSnapshot& state, ReplayOutput& out);
    void resume(ReplayOutput& out);
    void toggleSpeed(ReplayOutput& out);
    // Back to the start: decks emptied, frame-0 events again, playing.
    void rewind(ReplayOutput& out);
    // Lets go of the mix: the player unloads, the decks keep what they have.
    void takeOver(ReplayOutput& out);

    // Elapsed and total time as "m:ss / m:ss" at the set's rate; empty when nothing is loaded.
    std::string timeText() const;

private:
    void restart(ReplayOutput& out);

    std::optional<ReplaySchedule> schedule_;
    bool playing_ = false;
    bool paused_ = false;
    double pendingSeconds_ = 0.0;
    std::array<bool, kDeckCount> pausedByReplay_{};
};

// "%d:%02d" of whole seconds (minutes may exceed 59).
std::string minutesAndSeconds(double seconds);

} // namespace vyn
