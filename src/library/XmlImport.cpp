#include "library/XmlImport.h"

#include "library/Catalogue.h"
#include "library/CatalogueMerge.h"
#include "library/XmlReader.h"
#include "support/FileIo.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vyn {
namespace {

std::int32_t beatsPerBarFromMetro(std::string_view metro) {
    const std::size_t slash = metro.find('/');
    if (slash == std::string_view::npos) return 4;
    const std::int32_t n = XmlReader::parseInt(metro.substr(0, slash), 0);
    return n >= 1 && n <= 16 ? n : 4;
}

// The attributes of a collection TRACK read in one pass; the first occurrence of a name wins.
void readTrackAttributes(const XmlReader& reader, XmlTrack& t) {
    std::uint32_t seen = 0;
    const std::size_t count = reader.attributeCount();
    for (std::size_t i = 0; i < count; ++i) {
        const XmlAttribute a = reader.attribute(i);
        const std::string_view n = a.name;
        const std::string_view v = a.value;
        auto first = [&](int bit) {
            const std::uint32_t mask = 1u << bit;
            if (seen & mask) return false;
            seen |= mask;
            return true;
        };
        switch (n.size()) {
        case 4:
            if (n == "Name" && first(0))
                t.title = v;
            else if (n == "Year" && first(1))
                t.year = XmlReader::parseInt(v, 0);
            else if (n == "Size" && first(2)) {
                const double size = XmlReader::parseNumber(v, 0.0);
                t.size = size >= 0.0 && size < 9.0e18 ? static_cast<std::int64_t>(size) : 0;
            }
            break;
        case 5:
            if (n == "Album" && first(3))
                t.album = v;
            else if (n == "Genre" && first(4))
                t.genre = v;
            else if (n == "Label" && first(5))
                t.label = v;
            break;
        case 6:
            if (n == "Artist" && first(6))
                t.artist = v;
            else if (n == "Rating" && first(7))
                t.rating = XmlReader::parseInt(v, 0);
            break;
        case 7:
            if (n == "TrackID" && first(8))
                t.trackId = XmlReader::parseInt(v, 0);
            else if (n == "BitRate" && first(9))
                t.bitRate = XmlReader::parseInt(v, 0);
            else if (n == "Remixer" && first(10))
                t.remixer = v;
            break;
        case 8:
            if (n == "Tonality" && first(11))
                t.key = v;
            else if (n == "Location" && first(12))
                t.path = decodeFileUrl(v);
            else if (n == "Composer" && first(13))
                t.composer = v;
            else if (n == "Comments" && first(14))
                t.comments = v;
            break;
        case 9:
            if (n == "TotalTime" && first(15))
                t.duration = XmlReader::parseNumber(v, 0.0);
            else if (n == "PlayCount" && first(16))
                t.playCount = XmlReader::parseInt(v, 0);
            break;
        case 10:
            if (n == "AverageBpm" && first(17))
                t.bpm = XmlReader::parseNumber(v, 0.0);
            else if (n == "SampleRate" && first(18))
                t.sampleRate = XmlReader::parseInt(v, 0);
            break;
        default:
            break;
        }
    }
}

TempoMarker readTempo(const XmlReader& reader) {
    TempoMarker m;
    m.start = reader.numberAttribute("Inizio", 0.0);
    m.bpm = reader.numberAttribute("Bpm", 0.0);
    m.beat = reader.intAttribute("Battito", 1);
    m.beatsPerBar = beatsPerBarFromMetro(reader.attribute("Metro", "4/4"));
    return m;
}

XmlMark readMark(const XmlReader& reader) {
    XmlMark m;
    m.name = reader.attribute("Name");
    m.type = reader.intAttribute("Type", 0);
    m.start = reader.numberAttribute("Start", 0.0);
    m.end = reader.numberAttribute("End", -1.0);
    m.number = reader.intAttribute("Num", -1);
    return m;
}

CueKind cueKindFor(const XmlMark& m) {
    switch (m.type) {
    case 1:
        return CueKind::FadeIn;
    case 2:
        return CueKind::FadeOut;
    case 3:
        return CueKind::LoadPoint;
    case 4:
        return CueKind::Loop;
    default:
        return m.number >= 0 ? CueKind::HotCue : CueKind::Memory;
    }
}

CatalogueTrack toCatalogueTrack(XmlTrack&& x) {
    CatalogueTrack t;
    t.title = std::move(x.title);
    t.artist = std::move(x.artist);
    t.album = std::move(x.album);
    t.genre = std::move(x.genre);
    t.label = std::move(x.label);
    t.key = std::move(x.key);
    t.path = std::move(x.path);
    t.bpm = x.bpm;
    t.duration = x.duration;
    t.sampleRate = x.sampleRate;
    t.bitRate = x.bitRate;
    t.year = x.year;
    t.rating = x.rating;
    t.playCount = x.playCount;
    t.grid = std::move(x.grid);
    t.cues.reserve(x.marks.size());
    for (XmlMark& m : x.marks) {
        CueMark c;
        c.kind = cueKindFor(m);
        c.number = m.number;
        c.start = m.start;
        c.end = m.end;
        c.name = std::move(m.name);
        t.cues.push_back(std::move(c));
    }
    if (t.bpm <= 0.0 && !t.grid.empty()) t.bpm = t.grid.bpm;
    return t;
}

// The playlist tree with each entry as (position in the import's track list + 1); entries that
// name no imported track are dropped. Walks with an explicit stack.
PlaylistNode convertTree(const XmlNode& root, const std::vector<XmlTrack>& tracks,
                         std::uint64_t& playlists) {
    std::unordered_map<std::int32_t, std::uint32_t> byKey;
    std::unordered_map<std::string_view, std::uint32_t> byPath;
    byKey.reserve(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const auto slot = static_cast<std::uint32_t>(i + 1);
        byKey[tracks[i].trackId] = slot; // a later track with the same id wins
        if (!tracks[i].path.empty()) byPath[tracks[i].path] = slot;
    }

    PlaylistNode out;
    std::vector<std::pair<const XmlNode*, PlaylistNode*>> work{{&root, &out}};
    while (!work.empty()) {
        const auto [from, to] = work.back();
        work.pop_back();
        to->name = from->name;
        to->folder = from->folder;
        if (!to->folder) ++playlists;
        if (from->keyedByLocation) {
            for (const std::string& location : from->trackLocations)
                if (auto it = byPath.find(location); it != byPath.end())
                    to->trackIds.push_back(it->second);
        } else {
            to->trackIds.reserve(from->trackKeys.size());
            for (std::int32_t key : from->trackKeys)
                if (auto it = byKey.find(key); it != byKey.end())
                    to->trackIds.push_back(it->second);
        }
        to->children.resize(from->children.size());
        for (std::size_t i = 0; i < from->children.size(); ++i)
            work.emplace_back(&from->children[i], &to->children[i]);
    }
    return out;
}

void assignCatalogueIds(PlaylistNode& root, const std::vector<std::uint32_t>& ids) {
    std::vector<PlaylistNode*> work{&root};
    while (!work.empty()) {
        PlaylistNode* node = work.back();
        work.pop_back();
        for (std::uint32_t& slot : node->trackIds)
            slot = ids[slot - 1];
        for (PlaylistNode& child : node->children)
            work.push_back(&child);
    }
}

} // namespace

BeatGrid buildXmlGrid(const std::vector<TempoMarker>& markers, double duration) {
    BeatGrid grid;
    if (markers.empty()) return grid;
    std::vector<TempoMarker> sorted = markers;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TempoMarker& a, const TempoMarker& b) { return a.start < b.start; });

    struct Segment {
        const TempoMarker* marker;
        double period;
        double end;
    };
    std::vector<Segment> segments;
    segments.reserve(sorted.size());
    double bound = 0.0; // at least the number of beats, so the grid is allocated once
    for (std::size_t m = 0; m < sorted.size(); ++m) {
        const TempoMarker& marker = sorted[m];
        if (!(marker.bpm >= 20.0 && marker.bpm <= 400.0)) continue;
        const double period = 60.0 / marker.bpm;
        double end;
        if (m + 1 < sorted.size())
            end = sorted[m + 1].start;
        else
            end = duration > marker.start ? duration : marker.start + period / 2.0;
        segments.push_back({&marker, period, end});
        const double span = (end - marker.start) / period;
        bound += (span > 0.0 ? span : 0.0) + 2.0;
    }
    const double cap = static_cast<double>(kMaxGridBeats);
    grid.beats.reserve(static_cast<std::size_t>(bound < cap ? bound : cap));

    for (const Segment& s : segments) {
        const TempoMarker& marker = *s.marker;
        const std::int32_t perBar = marker.beatsPerBar < 1 ? 4 : marker.beatsPerBar;
        std::int32_t n = marker.beat < 1 || marker.beat > perBar ? 1 : marker.beat;
        for (std::uint64_t k = 0; grid.beats.size() < kMaxGridBeats; ++k) {
            const double t = marker.start + static_cast<double>(k) * s.period;
            if (k == 0 ? t >= s.end : t >= s.end - s.period / 2.0) break;
            // At magnitudes where adding a period no longer moves t, stop instead of repeating
            // the beat.
            if (k > 0 && !(t > grid.beats.back().time)) break;
            grid.beats.push_back({t, marker.bpm, static_cast<std::uint16_t>(n)});
            n = n % perBar + 1;
        }
    }
    grid.updateSummary();
    grid.beatsPerBar = 4;
    return grid;
}

XmlImportResult parseXmlCollection(const char* data, std::size_t length) {
    XmlImportResult r;
    if (!data || length == 0) {
        r.error = "empty XML";
        return r;
    }
    XmlReader reader(data, length);
    bool seenRoot = false;
    bool inCollection = false;
    bool inPlaylists = false;
    bool trackOpen = false;
    XmlTrack open;
    std::vector<XmlNode> stack;
    // Open NODEs below the depth limit: skipped with everything inside them.
    std::size_t skippedDepth = 0;

    auto finishTrack = [&] {
        open.grid = buildXmlGrid(open.tempoMarkers, open.duration);
        r.tracks.push_back(std::move(open));
        open = XmlTrack{};
        trackOpen = false;
    };
    auto popNode = [&] {
        XmlNode node = std::move(stack.back());
        stack.pop_back();
        if (!stack.empty())
            stack.back().children.push_back(std::move(node));
        else
            r.root = std::move(node);
    };
    auto failWith = [&](std::string message) {
        r.error = std::move(message);
        r.tracks.clear();
        r.root = XmlNode{};
        return std::move(r);
    };

    for (;;) {
        const XmlEvent e = reader.next();
        if (e == XmlEvent::End) break;
        if (e == XmlEvent::Error) {
            r.errorOffset = reader.errorOffset();
            return failWith("XML parse error: " + reader.error());
        }
        const std::string_view name = reader.name();
        if (e == XmlEvent::StartTag || e == XmlEvent::EmptyTag) {
            const bool empty = e == XmlEvent::EmptyTag;
            if (name == "TRACK" && inCollection) {
                // A TRACK left open by a damaged file is kept rather than dropped.
                if (trackOpen) finishTrack();
                readTrackAttributes(reader, open);
                trackOpen = true;
                if (empty) finishTrack();
            } else if (name == "TEMPO" && trackOpen) {
                open.tempoMarkers.push_back(readTempo(reader));
            } else if (name == "POSITION_MARK" && trackOpen) {
                open.marks.push_back(readMark(reader));
            } else if (name == "NODE" && inPlaylists &&
                       (skippedDepth > 0 || stack.size() >= kMaxPlaylistDepth)) {
                if (!empty) ++skippedDepth;
            } else if (name == "NODE" && inPlaylists) {
                XmlNode& node = stack.emplace_back();
                node.name = reader.attribute("Name");
                node.folder = reader.intAttribute("Type", 0) == 0;
                node.keyedByLocation = reader.intAttribute("KeyType", 0) == 1;
                if (empty) popNode();
            } else if (name == "TRACK" && inPlaylists && !stack.empty() && skippedDepth == 0) {
                XmlNode& node = stack.back();
                if (node.keyedByLocation)
                    node.trackLocations.push_back(decodeFileUrl(reader.attribute("Key")));
                else
                    node.trackKeys.push_back(reader.intAttribute("Key", 0));
            } else if (name == "DJ_PLAYLISTS") {
                seenRoot = true;
            } else if (name == "PRODUCT") {
                r.product.name = reader.attribute("Name");
                r.product.version = reader.attribute("Version");
                r.product.company = reader.attribute("Company");
            } else if (name == "COLLECTION") {
                inCollection = !empty; // an empty COLLECTION holds nothing to read
            } else if (name == "PLAYLISTS") {
                inPlaylists = !empty;
            }
        } else if (e == XmlEvent::EndTag) {
            if (name == "TRACK" && trackOpen) {
                finishTrack();
            } else if (name == "NODE" && skippedDepth > 0) {
                --skippedDepth;
            } else if (name == "NODE" && !stack.empty()) {
                popNode();
            } else if (name == "COLLECTION") {
                if (trackOpen) finishTrack();
                inCollection = false;
            } else if (name == "PLAYLISTS") {
                inPlaylists = false;
            }
        }
    }
    // A file cut short keeps what it holds: the open track and the open nodes are closed.
    if (trackOpen) finishTrack();
    while (!stack.empty())
        popNode();
    if (!seenRoot) return failWith("not a rekordbox XML file (no DJ_PLAYLISTS element)");
    r.ok = true;
    return r;
}

ImportResult importXmlCollection(Catalogue& catalogue, const char* data, std::size_t length) {
    ImportResult result;
    XmlImportResult parsed = parseXmlCollection(data, length);
    if (!parsed.ok) {
        result.error = std::move(parsed.error);
        return result;
    }

    // Everything that does not need the catalogue happens before the lock: the playlist tree is
    // built against positions in this import, records are made and their files looked up.
    ImportCounts& counts = result.counts;
    PlaylistNode tree = convertTree(parsed.root, parsed.tracks, counts.playlists);
    std::vector<CatalogueTrack> records;
    records.reserve(parsed.tracks.size());
    for (XmlTrack& x : parsed.tracks) {
        records.push_back(toCatalogueTrack(std::move(x)));
        const CatalogueTrack& t = records.back();
        ++counts.tracks;
        if (!t.grid.empty()) ++counts.withGrids;
        if (!Catalogue::fileExists(t.path)) ++counts.missingFiles;
    }
    parsed.tracks.clear();

    const std::vector<std::uint32_t> ids = addTracksInTurns(catalogue, records);
    assignCatalogueIds(tree, ids);
    PlaylistNode previous;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        previous = catalogue.replaceRoot(std::move(tree));
    }
    result.ok = true;
    return result;
}

ImportResult importXmlFile(Catalogue& catalogue, const std::string& path) {
    ImportResult result;
    FileReadResult file = readWholeFile(path);
    if (!file.ok) {
        result.error =
            (file.error == "could not open the file" ? "could not open " : "could not read ") +
            path;
        return result;
    }
    if (file.data.empty()) {
        result.error = "empty XML file";
        return result;
    }
    return importXmlCollection(catalogue, file.data.data(), file.data.size());
}

} // namespace vyn
