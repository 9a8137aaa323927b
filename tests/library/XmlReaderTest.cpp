#include "library/XmlReader.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

// The events of a whole document in a compact form: S(name a=1 b=2) E(name) X(name ...) T[text]
// and a final END or ERR(message).
std::string trace(std::string_view xml) {
    XmlReader r(xml.data(), xml.size());
    std::string out;
    for (;;) {
        const XmlEvent e = r.next();
        if (!out.empty()) out += ' ';
        if (e == XmlEvent::End) return out + "END";
        if (e == XmlEvent::Error) return out + "ERR(" + r.error() + ")";
        if (e == XmlEvent::Text) {
            out += "T[" + std::string(r.text()) + "]";
            continue;
        }
        out += e == XmlEvent::StartTag ? "S(" : e == XmlEvent::EndTag ? "E(" : "X(";
        out += r.name();
        for (std::size_t i = 0; i < r.attributeCount(); ++i) {
            const XmlAttribute a = r.attribute(i);
            out += " " + std::string(a.name) + "=" + std::string(a.value);
        }
        out += ")";
    }
}

std::string decoded(std::string_view raw) {
    std::string out;
    XmlReader::decodeEntities(raw, out);
    return out;
}

TEST(XmlReader, MalformedInputsFailWithTheirMessageAndOffset) {
    // Per message and error offset, the inputs that fail with it.
    const std::tuple<const char*, std::size_t, std::vector<const char*>> cases[] = {
        {"unterminated XML declaration", 0, {"<?xml version=\"1.0\""}},
        {"unterminated comment", 4, {"<a/><!-- never closed"}},
        {"unterminated comment", 0, {"<!-->"}},
        {"unterminated CDATA", 0, {"<![CDATA[abc]]"}},
        {"unterminated declaration", 0, {"<!DOCTYPE x"}},
        {"malformed closing tag", 0, {"</>"}},
        {"malformed closing tag", 3, {"<a></ a>"}},
        {"unterminated closing tag", 3, {"<a></a"}},
        {"unterminated closing tag", 0, {"</a b>"}},
        {"malformed element name", 0, {"<1a/>", "<>", "<\xC3\xA9/>"}},
        {"malformed element name", 1, {"x<"}},
        {"malformed attributes in <a>",
         0,
         {"<a x=1>", "<a /x>", "<a", "<a b", "<a b=", "<a b=\"1\" /", "<a x=\"1>text</a>",
          "<a x='1\">"}},
        {"malformed attributes in <TRACK>", 5, {"text <TRACK Name=\"&amp;"}},
    };
    for (const auto& [message, offset, inputs] : cases) {
        for (const std::string_view xml : inputs) {
            SCOPED_TRACE(xml);
            XmlReader r(xml.data(), xml.size());
            XmlEvent e;
            do {
                e = r.next();
            } while (e != XmlEvent::Error && e != XmlEvent::End);
            ASSERT_EQ(e, XmlEvent::Error);
            EXPECT_EQ(r.error(), message);
            EXPECT_EQ(r.errorOffset(), offset);
            // An error ends the document: no event follows it.
            EXPECT_EQ(r.next(), XmlEvent::Error);
            EXPECT_EQ(r.error(), message);
            EXPECT_EQ(r.attributeCount(), 0u);
        }
    }
}

TEST(XmlReader, StaysInsideTheGivenBytes) {
    XmlReader none(nullptr, 100);
    EXPECT_EQ(none.next(), XmlEvent::End);
    EXPECT_EQ(none.next(), XmlEvent::End);
    // An unterminated construct moves the position to the end.
    const std::string open = "<a/><!-- open";
    XmlReader r(open.data(), open.size());
    EXPECT_EQ(r.next(), XmlEvent::EmptyTag);
    EXPECT_EQ(r.next(), XmlEvent::Error);
    EXPECT_EQ(r.position(), open.size());
    // The closing quote and ">" lie just beyond the length the reader was given.
    const std::string buffer = "<a x=\"1\"/>";
    XmlReader value(buffer.data(), 7);
    EXPECT_EQ(value.next(), XmlEvent::Error);
    EXPECT_EQ(value.error(), "malformed attributes in <a>");
    XmlReader close(buffer.data(), 9);
    EXPECT_EQ(close.next(), XmlEvent::Error);
    EXPECT_EQ(trace(std::string_view(buffer.data() + 8, 1)), "T[/] END"); // "/" alone is text
}

TEST(XmlReader, EventsOfWholeDocuments) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "END"},
        {"<a x=\"1\" y='2' z/>", "X(a x=1 y=2 z=) END"},
        {"<a x=abc>", "S(a x= abc=) END"},
        {"<a x = \"1\"\ty\t=\t'2' >", "S(a x=1 y=2) END"},
        {"<a x=\"it's\" y='say \"hi\"'/>", "X(a x=it's y=say \"hi\") END"},
        {"<a x=\"1\"y=\"2\"/>", "X(a x=1 y=2) END"},
        {"<a x=\"a>b\"/>", "X(a x=a>b) END"},
        {"<ns:a-b.c_1 _x:y.z='1'/>", "X(ns:a-b.c_1 _x:y.z=1) END"},
        {"<a\r\n  x=\"1\"\r\n  y=\"2\"\r\n/>\r\n</a  >", "X(a x=1 y=2) T[\r\n] E(a) END"},
        // Declarations, comments and the document type are skipped.
        {"<?xml version=\"1.0\"?><!DOCTYPE x><!-- a -- b --><r/>", "X(r) END"},
        {"<a><!----></a>", "S(a) E(a) END"},
        // CDATA arrives unchanged; text and a byte order mark arrive as text.
        {"<a><![CDATA[x &amp; <b> ]] ]]></a>", "S(a) T[x &amp; <b> ]] ] E(a) END"},
        {"<![CDATA[]]>", "T[] END"},
        {"\xEF\xBB\xBF<a/>", "T[\xEF\xBB\xBF] X(a) END"},
        {"<a> x &amp; y </a>tail", "S(a) T[ x & y ] E(a) T[tail] END"},
    };
    for (const auto& [xml, events] : cases)
        EXPECT_EQ(trace(xml), events) << xml;
}

TEST(XmlReader, AttributeAccessors) {
    const std::string xml = "<t a=\"1\" b=\"x\" a=\"2\"/>";
    XmlReader r(xml.data(), xml.size());
    ASSERT_EQ(r.next(), XmlEvent::EmptyTag);
    EXPECT_EQ(r.attributeCount(), 3u);
    EXPECT_EQ(r.attribute("a"), "1");            // the first of duplicates
    EXPECT_EQ(r.attribute("A", "none"), "none"); // case-sensitive
    EXPECT_TRUE(r.hasAttribute("b"));
    EXPECT_FALSE(r.hasAttribute("c"));
    EXPECT_EQ(r.intAttribute("a", 0), 1);
    EXPECT_EQ(r.intAttribute("missing", 42), 42);
    EXPECT_EQ(r.intAttribute("b", 42), 42);

    // Values that needed decoding share one buffer; each must still read correctly once all
    // of them are decoded.
    std::string many = "<t";
    for (int i = 0; i < 40; ++i)
        many += " v" + std::to_string(i) + "=\"&lt;" +
                std::string(static_cast<std::size_t>(i), 'x') + "&amp;" + std::to_string(i) + "\"";
    many += "/>";
    XmlReader shared(many.data(), many.size());
    ASSERT_EQ(shared.next(), XmlEvent::EmptyTag);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(shared.attribute("v" + std::to_string(i)),
                  "<" + std::string(static_cast<std::size_t>(i), 'x') + "&" + std::to_string(i));
}

TEST(XmlReader, EntitiesAndCharacterReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"&amp;lt;", "&lt;"},
        {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
        {"&#65;&#x42;&#X43;&#x6a;", "ABCj"},
        {"&#xE9;&#x20AC;&#x1F600;", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"a & b", "a & b"},
        {"&amp", "&amp"},
        {"& &amp;", "& &amp;"}, // up to the first ";" it is one unknown reference
        // The ";" must come within 12 bytes of the "&": an 11-byte name decodes, a 12-byte one not.
        {"&#0000000065;", "A"},
        {"&abcdefghijklm; &lt;", "&abcdefghijklm; <"},
    };
    for (const auto& [raw, text] : cases)
        EXPECT_EQ(decoded(raw), text) << raw;
    // Invalid references stay as written; long ones must not wrap into a valid character
    // (0x100000041 and 2^32 + 65).
    for (const char* kept :
         {"&#0;", "&#x110000;", "&bogus;", "&#;", "&#x;", "&#12a;", "&#xG1;", "&AMP;", "&#xD800;",
          "&#xDFFF;", "&#55296;", "&#x100000041;", "&#4294967361;", "&#00000000065;"})
        EXPECT_EQ(decoded(kept), kept);
}

TEST(XmlReader, IntegerConversion) {
    const std::pair<const char*, int> cases[] = {
        {"12abc", 12},           {" \t-7", -7},           {"+5", 5}, {"000000000000000000042", 42},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(XmlReader::parseInt(text, -1), value) << text;
    for (const char* bad : {"abc", "99999999999", "", "- 5", "-", "2147483648", "-2147483649"})
        EXPECT_EQ(XmlReader::parseInt(bad, 3), 3) << bad;
}

TEST(XmlReader, NumberConversion) {
    const std::pair<const char*, double> cases[] = {
        {"128.00", 128.0}, {" 1.5e2", 150.0}, {"-0.025", -0.025},
        {"+3.5xyz", 3.5},  {".5", 0.5},       {"0x10", 0.0}, // decimal only: stops at "x"
        {"1,5", 1.0},                                        // "." is the separator
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(XmlReader::parseNumber(text, -2.0), value) << text;
    for (const char* bad : {"", "abc", "+-1", "-+1", ",5", "nan", "NaN", "inf", "-inf", "infinity",
                            "1e999", "-1e999"})
        EXPECT_EQ(XmlReader::parseNumber(bad, -2.0), -2.0) << bad;
}

TEST(FileUrl, DecodesTheFormsAndRejectsAnEscapedNul) {
    const std::pair<const char*, const char*> cases[] = {
        {"file://localhost/C:/My%20Music/a.mp3", "C:/My Music/a.mp3"},
        {"file:///Users/x/a.mp3", "/Users/x/a.mp3"},
        {"file://server/share/a.mp3", "/share/a.mp3"},
        {"file://server", ""},
        {"file:///c:/x.wav", "c:/x.wav"},
        {"file://localhost/home/dj/Caf%C3%a9%2B+1.mp3", "/home/dj/Caf\xC3\xA9++1.mp3"},
        {"/plain/path%20x", "/plain/path x"},
        {"file://localhost/a%4", "/a%4"},
        {"file://localhost/a%zz%", "/a%zz%"},
        {"file://localhost/1:/x", "/1:/x"}, // not a drive letter
        {"", ""},
        {"file://localhost/music/a%00.mp3", ""},
        {"file://localhost/music/a%000.mp3", ""},
    };
    for (const auto& [url, path] : cases)
        EXPECT_EQ(decodeFileUrl(url), path) << url;
}

} // namespace
} // namespace vyn
