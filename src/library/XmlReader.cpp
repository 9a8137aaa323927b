#include "library/XmlReader.h"

#include "support/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace vyn {
namespace {

enum CharClass : std::uint8_t {
    kSpace = 1,     // white space between XML tokens
    kNameStart = 2, // may begin a name
    kName = 4,      // may continue a name
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> t{};
    for (int c : {' ', '\t', '\r', '\n'})
        t[static_cast<std::size_t>(c)] = kSpace;
    for (int c = 'a'; c <= 'z'; ++c)
        t[static_cast<std::size_t>(c)] = kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[static_cast<std::size_t>(c)] = kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<std::size_t>(c)] = kName;
    t['_'] = kNameStart | kName;
    t[':'] = kNameStart | kName;
    t['-'] = kName;
    t['.'] = kName;
    return t;
}

constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

inline std::uint8_t classOf(char c) {
    return kClasses[static_cast<unsigned char>(c)];
}

// The first byte in [p, end) that cannot continue a name, or `end`; four bytes per bounds check.
inline const char* skipName(const char* p, const char* end) {
    while (end - p >= 4) {
        if (!(classOf(p[0]) & kName)) return p;
        if (!(classOf(p[1]) & kName)) return p + 1;
        if (!(classOf(p[2]) & kName)) return p + 2;
        if (!(classOf(p[3]) & kName)) return p + 3;
        p += 4;
    }
    while (p < end && (classOf(*p) & kName))
        ++p;
    return p;
}

// High bit set in each byte of `word` that equals the byte repeated in `pattern`; exact for the
// lowest such byte, which is all the scanners below use.
inline std::uint64_t matchMask(std::uint64_t word, std::uint64_t pattern) {
    const std::uint64_t v = word ^ pattern;
    return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

// The first byte in [p, end) equal to `a` or `b`, or `end`, examined eight bytes at a time.
inline const char* findEither(const char* p, const char* end, char a, char b) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t pa = 0x0101010101010101ull * static_cast<unsigned char>(a);
        const std::uint64_t pb = 0x0101010101010101ull * static_cast<unsigned char>(b);
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            const std::uint64_t ma = matchMask(word, pa);
            const std::uint64_t mb = matchMask(word, pb);
            if (ma | mb) {
                // Each mask is exact up to its own first match, so take the earlier of the two.
                const int ia = ma ? std::countr_zero(ma) : 64;
                const int ib = mb ? std::countr_zero(mb) : 64;
                return p + (std::min(ia, ib) >> 3);
            }
            p += 8;
        }
    }
    while (p < end && *p != a && *p != b)
        ++p;
    return p;
}

// White space as the C library's number conversions skip it.
inline bool isNumberSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code point of a character reference body ("#65", "#x42"), or 0 when it is not a valid
// Unicode scalar value. Accumulates in 64 bits so a long reference cannot wrap into range.
std::uint32_t characterReference(std::string_view body) {
    if (body.size() < 2 || body[0] != '#') return 0;
    std::uint64_t value = 0;
    if (body[1] == 'x' || body[1] == 'X') {
        if (body.size() < 3) return 0;
        for (std::size_t i = 2; i < body.size(); ++i) {
            const int d = hexValue(body[i]);
            if (d < 0) return 0;
            value = value * 16 + static_cast<std::uint64_t>(d);
        }
    } else {
        for (std::size_t i = 1; i < body.size(); ++i) {
            if (body[i] < '0' || body[i] > '9') return 0;
            value = value * 10 + static_cast<std::uint64_t>(body[i] - '0');
        }
    }
    if (value == 0 || value > 0x10FFFF) return 0;
    if (value >= 0xD800 && value <= 0xDFFF) return 0;
    return static_cast<std::uint32_t>(value);
}

} // namespace

void XmlReader::open(const char* data, std::size_t length) {
    data_ = data;
    size_ = data ? length : 0;
    pos_ = 0;
    event_ = XmlEvent::End;
    failed_ = false;
    name_ = {};
    rawText_ = {};
    textNeedsDecoding_ = false;
    textReady_ = false;
    error_.clear();
    errorOffset_ = 0;
    attributes_.clear();
    decoded_.clear();
}

XmlEvent XmlReader::fail(std::string message, std::size_t at, bool unterminated) {
    failed_ = true;
    error_ = std::move(message);
    errorOffset_ = at;
    name_ = {};
    attributes_.clear();
    if (unterminated) pos_ = size_;
    return event_ = XmlEvent::Error;
}

XmlEvent XmlReader::next() {
    name_ = {};
    rawText_ = {};
    textNeedsDecoding_ = false;
    textReady_ = false;
    attributes_.clear();
    decoded_.clear();
    if (failed_) return event_ = XmlEvent::Error;

    for (;;) {
        if (pos_ >= size_) return event_ = XmlEvent::End;
        const char* p = data_ + pos_;
        const std::size_t rest = size_ - pos_;
        if (*p != '<') {
            const char* const end = data_ + size_;
            const char* q = findEither(p, end, '<', '&');
            textNeedsDecoding_ = q < end && *q == '&';
            if (textNeedsDecoding_) {
                q = static_cast<const char*>(std::memchr(q, '<', end - q));
                if (!q) q = end;
            }
            rawText_ = std::string_view(p, static_cast<std::size_t>(q - p));
            pos_ += rawText_.size();
            return event_ = XmlEvent::Text;
        }

        const std::string_view input(data_, size_);
        const std::size_t start = pos_;
        if (rest >= 2 && p[1] == '?') {
            const std::size_t close = input.find("?>", start + 2);
            if (close == std::string_view::npos)
                return fail("unterminated XML declaration", start, true);
            pos_ = close + 2;
            continue;
        }
        if (rest >= 2 && p[1] == '!') {
            if (input.substr(start, 4) == "<!--") {
                const std::size_t close = input.find("-->", start + 4);
                if (close == std::string_view::npos)
                    return fail("unterminated comment", start, true);
                pos_ = close + 3;
                continue;
            }
            if (input.substr(start, 9) == "<![CDATA[") {
                const std::size_t close = input.find("]]>", start + 9);
                if (close == std::string_view::npos) return fail("unterminated CDATA", start, true);
                rawText_ = input.substr(start + 9, close - (start + 9));
                pos_ = close + 3;
                return event_ = XmlEvent::Text;
            }
            const std::size_t close = input.find('>', start + 2);
            if (close == std::string_view::npos)
                return fail("unterminated declaration", start, true);
            pos_ = close + 1;
            continue;
        }
        if (rest >= 2 && p[1] == '/') return readClosingTag(start);
        return readTag(start);
    }
}

std::size_t XmlReader::readName(std::size_t at) const {
    if (at >= size_ || !(classOf(data_[at]) & kNameStart)) return at;
    return static_cast<std::size_t>(skipName(data_ + at + 1, data_ + size_) - data_);
}

void XmlReader::skipWhiteSpace() {
    while (pos_ < size_ && (classOf(data_[pos_]) & kSpace))
        ++pos_;
}

XmlEvent XmlReader::readClosingTag(std::size_t start) {
    const std::size_t nameBegin = start + 2;
    const std::size_t nameEnd = readName(nameBegin);
    if (nameEnd == nameBegin) return fail("malformed closing tag", start, false);
    pos_ = nameEnd;
    skipWhiteSpace();
    if (pos_ >= size_ || data_[pos_] != '>') return fail("unterminated closing tag", start, true);
    ++pos_;
    name_ = std::string_view(data_ + nameBegin, nameEnd - nameBegin);
    return event_ = XmlEvent::EndTag;
}

XmlEvent XmlReader::readTag(std::size_t start) {
    const std::size_t nameBegin = start + 1;
    const std::size_t nameEnd = readName(nameBegin);
    if (nameEnd == nameBegin) return fail("malformed element name", start, false);
    const std::string_view name(data_ + nameBegin, nameEnd - nameBegin);
    pos_ = nameEnd;
    bool emptyTag = false;
    const AttributeStatus status = readAttributes(emptyTag);
    if (status != AttributeStatus::Ok) {
        std::string message = "malformed attributes in <";
        message.append(name);
        message += '>';
        return fail(std::move(message), start, status == AttributeStatus::Unterminated);
    }
    name_ = name;
    return event_ = emptyTag ? XmlEvent::EmptyTag : XmlEvent::StartTag;
}

XmlReader::AttributeStatus XmlReader::readAttributes(bool& emptyTag) {
    const char* p = data_ + pos_;
    const char* const end = data_ + size_;
    for (;;) {
        while (p < end && (classOf(*p) & kSpace))
            ++p;
        if (p >= end) return AttributeStatus::Unterminated;
        const char c = *p;
        if (c == '>') {
            pos_ = static_cast<std::size_t>(p + 1 - data_);
            return AttributeStatus::Ok;
        }
        if (c == '/') {
            if (p + 1 >= end) return AttributeStatus::Unterminated;
            if (p[1] != '>') return AttributeStatus::Malformed;
            pos_ = static_cast<std::size_t>(p + 2 - data_);
            emptyTag = true;
            return AttributeStatus::Ok;
        }
        if (!(classOf(c) & kNameStart)) return AttributeStatus::Malformed;
        const char* const nameBegin = p++;
        p = skipName(p, end);
        RawAttribute& a = attributes_.emplace_back();
        a.nameBegin = static_cast<std::size_t>(nameBegin - data_);
        a.nameLength = static_cast<std::size_t>(p - nameBegin);
        while (p < end && (classOf(*p) & kSpace))
            ++p;
        if (p >= end || *p != '=') continue;
        ++p;
        while (p < end && (classOf(*p) & kSpace))
            ++p;
        if (p >= end) continue;
        const char quote = *p;
        if (quote != '"' && quote != '\'') continue; // an unquoted value reads as empty
        const char* const value = ++p;
        p = findEither(p, end, quote, '&');
        const bool hasReference = p < end && *p == '&';
        if (hasReference) p = static_cast<const char*>(std::memchr(p, quote, end - p));
        if (!p || p >= end) return AttributeStatus::Unterminated;
        const std::size_t length = static_cast<std::size_t>(p - value);
        ++p; // the closing quote
        if (hasReference) {
            a.decoded = true;
            a.valueBegin = decoded_.size();
            decodeEntities(std::string_view(value, length), decoded_);
            a.valueLength = decoded_.size() - a.valueBegin;
        } else {
            a.valueBegin = static_cast<std::size_t>(value - data_);
            a.valueLength = length;
        }
    }
}

std::string_view XmlReader::text() const {
    if (!textNeedsDecoding_) return rawText_;
    if (!textReady_) {
        textBuffer_.clear();
        decodeEntities(rawText_, textBuffer_);
        textReady_ = true;
    }
    return textBuffer_;
}

const XmlReader::RawAttribute* XmlReader::find(std::string_view name) const {
    for (const RawAttribute& a : attributes_)
        if (a.nameLength == name.size() &&
            std::memcmp(data_ + a.nameBegin, name.data(), name.size()) == 0)
            return &a;
    return nullptr;
}

std::string_view XmlReader::attribute(std::string_view name, std::string_view fallback) const {
    const RawAttribute* a = find(name);
    return a ? valueOf(*a) : fallback;
}

bool XmlReader::hasAttribute(std::string_view name) const {
    return find(name) != nullptr;
}

std::int32_t XmlReader::intAttribute(std::string_view name, std::int32_t fallback) const {
    const RawAttribute* a = find(name);
    return a ? parseInt(valueOf(*a), fallback) : fallback;
}

double XmlReader::numberAttribute(std::string_view name, double fallback) const {
    const RawAttribute* a = find(name);
    return a ? parseNumber(valueOf(*a), fallback) : fallback;
}

std::int32_t XmlReader::parseInt(std::string_view value, std::int32_t fallback) {
    std::size_t i = 0;
    while (i < value.size() && isNumberSpace(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    const std::size_t firstDigit = i;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(value[i] - '0');
        if (magnitude > 0x80000000ull) {
            overflow = true;
            magnitude = 0x80000001ull; // keeps reading digits without wrapping
        }
    }
    if (i == firstDigit || overflow) return fallback;
    if (negative) return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    if (magnitude > 0x7FFFFFFFull) return fallback;
    return static_cast<std::int32_t>(magnitude);
}

double XmlReader::parseNumber(std::string_view value, double fallback) {
    std::size_t i = 0;
    while (i < value.size() && isNumberSpace(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    if (i >= value.size() || value[i] == '+' || value[i] == '-') return fallback;
    double v = 0.0;
    const auto r = std::from_chars(value.data() + i, value.data() + value.size(), v,
                                   std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return fallback;
    return negative ? -v : v;
}

void XmlReader::decodeEntities(std::string_view raw, std::string& out) {
    std::size_t i = 0;
    const std::size_t n = raw.size();
    while (i < n) {
        const void* hit = std::memchr(raw.data() + i, '&', n - i);
        if (!hit) {
            out.append(raw.substr(i));
            return;
        }
        const std::size_t amp = static_cast<const char*>(hit) - raw.data();
        out.append(raw.substr(i, amp - i));
        // The ";" must follow within 12 bytes of the "&".
        const std::size_t semi = raw.substr(0, std::min(n, amp + 13)).find(';', amp + 1);
        if (semi == std::string_view::npos) {
            out += '&';
            i = amp + 1;
            continue;
        }
        const std::string_view entity = raw.substr(amp + 1, semi - amp - 1);
        if (entity == "amp") {
            out += '&';
        } else if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (const std::uint32_t cp = characterReference(entity)) {
            utf8::append(out, cp);
        } else {
            out.append(raw.substr(amp, semi + 1 - amp));
        }
        i = semi + 1;
    }
}

std::string decodeFileUrl(std::string_view url) {
    if (url.substr(0, 16) == "file://localhost") {
        url.remove_prefix(16);
    } else if (url.substr(0, 7) == "file://") {
        url.remove_prefix(7);
        if (!url.empty() && url.front() != '/') {
            const std::size_t slash = url.find('/');
            if (slash == std::string_view::npos) return {};
            url.remove_prefix(slash); // drop the host name
        }
    }
    std::string path;
    path.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && hexValue(url[i + 1]) >= 0 &&
            hexValue(url[i + 2]) >= 0) {
            const char byte = static_cast<char>(hexValue(url[i + 1]) * 16 + hexValue(url[i + 2]));
            if (byte == '\0') return {}; // a NUL would cut the path short at the OS boundary
            path += byte;
            i += 2;
        } else {
            path += url[i];
        }
    }
    if (path.size() >= 3 && path[0] == '/' && path[2] == ':' &&
        ((path[1] >= 'A' && path[1] <= 'Z') || (path[1] >= 'a' && path[1] <= 'z')))
        path.erase(0, 1);
    return path;
}

} // namespace vyn
