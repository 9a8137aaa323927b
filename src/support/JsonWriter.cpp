#include "support/JsonWriter.h"

#include "support/Utf8.h"

#include <charconv>
#include <cmath>

namespace vyn {

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!firstInContainer_.empty()) {
        if (!firstInContainer_.back()) out_ += ',';
        firstInContainer_.back() = false;
    }
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    out_ += '{';
    firstInContainer_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    out_ += '}';
    firstInContainer_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    out_ += '[';
    firstInContainer_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    out_ += ']';
    firstInContainer_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    appendQuoted(out_, name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    beforeValue();
    appendQuoted(out_, text);
    return *this;
}

JsonWriter& JsonWriter::integer(std::int64_t v) {
    beforeValue();
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
    return *this;
}

JsonWriter& JsonWriter::unsignedInteger(std::uint64_t v) {
    beforeValue();
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
    return *this;
}

JsonWriter& JsonWriter::number(double v) {
    beforeValue();
    appendNumber(out_, v);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool v) {
    beforeValue();
    out_ += v ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out_ += "null";
    return *this;
}

void JsonWriter::appendNumber(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void JsonWriter::appendQuoted(std::string& out, std::string_view text) {
    static const char* hex = "0123456789abcdef";
    out += '"';
    const std::string clean = utf8::sanitize(text);
    for (unsigned char c : clean) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

} // namespace vyn
