#pragma once
// A small JSON document model and reader. Objects keep their keys in document order. Strings
// decode the standard escapes; "\uXXXX" pairs that form a surrogate pair become one code point
// and lone surrogates become U+FFFD, so every decoded string is valid UTF-8.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vyn {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue makeBool(bool b);
    static JsonValue makeNumber(double d, bool integral, std::int64_t i);
    static JsonValue makeString(std::string s);
    static JsonValue makeArray();
    static JsonValue makeObject();

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isBool() const { return kind_ == Kind::Bool; }
    bool isNumber() const { return kind_ == Kind::Number; }
    bool isString() const { return kind_ == Kind::String; }
    bool isArray() const { return kind_ == Kind::Array; }
    bool isObject() const { return kind_ == Kind::Object; }

    bool asBool(bool fallback = false) const { return isBool() ? bool_ : fallback; }
    double asNumber(double fallback = 0.0) const { return isNumber() ? number_ : fallback; }
    // The exact integer when the token had no fraction or exponent, else the truncated double.
    std::int64_t asInteger(std::int64_t fallback = 0) const;
    const std::string& asString() const { return string_; }

    const std::vector<JsonValue>& items() const { return items_; }
    std::vector<JsonValue>& items() { return items_; }
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }
    std::vector<std::pair<std::string, JsonValue>>& members() { return members_; }
    // The first member with this key, or null when there is none (or this is not an object).
    const JsonValue* find(std::string_view key) const;

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    bool integral_ = false;
    double number_ = 0.0;
    std::int64_t integer_ = 0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

struct JsonParseResult {
    bool ok = false;
    JsonValue value;
    std::string error; // fixed English text with the byte offset
    std::size_t offset = 0;
};

// Parses one JSON value (leading and trailing white space allowed). Nesting deeper than
// `maxDepth` fails instead of exhausting the stack.
JsonParseResult parseJson(std::string_view text, int maxDepth = 256);

} // namespace vyn
