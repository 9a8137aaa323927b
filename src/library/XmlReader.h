#pragma once
// A forward-only pull reader for XML held in memory, made for collection exports: it hands out one
// event at a time with the element name and its attributes. It does not match end tags to start
// tags and knows no namespaces, DTDs or external entities.
//
// Names, text and attribute values are views that stay valid until the next call to next() (or
// open()); they point into the input where no decoding was needed, else into the reader's own
// buffers. The reader never writes to the input and never reads past its end.
//
// Threading: one reader per thread; it holds no shared state.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn {

enum class XmlEvent : std::uint8_t {
    StartTag = 1, // <name ...>
    EndTag = 2,   // </name>
    EmptyTag = 3, // <name .../>
    Text = 4,     // text or a CDATA section
    End = 5,
    Error = 6,
};

struct XmlAttribute {
    std::string_view name;
    std::string_view value;
};

class XmlReader {
public:
    XmlReader() = default;
    XmlReader(const char* data, std::size_t length) { open(data, length); }

    // A null pointer counts as empty input.
    void open(const char* data, std::size_t length);

    // Reads the next event. After End or Error every further call returns the same event.
    XmlEvent next();

    XmlEvent event() const { return event_; }
    std::string_view name() const { return name_; }
    // The entity-decoded text of a text event (a CDATA section unchanged).
    std::string_view text() const;
    const std::string& error() const { return error_; }
    // Where the construct that failed begins (the "<" of a tag), for error events.
    std::size_t errorOffset() const { return errorOffset_; }
    std::size_t position() const { return pos_; }

    std::size_t attributeCount() const { return attributes_.size(); }
    XmlAttribute attribute(std::size_t index) const {
        const RawAttribute& a = attributes_[index];
        return {std::string_view(data_ + a.nameBegin, a.nameLength), valueOf(a)};
    }

    // The value of the first attribute with exactly this name, else `fallback`.
    std::string_view attribute(std::string_view name, std::string_view fallback = {}) const;
    bool hasAttribute(std::string_view name) const;
    // Base-10 with optional leading white space and sign, read up to the first non-digit. The
    // fallback when missing, empty, without digits, or outside the 32-bit range.
    std::int32_t intAttribute(std::string_view name, std::int32_t fallback) const;
    // Decimal floating point ("." separator, exponent allowed) read the same way; the fallback
    // also for values that are not finite.
    double numberAttribute(std::string_view name, double fallback) const;

    // The conversions behind the accessors above, for values read by other means.
    static std::int32_t parseInt(std::string_view value, std::int32_t fallback);
    static double parseNumber(std::string_view value, double fallback);
    // Appends `raw` with the five named entities and character references decoded.
    static void decodeEntities(std::string_view raw, std::string& out);

private:
    struct RawAttribute {
        std::size_t nameBegin = 0; // offset into the input
        std::size_t nameLength = 0;
        std::size_t valueBegin = 0; // offset into the input, or into decoded_ when decoded
        std::size_t valueLength = 0;
        bool decoded = false;
    };

    enum class AttributeStatus { Ok, Malformed, Unterminated };

    XmlEvent fail(std::string message, std::size_t at, bool unterminated);
    XmlEvent readTag(std::size_t start);
    XmlEvent readClosingTag(std::size_t start);
    AttributeStatus readAttributes(bool& emptyTag);
    std::size_t readName(std::size_t at) const;
    void skipWhiteSpace();
    const RawAttribute* find(std::string_view name) const;
    std::string_view valueOf(const RawAttribute& a) const {
        return std::string_view((a.decoded ? decoded_.data() : data_) + a.valueBegin,
                                a.valueLength);
    }

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    XmlEvent event_ = XmlEvent::End;
    std::string_view name_;
    bool failed_ = false;
    std::string_view rawText_;
    bool textNeedsDecoding_ = false; // CDATA is delivered raw
    mutable std::string textBuffer_;
    mutable bool textReady_ = false;
    std::string error_;
    std::size_t errorOffset_ = 0;
    std::vector<RawAttribute> attributes_;
    std::string decoded_; // attribute values that held references
};

// Turns a file URL as collection exports write them into a UTF-8 file-system path: removes
// "file://localhost" or "file://" and a host name, decodes percent escapes and strips the "/"
// before a drive letter. Returns empty for a URL whose escapes decode to a NUL byte.
std::string decodeFileUrl(std::string_view url);

} // namespace vyn
