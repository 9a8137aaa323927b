#include "control/midi/MidiMappingFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace vyn {

namespace {

constexpr const char* kHeader = "vyn-mapping 1\n";

// The comment block every written file carries. `mod=N` is a bit mask, which is what the
// dispatcher does: a `modifier` binding with param P holds bit P-1 (value 2^(P-1)).
constexpr const char* kComment =
    "# bind <port> <kind> <channel> <number> <action> <slot> <mode> <relative> <min> <max> "
    "<step> <param> [mod=N] <label>\n"
    "#   mod=N is a bit mask: the binding fires only while every bit of N is held,\n"
    "#   and a control bound to `modifier` with param P holds bit P-1 (value 2^(P-1)).\n"
    "#   port -1 matches any, which is what learn writes: port numbers move\n"
    "#   when devices are replugged.\n"
    "#   slot is a position within the controller's bank, not a deck.\n";

constexpr std::int64_t kIntegerLimit = 100000000;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits into at most `maxFields` fields separated by runs of blanks; the last field is the rest
// of the line, verbatim.
std::vector<std::string_view> splitFields(std::string_view line, std::size_t maxFields) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (pos < n && isBlank(line[pos]))
        ++pos;
    while (pos < n) {
        if (fields.size() + 1 == maxFields) {
            fields.push_back(line.substr(pos));
            break;
        }
        const std::size_t start = pos;
        while (pos < n && !isBlank(line[pos]))
            ++pos;
        fields.push_back(line.substr(start, pos - start));
        while (pos < n && isBlank(line[pos]))
            ++pos;
    }
    return fields;
}

struct KindWord {
    const char* word;
    std::uint8_t kind;
};
constexpr KindWord kKinds[] = {
    {"note", midi_class::note},   {"cc", midi_class::cc},     {"pitch", midi_class::pitch},
    {"touch", midi_class::touch}, {"poly", midi_class::poly}, {"program", midi_class::program},
};

bool parseInRange(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    return midi_mapping::parseInteger(text, out) && out >= lo && out <= hi;
}

bool parseKind(std::string_view text, std::uint8_t& out) {
    for (const KindWord& k : kKinds) {
        if (text == k.word) {
            out = k.kind;
            return true;
        }
    }
    std::int64_t v = 0;
    if (!parseInRange(text, 0, 255, v)) return false;
    out = static_cast<std::uint8_t>(v);
    return true;
}

bool parseBind(std::string_view line, MidiBinding& b) {
    std::vector<std::string_view> fields = splitFields(line, 15);
    bool hasMod = fields.size() >= 14 && fields[13].substr(0, 4) == "mod=";
    if (!hasMod) fields = splitFields(line, 14);
    if (fields.size() < 13) return false;

    std::int64_t v = 0;
    if (!parseInRange(fields[1], -1, 127, v)) return false;
    b.port = static_cast<std::int8_t>(v);
    if (!parseKind(fields[2], b.kind)) return false;
    if (!parseInRange(fields[3], 0, 15, v)) return false;
    b.channel = static_cast<std::uint8_t>(v);
    if (!parseInRange(fields[4], 0, 127, v)) return false;
    b.number = static_cast<std::uint8_t>(v);
    const auto action = midiActionFromName(fields[5]);
    if (!action) return false;
    b.action = static_cast<std::uint16_t>(*action);
    if (!midi_mapping::parseInteger(fields[6], v)) return false;
    b.slot = static_cast<std::int32_t>(v);
    const auto mode = midiModeFromName(fields[7]);
    if (!mode) return false;
    b.mode = static_cast<std::uint8_t>(*mode);
    const auto relative = midiRelativeFromName(fields[8]);
    if (!relative) return false;
    b.relative = static_cast<std::uint8_t>(*relative);
    if (!midi_mapping::parseNumber(fields[9], b.min) ||
        !midi_mapping::parseNumber(fields[10], b.max) ||
        !midi_mapping::parseNumber(fields[11], b.step) ||
        !midi_mapping::parseNumber(fields[12], b.param))
        return false;
    std::size_t labelField = 13;
    if (hasMod) {
        if (!parseInRange(fields[13].substr(4), 1, 255, v)) return false;
        b.mod = static_cast<std::uint8_t>(v);
        labelField = 14;
    }
    if (fields.size() > labelField) b.label = std::string(fields[labelField]);
    return true;
}

// A device name or label as a line can hold it: line breaks become blanks, and leading blanks go,
// since the reader takes them for part of the separator before the text. What is written then
// reads back unchanged.
std::string lineText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    out.erase(0, out.find_first_not_of(" \t"));
    return out;
}

std::string kindText(std::uint8_t kind) {
    for (const KindWord& k : kKinds)
        if (k.kind == kind) return k.word;
    return std::to_string(kind);
}

} // namespace

namespace midi_mapping {

bool parseInteger(std::string_view text, std::int64_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > kIntegerLimit) return false;
    }
    out = negative ? -value : value;
    return true;
}

bool parseNumber(std::string_view text, double& out) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    const bool negative = n > 0 && text[0] == '-';
    if (n > 0 && (text[0] == '+' || text[0] == '-')) i = 1;
    const std::size_t body = i;
    std::size_t digits = 0;
    bool nonZero = false;
    bool fraction = false;
    long integerDigits = 0; // digits from the first non-zero one, before the point
    long fractionZeros = 0; // zeros after the point before the first non-zero digit
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++digits;
            if (c != '0') nonZero = true;
            if (!fraction && nonZero) ++integerDigits;
            if (fraction && !nonZero) ++fractionZeros;
        } else if (c == '.' && !fraction) {
            fraction = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        std::size_t exponentDigits = 0;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            exponent = exponent * 10 + (text[i] - '0');
            ++exponentDigits;
            if (exponent > 308) return false;
        }
        if (exponentDigits == 0) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != n) return false;

    double value = 0.0;
    const auto result = std::from_chars(text.data() + body, text.data() + n, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Decimal exponent of the leading digit: out of range above 0 means too large.
        const long magnitude =
            (integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1)) + exponent;
        if (nonZero && magnitude >= 0) return false;
        value = 0.0;
    } else if (result.ec != std::errc() || result.ptr != text.data() + n) {
        return false;
    }
    if (!std::isfinite(value)) return false;
    out = negative ? -value : value;
    return true;
}

std::string formatNumber(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    std::string text(buffer, result.ptr);
    for (char& c : text)
        if (c == ',') c = '.';
    return text;
}

} // namespace midi_mapping

std::string writeMidiMapping(const MidiMapping& mapping) {
    std::string out = kHeader;
    out += kComment;
    const std::string device = lineText(mapping.device);
    if (!device.empty()) out += "device " + device + "\n";
    out += "channels " + std::to_string(mapping.channels) + "\n";
    for (const MidiBinding& b : mapping.bindings) {
        const char* action = midiActionName(b.action);
        out += "bind ";
        out += std::to_string(b.port);
        out += ' ';
        out += kindText(b.kind);
        out += ' ';
        out += std::to_string(b.channel);
        out += ' ';
        out += std::to_string(b.number);
        out += ' ';
        out += action ? action : "none";
        out += ' ';
        out += std::to_string(b.slot);
        out += ' ';
        out += midiModeName(b.mode);
        out += ' ';
        out += midiRelativeName(b.relative);
        for (double v : {b.min, b.max, b.step, b.param}) {
            out += ' ';
            out += midi_mapping::formatNumber(v);
        }
        if (b.mod != 0) out += " mod=" + std::to_string(b.mod);
        out += ' ';
        out += lineText(b.label);
        out += '\n';
    }
    return out;
}

MidiMappingReadResult readMidiMapping(std::string_view text, MidiMapping& out) {
    MidiMappingReadResult result;
    MidiMapping mapping;
    bool header = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string_view> parts = splitFields(line, 2);
        if (parts.empty() || parts[0][0] == '#') continue;
        const std::string_view keyword = parts[0];
        if (keyword == "vyn-mapping") {
            header = true;
            continue;
        }
        if (!header) {
            result.message = "not a VYN mapping file";
            return result;
        }
        if (keyword == "device") {
            if (parts.size() > 1) mapping.device = std::string(parts[1]);
        } else if (keyword == "channels") {
            std::int64_t v = 0;
            if (parts.size() > 1 && parseInRange(parts[1], 1, 16, v))
                mapping.channels = static_cast<std::int32_t>(v);
            else
                ++result.dropped;
        } else if (keyword == "bind") {
            MidiBinding b;
            if (!parseBind(line, b)) {
                ++result.dropped;
                continue;
            }
            // A later line replaces every earlier binding it shares an address with, in the
            // place of the first: port -1 shares one with every port, so it can stand for two
            // earlier bindings on different ports, and keeping one of them would make the mapping
            // depend on the order it is written in.
            auto& all = mapping.bindings;
            const auto same = [&b](const MidiBinding& e) { return sameBindingKey(e, b); };
            const auto first = std::find_if(all.begin(), all.end(), same);
            if (first == all.end()) {
                all.push_back(std::move(b));
            } else {
                const auto at = first - all.begin();
                all.erase(std::remove_if(first + 1, all.end(), same), all.end());
                all[static_cast<std::size_t>(at)] = std::move(b);
            }
            ++result.read;
        } else {
            ++result.dropped;
        }
    }
    if (!header) {
        result.message = "not a VYN mapping file";
        return result;
    }
    result.ok = true;
    out = std::move(mapping);
    return result;
}

} // namespace vyn
