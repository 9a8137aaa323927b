#pragma once
// The catalogue as the flat rows a DJ walks through with the mouse, the keyboard or a
// controller's browse encoder: the root list of every playlist and folder, a folder's contents, a
// playlist's tracks, all tracks, and search results. Activating a row navigates or, for a track,
// yields a load request (track id and target deck) for the caller to queue.
//
// The model keeps no pointers into the catalogue: each entry remembers the route to its node
// (child positions from the root) and its name, and every rebuild finds the node again under the
// catalogue lock. A route that no longer leads to a node of that name (a job replaced the tree)
// shows the fallback title and no content until the next refresh.
//
// Threading: user-interface thread only. Functions that read the catalogue take the catalogue
// lock themselves; the caller must not hold it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn {

class Catalogue;
class MissingTracks;
struct CatalogueTrack;
struct PlaylistNode;

struct BrowseEntry {
    std::uint32_t index = 0;
    std::int32_t parent = -1; // -1 for the root
    std::uint32_t depth = 0;  // 0 for the root
    bool folder = true;
    std::uint64_t trackCount = 0; // the node's track ids and all its descendants'
    std::string name;
    std::vector<std::uint32_t> route; // child positions from the catalogue root
};

namespace browse_view {
inline constexpr std::uint8_t kRoot = 0;
inline constexpr std::uint8_t kFolder = 1;
inline constexpr std::uint8_t kPlaylist = 2;
inline constexpr std::uint8_t kAllTracks = 3;
} // namespace browse_view

struct BrowseLocation {
    std::uint8_t kind = browse_view::kRoot;
    std::int32_t index = 0; // entry index; ignored for the root and all tracks
};

namespace browse_row {
inline constexpr std::int32_t kBack = 0;
inline constexpr std::int32_t kAllTracks = 1;
inline constexpr std::int32_t kEntry = 2;
inline constexpr std::int32_t kTrack = 3;
} // namespace browse_row

struct BrowseRow {
    std::int32_t kind = browse_row::kBack;
    std::uint32_t id = 0; // entry index (kEntry) or catalogue track id (kTrack)
    std::string text;
    std::string detail;
    bool folder = false;
    bool missing = false;    // a track whose file was not found at the last relink pass
    std::uint32_t depth = 0; // of a tree entry, for indenting
};

struct BrowseResult {
    bool navigated = false;
    std::uint32_t trackId = 0; // 0: no load
    int deck = 0;              // 0-based target deck of a load
    std::string message;
};

// Controller input, in order (MIDI browse events turned into these by the caller).
struct BrowseEvent {
    enum class Kind : std::uint8_t { Scroll, SelectDeck, Activate, Back };
    Kind kind = Kind::Scroll;
    std::int32_t value = 0; // rows to scroll, or the 0-based deck
};

// A track of the playlist shown: its id and its catalogue path.
struct PlaylistTrack {
    std::uint32_t id = 0;
    std::string path;
};

class BrowseModel {
public:
    static constexpr std::size_t kSearchLimit = 200;
    static constexpr const char* kSeparator = "  \xC2\xB7  ";
    static constexpr const char* kNoRow = "No browsed row is available to load.";

    BrowseModel() = default; // no catalogue: title "Playlists", no rows
    explicit BrowseModel(const Catalogue& catalogue, const MissingTracks* missing = nullptr)
        : catalogue_(&catalogue), missing_(missing) {}

    // Rebuilds the entries from the catalogue's tree, returns to the root view and selects row 0.
    void refreshFromCatalogue();
    // Rebuilds the title and rows of the view on top of the stack (or the search results).
    void rebuildRows();

    const std::string& title() const { return title_; }
    const std::vector<BrowseRow>& rows() const { return rows_; }
    const std::vector<BrowseEntry>& entries() const { return entries_; }
    const std::vector<BrowseLocation>& stack() const { return stack_; }
    int selected() const { return selected_; }
    int targetDeck() const { return targetDeck_; }
    const BrowseLocation& top() const;

    // Activates `row` for deck number `deckNumber` (1-based, clamped to 0 .. lastDeck).
    // `navigate` sets the result's navigated flag when the row navigates.
    BrowseResult activate(int row, int lastDeck, int deckNumber, bool navigate);
    // Pops the view (as the back row does); false at the bottom. While searching, leaves the
    // search instead.
    bool goBack();
    void select(int row);
    // The controller rule: in a track list the selection never lands on the back row.
    void scroll(std::int64_t rows);
    void setTargetDeck(int deck, int lastDeck);
    BrowseResult applyEvents(const std::vector<BrowseEvent>& events, int deckCount);
    // The jump list beside the rows: the root view, then that entry's view or all tracks.
    void openEntry(int entry);
    void openAllTracks();

    // Non-empty: the rows are the catalogue's search results (at most kSearchLimit).
    void setSearch(std::string text);
    const std::string& search() const { return search_; }
    bool searching() const { return !search_.empty(); }

    // The view shows a playlist (not searching).
    bool showsPlaylist() const;
    // The playlist's tracks in row order (row r + 1 shows track r); empty unless showsPlaylist().
    std::vector<PlaylistTrack> playlistTracks() const;
    // The playlist's key: the node names from the top level down, joined by "/", an empty name as
    // "(untitled)".
    std::string playlistKey() const;
    // The selected row's position in the playlist, or -1.
    int selectedPlaylistPosition() const;

    // Track row details: artist, tempo, length, "missing", joined by the separator.
    static std::string trackDetail(const CatalogueTrack& track, bool missing);
    static std::string searchDetail(const CatalogueTrack& track, bool missing);

private:
    const PlaylistNode* nodeOf(std::int32_t entry) const; // lock held
    BrowseRow trackRow(const CatalogueTrack& track, bool forSearch) const;
    void entryRows(std::int32_t parent);
    void buildRows(); // lock held
    void clampSelection();

    const Catalogue* catalogue_ = nullptr;
    const MissingTracks* missing_ = nullptr;
    std::vector<BrowseEntry> entries_;
    std::vector<BrowseLocation> stack_{BrowseLocation{}};
    std::vector<BrowseRow> rows_;
    std::string title_ = "Playlists";
    std::string search_;
    int selected_ = 0;
    int browseSelected_ = 0; // the browse view's selection, kept while searching
    int targetDeck_ = 0;
};

} // namespace vyn
