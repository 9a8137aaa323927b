#include "library/AnlzReader.h"

#include "support/ByteOrder.h"
#include "support/FileDescriptor.h"
#include "support/FileIo.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

namespace vyn {
namespace {

using detail::readU16be;
using detail::readU32be;

constexpr std::uint32_t kNoLoopEnd = 0xFFFFFFFFu;
constexpr double kDefaultColumnsPerSecond = 150.0;

bool tagIs(const unsigned char* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

// Waveform sections hold most of a file's bytes; light mode skips their bodies.
bool isWaveformTag(const unsigned char* p) {
    if (tagIs(p, "PWAV")) return true;
    return p[0] == 'P' && p[1] == 'W' && p[2] == 'V' && p[3] >= '2' && p[3] <= '7';
}

AnlzResult fail(const char* message) {
    AnlzResult r;
    r.error = message;
    return r;
}

AnlzCue makeCue(std::uint32_t number, std::uint8_t type, std::uint32_t ms, std::uint32_t loopEnd,
                bool extended) {
    AnlzCue c;
    // Numbers past the signed range name no slot this system could use.
    c.hotCueIndex = number > 0 && number - 1 <= static_cast<std::uint32_t>(INT32_MAX)
                        ? static_cast<std::int32_t>(number - 1)
                        : -1;
    c.start = ms / 1000.0;
    c.loop = type == 2;
    c.end = c.loop && loopEnd != kNoLoopEnd ? loopEnd / 1000.0 : -1.0;
    c.extended = extended;
    return c;
}

void readGrid(AnlzResult& r, const unsigned char* s, std::uint32_t total) {
    if (total < 24) return;
    const std::uint32_t count = std::min(readU32be(s + 20), (total - 24) / 8);
    BeatGrid grid;
    grid.beats.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* e = s + 24 + 8 * static_cast<std::size_t>(i);
        const std::uint16_t number = readU16be(e);
        GridBeat b;
        b.time = readU32be(e + 4) / 1000.0;
        b.bpm = readU16be(e + 2) / 100.0;
        b.beatInBar = number >= 1 && number <= 4 ? number : 1;
        grid.beats.push_back(b);
    }
    std::stable_sort(grid.beats.begin(), grid.beats.end(),
                     [](const GridBeat& a, const GridBeat& b) { return a.time < b.time; });
    grid.updateSummary();
    grid.beatsPerBar = 4;
    r.grid = std::move(grid);
}

// Entries are compared against the room left in the section before anything of them is read, so
// a length near 2^32 cannot wrap a 32-bit sum.
void readCueList(AnlzResult& r, const unsigned char* s, std::uint32_t total) {
    if (total < 36) return;
    std::uint32_t pos = 24;
    while (total - pos >= 12) {
        const unsigned char* e = s + pos;
        if (!tagIs(e, "PCPT")) break;
        const std::uint32_t length = readU32be(e + 8);
        if (length < 40 || length > total - pos) break;
        r.cues.push_back(
            makeCue(readU32be(e + 12), e[28], readU32be(e + 32), readU32be(e + 36), false));
        pos += length;
    }
}

void readExtendedCueList(AnlzResult& r, const unsigned char* s, std::uint32_t total) {
    const std::uint32_t first = total >= 24 && tagIs(s + 20, "PCP2") ? 20 : 24;
    if (total < first || total - first < 12) return;
    std::uint32_t pos = first;
    while (total - pos >= 12) {
        const unsigned char* e = s + pos;
        if (!tagIs(e, "PCP2")) break;
        const std::uint32_t length = readU32be(e + 8);
        if (length < 28 || length > total - pos) break;
        r.cues.push_back(
            makeCue(readU32be(e + 12), e[16], readU32be(e + 20), readU32be(e + 24), true));
        pos += length;
    }
}

void readWaveform(AnlzResult& r, const unsigned char* s, std::uint32_t header, std::uint32_t total,
                  bool colour) {
    if (header < 24 || header > total) return;
    const std::uint32_t entrySize = colour ? 2 : 1;
    if (readU32be(s + 12) != entrySize) return;
    // A colour waveform replaces a monochrome one; otherwise the first one read stays.
    if (!r.waveform.columns.empty() && (r.colourWaveform || !colour)) return;
    const std::uint32_t count = std::min(readU32be(s + 16), (total - header) / entrySize);
    const std::uint16_t rate = readU16be(s + 20);
    std::vector<WaveColumn> columns(count);
    const unsigned char* e = s + header;
    for (std::uint32_t i = 0; i < count; ++i) {
        WaveColumn& c = columns[i];
        if (colour) {
            const std::uint16_t w = readU16be(e + 2 * static_cast<std::size_t>(i));
            c.low = static_cast<std::uint8_t>(w >> 13);
            c.mid = static_cast<std::uint8_t>((w >> 10) & 7);
            c.high = static_cast<std::uint8_t>((w >> 7) & 7);
            c.height = static_cast<std::uint8_t>((w >> 2) & 31);
        } else {
            const std::uint8_t b = e[i];
            const auto whiteness = static_cast<std::uint8_t>(b >> 5);
            c.height = b & 31;
            c.low = static_cast<std::uint8_t>(7 - whiteness);
            c.mid = 0;
            c.high = whiteness;
        }
    }
    r.waveform.columns = std::move(columns);
    r.waveform.columnsPerSecond = rate >= 1 && rate <= 4000 ? rate : kDefaultColumnsPerSecond;
    r.colourWaveform = colour;
}

void recordSection(AnlzResult& r, const unsigned char* h) {
    AnlzSection section;
    std::memcpy(section.tag, h, 4);
    // Tags are four ASCII letters; anything else is shown as '?'.
    for (int i = 0; i < 4; ++i)
        if (section.tag[i] < 0x20 || section.tag[i] > 0x7E) section.tag[i] = '?';
    section.headerLength = readU32be(h + 4);
    section.totalLength = readU32be(h + 8);
    r.sections.push_back(section);
}

// `s` holds the whole section (`total` bytes, its own header included).
void handleSection(AnlzResult& r, const unsigned char* s, std::uint32_t header, std::uint32_t total,
                   bool waveforms) {
    if (tagIs(s, "PQTZ"))
        readGrid(r, s, total);
    else if (tagIs(s, "PCOB"))
        readCueList(r, s, total);
    else if (tagIs(s, "PCO2"))
        readExtendedCueList(r, s, total);
    else if (waveforms && tagIs(s, "PWV3"))
        readWaveform(r, s, header, total, false);
    else if (waveforms && tagIs(s, "PWV5"))
        readWaveform(r, s, header, total, true);
}

struct MemorySource {
    const unsigned char* data;
    std::size_t length;

    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) const {
        if (offset >= length) return 0;
        const std::size_t k = std::min<std::uint64_t>(n, length - offset);
        std::memcpy(dst, data + offset, k);
        return static_cast<std::int64_t>(k);
    }
    bool size(std::uint64_t& bytes) const {
        bytes = length;
        return true;
    }
};

struct DescriptorSource {
    int descriptor;

    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) const {
        return readDescriptorAt(descriptor, offset, dst, n);
    }
    bool size(std::uint64_t& bytes) const { return descriptorFileSize(descriptor, bytes); }
};

// Light mode: section headers are read one by one; waveform bodies are skipped, every other
// section is read whole (up to kMaxLightSectionBytes, never past the end of the file).
template <class Source> AnlzResult readLight(const Source& source) {
    unsigned char h[12];
    if (source.readAt(0, h, 12) != 12) return fail("file too short to be an ANLZ");
    if (!tagIs(h, "PMAI")) return fail("missing PMAI header");
    const std::uint32_t headerLength = readU32be(h + 4);
    if (headerLength < 16) return fail("bad PMAI header length");
    std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t size = 0;
    if (source.size(size)) limit = size;
    const std::uint32_t fileLength = readU32be(h + 8);
    if (fileLength != 0 && fileLength < limit) limit = fileLength;
    if (headerLength > limit) return fail("could not read the PMAI header");

    AnlzResult r;
    std::vector<unsigned char> body;
    std::uint64_t pos = headerLength;
    while (pos <= limit && limit - pos >= 12) {
        unsigned char s[12];
        if (source.readAt(pos, s, 12) != 12) break;
        const std::uint32_t header = readU32be(s + 4);
        const std::uint32_t total = readU32be(s + 8);
        if (header < 12 || total < 12 || total > limit - pos) break;
        recordSection(r, s);
        if (!isWaveformTag(s) && total <= kMaxLightSectionBytes) {
            body.resize(total);
            if (source.readAt(pos, body.data(), total) != static_cast<std::int64_t>(total)) break;
            handleSection(r, body.data(), header, total, false);
        }
        pos += total;
    }
    if (r.sections.empty()) return fail("PMAI container held no sections");
    r.ok = true;
    return r;
}

} // namespace

std::string anlzCompanionPath(const std::string& analysisPath) {
    const std::size_t dot = analysisPath.rfind('.');
    if (dot == std::string::npos) return {};
    const std::string_view ext(analysisPath.data() + dot, analysisPath.size() - dot);
    if (ext == ".DAT") return analysisPath.substr(0, dot) + ".EXT";
    if (ext == ".dat") return analysisPath.substr(0, dot) + ".ext";
    return {};
}

AnlzResult parseAnlz(const unsigned char* data, std::size_t length) {
    if (!data || length < 16) return fail("file too short to be an ANLZ");
    if (!tagIs(data, "PMAI")) return fail("missing PMAI header");
    const std::uint32_t headerLength = readU32be(data + 4);
    if (headerLength < 16 || headerLength > length) return fail("bad PMAI header length");
    std::uint64_t limit = length;
    const std::uint32_t fileLength = readU32be(data + 8);
    if (fileLength != 0 && fileLength < limit) limit = fileLength;

    AnlzResult r;
    std::uint64_t pos = headerLength;
    while (pos <= limit && limit - pos >= 12) {
        const unsigned char* s = data + pos;
        const std::uint32_t header = readU32be(s + 4);
        const std::uint32_t total = readU32be(s + 8);
        if (header < 12 || total < 12 || total > limit - pos) break;
        recordSection(r, s);
        handleSection(r, s, header, total, true);
        pos += total;
    }
    if (r.sections.empty()) return fail("PMAI container held no sections");
    r.ok = true;
    return r;
}

AnlzResult parseAnlzLight(const unsigned char* data, std::size_t length) {
    return readLight(MemorySource{data, data ? length : 0});
}

AnlzResult readAnlzFile(const std::string& path, bool full) {
    if (!full) {
        const int fd = openDescriptorForReading(path);
        if (fd < 0) return fail("could not open analysis file");
        AnlzResult r = readLight(DescriptorSource{fd});
        closeDescriptor(fd);
        return r;
    }
    if (path.empty()) return fail("could not open analysis file");
    const FileReadResult file = readWholeFile(path, kMaxAnlzBytes);
    if (!file.ok) {
        if (file.error == "could not open the file") return fail("could not open analysis file");
        if (file.error == "file is too large") return fail("analysis file is implausibly large");
        return fail("could not read analysis file");
    }
    if (file.data.empty()) return fail("empty analysis file");
    return parseAnlz(reinterpret_cast<const unsigned char*>(file.data.data()), file.data.size());
}

AnlzResult readAnlzDescriptor(int descriptor, bool full) {
    if (descriptor < 0) return fail("invalid analysis file descriptor");
    if (!full) {
        if (!rewindDescriptor(descriptor)) return fail("could not rewind analysis file");
        return readLight(DescriptorSource{descriptor});
    }
    const DescriptorReadResult read = readWholeDescriptor(descriptor, kMaxAnlzBytes);
    if (!read.ok) {
        if (read.error == "file is too large to load")
            return fail("analysis file is implausibly large");
        if (read.error == "descriptor held no data")
            return fail("analysis descriptor held no data");
        return fail("could not read the analysis descriptor");
    }
    return parseAnlz(read.bytes.data(), read.bytes.size());
}

} // namespace vyn
