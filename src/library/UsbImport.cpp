#include "library/UsbImport.h"

#include "library/CatalogueMerge.h"
#include "library/TrackAnalysis.h"
#include "library/XmlImport.h"

#include <mutex>
#include <unordered_set>
#include <utility>

namespace vyn {
namespace {

const std::string& lookup(const std::unordered_map<std::uint32_t, std::string>& names,
                          std::uint32_t id) {
    static const std::string kEmpty;
    const auto it = names.find(id);
    return it == names.end() ? kEmpty : it->second;
}

bool hasParentComponent(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) end = path.size();
        if (end - start == 2 && path[start] == '.' && path[start + 1] == '.') return true;
        start = end + 1;
    }
    return false;
}

CatalogueTrack toCatalogueTrack(const PdbDatabase& db, PdbTrackRow& row, const std::string& root) {
    CatalogueTrack t;
    t.title = row.title.empty() ? std::move(row.fileName) : std::move(row.title);
    t.artist = lookup(db.artists, row.artistId);
    t.album = lookup(db.albums, row.albumId);
    t.genre = lookup(db.genres, row.genreId);
    t.label = lookup(db.labels, row.labelId);
    t.key = lookup(db.keys, row.keyId);
    t.path = resolveStickPath(root, row.filePath);
    t.analysisPath = resolveStickPath(root, row.analysisPath);
    t.bpm = row.tempo / 100.0;
    t.duration = row.duration;
    // Unsigned fields past the signed range are not plausible values; they read as unknown.
    auto toInt = [](std::uint32_t v) {
        return v <= 0x7FFFFFFFu ? static_cast<std::int32_t>(v) : 0;
    };
    t.sampleRate = toInt(row.sampleRate);
    t.bitRate = toInt(row.bitRate);
    t.year = row.year;
    t.rating = row.rating;
    t.playCount = row.playCount;
    return t;
}

} // namespace

std::string trimStickRoot(const std::string& root) {
    std::size_t n = root.size();
    while (n > 0 && (root[n - 1] == '/' || root[n - 1] == '\\'))
        --n;
    return root.substr(0, n);
}

std::string resolveStickPath(const std::string& root, const std::string& value) {
    if (value.empty() || value.find('\0') != std::string::npos || hasParentComponent(value))
        return {};
    if (value.front() == '/') return root + value;
    return root + "/" + value;
}

PlaylistNode buildUsbPlaylistTree(const std::vector<PdbPlaylist>& rows,
                                  const std::unordered_map<std::uint32_t, std::uint32_t>& trackIds,
                                  std::uint64_t& playlists) {
    std::unordered_map<std::uint32_t, std::size_t> rowById; // the first row of each id
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> children;
    std::unordered_set<std::uint32_t> playlistIds;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PdbPlaylist& r = rows[i];
        rowById.emplace(r.id, i);
        children[r.parentId].push_back(r.id); // rows are in (parent, sort order) order
        if (!r.folder) playlistIds.insert(r.id);
    }
    playlists = playlistIds.size();

    PlaylistNode root;
    root.name = "USB";
    root.folder = true;
    // Id 0 is the root's own: a row claiming it is reached from nowhere else.
    std::unordered_set<std::uint32_t> built{0};
    struct Work {
        std::uint32_t id;
        PlaylistNode* node;
        std::size_t depth;
    };
    std::vector<Work> work{{0, &root, 0}};
    while (!work.empty()) {
        const Work w = work.back();
        work.pop_back();
        const auto kids = children.find(w.id);
        if (kids == children.end() || w.depth + 1 >= kMaxPlaylistDepth) continue;
        std::vector<std::uint32_t> fresh;
        for (std::uint32_t id : kids->second)
            if (built.insert(id).second) fresh.push_back(id);
        // Sized once, so the pointers handed to the work list stay valid.
        w.node->children.resize(fresh.size());
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            const PdbPlaylist& row = rows[rowById.at(fresh[i])];
            PlaylistNode& child = w.node->children[i];
            child.name = row.name;
            child.folder = row.folder;
            child.trackIds.reserve(row.trackIds.size());
            for (std::uint32_t t : row.trackIds)
                if (auto it = trackIds.find(t); it != trackIds.end())
                    child.trackIds.push_back(it->second);
            work.push_back({fresh[i], &child, w.depth + 1});
        }
    }
    return root;
}

ImportResult importUsbStick(Catalogue& catalogue, const std::string& stickRoot,
                            const UsbImportOptions& options) {
    ImportResult result;
    const std::string root = trimStickRoot(stickRoot);
    PdbDatabase db = readExportPdb(root + "/PIONEER/rekordbox/export.pdb");
    if (!db.ok) {
        result.error = std::move(db.error);
        return result;
    }

    ImportCounts& counts = result.counts;
    std::vector<CatalogueTrack> records;
    std::vector<std::uint32_t> rowIds; // the database id of each record
    records.reserve(db.tracks.size());
    rowIds.reserve(db.tracks.size());
    for (PdbTrackRow& row : db.tracks) {
        // A row whose file path would leave the stick is damaged: skipped, like a damaged row.
        // Kept with an empty path it could never play, and every re-import of the stick would
        // add it again (tracks without a path have no identity to merge on).
        if (!row.filePath.empty() && resolveStickPath(root, row.filePath).empty()) continue;
        const std::uint32_t rowId = row.id;
        records.push_back(toCatalogueTrack(db, row, root));
        rowIds.push_back(rowId);
        CatalogueTrack& t = records.back();
        if (options.readAnalysis && !t.analysisPath.empty()) {
            TrackAnalysis a = readTrackAnalysis(t.analysisPath, {}, -1, -1, false);
            t.grid = std::move(a.grid);
            t.cues = std::move(a.cues);
        }
        ++counts.tracks;
        if (!t.analysisPath.empty()) ++counts.withGrids;
        if (!Catalogue::fileExists(t.path)) ++counts.missingFiles;
    }

    const std::vector<std::uint32_t> added = addTracksInTurns(catalogue, records);
    std::unordered_map<std::uint32_t, std::uint32_t> ids;
    ids.reserve(added.size());
    for (std::size_t i = 0; i < added.size(); ++i)
        ids[rowIds[i]] = added[i];
    PlaylistNode tree = buildUsbPlaylistTree(db.playlists, ids, counts.playlists);
    PlaylistNode previous;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        previous = catalogue.replaceRoot(std::move(tree));
    }
    result.ok = true;
    return result;
}

} // namespace vyn
