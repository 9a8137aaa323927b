#include "engine/SetReplay.h"

#include "support/Json.h"
#include "support/JsonWriter.h"
#include "support/TimeFormat.h"

#include <algorithm>
#include <cmath>

namespace vyn {

std::string writeSetReplay(const SetReplay& r) {
    JsonWriter w;
    w.beginObject();
    w.key("format").string("vyn-set-replay");
    w.key("version").integer(1);
    w.key("name").string(r.name);
    w.key("createdAtMillis").integer(r.createdAtMillis);
    // Full precision: six significant digits would move recorded playhead positions by frames.
    w.key("sampleRate").number(r.sampleRate);
    w.key("droppedEvents").integer(r.droppedEvents);
    w.key("events").beginArray();
    for (const ReplayEvent& e : r.events) {
        w.beginObject();
        w.key("frame").integer(e.frame);
        if (e.isMidi) {
            w.key("kind").string("midi");
            w.key("port").integer(e.port);
            w.key("status").integer(e.status);
            w.key("data1").integer(e.data1);
            w.key("data2").integer(e.data2);
        } else {
            w.key("kind").string("command");
            w.key("command").integer(e.command);
            w.key("deck").integer(e.deck);
            w.key("value").number(std::isfinite(e.value) ? e.value : 0.0);
            w.key("trackId").integer(e.trackId);
            w.key("path").string(e.path);
        }
        w.endObject();
    }
    w.endArray();
    w.endObject();
    return w.take();
}

void sortEventsStably(std::vector<ReplayEvent>& events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const ReplayEvent& a, const ReplayEvent& b) { return a.frame < b.frame; });
}

namespace {

std::int32_t toInt32(const JsonValue& v, std::int32_t fallback) {
    if (!v.isNumber()) return fallback;
    const std::int64_t i = v.asInteger(fallback);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(i, INT32_MIN, INT32_MAX));
}

bool readEvent(const JsonValue& obj, ReplayEvent& e) {
    if (!obj.isObject()) return false;
    bool haveFrame = false;
    std::string kind;
    for (const auto& [key, v] : obj.members()) {
        if (key == "frame") {
            if (!v.isNumber()) continue;
            e.frame = v.asInteger(-1);
            haveFrame = true;
        } else if (key == "kind") {
            if (v.isString()) kind = v.asString();
        } else if (key == "command") {
            e.command = toInt32(v, 0);
        } else if (key == "deck") {
            e.deck = toInt32(v, -1);
        } else if (key == "value") {
            e.value = v.asNumber(0.0);
        } else if (key == "trackId") {
            e.trackId = toInt32(v, 0);
        } else if (key == "path") {
            if (v.isString()) e.path = v.asString();
        } else if (key == "port") {
            e.port = toInt32(v, -1);
        } else if (key == "status") {
            e.status = toInt32(v, 0);
        } else if (key == "data1") {
            e.data1 = toInt32(v, 0);
        } else if (key == "data2") {
            e.data2 = toInt32(v, 0);
        }
    }
    if (!haveFrame || e.frame < 0) return false;
    if (kind == "midi")
        e.isMidi = true;
    else if (kind != "command")
        return false;
    return true;
}

} // namespace

SetReplayReadResult readSetReplay(std::string_view text) {
    SetReplayReadResult result;
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t' ||
                                   text[start] == '\n' || text[start] == '\r'))
        ++start;
    if (start >= text.size() || text[start] != '{') {
        result.error = "not a set replay (no JSON object)";
        return result;
    }
    JsonParseResult parsed = parseJson(text.substr(start));
    if (!parsed.ok) {
        result.error = "not a set replay: " + parsed.error;
        return result;
    }
    SetReplay& r = result.replay;
    std::string format;
    double version = 0.0;
    for (const auto& [key, v] : parsed.value.members()) {
        if (key == "format") {
            if (v.isString()) format = v.asString();
        } else if (key == "version") {
            version = v.asNumber(0.0);
        } else if (key == "name") {
            if (v.isString()) r.name = v.asString();
        } else if (key == "createdAtMillis") {
            r.createdAtMillis = v.asInteger(0);
        } else if (key == "sampleRate") {
            r.sampleRate = v.asNumber(48000.0);
        } else if (key == "droppedEvents") {
            r.droppedEvents = v.asInteger(0);
        } else if (key == "events" && v.isArray()) {
            for (const JsonValue& item : v.items()) {
                ReplayEvent e;
                if (readEvent(item, e)) r.events.push_back(std::move(e));
            }
        }
    }
    if (format != "vyn-set-replay") {
        result.error = "not a set replay (format is not vyn-set-replay)";
        return result;
    }
    if (version != 1.0) {
        result.error = "unsupported set replay version";
        return result;
    }
    r.sampleRate = std::max(r.sampleRate, 1.0);
    r.droppedEvents = std::max<std::int64_t>(r.droppedEvents, 0);
    if (r.name.empty())
        r.name = "Saved set " + formatLocalTime(r.createdAtMillis, "%Y-%m-%d %H:%M");
    sortEventsStably(r.events);
    result.ok = true;
    return result;
}

} // namespace vyn
