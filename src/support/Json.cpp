#include "support/Json.h"

#include "support/Utf8.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vyn {

JsonValue JsonValue::makeBool(bool b) {
    JsonValue v;
    v.kind_ = Kind::Bool;
    v.bool_ = b;
    return v;
}

JsonValue JsonValue::makeNumber(double d, bool integral, std::int64_t i) {
    JsonValue v;
    v.kind_ = Kind::Number;
    v.number_ = d;
    v.integral_ = integral;
    v.integer_ = i;
    return v;
}

JsonValue JsonValue::makeString(std::string s) {
    JsonValue v;
    v.kind_ = Kind::String;
    v.string_ = std::move(s);
    return v;
}

JsonValue JsonValue::makeArray() {
    JsonValue v;
    v.kind_ = Kind::Array;
    return v;
}

JsonValue JsonValue::makeObject() {
    JsonValue v;
    v.kind_ = Kind::Object;
    return v;
}

std::int64_t JsonValue::asInteger(std::int64_t fallback) const {
    if (!isNumber()) return fallback;
    if (integral_) return integer_;
    if (!std::isfinite(number_) || number_ >= 9.2e18 || number_ <= -9.2e18) return fallback;
    return static_cast<std::int64_t>(number_);
}

const JsonValue* JsonValue::find(std::string_view key) const {
    for (const auto& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

namespace {

class Parser {
public:
    Parser(std::string_view text, int maxDepth) : s_(text), maxDepth_(maxDepth) {}

    JsonParseResult run() {
        JsonParseResult r;
        skipSpace();
        if (!parseValue(r.value, 0)) {
            r.error = error_;
            r.offset = pos_;
            return r;
        }
        skipSpace();
        if (pos_ != s_.size()) {
            r.error = fail("unexpected text after the JSON value");
            r.offset = pos_;
            return r;
        }
        r.ok = true;
        return r;
    }

private:
    std::string fail(const char* what) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s at byte %zu", what, pos_);
        error_ = buf;
        return error_;
    }

    void skipSpace() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) {
            fail("invalid literal");
            return false;
        }
        pos_ += word.size();
        return true;
    }

    bool parseValue(JsonValue& out, int depth) {
        if (depth > maxDepth_) {
            fail("JSON nested too deeply");
            return false;
        }
        if (pos_ >= s_.size()) {
            fail("unexpected end of JSON");
            return false;
        }
        const char c = s_[pos_];
        if (c == '{') return parseObject(out, depth);
        if (c == '[') return parseArray(out, depth);
        if (c == '"') {
            std::string str;
            if (!parseString(str)) return false;
            out = JsonValue::makeString(std::move(str));
            return true;
        }
        if (c == 't') {
            out = JsonValue::makeBool(true);
            return literal("true");
        }
        if (c == 'f') {
            out = JsonValue::makeBool(false);
            return literal("false");
        }
        if (c == 'n') {
            out = JsonValue();
            return literal("null");
        }
        return parseNumber(out);
    }

    bool parseObject(JsonValue& out, int depth) {
        out = JsonValue::makeObject();
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '"') {
                fail("expected a string key");
                return false;
            }
            std::string key;
            if (!parseString(key)) return false;
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != ':') {
                fail("expected ':'");
                return false;
            }
            ++pos_;
            skipSpace();
            JsonValue v;
            if (!parseValue(v, depth + 1)) return false;
            out.members().emplace_back(std::move(key), std::move(v));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            fail("expected ',' or '}'");
            return false;
        }
    }

    bool parseArray(JsonValue& out, int depth) {
        out = JsonValue::makeArray();
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            JsonValue v;
            if (!parseValue(v, depth + 1)) return false;
            out.items().push_back(std::move(v));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            fail("expected ',' or ']'");
            return false;
        }
    }

    bool hex4(std::uint32_t& cp) {
        if (pos_ + 4 > s_.size()) return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[pos_ + k];
            cp <<= 4;
            if (h >= '0' && h <= '9')
                cp |= static_cast<std::uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                cp |= static_cast<std::uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                cp |= static_cast<std::uint32_t>(h - 'A' + 10);
            else
                return false;
        }
        pos_ += 4;
        return true;
    }

    bool parseString(std::string& out) {
        ++pos_; // opening quote
        const std::size_t start = pos_;
        // Fast path: no escapes.
        while (pos_ < s_.size() && s_[pos_] != '"' && s_[pos_] != '\\')
            ++pos_;
        out.assign(s_.substr(start, pos_ - start));
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == '"') {
                ++pos_;
                if (!utf8::isValid(out)) out = utf8::sanitize(out);
                return true;
            }
            if (c != '\\') {
                out += c;
                ++pos_;
                continue;
            }
            ++pos_;
            if (pos_ >= s_.size()) break;
            const char e = s_[pos_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t cp;
                if (!hex4(cp)) {
                    fail("invalid \\u escape");
                    return false;
                }
                if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
                    const std::size_t save = pos_;
                    pos_ += 2;
                    std::uint32_t lo;
                    if (hex4(lo) && lo >= 0xDC00 && lo <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    } else {
                        pos_ = save;
                    }
                }
                utf8::append(out, cp);
                break;
            }
            default:
                --pos_;
                fail("invalid escape in string");
                return false;
            }
        }
        fail("unterminated string");
        return false;
    }

    bool parseNumber(JsonValue& out) {
        const std::size_t start = pos_;
        bool integral = true;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        const std::size_t digits = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
            ++pos_;
        if (pos_ == digits) {
            fail("invalid value");
            return false;
        }
        if (pos_ < s_.size() && s_[pos_] == '.') {
            integral = false;
            ++pos_;
            const std::size_t frac = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            if (pos_ == frac) {
                fail("invalid number");
                return false;
            }
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            integral = false;
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            const std::size_t exp = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            if (pos_ == exp) {
                fail("invalid number");
                return false;
            }
        }
        const char* first = s_.data() + start;
        const char* last = s_.data() + pos_;
        double d = 0.0;
        if (std::from_chars(first, last, d).ec != std::errc()) {
            fail("number out of range");
            return false;
        }
        std::int64_t i = 0;
        if (integral) {
            auto r = std::from_chars(first, last, i);
            if (r.ec != std::errc()) integral = false;
        }
        if (!std::isfinite(d)) {
            fail("number out of range");
            return false;
        }
        out = JsonValue::makeNumber(d, integral, i);
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int maxDepth_;
    std::string error_;
};

} // namespace

JsonParseResult parseJson(std::string_view text, int maxDepth) {
    return Parser(text, maxDepth).run();
}

} // namespace vyn
