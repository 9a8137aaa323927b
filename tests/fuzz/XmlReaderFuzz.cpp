// The XML reader on any bytes. It does not match end tags to start tags, so what must hold is
// its own contract: every event moves forward inside the input, tag and attribute names follow
// the name rules, errors carry one of the fixed messages, and End and Error are final.

#include "FuzzTarget.h"
#include "library/XmlReader.h"

#include <string_view>

namespace {

bool isName(std::string_view n) {
    const auto start = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
    };
    const auto rest = [&](char c) {
        return start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    };
    if (n.empty() || !start(n[0])) return false;
    for (char c : n.substr(1))
        if (!rest(c)) return false;
    return true;
}

bool isFixedError(const std::string& e) {
    for (const char* m : {"unterminated XML declaration", "unterminated comment",
                          "unterminated CDATA", "unterminated declaration", "malformed closing tag",
                          "unterminated closing tag", "malformed element name"})
        if (e == m) return true;
    return e.rfind("malformed attributes in <", 0) == 0 && e.back() == '>';
}

} // namespace

VYN_FUZZ_TARGET(xml) {
    vyn::XmlReader reader(reinterpret_cast<const char*>(data), size);
    std::size_t last = 0;
    for (std::size_t events = 0;; ++events) {
        vyn::fuzz::require(events <= size + 1, "every event consumes input");
        const vyn::XmlEvent e = reader.next();
        vyn::fuzz::require(reader.position() >= last && reader.position() <= size,
                           "the position moves forward inside the input");
        last = reader.position();
        if (e == vyn::XmlEvent::End || e == vyn::XmlEvent::Error) {
            if (e == vyn::XmlEvent::Error)
                vyn::fuzz::require(isFixedError(reader.error()) && reader.errorOffset() <= size,
                                   "an error has a fixed message and an offset in the input");
            vyn::fuzz::require(reader.next() == e, "End and Error are final");
            return;
        }
        if (e == vyn::XmlEvent::Text) {
            (void)reader.text().size();
            continue;
        }
        vyn::fuzz::require(isName(reader.name()), "tag names follow the name rules");
        for (std::size_t i = 0; i < reader.attributeCount(); ++i) {
            const vyn::XmlAttribute a = reader.attribute(i);
            vyn::fuzz::require(isName(a.name), "attribute names follow the name rules");
            // The lookup by name finds the first attribute of that name.
            std::size_t first = 0;
            while (reader.attribute(first).name != a.name)
                ++first;
            vyn::fuzz::require(reader.attribute(a.name, "\x01") == reader.attribute(first).value,
                               "lookup by name gives the first attribute of that name");
        }
    }
}
