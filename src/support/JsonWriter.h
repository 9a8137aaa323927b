#pragma once
// Compact JSON text writer: no white space between tokens, keys written in the order the caller
// gives them (several file formats and dumps depend on a fixed key order). Numbers are formatted
// independently of the C locale.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);

    JsonWriter& string(std::string_view text);
    JsonWriter& integer(std::int64_t v);
    JsonWriter& unsignedInteger(std::uint64_t v);
    // Shortest text that reads back to the same double. Non-finite values are written as null.
    JsonWriter& number(double v);
    JsonWriter& boolean(bool v);
    JsonWriter& null();

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

    // Appends `text` as a quoted JSON string; invalid UTF-8 bytes become U+FFFD.
    static void appendQuoted(std::string& out, std::string_view text);
    static void appendNumber(std::string& out, double v);

private:
    void beforeValue();

    std::string out_;
    // One entry per open container: true while it still has no element.
    std::vector<bool> firstInContainer_;
    bool afterKey_ = false;
};

} // namespace vyn
