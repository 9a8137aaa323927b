#include "library/Catalogue.h"

#include "support/FileIo.h"
#include "support/TrackName.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

namespace vyn {
namespace {

constexpr char kFieldEnd = '\0';

void appendLower(std::string& out, const std::string& text,
                 std::array<std::uint32_t, 256>& counts) {
    const std::size_t at = out.size();
    out.append(text);
    for (std::size_t i = at; i < out.size(); ++i) {
        const char c = out[i];
        if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
        ++counts[static_cast<unsigned char>(out[i])];
    }
}

// The first occurrence of `needle` in [from, end), looked for by its byte at `anchor`.
const char* find(const char* from, const char* end, std::string_view needle, std::size_t anchor) {
    const std::size_t m = needle.size();
    if (static_cast<std::size_t>(end - from) < m) return nullptr;
    const char key = needle[anchor];
    const char* p = from + anchor;
    const char* const last = end - (m - anchor - 1); // anchor positions past here cannot fit
    while (p < last) {
        p = static_cast<const char*>(std::memchr(p, key, static_cast<std::size_t>(last - p)));
        if (!p) return nullptr;
        const char* start = p - anchor;
        if (std::memcmp(start, needle.data(), m) == 0) return start;
        ++p;
    }
    return nullptr;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool sameIdentity(const CatalogueTrack& a, const CatalogueTrack& b) {
    return a.path == b.path && a.sourceId == b.sourceId && a.sourceKey == b.sourceKey;
}

} // namespace

std::uint64_t Catalogue::identityHash(const CatalogueTrack& t) {
    const std::hash<std::string_view> h;
    std::uint64_t v = h(t.path);
    v ^= h(t.sourceId) + 0x9E3779B97F4A7C15ull + (v << 6) + (v >> 2);
    v ^= h(t.sourceKey) + 0x9E3779B97F4A7C15ull + (v << 6) + (v >> 2);
    return v;
}

std::uint32_t Catalogue::addTrack(CatalogueTrack record) {
    if (!record.path.empty()) {
        const std::uint64_t hash = identityHash(record);
        auto [it, end] = identity_.equal_range(hash);
        // Several candidates only on a hash collision; the first track in catalogue order wins.
        std::uint32_t match = UINT32_MAX;
        for (; it != end; ++it)
            if (sameIdentity(tracks_[it->second], record)) match = std::min(match, it->second);
        if (match != UINT32_MAX) {
            CatalogueTrack& existing = tracks_[match];
            record.id = existing.id;
            existing = std::move(record);
            searchStale_ = true;
            return existing.id;
        }
        identity_.emplace(hash, static_cast<std::uint32_t>(tracks_.size()));
    }
    record.id = nextId();
    tracks_.push_back(std::move(record));
    if (!searchStale_) appendSearchText(tracks_.back());
    return tracks_.back().id;
}

Catalogue::Room Catalogue::makeRoom(std::size_t tracks, std::size_t searchBytes) {
    Room room;
    // Written once, so their pages exist before the lock is taken; clearing keeps the capacity.
    room.searchText.assign(searchBytes + 4096, '\0');
    room.searchText.clear();
    room.searchStart.assign(tracks + 1, 0);
    room.searchStart.clear();
    room.identity.reserve(tracks);
    return room;
}

void Catalogue::reserve(Room& room) {
    if (room.searchText.capacity() > searchText_.capacity()) {
        room.searchText.assign(searchText_);
        searchText_.swap(room.searchText);
    }
    if (room.searchStart.capacity() > searchStart_.capacity()) {
        room.searchStart.assign(searchStart_.begin(), searchStart_.end());
        searchStart_.swap(room.searchStart);
    }
    if (room.identity.bucket_count() > identity_.bucket_count()) {
        room.identity.merge(identity_); // moves the nodes: no allocation
        identity_.swap(room.identity);
    }
}

std::size_t Catalogue::searchBytes(const CatalogueTrack& t) {
    return t.title.size() + t.artist.size() + t.album.size() + t.genre.size() + 4;
}

const CatalogueTrack* Catalogue::trackById(std::uint32_t id) const {
    if (id == 0 || id > tracks_.size()) return nullptr;
    return &tracks_[id - 1];
}

bool Catalogue::setRelinkedPath(std::uint32_t id, std::string path) {
    if (id == 0 || id > tracks_.size()) return false;
    tracks_[id - 1].relinkedPath = std::move(path);
    return true;
}

std::vector<const CatalogueTrack*> Catalogue::playlistTracks(const PlaylistNode& node) const {
    std::vector<const CatalogueTrack*> out;
    out.reserve(node.trackIds.size());
    for (std::uint32_t id : node.trackIds)
        if (const CatalogueTrack* t = trackById(id)) out.push_back(t);
    return out;
}

void Catalogue::appendSearchText(const CatalogueTrack& t) {
    if (searchStart_.empty()) searchStart_.push_back(0);
    for (const std::string* field : {&t.title, &t.artist, &t.album, &t.genre}) {
        appendLower(searchText_, *field, byteCounts_);
        searchText_.push_back(kFieldEnd);
    }
    searchStart_.push_back(searchText_.size());
}

void Catalogue::rebuildSearchText() const {
    searchText_.clear();
    searchStart_.assign(1, 0);
    byteCounts_.fill(0);
    for (const CatalogueTrack& t : tracks_) {
        for (const std::string* field : {&t.title, &t.artist, &t.album, &t.genre}) {
            appendLower(searchText_, *field, byteCounts_);
            searchText_.push_back(kFieldEnd);
        }
        searchStart_.push_back(searchText_.size());
    }
    searchStale_ = false;
}

std::vector<const CatalogueTrack*> Catalogue::search(std::string_view query,
                                                     std::size_t limit) const {
    std::vector<const CatalogueTrack*> out;
    if (query.empty() || limit == 0) return out;
    const std::string needle = lower(query);

    if (needle.find(kFieldEnd) != std::string::npos) {
        // A query holding the field separator could match across two fields of the joined
        // text, so it is compared field by field.
        for (const CatalogueTrack& t : tracks_) {
            for (const std::string* field : {&t.title, &t.artist, &t.album, &t.genre}) {
                if (lower(*field).find(needle) != std::string::npos) {
                    out.push_back(&t);
                    break;
                }
            }
            if (out.size() >= limit) break;
        }
        return out;
    }

    if (searchStale_ || searchStart_.size() != tracks_.size() + 1) rebuildSearchText();
    // One pass over the joined text of all tracks. Candidates are found by the needle's rarest
    // byte (by its count in the text), so a common first letter does not cost a compare per
    // occurrence.
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < needle.size(); ++i)
        if (byteCounts_[static_cast<unsigned char>(needle[i])] <
            byteCounts_[static_cast<unsigned char>(needle[anchor])])
            anchor = i;
    const char* const begin = searchText_.data();
    const char* const end = begin + searchText_.size();
    const char* from = begin;
    while (out.size() < limit) {
        const char* hit = find(from, end, needle, anchor);
        if (!hit) break;
        const std::size_t offset = static_cast<std::size_t>(hit - begin);
        const auto next = std::upper_bound(searchStart_.begin(), searchStart_.end(), offset);
        const std::size_t index = static_cast<std::size_t>(next - searchStart_.begin()) - 1;
        out.push_back(&tracks_[index]);
        from = begin + *next; // continue with the following track
    }
    return out;
}

std::string Catalogue::displayName(const CatalogueTrack& track) {
    return trackDisplayName(track.artist, track.title, track.path);
}

double Catalogue::startPosition(const CatalogueTrack& track) {
    return loadCueTime(track.cues);
}

bool Catalogue::fileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const std::filesystem::path p = pathFromUtf8(path);
    const auto status = std::filesystem::status(p, ec);
    return !ec && std::filesystem::exists(status);
}

} // namespace vyn
