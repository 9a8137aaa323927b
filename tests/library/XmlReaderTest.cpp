#include "library/XmlReader.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

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

struct Malformed {
    const char* input;
    const char* message;
    std::size_t offset;
};

TEST(XmlReader, MalformedInputsFailWithTheirMessageAndOffset) {
    const Malformed cases[] = {
        {"<?xml version=\"1.0\"", "unterminated XML declaration", 0},
        {"<a/><!-- never closed", "unterminated comment", 4},
        {"<!-->", "unterminated comment", 0},
        {"<![CDATA[abc]]", "unterminated CDATA", 0},
        {"<!DOCTYPE x", "unterminated declaration", 0},
        {"</>", "malformed closing tag", 0},
        {"<a></ a>", "malformed closing tag", 3},
        {"<a></a", "unterminated closing tag", 3},
        {"</a b>", "unterminated closing tag", 0},
        {"<1a/>", "malformed element name", 0},
        {"<>", "malformed element name", 0},
        {"x<", "malformed element name", 1},
        {"<\xC3\xA9/>", "malformed element name", 0},
        {"<a x=1>", "malformed attributes in <a>", 0},
        {"<a /x>", "malformed attributes in <a>", 0},
        {"<a", "malformed attributes in <a>", 0},
        {"<a b", "malformed attributes in <a>", 0},
        {"<a b=", "malformed attributes in <a>", 0},
        {"<a b=\"1\" /", "malformed attributes in <a>", 0},
        {"<a x=\"1>text</a>", "malformed attributes in <a>", 0},
        {"<a x='1\">", "malformed attributes in <a>", 0},
        {"text <TRACK Name=\"&amp;", "malformed attributes in <TRACK>", 5},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.input);
        const std::string_view xml(c.input);
        XmlReader r(xml.data(), xml.size());
        XmlEvent e;
        do {
            e = r.next();
        } while (e != XmlEvent::Error && e != XmlEvent::End);
        ASSERT_EQ(e, XmlEvent::Error);
        EXPECT_EQ(r.error(), c.message);
        EXPECT_EQ(r.errorOffset(), c.offset);
        // An error ends the document: no event follows it.
        EXPECT_EQ(r.next(), XmlEvent::Error);
        EXPECT_EQ(r.error(), c.message);
        EXPECT_EQ(r.attributeCount(), 0u);
    }
}

TEST(XmlReader, UnterminatedConstructsMoveToTheEnd) {
    const std::string xml = "<a/><!-- open";
    XmlReader r(xml.data(), xml.size());
    EXPECT_EQ(r.next(), XmlEvent::EmptyTag);
    EXPECT_EQ(r.next(), XmlEvent::Error);
    EXPECT_EQ(r.position(), xml.size());
}

TEST(XmlReader, NeverReadsPastTheGivenLength) {
    // The closing quote and ">" lie just beyond the length the reader was given.
    const std::string buffer = "<a x=\"1\"/>";
    XmlReader value(buffer.data(), 7);
    EXPECT_EQ(value.next(), XmlEvent::Error);
    EXPECT_EQ(value.error(), "malformed attributes in <a>");
    XmlReader close(buffer.data(), 9);
    EXPECT_EQ(close.next(), XmlEvent::Error);
    XmlReader text(buffer.data() + 8, 1); // "/" alone is text
    EXPECT_EQ(text.next(), XmlEvent::Text);
    EXPECT_EQ(text.text(), "/");
    EXPECT_EQ(text.next(), XmlEvent::End);
}

TEST(XmlReader, NullAndEmptyInputEndAtOnce) {
    XmlReader r(nullptr, 100);
    EXPECT_EQ(r.next(), XmlEvent::End);
    EXPECT_EQ(r.next(), XmlEvent::End);
    EXPECT_EQ(trace(""), "END");
}

TEST(XmlReader, AttributeForms) {
    EXPECT_EQ(trace("<a x=\"1\" y='2' z/>"), "X(a x=1 y=2 z=) END");
    EXPECT_EQ(trace("<a x=abc>"), "S(a x= abc=) END");
    EXPECT_EQ(trace("<a x = \"1\"\ty\t=\t'2' >"), "S(a x=1 y=2) END");
    EXPECT_EQ(trace("<a x=\"it's\" y='say \"hi\"'/>"), "X(a x=it's y=say \"hi\") END");
    EXPECT_EQ(trace("<a x=\"1\"y=\"2\"/>"), "X(a x=1 y=2) END");
    EXPECT_EQ(trace("<a x=\"a>b\"/>"), "X(a x=a>b) END");
    EXPECT_EQ(trace("<ns:a-b.c_1 _x:y.z='1'/>"), "X(ns:a-b.c_1 _x:y.z=1) END");
}

TEST(XmlReader, CrLfAndWhiteSpaceInsideTags) {
    EXPECT_EQ(trace("<a\r\n  x=\"1\"\r\n  y=\"2\"\r\n/>\r\n</a  >"),
              "X(a x=1 y=2) T[\r\n] E(a) END");
}

TEST(XmlReader, AccessorsFindTheFirstOfDuplicates) {
    const std::string xml = "<t a=\"1\" b=\"x\" a=\"2\"/>";
    XmlReader r(xml.data(), xml.size());
    ASSERT_EQ(r.next(), XmlEvent::EmptyTag);
    EXPECT_EQ(r.attributeCount(), 3u);
    EXPECT_EQ(r.attribute("a"), "1");
    EXPECT_EQ(r.attribute("A", "none"), "none"); // case-sensitive
    EXPECT_TRUE(r.hasAttribute("b"));
    EXPECT_FALSE(r.hasAttribute("c"));
    EXPECT_EQ(r.intAttribute("a", 0), 1);
    EXPECT_EQ(r.intAttribute("missing", 42), 42);
    EXPECT_EQ(r.intAttribute("b", 42), 42);
}

TEST(XmlReader, DecodedValuesStayValidTogether) {
    // Values that needed decoding share one buffer; each must still read correctly once all
    // of them are decoded.
    std::string xml = "<t";
    for (int i = 0; i < 40; ++i)
        xml += " v" + std::to_string(i) + "=\"&lt;" +
               std::string(static_cast<std::size_t>(i), 'x') + "&amp;" + std::to_string(i) + "\"";
    xml += "/>";
    XmlReader r(xml.data(), xml.size());
    ASSERT_EQ(r.next(), XmlEvent::EmptyTag);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(r.attribute("v" + std::to_string(i)),
                  "<" + std::string(static_cast<std::size_t>(i), 'x') + "&" + std::to_string(i));
}

TEST(XmlReader, SkipsDeclarationsCommentsAndDoctype) {
    EXPECT_EQ(trace("<?xml version=\"1.0\"?><!DOCTYPE x><!-- a -- b --><r/>"), "X(r) END");
    EXPECT_EQ(trace("<a><!----></a>"), "S(a) E(a) END");
}

TEST(XmlReader, CdataIsDeliveredUnchanged) {
    EXPECT_EQ(trace("<a><![CDATA[x &amp; <b> ]] ]]></a>"), "S(a) T[x &amp; <b> ]] ] E(a) END");
    EXPECT_EQ(trace("<![CDATA[]]>"), "T[] END");
}

TEST(XmlReader, TextAndByteOrderMarkArriveAsText) {
    EXPECT_EQ(trace("\xEF\xBB\xBF<a/>"), "T[\xEF\xBB\xBF] X(a) END");
    EXPECT_EQ(trace("<a> x &amp; y </a>tail"), "S(a) T[ x & y ] E(a) T[tail] END");
}

TEST(XmlReader, NamedEntitiesAndCharacterReferences) {
    EXPECT_EQ(decoded("&amp;lt;"), "&lt;");
    EXPECT_EQ(decoded("&lt;&gt;&quot;&apos;&amp;"), "<>\"'&");
    EXPECT_EQ(decoded("&#65;&#x42;&#X43;&#x6a;"), "ABCj");
    EXPECT_EQ(decoded("&#xE9;&#x20AC;&#x1F600;"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(decoded("&#x10FFFF;"), "\xF4\x8F\xBF\xBF");
}

TEST(XmlReader, InvalidReferencesStayAsWritten) {
    for (const char* kept : {"&#0;", "&#x110000;", "&bogus;", "&#;", "&#x;", "&#12a;", "&#xG1;",
                             "&AMP;", "&#xD800;", "&#xDFFF;", "&#55296;"}) {
        SCOPED_TRACE(kept);
        EXPECT_EQ(decoded(kept), kept);
    }
    // Long references must not wrap into a valid character: 0x100000041 and 2^32 + 65.
    EXPECT_EQ(decoded("&#x100000041;"), "&#x100000041;");
    EXPECT_EQ(decoded("&#4294967361;"), "&#4294967361;");
}

TEST(XmlReader, AmpersandsWithoutAReferenceAreKept) {
    EXPECT_EQ(decoded("a & b"), "a & b");
    EXPECT_EQ(decoded("&amp"), "&amp");
    // Up to the first ";" it is one unknown reference, copied as written.
    EXPECT_EQ(decoded("& &amp;"), "& &amp;");
    // The ";" must come within 12 bytes of the "&": an 11-byte name decodes, a 12-byte one not.
    EXPECT_EQ(decoded("&#0000000065;"), "A");
    EXPECT_EQ(decoded("&#00000000065;"), "&#00000000065;");
    EXPECT_EQ(decoded("&abcdefghijklm; &lt;"), "&abcdefghijklm; <");
}

TEST(XmlReader, IntegerConversion) {
    EXPECT_EQ(XmlReader::parseInt("12abc", -1), 12);
    EXPECT_EQ(XmlReader::parseInt("abc", -1), -1);
    EXPECT_EQ(XmlReader::parseInt("99999999999", -1), -1);
    EXPECT_EQ(XmlReader::parseInt("", -1), -1);
    EXPECT_EQ(XmlReader::parseInt(" \t-7", 0), -7);
    EXPECT_EQ(XmlReader::parseInt("+5", 0), 5);
    EXPECT_EQ(XmlReader::parseInt("- 5", 9), 9);
    EXPECT_EQ(XmlReader::parseInt("-", 9), 9);
    EXPECT_EQ(XmlReader::parseInt("2147483647", 0), INT_MAX);
    EXPECT_EQ(XmlReader::parseInt("-2147483648", 0), INT_MIN);
    EXPECT_EQ(XmlReader::parseInt("2147483648", 3), 3);
    EXPECT_EQ(XmlReader::parseInt("-2147483649", 3), 3);
    EXPECT_EQ(XmlReader::parseInt("000000000000000000042", 0), 42);
}

TEST(XmlReader, NumberConversion) {
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber("128.00", 0), 128.0);
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber(" 1.5e2", 0), 150.0);
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber("-0.025", 0), -0.025);
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber("+3.5xyz", 0), 3.5);
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber(".5", 0), 0.5);
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber("0x10", 7), 0.0); // decimal only: stops at "x"
    EXPECT_DOUBLE_EQ(XmlReader::parseNumber("1,5", 0), 1.0);  // "." is the separator
    for (const char* bad : {"", "abc", "+-1", "-+1", ",5", "nan", "NaN", "inf", "-inf", "infinity",
                            "1e999", "-1e999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(XmlReader::parseNumber(bad, -2.0), -2.0);
    }
}

TEST(FileUrl, DecodesTheForms) {
    EXPECT_EQ(decodeFileUrl("file://localhost/C:/My%20Music/a.mp3"), "C:/My Music/a.mp3");
    EXPECT_EQ(decodeFileUrl("file:///Users/x/a.mp3"), "/Users/x/a.mp3");
    EXPECT_EQ(decodeFileUrl("file://server/share/a.mp3"), "/share/a.mp3");
    EXPECT_EQ(decodeFileUrl("file://server"), "");
    EXPECT_EQ(decodeFileUrl("file:///c:/x.wav"), "c:/x.wav");
    EXPECT_EQ(decodeFileUrl("file://localhost/home/dj/Caf%C3%a9%2B+1.mp3"),
              "/home/dj/Caf\xC3\xA9++1.mp3");
    EXPECT_EQ(decodeFileUrl("/plain/path%20x"), "/plain/path x");
    EXPECT_EQ(decodeFileUrl("file://localhost/a%4"), "/a%4");
    EXPECT_EQ(decodeFileUrl("file://localhost/a%zz%"), "/a%zz%");
    EXPECT_EQ(decodeFileUrl("file://localhost/1:/x"), "/1:/x"); // not a drive letter
    EXPECT_EQ(decodeFileUrl(""), "");
}

TEST(FileUrl, RejectsAnEscapedNul) {
    EXPECT_EQ(decodeFileUrl("file://localhost/music/a%00.mp3"), "");
    EXPECT_EQ(decodeFileUrl("file://localhost/music/a%000.mp3"), "");
}

} // namespace
} // namespace vyn
