#include "library/BrowseModel.h"

#include "library/Catalogue.h"
#include "library/MissingTracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <utility>

namespace vyn {
namespace {

constexpr const char* kUntitled = "(untitled)";

std::string tracksText(std::uint64_t n) {
    return std::to_string(n) + " tracks";
}

void appendPart(std::string& detail, const std::string& part) {
    if (!detail.empty()) detail += BrowseModel::kSeparator;
    detail += part;
}

bool positive(double v) {
    return std::isfinite(v) && v > 0.0;
}

std::string bpmText(double bpm) {
    return std::to_string(std::lround(std::min(bpm, 1.0e6))) + " BPM";
}

} // namespace

const BrowseLocation& BrowseModel::top() const {
    return stack_.back();
}

std::string BrowseModel::trackDetail(const CatalogueTrack& track, bool missing) {
    std::string detail;
    if (!track.artist.empty()) appendPart(detail, track.artist);
    if (positive(track.bpm)) appendPart(detail, bpmText(track.bpm));
    if (positive(track.duration)) {
        const long seconds = std::lround(std::min(track.duration, 1.0e9));
        char text[32];
        std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
        appendPart(detail, text);
    }
    if (missing) appendPart(detail, "missing");
    return detail;
}

std::string BrowseModel::searchDetail(const CatalogueTrack& track, bool missing) {
    std::string detail = track.artist;
    if (positive(track.bpm)) appendPart(detail, bpmText(track.bpm));
    if (missing) appendPart(detail, "missing");
    return detail;
}

void BrowseModel::refreshFromCatalogue() {
    entries_.clear();
    if (catalogue_) {
        std::lock_guard<std::mutex> lock(catalogue_->mutex());
        // Depth first, parents before children: the root is entry 0.
        struct Visit {
            const PlaylistNode* node;
            std::int32_t parent;
            std::vector<std::uint32_t> route;
        };
        std::vector<Visit> todo{{&catalogue_->root(), -1, {}}};
        std::vector<std::uint64_t> own;
        while (!todo.empty()) {
            Visit v = std::move(todo.back());
            todo.pop_back();
            BrowseEntry e;
            e.index = static_cast<std::uint32_t>(entries_.size());
            e.parent = v.parent;
            e.depth = v.parent < 0 ? 0 : entries_[static_cast<std::size_t>(v.parent)].depth + 1;
            e.folder = v.node->folder;
            e.name = v.node->name;
            own.push_back(v.node->trackIds.size());
            for (std::size_t c = v.node->children.size(); c-- > 0;) {
                std::vector<std::uint32_t> route = v.route;
                route.push_back(static_cast<std::uint32_t>(c));
                todo.push_back(
                    {&v.node->children[c], static_cast<std::int32_t>(e.index), std::move(route)});
            }
            e.route = std::move(v.route);
            entries_.push_back(std::move(e));
        }
        // Children follow their parents, so one backward sweep sums every subtree.
        for (std::size_t i = entries_.size(); i-- > 0;) {
            entries_[i].trackCount += own[i];
            if (entries_[i].parent >= 0)
                entries_[static_cast<std::size_t>(entries_[i].parent)].trackCount +=
                    entries_[i].trackCount;
        }
    }
    stack_.assign(1, BrowseLocation{});
    selected_ = browseSelected_ = 0;
    rebuildRows();
    selected_ = 0;
}

const PlaylistNode* BrowseModel::nodeOf(std::int32_t entry) const {
    if (!catalogue_ || entry < 0 || static_cast<std::size_t>(entry) >= entries_.size())
        return nullptr;
    const BrowseEntry& e = entries_[static_cast<std::size_t>(entry)];
    const PlaylistNode* node = &catalogue_->root();
    for (std::uint32_t child : e.route) {
        if (child >= node->children.size()) return nullptr;
        node = &node->children[child];
    }
    return node->name == e.name && node->folder == e.folder ? node : nullptr;
}

BrowseRow BrowseModel::trackRow(const CatalogueTrack& track, bool forSearch) const {
    BrowseRow row;
    row.kind = browse_row::kTrack;
    row.id = track.id;
    row.text = track.title.empty() ? Catalogue::displayName(track) : track.title;
    row.missing = missing_ && missing_->contains(track.id);
    row.detail = forSearch ? searchDetail(track, row.missing) : trackDetail(track, row.missing);
    return row;
}

void BrowseModel::entryRows(std::int32_t parent) {
    for (const BrowseEntry& e : entries_) {
        if (e.index == 0 || (parent >= 0 && e.parent != parent)) continue;
        BrowseRow row;
        row.kind = browse_row::kEntry;
        row.id = e.index;
        row.text = e.name.empty() ? kUntitled : e.name;
        row.detail = e.folder ? "folder" : tracksText(e.trackCount);
        row.folder = e.folder;
        row.depth = e.depth;
        rows_.push_back(std::move(row));
    }
}

void BrowseModel::buildRows() {
    rows_.clear();
    if (!catalogue_) {
        title_ = "Playlists";
        return;
    }
    if (searching()) {
        title_ = "Search results";
        for (const CatalogueTrack* t : catalogue_->search(search_, kSearchLimit))
            rows_.push_back(trackRow(*t, true));
        return;
    }
    const BrowseLocation& at = top();
    BrowseRow back;
    back.text = "..";
    switch (at.kind) {
    case browse_view::kFolder: {
        const PlaylistNode* node = nodeOf(at.index);
        const bool valid = node && at.index > 0;
        title_ = valid && !node->name.empty() ? node->name : "Folder";
        rows_.push_back(back);
        if (valid) entryRows(at.index);
        return;
    }
    case browse_view::kPlaylist: {
        const PlaylistNode* node = nodeOf(at.index);
        const bool valid = node && at.index > 0;
        title_ = valid && !node->name.empty() ? node->name : "Playlist";
        rows_.push_back(back);
        if (valid)
            for (const CatalogueTrack* t : catalogue_->playlistTracks(*node))
                rows_.push_back(trackRow(*t, false));
        return;
    }
    case browse_view::kAllTracks:
        title_ = "All tracks";
        rows_.push_back(back);
        rows_.reserve(catalogue_->size() + 1);
        for (const CatalogueTrack& t : catalogue_->tracks())
            rows_.push_back(trackRow(t, false));
        return;
    default: {
        title_ = "Playlists";
        BrowseRow all;
        all.kind = browse_row::kAllTracks;
        all.text = "All tracks";
        all.detail = tracksText(catalogue_->size());
        rows_.push_back(std::move(all));
        entryRows(-1);
        return;
    }
    }
}

void BrowseModel::rebuildRows() {
    if (catalogue_) {
        std::lock_guard<std::mutex> lock(catalogue_->mutex());
        buildRows();
    } else {
        buildRows();
    }
    clampSelection();
}

void BrowseModel::clampSelection() {
    const int last = static_cast<int>(rows_.size()) - 1;
    selected_ = std::clamp(selected_, 0, std::max(last, 0));
}

void BrowseModel::setTargetDeck(int deck, int lastDeck) {
    targetDeck_ = std::clamp(deck, 0, std::max(lastDeck, 0));
}

void BrowseModel::select(int row) {
    selected_ = row;
    clampSelection();
}

BrowseResult BrowseModel::activate(int row, int lastDeck, int deckNumber, bool navigate) {
    BrowseResult result;
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        result.message = kNoRow;
        return result;
    }
    selected_ = row;
    setTargetDeck(deckNumber == std::numeric_limits<int>::min() ? 0 : deckNumber - 1, lastDeck);
    const BrowseRow picked = rows_[static_cast<std::size_t>(row)];
    switch (picked.kind) {
    case browse_row::kBack:
        result.navigated = goBack() && navigate;
        break;
    case browse_row::kAllTracks:
        stack_.push_back({browse_view::kAllTracks, 0});
        rebuildRows();
        selected_ = rows_.size() > 1 ? 1 : 0;
        result.navigated = navigate;
        break;
    case browse_row::kEntry:
        stack_.push_back({picked.folder ? browse_view::kFolder : browse_view::kPlaylist,
                          static_cast<std::int32_t>(picked.id)});
        rebuildRows();
        selected_ = rows_.size() > 1 ? 1 : 0;
        result.navigated = navigate;
        break;
    default:
        result.trackId = picked.id;
        result.deck = targetDeck_;
        break;
    }
    return result;
}

bool BrowseModel::goBack() {
    if (searching()) {
        setSearch(std::string());
        return true;
    }
    if (stack_.size() <= 1) return false;
    const BrowseLocation left = stack_.back();
    stack_.pop_back();
    rebuildRows();
    selected_ = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const BrowseRow& r = rows_[i];
        const bool leadsBack =
            left.kind == browse_view::kAllTracks
                ? r.kind == browse_row::kAllTracks
                : r.kind == browse_row::kEntry && static_cast<std::int32_t>(r.id) == left.index;
        if (leadsBack) {
            selected_ = static_cast<int>(i);
            break;
        }
    }
    return true;
}

void BrowseModel::scroll(std::int64_t n) {
    if (rows_.empty()) {
        selected_ = 0;
        return;
    }
    const bool trackList =
        !searching() && rows_.size() > 1 &&
        (top().kind == browse_view::kPlaylist || top().kind == browse_view::kAllTracks);
    const std::int64_t low = trackList ? 1 : 0;
    const std::int64_t high = static_cast<std::int64_t>(rows_.size()) - 1;
    n = std::clamp<std::int64_t>(n, -high - 1, high + 1);
    selected_ = static_cast<int>(std::clamp<std::int64_t>(selected_ + n, low, high));
}

BrowseResult BrowseModel::applyEvents(const std::vector<BrowseEvent>& events, int deckCount) {
    BrowseResult result;
    std::int64_t pending = 0;
    auto flush = [&] {
        if (pending != 0) scroll(pending);
        pending = 0;
    };
    for (const BrowseEvent& e : events) {
        if (e.kind == BrowseEvent::Kind::Scroll) {
            pending = std::clamp<std::int64_t>(pending + e.value, INT32_MIN, INT32_MAX);
            continue;
        }
        flush();
        if (e.kind == BrowseEvent::Kind::SelectDeck) {
            setTargetDeck(e.value, deckCount - 1);
        } else if (e.kind == BrowseEvent::Kind::Activate) {
            BrowseResult r = activate(selected_, deckCount - 1, e.value + 1, true);
            if (r.trackId != 0) {
                result.trackId = r.trackId;
                result.deck = r.deck;
            }
            result.navigated |= r.navigated;
            if (!r.message.empty()) result.message = std::move(r.message);
        } else if (goBack()) {
            result.navigated = true;
        }
    }
    flush();
    return result;
}

void BrowseModel::openEntry(int entry) {
    setSearch(std::string());
    stack_.assign(1, BrowseLocation{});
    if (entry <= 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        rebuildRows();
        return;
    }
    const bool folder = entries_[static_cast<std::size_t>(entry)].folder;
    stack_.push_back({folder ? browse_view::kFolder : browse_view::kPlaylist, entry});
    rebuildRows();
    selected_ = rows_.size() > 1 ? 1 : 0;
}

void BrowseModel::openAllTracks() {
    setSearch(std::string());
    stack_.assign(1, BrowseLocation{});
    stack_.push_back({browse_view::kAllTracks, 0});
    rebuildRows();
    selected_ = rows_.size() > 1 ? 1 : 0;
}

void BrowseModel::setSearch(std::string text) {
    if (text == search_) return;
    const bool wasSearching = searching();
    if (!wasSearching) browseSelected_ = selected_;
    search_ = std::move(text);
    selected_ = searching() ? 0 : browseSelected_;
    rebuildRows();
}

bool BrowseModel::showsPlaylist() const {
    return !searching() && top().kind == browse_view::kPlaylist;
}

std::vector<PlaylistTrack> BrowseModel::playlistTracks() const {
    std::vector<PlaylistTrack> out;
    if (!showsPlaylist() || !catalogue_) return out;
    std::lock_guard<std::mutex> lock(catalogue_->mutex());
    const PlaylistNode* node = nodeOf(top().index);
    if (!node || top().index <= 0) return out;
    for (const CatalogueTrack* t : catalogue_->playlistTracks(*node))
        out.push_back({t->id, t->path});
    return out;
}

std::string BrowseModel::playlistKey() const {
    if (!showsPlaylist()) return {};
    std::int32_t at = top().index;
    if (at <= 0 || static_cast<std::size_t>(at) >= entries_.size()) return {};
    std::vector<const std::string*> names;
    while (at > 0) {
        const BrowseEntry& e = entries_[static_cast<std::size_t>(at)];
        names.push_back(&e.name);
        at = e.parent;
    }
    std::string key;
    for (std::size_t i = names.size(); i-- > 0;) {
        if (!key.empty() || i + 1 != names.size()) key += '/';
        key += names[i]->empty() ? kUntitled : *names[i];
    }
    return key;
}

int BrowseModel::selectedPlaylistPosition() const {
    if (!showsPlaylist() || selected_ < 1 || static_cast<std::size_t>(selected_) >= rows_.size())
        return -1;
    return selected_ - 1;
}

} // namespace vyn
