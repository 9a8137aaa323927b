#include "library/XmlCollectionGenerator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace vyn::test {
namespace {

// splitmix64: small, fast, and the same on every platform (unlike the standard distributions).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
    // One entry of a word list.
    std::string pick(std::string_view list) {
        std::size_t k =
            below(static_cast<std::size_t>(std::count(list.begin(), list.end(), '|')) + 1);
        std::size_t at = 0;
        while (k-- > 0)
            at = list.find('|', at) + 1;
        return std::string(list.substr(at, list.find('|', at) - at));
    }

private:
    std::uint64_t state_;
};

// Word lists, one entry between bars (some entries are empty).
const char* const kArtists =
    "Kölsch|Âme|Röyksopp|Sigur Rós|坂本龍一|Bicep & Hammer|\"Quoted\" Crew|"
    "Ñu <Sound>|Mø|Amelie Lens|Björk|DJ Ö'Neill|Ελένη|Кино|Loopmasters|"
    "Åsa > Bo|Charlotte de Witte";
const char* const kWords = "Night|Café|Drive|Señorita|Ocean|東京|Pulse|Über|Garden|Naïve|Résumé|"
                           "Echo|Return|Fjörd|Mañana|Strobe|Zürich|Flow|&|100%|#1|<Live>|'Til|Dawn";
const char* const kMixes = "Original Mix|Extended Mix|Dub|Edit|Remix|VIP";
const char* const kGenres = "Techno|House|Deep House|Drum & Bass|Ambient|Electronica|Disco|Trance|"
                            "Breaks|Música Electrónica";
const char* const kKeys = "Am|Fm|C#m|Gb|8A|11B|Ebm|D|";
const char* const kCueNames = "||Drop|Intro|Break ♥|Vox & Keys|\"Hook\"";
const char* const kFolders = "2019|2020|Gigs ♫|Warm-up|Peak <Time>|Closing|Radio & Podcasts|Ideas|"
                             "Björk's|Vinyl Rips";
const char* const kPlaylistWords =
    "Friday|Sunrise|Club|Festival|Back2Back|Crate|Favourites|Nuits|Kiss & Tell|Ü-Bahn";

// The double a formatted number reads back as, so expectations use exactly what the file says.
double formatted(const char* format, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return std::strtod(buf, nullptr);
}

// Next code point of UTF-8 text (the generator only feeds it well-formed text).
std::uint32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) return c;
    const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    std::uint32_t cp = c & (0x3Fu >> more);
    for (int k = 0; k < more; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3Fu);
    return cp;
}

// Attribute text as an exporter escapes it; some non-ASCII characters are written as decimal or
// hexadecimal character references instead of raw UTF-8.
void appendEscaped(std::string& out, std::string_view text, Random& rng) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const std::uint32_t cp = decodeUtf8(text, i);
        const char* entity = cp == '&'                      ? "&amp;"
                             : cp == '<'                    ? "&lt;"
                             : cp == '>'                    ? "&gt;"
                             : cp == '"'                    ? "&quot;"
                             : cp == '\'' && rng.chance(50) ? "&apos;"
                                                            : nullptr;
        if (entity) {
            out += entity;
        } else if (cp >= 0x80 && rng.chance(20)) {
            char buf[16];
            const int n = rng.chance(50) ? std::snprintf(buf, sizeof buf, "&#%u;", cp)
                                         : std::snprintf(buf, sizeof buf, "&#x%X;", cp);
            out.append(buf, static_cast<std::size_t>(n));
        } else {
            out.append(text.substr(at, i - at));
        }
    }
}

// A name as a file of the collection may carry it. Windows forbids < > : " | ? * in file names
// (the XML escapes of these names are still exercised by the tags, which keep them).
std::string fileNamePart(std::string name) {
#ifdef _WIN32
    for (char& ch : name)
        if (std::strchr("<>:\"|?*", ch)) ch = '_';
#endif
    return name;
}

// A file URL for a path: unreserved bytes stay, the rest is percent-escaped (hex digits in upper
// or lower case).
std::string fileUrl(std::string_view path, bool lowerHex) {
    std::string url = "file://localhost";
    const char* digits = lowerHex ? "0123456789abcdef" : "0123456789ABCDEF";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x80 && std::isalnum(c)) || (c != 0 && std::strchr("-._~/", c)))
            url += ch;
        else
            url += {'%', digits[c >> 4], digits[c & 15]};
    }
    return url;
}

void addAttribute(std::string& out, const char* name, std::string_view value, Random& rng) {
    out += std::string(" ") + name + "=\"";
    appendEscaped(out, value, rng);
    out += '"';
}

void addNumber(std::string& out, const char* name, const char* format, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    out += std::string(" ") + name + "=\"" + buf + '"';
}

struct Marker {
    double start;
    double bpm;
    int battito;
    int perBar;
};

// Chooses the tempo markers of one track. A constant grid is one marker over a whole track; a
// variable one re-anchors every few bars with a slightly different tempo, as grids of live-played
// music do. The track ends a whole number of seconds after its last marker, like the TotalTime
// exporters write.
void makeGrid(ExpectedTrack& t, std::vector<Marker>& markers, Random& rng) {
    static const double kTempos[] = {120.0, 122.0, 124.0, 125.0, 126.0, 128.0,
                                     130.0, 140.0, 150.0, 174.0, 87.5,  100.25};
    const int perBar = rng.chance(8) ? 3 : 4;
    double start = formatted("%.3f", 0.01 + static_cast<double>(rng.below(500)) / 1000.0);
    double bpm = kTempos[rng.below(std::size(kTempos))];
    int beatInBar = 1;
    const std::size_t segments = rng.chance(45) ? 8 + rng.below(40) : 1;
    for (std::size_t s = 0; s < segments; ++s) {
        markers.push_back({start, bpm, beatInBar, perBar});
        const std::size_t beats = segments == 1 ? 300 + rng.below(600) : 4 + rng.below(29);
        const double end = start + static_cast<double>(beats) * 60.0 / bpm;
        if (s + 1 == segments) {
            t.duration = std::ceil(end);
        } else {
            beatInBar = static_cast<int>((static_cast<std::size_t>(beatInBar) - 1 + beats) %
                                         static_cast<std::size_t>(perBar)) +
                        1;
            start = formatted("%.3f", end);
            bpm = formatted("%.2f", bpm + (static_cast<double>(rng.below(401)) - 200.0) / 100.0);
        }
    }
    t.bpm = formatted("%.2f", markers.front().bpm);
}

void makeCues(ExpectedTrack& t, Random& rng) {
    const std::size_t count = rng.below(9);
    const double length = t.duration > 1.0 ? t.duration : 1.0;
    for (std::size_t i = 0; i < count; ++i) {
        CueMark c;
        c.start = formatted(
            "%.3f",
            static_cast<double>(rng.below(static_cast<std::size_t>(length * 1000.0))) / 1000.0);
        c.name = rng.pick(kCueNames);
        const std::size_t what = rng.below(20);
        if (what < 7) {
            c.kind = CueKind::HotCue;
            c.number = static_cast<int>(rng.below(8));
        } else if (what < 14) {
            c.kind = CueKind::Memory;
        } else if (what < 17) {
            c.kind = CueKind::Loop; // sometimes on a hot-cue slot
            c.end = formatted("%.3f", c.start + 4.0);
            if (rng.chance(50)) c.number = static_cast<int>(rng.below(8));
        } else if (what < 18) {
            c.kind = CueKind::LoadPoint;
        } else {
            c.kind = what == 18 ? CueKind::FadeIn : CueKind::FadeOut;
        }
        t.cues.push_back(std::move(c));
    }
}

// The POSITION_MARK Type of each cue kind: memory and hot cues 0, loops 4, fade in 1, fade out 2,
// load point 3.
int xmlType(const CueMark& c) {
    static const int kTypes[] = {0, 0, 4, 1, 2, 3};
    return kTypes[static_cast<int>(c.kind)];
}

void writeTrack(std::string& out, const ExpectedTrack& t, std::vector<Marker> markers,
                Random& rng) {
    out += "    <TRACK";
    addNumber(out, "TrackID", "%.0f", t.xmlId);
    addAttribute(out, "Name", t.title, rng);
    addAttribute(out, "Artist", t.artist, rng);
    addAttribute(out, "Album", t.album, rng);
    addAttribute(out, "Genre", t.genre, rng);
    addNumber(out, "Size", "%.0f", static_cast<double>(3000000 + rng.below(12000000)));
    addNumber(out, "TotalTime", "%.0f", t.duration);
    addNumber(out, "Year", "%.0f", static_cast<double>(1990 + rng.below(35)));
    addNumber(out, "AverageBpm", "%.2f", t.bpm);
    addAttribute(out, "Tonality", t.key, rng);
    // What every track carries alike.
    out += " Composer=\"\" Grouping=\"\" Kind=\"MP3 File\" DiscNumber=\"0\" TrackNumber=\"0\" "
           "DateAdded=\"2023-11-05\" BitRate=\"320\" SampleRate=\"44100\" "
           "Comments=\"Generated for tests &amp; benchmarks\" PlayCount=\"3\" Rating=\"0\" "
           "Remixer=\"\" Label=\"Test Records\" Mix=\"\"\n           Location=\"" +
           fileUrl(t.path, false) + '"';
    out += ">\n";
    // A few exports list markers out of order; the import sorts them by time.
    if (markers.size() > 2 && rng.chance(5)) std::swap(markers.front(), markers.back());
    for (const Marker& m : markers) {
        out += "      <TEMPO";
        addNumber(out, "Inizio", "%.3f", m.start);
        addNumber(out, "Bpm", "%.2f", m.bpm);
        out += m.perBar == 3 ? " Metro=\"3/4\"" : " Metro=\"4/4\"";
        addNumber(out, "Battito", "%.0f", m.battito);
        out += "/>\n";
    }
    for (const CueMark& c : t.cues) {
        out += "      <POSITION_MARK";
        addAttribute(out, "Name", c.name, rng);
        addNumber(out, "Type", "%.0f", xmlType(c));
        addNumber(out, "Start", "%.3f", c.start);
        if (c.end >= 0.0) addNumber(out, "End", "%.3f", c.end);
        addNumber(out, "Num", "%.0f", c.number);
        out += "/>\n";
    }
    out += "    </TRACK>\n";
}

struct TreeWriter {
    ExpectedCollection& c;
    Random& rng;
    std::string& out;

    void playlist(PlaylistNode& node, std::size_t depth) {
        node.folder = false;
        node.name = rng.pick(kPlaylistWords) + " " + std::to_string(c.playlists + 1);
        ++c.playlists;
        const bool byLocation = rng.chance(10);
        if (byLocation) ++c.locationKeyedPlaylists;
        // Small collections get short playlists, so their files stay small.
        const std::size_t most = c.tracks.size() < 40 ? 3 * c.tracks.size() : 120;
        const std::size_t entries = rng.chance(5) ? 0 : 1 + rng.below(most);
        for (std::size_t i = 0; i < entries; ++i)
            node.trackIds.push_back(static_cast<std::uint32_t>(1 + rng.below(c.tracks.size())));
        indent(depth);
        out += "<NODE";
        addAttribute(out, "Name", node.name, rng);
        out += byLocation ? " Type=\"1\" KeyType=\"1\"" : " Type=\"1\" KeyType=\"0\"";
        addNumber(out, "Entries", "%.0f", static_cast<double>(entries));
        if (entries == 0) {
            out += "/>\n";
            return;
        }
        out += ">\n";
        for (std::uint32_t id : node.trackIds) {
            indent(depth + 1);
            const ExpectedTrack& t = c.tracks[id - 1];
            if (byLocation) {
                out += "<TRACK Key=\"" + fileUrl(t.path, true) + "\"/>\n";
            } else {
                out += "<TRACK";
                addNumber(out, "Key", "%.0f", t.xmlId);
                out += "/>\n";
            }
        }
        indent(depth);
        out += "</NODE>\n";
    }

    void folder(PlaylistNode& node, std::size_t depth) {
        if (depth > c.maxDepth) c.maxDepth = depth;
        const std::size_t children = 2 + rng.below(5);
        indent(depth);
        out += "<NODE Type=\"0\"";
        addAttribute(out, "Name", node.name, rng);
        addNumber(out, "Count", "%.0f", static_cast<double>(children));
        out += ">\n";
        for (std::size_t i = 0; i < children; ++i) {
            PlaylistNode& child = node.children.emplace_back();
            if (depth < 6 && rng.chance(30)) {
                child.name = rng.pick(kFolders);
                folder(child, depth + 1);
            } else {
                playlist(child, depth + 1);
                if (depth + 1 > c.maxDepth) c.maxDepth = depth + 1;
            }
        }
        indent(depth);
        out += "</NODE>\n";
    }

    void indent(std::size_t depth) { out.append(2 * depth + 2, ' '); }
};

} // namespace

ExpectedCollection generateXmlCollection(std::size_t trackCount, std::uint64_t seed,
                                         const std::string& musicRoot) {
    ExpectedCollection c;
    Random rng(seed);
    std::string& out = c.xml;
    out.reserve(trackCount * 2300 + 4096);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<DJ_PLAYLISTS Version=\"1.0.0\">\n";
    out += "  <PRODUCT Name=\"rekordbox\" Version=\"6.8.2\" Company=\"AlphaTheta\"/>\n";
    out += "  <!-- generated collection -->\n";
    out += "  <COLLECTION Entries=\"" + std::to_string(trackCount) + "\">\n";

    c.tracks.reserve(trackCount);
    for (std::size_t i = 0; i < trackCount; ++i) {
        ExpectedTrack& t = c.tracks.emplace_back();
        // Unique, scattered ids as recent exports write them.
        t.xmlId = static_cast<std::int32_t>(1 + (i * 2654435761ull) % 2000000000ull);
        t.artist = rng.pick(kArtists);
        t.title = rng.pick(kWords) + " " + rng.pick(kWords) + " (" + rng.pick(kMixes) + ")";
        t.album = rng.chance(30) ? std::string() : rng.pick(kWords) + " LP";
        t.genre = rng.pick(kGenres);
        t.key = rng.pick(kKeys);
        char number[32];
        std::snprintf(number, sizeof number, "%05zu", i);
        t.path = musicRoot + "/" + fileNamePart(t.artist) + "/" + number + " " +
                 fileNamePart(t.title) + ".mp3";
        std::vector<Marker> markers;
        makeGrid(t, markers, rng);
        makeCues(t, rng);
        writeTrack(out, t, std::move(markers), rng);
    }
    out += "  </COLLECTION>\n  <PLAYLISTS>\n";
    c.root.name = "ROOT";
    if (trackCount > 0) {
        TreeWriter writer{c, rng, out};
        // A large collection gets many folders: about one playlist per hundred tracks.
        const std::size_t top = 3 + trackCount / 400;
        out += "    <NODE Type=\"0\" Name=\"ROOT\" Count=\"" + std::to_string(top) + "\">\n";
        for (std::size_t i = 0; i < top; ++i) {
            PlaylistNode& child = c.root.children.emplace_back();
            child.name = rng.pick(kFolders) + " " + std::to_string(i + 1);
            writer.folder(child, 2);
        }
        out += "    </NODE>\n";
    }
    out += "  </PLAYLISTS>\n</DJ_PLAYLISTS>\n";
    return c;
}

} // namespace vyn::test
