#pragma once
// Writes analysis files ("PMAI" containers, big-endian) for tests and benchmarks: beat grids, plain
// and extended cue lists, monochrome and colour detail waveforms, and raw sections.

#include <cstdint>
#include <string>
#include <vector>

namespace vyn::test {

struct AnlzBeat {
    std::uint16_t number;
    std::uint16_t tempo; // bpm x 100
    std::uint32_t ms;
};

struct AnlzCueSpec {
    std::uint32_t hotCue; // 0 = memory cue, n = slot n - 1
    std::uint8_t type;    // 1 = cue, 2 = loop
    std::uint32_t ms;
    std::uint32_t loopEndMs = 0xFFFFFFFFu;
};

class AnlzWriter {
public:
    AnlzWriter& section(const std::string& tag, const std::string& headerRest,
                        const std::string& body);
    AnlzWriter& beatGrid(const std::vector<AnlzBeat>& beats);
    AnlzWriter& cueList(const std::vector<AnlzCueSpec>& cues, bool hotCues = true);
    // Extended list; entries start at offset 20 (as written by current software) or 24.
    AnlzWriter& extendedCueList(const std::vector<AnlzCueSpec>& cues, bool at20 = true);
    // Monochrome ("PWV3", one byte per column) or colour ("PWV5", two bytes per column).
    AnlzWriter& waveform(bool colour, const std::vector<std::uint16_t>& columns,
                         std::uint16_t columnsPerSecond = 150, std::uint32_t entrySize = 0);

    // The file; the header's length field is the real length unless `fileLength` is given.
    std::string build(std::int64_t fileLength = -1) const;

private:
    std::string sections_;
};

std::string be16(std::uint16_t v);
std::string be32(std::uint32_t v);

} // namespace vyn::test
