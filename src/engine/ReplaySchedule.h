#pragma once
// The one reading of a set replay: which recorded events are replayed, how loads are decoded
// ahead and handed to their deck at their recorded frame, how SET_RATE follows the replay speed
// and where deck swaps go. The live replay player (paced by the wall clock) and the offline
// renderer (paced by its render position) both advance a ReplaySchedule; only the pace differs.
//
// Replayed: command events with ordinals 1-51. Skipped: MIDI events (what they did was recorded as
// the commands their bindings produced), NONE, negative ordinals, the stem commands and
// REPLACE_TRACK (52 and above: stems are the loader's own business), and deck commands for decks
// outside 0-15 where the deck matters (loads, rates).
//
// Threading: one thread, the one that owns the engine host.

#include "engine/Command.h"
#include "engine/SetReplay.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

enum class HandOver { Done, Waiting };

// Where a schedule sends what it dispatches.
class ReplayOutput {
public:
    virtual ~ReplayOutput() = default;
    // Into the engine host's own command ring; false when the ring is full (retried later).
    virtual bool post(const Command& command) = 0;
    // Starts decoding a recorded load ahead of its frame, held back until handOver(): by
    // catalogue id when `trackId` > 0 and the id is known, else by `path`. False when the load
    // cannot be queued at all (the event is then skipped).
    virtual bool preload(int deck, std::int32_t trackId, const std::string& path) = 0;
    // The load's frame has come: the held track goes to its deck. Waiting while it still decodes
    // (the schedule stops there and asks again on its next advance).
    virtual HandOver handOver(int deck) = 0;
    // A recorded SWAP_DECKS, to the track loader's swap request.
    virtual void swap(int a, int b) = 0;
    // Held loads that will never be handed over (rewind, take over) are dropped.
    virtual void discardPreloads() = 0;
};

class ReplaySchedule {
public:
    static constexpr double kPreloadSeconds = 4.0;

    explicit ReplaySchedule(SetReplay set = {});

    const SetReplay& set() const { return set_; }
    // The frame of the last event (0 for an empty set): where the replay ends.
    std::int64_t lastFrame() const { return lastFrame_; }
    std::int64_t position() const { return position_; }
    double speed() const { return speed_; }
    // The frame of the next event still to dispatch, or -1 when none is left.
    std::int64_t nextFrame() const;
    bool anyLoadWaiting() const;

    // Back to frame 0 with nothing dispatched; held loads are discarded. The speed stays.
    void rewind(ReplayOutput& out);
    // Empties every deck and puts its rate back to 1.0 (UNLOAD, then SET_RATE 1.0 times the
    // speed, per deck).
    void resetDecks(ReplayOutput& out);
    // Loads ahead what lies within four seconds of `target`, then dispatches every event up to
    // `target` (frames of the set). Returns false when it stopped at an event the output could not
    // take yet: the position then stays at that event's frame and the next call starts there.
    bool advanceTo(std::int64_t target, ReplayOutput& out);
    // 1.0 or 4.0 (anything else counts as 1.0); every deck's rate is posted again as its recorded
    // rate times the new speed.
    void setSpeed(double speed, ReplayOutput& out);

private:
    void preloadUpTo(std::int64_t horizon, ReplayOutput& out);
    bool dispatch(std::size_t index, ReplayOutput& out);
    bool fire(std::size_t index, ReplayOutput& out);

    SetReplay set_;
    std::int64_t lastFrame_ = 0;
    std::int64_t position_ = 0;
    std::size_t next_ = 0;
    double speed_ = 1.0;
    std::vector<std::size_t> loadIndices_;
    std::size_t firstUnfiredLoad_ = 0;
    std::vector<bool> fired_;
    // The load event each deck's held track belongs to, or -1.
    std::array<std::int64_t, kDeckCount> waiting_{};
    std::array<double, kDeckCount> recordedRate_{};
};

} // namespace vyn
