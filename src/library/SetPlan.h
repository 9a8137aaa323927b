#pragma once
// Set Plan: runs of consecutive playlist tracks marked as groups that belong together in a set.
// When the first track of a group is loaded onto a deck from its playlist, the rest of the group
// follows onto decks that are not playing. Playlists are keyed by their names from the top level
// ("Club/Peak"), tracks by their path from a stick's "/Contents/" folder on, so a plan made at
// home finds the same tracks on a stick plugged in elsewhere.
//
// The plan is kept as text ("VYNSETPLAN 1"): the full text locally, and on each stick the stick
// text, which holds only the groups whose every track lies under "/Contents/". Every change can
// be undone (64 steps) and redone.
//
// Threading: user-interface thread only (a plain model; files are SetPlanStore's).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

struct PlanGroup {
    std::vector<std::string> keys; // track keys, at least two
    bool operator==(const PlanGroup&) const = default;
};

struct PlanPlaylist {
    std::string key;
    std::vector<PlanGroup> groups;
    bool operator==(const PlanPlaylist&) const = default;
};

// Where a row of a playlist view sits in a group: run 0 means none.
struct GroupMark {
    int run = 0;      // counting from 1 over all runs of the view
    int position = 0; // 0-based place in the run
    int size = 0;
    bool first = false;
    bool last = false;
};

namespace set_plan_text {
inline constexpr const char* kHeader = "VYNSETPLAN 1";
inline constexpr const char* kHelp =
    "Select consecutive tracks in a playlist, then Group. In Mix, loading the first queues the "
    "rest onto decks that are not playing.";
inline constexpr const char* kNotAPlan = "Not a Set Plan file.";
inline constexpr const char* kEmptyPlaylistKey = "A playlist key is empty.";
inline constexpr const char* kGroupWithoutPlaylist = "A group has no playlist.";
inline constexpr const char* kSizeNotANumber = "A group size is not a number.";
inline constexpr const char* kGroupTooSmall = "A group must contain at least two tracks.";
inline constexpr const char* kTruncated = "A group is truncated.";
inline constexpr const char* kEmptyPath = "A group path is empty.";
inline constexpr const char* kUnexpectedLine = "Unexpected Set Plan line.";
inline constexpr const char* kNoPlaylist = "Open a playlist to group tracks.";
inline constexpr const char* kSelectTwo = "Select at least two consecutive tracks.";
inline constexpr const char* kNotAdjacent =
    "Group tracks that sit next to each other in this playlist.";
inline constexpr const char* kNoPath = "A selected track has no catalogue path.";
inline constexpr const char* kUngrouped = "Ungrouped.";
inline constexpr const char* kUndid = "Undid.";
inline constexpr const char* kRedid = "Redid.";
} // namespace set_plan_text

// The track key of a catalogue path: "\" becomes "/", then the path from its first "/Contents/"
// on when it has one.
std::string setPlanTrackKey(std::string_view path);

class SetPlan {
public:
    static constexpr std::size_t kUndoSteps = 64;

    // Replaces the playlists with the text's; empty text gives an empty plan. On failure returns
    // the message and leaves the plan as it was; empty on success.
    std::string parse(std::string_view text);
    // The playlists of `text` that have groups replace (or join) the plan's playlists of the same
    // key. Header-only or empty text changes nothing; a failure changes nothing.
    std::string merge(std::string_view text);

    std::string fullText() const;
    std::string stickText() const;
    bool stickTextHasGroups() const;

    // Groups the playlist positions (0-based, in the playlist's track order) given the paths of
    // the playlist's tracks (empty for a track without a catalogue path). Returns "" and records
    // an undo step on success, else the message.
    std::string group(const std::string& playlistKey, std::vector<int> positions,
                      const std::vector<std::string>& paths);
    // Removes every group of the playlist holding one of the positions' track keys.
    void ungroup(const std::string& playlistKey, const std::vector<int>& positions,
                 const std::vector<std::string>& paths);
    bool undo();
    bool redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    void clearHistory();

    // The marks of a playlist view's rows, from the paths of its tracks in order.
    std::vector<GroupMark> marks(const std::string& playlistKey,
                                 const std::vector<std::string>& paths) const;
    // The positions that follow `position` when it starts a marked run of two or more.
    std::vector<int> followers(const std::string& playlistKey, int position,
                               const std::vector<std::string>& paths) const;

    const std::vector<PlanPlaylist>& playlists() const { return playlists_; }
    const std::string& savedStickText() const { return savedStickText_; }
    void setSavedStickText(std::string text) { savedStickText_ = std::move(text); }
    bool stickTextSaved() const { return stickText() == savedStickText_; }

private:
    const PlanPlaylist* find(const std::string& key) const;
    PlanPlaylist& findOrAdd(const std::string& key);
    // Pushes `before` as an undo step when the plan changed.
    void recordStep(std::string before);

    std::vector<PlanPlaylist> playlists_;
    std::deque<std::string> undo_;
    std::vector<std::string> redo_;
    std::string savedStickText_;
};

// Decks for a group's followers when its first track went to `firstDeck`: in circular order from
// the deck after it, each follower gets the next deck that is neither used nor playing. `playing`
// holds one flag per deck (its size is the number of decks, at most 16). Returns one deck per
// follower that found one, in order.
std::vector<int> followerDecks(int firstDeck, std::size_t followers,
                               const std::vector<bool>& playing);

} // namespace vyn
