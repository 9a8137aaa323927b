#include "control/link/LinkProtocol.h"

#include "dsp/Waveform.h"
#include "engine/Command.h"
#include "support/Json.h"
#include "support/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

namespace vyn {
namespace {

constexpr std::size_t kMaxStringBytes = 256;
constexpr std::size_t kMaxMessageBytes = 65536;

// A number member, or nothing when the key is absent or not a number (strings do not count).
bool numberMember(const JsonValue& object, std::string_view key, double& out) {
    const JsonValue* v = object.find(key);
    if (!v || !v->isNumber()) return false;
    out = v->asNumber();
    return true;
}

// Checks a value before it is converted to an integer: finite and inside [lo, hi].
bool inRange(double v, double lo, double hi) {
    return std::isfinite(v) && v >= lo && v <= hi;
}

void appendNumber(std::string& out, double v, double fallback = 0.0) {
    if (!std::isfinite(v)) v = fallback;
    if (v == 0.0) v = 0.0; // no "-0"
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    out.append(buf, r.ptr);
}

void appendKey(std::string& out, const char* key) {
    out += '"';
    out += key;
    out += "\":";
}

void putLe32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

bool isSurfaceCommand(std::int32_t ordinal) {
    if (ordinal < 0 || ordinal > kLastSurfaceOrdinal) return false;
    // A load hands the engine a track object that only the loader may build.
    return ordinal != static_cast<std::int32_t>(CommandType::LOAD_TRACK) &&
           ordinal != static_cast<std::int32_t>(CommandType::REPLACE_TRACK);
}

LinkMessage parseLinkMessage(std::string_view text) {
    LinkMessage m;
    if (text.size() > kMaxMessageBytes) return m;
    const JsonParseResult parsed = parseJson(text, 8);
    if (!parsed.ok || !parsed.value.isObject()) return m;
    const JsonValue& o = parsed.value;
    const JsonValue* t = o.find("t");
    if (!t || !t->isString()) return m;
    const std::string& type = t->asString();

    if (type == "hello") {
        const JsonValue* pair = o.find("pair");
        if (!pair || !pair->isString() || pair->asString().size() > kMaxStringBytes) return m;
        m.kind = LinkMessageKind::Hello;
        m.pair = pair->asString();
        return m;
    }
    if (type == "cmd") {
        double c = 0.0, d = -1.0, v = 0.0;
        if (!numberMember(o, "c", c)) return m;
        numberMember(o, "d", d);
        numberMember(o, "v", v);
        // Ordinal and deck are truncated before their ranges are checked (a deck of 15.7 is 15).
        if (!std::isfinite(c) || !std::isfinite(d) || !std::isfinite(v)) return m;
        c = std::trunc(c);
        d = std::trunc(d);
        if (!inRange(c, 0.0, kLastSurfaceOrdinal) || !inRange(d, -1.0, 15.0)) return m;
        const auto command = static_cast<std::int32_t>(c);
        if (!isSurfaceCommand(command)) return m;
        m.kind = LinkMessageKind::Command;
        m.intent.command = command;
        m.intent.deck = static_cast<std::int32_t>(d);
        m.intent.value = v;
        m.intent.hasCommand = true;
        return m;
    }
    if (type == "load" || type == "pick") {
        double d = 0.0;
        numberMember(o, "d", d);
        if (!std::isfinite(d) || !inRange(std::trunc(d), 0.0, 15.0)) return m;
        m.browse.deck = static_cast<std::int32_t>(std::trunc(d));
        if (type == "load") {
            double id = 0.0;
            // Catalogue ids are unsigned 32-bit and start at 1.
            if (!numberMember(o, "id", id) || !inRange(id, 1.0, 4294967295.0)) return m;
            m.browse.kind = BrowseIntent::LOAD;
            m.browse.trackId = static_cast<std::uint32_t>(id);
        } else {
            double i = 0.0;
            if (!numberMember(o, "i", i) || !inRange(i, 0.0, 2147483647.0)) return m;
            m.browse.kind = BrowseIntent::PICK;
            m.browse.row = static_cast<std::int32_t>(i);
        }
        m.kind = LinkMessageKind::Browse;
        return m;
    }
    return m;
}

std::string drawPairingCode() {
    std::random_device device;
    std::uint32_t high;
    for (;;) {
        const std::uint64_t product = std::uint64_t(static_cast<std::uint32_t>(device())) * 10000u;
        if (static_cast<std::uint32_t>(product) >= 7296u) { // 2^32 mod 10000: reject the bias
            high = static_cast<std::uint32_t>(product >> 32);
            break;
        }
    }
    char text[8];
    std::snprintf(text, sizeof text, "%04u", high);
    return text;
}

bool isPairingCode(std::string_view code) {
    if (code.size() != 4) return false;
    for (char c : code)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isUsableAddress(std::string_view address) {
    int parts[4];
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= address.size() || address[pos] != '.') return false;
            ++pos;
        }
        std::size_t digits = 0;
        int value = 0;
        while (pos < address.size() && address[pos] >= '0' && address[pos] <= '9' && digits < 4) {
            value = value * 10 + (address[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        parts[i] = value;
    }
    if (pos != address.size()) return false;
    if (parts[0] == 0 || parts[0] == 127) return false;
    return !(parts[0] == 169 && parts[1] == 254);
}

std::string pairingLink(const std::vector<std::string>& addresses, int port,
                        std::string_view code) {
    if (port < 1 || port > 65535 || !isPairingCode(code)) return {};
    std::string hosts;
    for (const std::string& a : addresses) {
        if (!isUsableAddress(a)) continue;
        if (!hosts.empty()) hosts += ',';
        hosts += a;
    }
    if (hosts.empty()) return {};
    return "vynlink://" + hosts + ":" + std::to_string(port) + "/" + std::string(code);
}

std::string buildStateDocument(const LinkStateInput& in) {
    static const LinkDeckRecord kNoRecords[16];
    static const EngineSnapshot kNoSnapshot;
    const LinkDeckRecord* records = in.decks ? in.decks : kNoRecords;
    const EngineSnapshot& snap = in.snapshot ? *in.snapshot : kNoSnapshot;
    const int deckCount = in.deckCount < 0 ? 0 : (in.deckCount > 16 ? 16 : in.deckCount);
    const double outputRate = std::isfinite(in.outputSampleRate) && in.outputSampleRate > 0.0
                                  ? in.outputSampleRate
                                  : 48000.0;

    std::string s;
    s.reserve(256 + 640 * static_cast<std::size_t>(deckCount));
    s += "{\"t\":\"state\",";
    appendKey(s, "session");
    JsonWriter::appendQuoted(s, in.session);
    if (in.focusedDeck >= 0 && in.focusedDeck < 16) {
        s += ',';
        appendKey(s, "fd");
        appendNumber(s, in.focusedDeck);
    }
    if (in.controllerDecks >= 0) {
        s += ',';
        appendKey(s, "oc");
        appendNumber(s, static_cast<double>(in.controllerDecks));
    }
    s += ',';
    appendKey(s, "bpm");
    appendNumber(s, snap.masterBpm);
    s += ',';
    appendKey(s, "master");
    appendNumber(s, snap.masterDeck);
    s += ',';
    appendKey(s, "sr");
    appendNumber(s, outputRate);
    s += ',';
    appendKey(s, "quantise");
    s += snap.quantise ? "true" : "false";
    s += ',';
    appendKey(s, "bj");
    appendNumber(s, snap.beatJumpBeats);
    s += ',';
    appendKey(s, "decks");
    s += '[';
    for (int i = 0; i < deckCount; ++i) {
        const DeckSnapshot& d = snap.decks[i];
        const LinkDeckRecord& r = records[i];
        const double deckRate =
            std::isfinite(r.sampleRate) && r.sampleRate > 0.0 ? r.sampleRate : outputRate;
        if (i > 0) s += ',';
        s += "{\"i\":";
        appendNumber(s, i);
        s += ",\"name\":";
        JsonWriter::appendQuoted(s, r.name);
        s += ",\"track\":";
        appendNumber(s, r.trackId);
        s += ",\"wv\":";
        appendNumber(s, r.waveColumns);
        s += ",\"za\":";
        appendNumber(s, r.zoomSeconds);
        s += ",\"sr\":";
        appendNumber(s, deckRate);
        s += ",\"state\":";
        appendNumber(s, d.state);
        s += ",\"pos\":";
        appendNumber(s, d.position);
        s += ",\"len\":";
        appendNumber(s, static_cast<double>(d.length));
        s += ",\"rate\":";
        appendNumber(s, d.rate);
        s += ",\"ur\":";
        appendNumber(s, d.userRate);
        s += ",\"bpm\":";
        appendNumber(s, d.bpm);
        s += ",\"beat\":";
        appendNumber(s, d.beat);
        s += ",\"bar\":";
        appendNumber(s, d.bar);
        s += ",\"cues\":";
        appendNumber(s, d.hotCueMask);
        s += ",\"ct\":[";
        for (int k = 0; k < 8; ++k) {
            if (k > 0) s += ',';
            const bool set = (d.hotCueMask >> k) & 1;
            appendNumber(s, set ? d.hotCueSeconds[k] : -1.0, -1.0);
        }
        s += "],\"mc\":";
        appendNumber(s, deckRate > 0.0 ? static_cast<double>(d.mainCue) / deckRate : -1.0, -1.0);
        s += ",\"f\":";
        appendNumber(s, deckFlags(d));
        if (d.stemsAvailable) {
            s += ",\"sg\":[";
            for (int k = 0; k < 4; ++k) {
                if (k > 0) s += ',';
                appendNumber(s, d.stemGains[k], 1.0);
            }
            s += "],\"sq\":";
            appendNumber(s, d.stemVariant);
        }
        s += ",\"ks\":";
        appendNumber(s, d.keyShift);
        s += ",\"loop\":";
        s += d.looping ? "true" : "false";
        s += ",\"li\":";
        appendNumber(s, d.loopInSeconds, -1.0);
        s += ",\"lo\":";
        appendNumber(s, d.loopOutSeconds, -1.0);
        s += ",\"ss\":";
        appendNumber(s, d.slipSeconds, -1.0);
        s += '}';
    }
    s += "]}";
    return s;
}

std::string buildWaveformPayload(int deck, std::int32_t trackId, int kind, float columnsPerSecond,
                                 const WaveColumn* columns, std::size_t count) {
    if (!columns || count == 0) return {};
    std::string p(kWaveHeaderBytes + 4 * count, '\0');
    putLe32(p.data(), static_cast<std::uint32_t>(deck));
    putLe32(p.data() + 4, static_cast<std::uint32_t>(trackId));
    putLe32(p.data() + 8, static_cast<std::uint32_t>(count));
    putLe32(p.data() + 12, static_cast<std::uint32_t>(kind));
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof columnsPerSecond);
    std::memcpy(&bits, &columnsPerSecond, sizeof bits);
    putLe32(p.data() + 16, bits);
    static_assert(sizeof(WaveColumn) == 4);
    char* out = p.data() + kWaveHeaderBytes;
    for (std::size_t i = 0; i < count; ++i) {
        out[4 * i] = static_cast<char>(columns[i].height);
        out[4 * i + 1] = static_cast<char>(columns[i].low);
        out[4 * i + 2] = static_cast<char>(columns[i].mid);
        out[4 * i + 3] = static_cast<char>(columns[i].high);
    }
    return p;
}

} // namespace vyn
