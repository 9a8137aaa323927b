#include "support/Json.h"
#include "support/JsonWriter.h"

#include <gtest/gtest.h>

#include <limits>

namespace vyn {
namespace {

TEST(JsonReader, ParsesNestedDocumentsKeepingKeyOrderAndLargeIntegers) {
    auto r =
        parseJson(R"( {"b":1,"a":[true,false,null,"x"],"c":{"d":-2.5e1},"n":9007199254740993} )");
    ASSERT_TRUE(r.ok) << r.error;
    const auto& m = r.value.members();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].first, "b");
    EXPECT_EQ(m[1].first, "a");
    EXPECT_EQ(r.value.find("a")->items().size(), 4u);
    EXPECT_TRUE(r.value.find("a")->items()[0].asBool());
    EXPECT_TRUE(r.value.find("a")->items()[2].isNull());
    EXPECT_DOUBLE_EQ(r.value.find("c")->find("d")->asNumber(), -25.0);
    EXPECT_EQ(r.value.find("n")->asInteger(), 9007199254740993LL);
    EXPECT_EQ(r.value.find("d"), nullptr);
}

TEST(JsonReader, DecodesEscapesAndSurrogatePairs) {
    const std::pair<const char*, const char*> cases[] = {
        {R"("q\" b\\ s\/ \b\f\n\r\t \u00e9 \u20AC \ud83c\udfb5")",
         "q\" b\\ s/ \b\f\n\r\t \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        // A lone surrogate becomes the replacement character.
        {R"("a\ud800b")", "a\xEF\xBF\xBD"
                          "b"},
    };
    for (const auto& [json, text] : cases) {
        auto r = parseJson(json);
        ASSERT_TRUE(r.ok) << json << ": " << r.error;
        EXPECT_EQ(r.value.asString(), text);
    }
}

TEST(JsonReader, RejectsMalformedAndTooDeepInput) {
    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"\\x\"", "\"abc", "tru", "01x", "1e999",
                            "[1] 2", "-", "1.", "{\"a\":1,}"}) {
        EXPECT_FALSE(parseJson(bad).ok) << bad;
    }
    auto r = parseJson(std::string(10000, '['));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("nested too deeply"), std::string::npos);
}

TEST(JsonWriter, WritesCompactTokensInGivenOrderReplacingInvalidUtf8) {
    JsonWriter w;
    w.beginObject().key("z").integer(-3).key("a").beginArray().boolean(true).null().endArray();
    w.key("s").string("tab\tquote\"\x01").key("u").string("a\377b").key("x").number(0.1);
    w.key("nan").number(std::numeric_limits<double>::quiet_NaN()).endObject();
    EXPECT_EQ(w.text(), R"({"z":-3,"a":[true,null],"s":"tab\tquote\"\u0001","u":"a)"
                        "\xEF\xBF\xBD"
                        R"(b","x":0.1,"nan":null})");
}

TEST(Json, RoundTripsThroughWriterAndReader) {
    JsonWriter w;
    w.beginObject().key("x").number(0.30000000000000004).key("t").string("\xE2\x82\xAC\n");
    w.endObject();
    auto r = parseJson(w.text());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.value.find("x")->asNumber(), 0.30000000000000004);
    EXPECT_EQ(r.value.find("t")->asString(), "\xE2\x82\xAC\n");
}

} // namespace
} // namespace vyn
