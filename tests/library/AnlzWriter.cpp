#include "AnlzWriter.h"

namespace vyn::test {

std::string be16(std::uint16_t v) {
    return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}
std::string be32(std::uint32_t v) {
    return be16(static_cast<std::uint16_t>(v >> 16)) + be16(static_cast<std::uint16_t>(v));
}

AnlzWriter& AnlzWriter::section(const std::string& tag, const std::string& headerRest,
                                const std::string& body) {
    const auto header = static_cast<std::uint32_t>(12 + headerRest.size());
    sections_ += tag + be32(header) + be32(header + static_cast<std::uint32_t>(body.size())) +
                 headerRest + body;
    return *this;
}

AnlzWriter& AnlzWriter::beatGrid(const std::vector<AnlzBeat>& beats) {
    std::string body;
    for (const AnlzBeat& b : beats)
        body += be16(b.number) + be16(b.tempo) + be32(b.ms);
    return section("PQTZ", be32(0) + be32(0x80000) + be32(static_cast<std::uint32_t>(beats.size())),
                   body);
}

AnlzWriter& AnlzWriter::cueList(const std::vector<AnlzCueSpec>& cues, bool hotCues) {
    std::string body;
    for (const AnlzCueSpec& c : cues) {
        std::string e = "PCPT" + be32(28) + be32(56) + be32(c.hotCue) + be32(4) + be32(0x10000) +
                        be16(0xFFFF) + be16(0xFFFF) + static_cast<char>(c.type) + '\0' +
                        be16(1000) + be32(c.ms) + be32(c.loopEndMs);
        body += e + std::string(56 - e.size(), '\0');
    }
    const auto n = static_cast<std::uint16_t>(cues.size());
    return section("PCOB", be32(hotCues ? 1 : 0) + be16(0) + be16(n) + be32(hotCues ? 0 : n), body);
}

AnlzWriter& AnlzWriter::extendedCueList(const std::vector<AnlzCueSpec>& cues, bool at20) {
    std::string body;
    for (const AnlzCueSpec& c : cues) {
        std::string e = "PCP2" + be32(16) + be32(44) + be32(c.hotCue) + static_cast<char>(c.type) +
                        std::string(3, '\0') + be32(c.ms) + be32(c.loopEndMs);
        body += e + std::string(44 - e.size(), '\0');
    }
    const std::string header = be32(1) + be16(static_cast<std::uint16_t>(cues.size())) + be16(0);
    return section("PCO2", at20 ? header : header + be32(0), body);
}

AnlzWriter& AnlzWriter::waveform(bool colour, const std::vector<std::uint16_t>& columns,
                                 std::uint16_t columnsPerSecond, std::uint32_t entrySize) {
    std::string body;
    for (std::uint16_t c : columns)
        body += colour ? be16(c) : std::string(1, static_cast<char>(c & 0xFF));
    if (entrySize == 0) entrySize = colour ? 2 : 1;
    return section(colour ? "PWV5" : "PWV3",
                   be32(entrySize) + be32(static_cast<std::uint32_t>(columns.size())) +
                       be16(columnsPerSecond) + be16(0),
                   body);
}

std::string AnlzWriter::build(std::int64_t fileLength) const {
    const auto total = static_cast<std::uint32_t>(28 + sections_.size());
    return "PMAI" + be32(28) +
           be32(fileLength < 0 ? total : static_cast<std::uint32_t>(fileLength)) +
           std::string(16, '\0') + sections_;
}

} // namespace vyn::test
