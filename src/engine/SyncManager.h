#pragma once
// Beat sync: once per render block the engine hands the sync manager one input record per deck;
// the manager elects the master deck and computes, for every deck that follows it, a target rate
// (tempo match plus a gentle phase nudge) and, when an align was requested, a one-shot phase
// correction in beats. The engine applies the results to its decks.
//
// Threading: audio thread only (owned by the engine host).

#include <cstdint>

namespace vyn {

struct SyncInput {
    bool loaded = false;
    bool playing = false;
    bool hasGrid = false;
    double gridBpm = 0.0;  // the track's overall grid tempo
    double localBpm = 0.0; // tempo of the grid beat at the audible position
    double userRate = 1.0;
    double beat = 0.0;     // beat position at the audible position
    double barPhase = 0.0; // 0 <= barPhase < 4
    bool jogging = false;
};

struct SyncResult {
    double rate = 1.0;
    double correction = 0.0; // beats to jump forward (one-shot)
    double phaseError = 0.0; // beats, -0.5..0.5
    bool isMaster = false;
    bool following = false;
    bool notCorrecting = false;
};

class SyncManager {
public:
    static constexpr int kDecks = 16;

    bool syncOn(int deck) const { return syncOn_[deck]; }
    void setSyncOn(int deck, bool on) { syncOn_[deck] = on; }
    void requestAlign(int deck, bool snap);
    void clearAlign(int deck);

    int chosenMaster() const { return chosenMaster_; }
    void setChosenMaster(int deck) { chosenMaster_ = (deck >= 0 && deck < kDecks) ? deck : -1; }

    int master() const { return master_; }
    double masterBpm() const { return masterBpm_; }
    double masterBeat() const { return masterBeat_; }
    bool masterPlaying() const { return masterPlaying_; }

    // Steps: align triggers, master election, results for every deck.
    void update(const SyncInput (&in)[kDecks], SyncResult (&out)[kDecks]);

    // Exchanges every per-deck flag and the master references of two decks.
    void swap(int a, int b);

private:
    bool candidate(const SyncInput& in) const { return in.loaded && in.hasGrid && in.gridBpm > 0; }

    bool syncOn_[kDecks] = {};
    bool alignRequest_[kDecks] = {};
    bool alignSnap_[kDecks] = {};
    bool wasPlaying_[kDecks] = {};
    bool wasJogging_[kDecks] = {};
    int chosenMaster_ = -1;
    int master_ = -1;
    double masterBpm_ = 0.0;
    double masterBeat_ = 0.0;
    bool masterPlaying_ = false;
};

} // namespace vyn
