#include "serverlink/json.h"

#include <gtest/gtest.h>

#include <limits>

namespace lumvo {
namespace {

TEST(JsonGetString, FindsTheFirstKeyFollowedByAColon) {
    EXPECT_EQ(jsonGetString(R"({"outer":{"name":"inner"},"x":1})", "name"), "inner");
    EXPECT_EQ(jsonGetString(R"({"type":"name","name" :  "Bob"})", "name"), "Bob");
    EXPECT_EQ(jsonGetString("{\"a\"\r\n\t:\n\"b\"}", "a"), "b");
    EXPECT_EQ(jsonGetString(R"({"ab":1,"b":2})", "b"), "2");
    EXPECT_EQ(jsonGetString(R"({"a":1})", "missing"), "");
    EXPECT_EQ(jsonGetString(R"({"a":   )", "a"), "");
}

TEST(JsonGetString, BareValuesAreRawTextUpToTheFirstDelimiter) {
    EXPECT_EQ(jsonGetString(R"({"n":12  ,"m":3})", "n"), "12  ");
    EXPECT_EQ(jsonGetString(R"({"list":[1,2],"m":3})", "list"), "[1");
    EXPECT_EQ(jsonGetString(R"({"o":{"p":1}})", "o"), "{\"p\":1");
    EXPECT_EQ(jsonGetString(R"({"v":null})", "v"), "null");
    EXPECT_EQ(jsonGetString(R"("v":true)", "v"), "true");
}

TEST(JsonGetString, StringsAreDecodedAndEndAtTheFirstUnescapedQuote) {
    EXPECT_EQ(jsonGetString(R"({"t":"say \"hi\", \\ ok","u":1})", "t"), "say \"hi\", \\ ok");
    EXPECT_EQ(jsonGetString(R"({"t":"line\nnext\u00e9"})", "t"), "line\nnext\xC3\xA9");
    EXPECT_EQ(jsonGetString(R"({"t":"unterminated \"q)", "t"), "unterminated \"q");
    EXPECT_EQ(jsonGetString("{\"t\":\"ends in \\", "t"), "ends in \\");
    EXPECT_EQ(jsonGetString(R"({"t":""})", "t"), "");
}

TEST(JsonUnescape, EscapesSurrogatesAndBrokenInput) {
    EXPECT_EQ(jsonUnescape(R"(\n\t\r\"\\\/)"), "\n\t\r\"\\/");
    EXPECT_EQ(jsonUnescape(R"(\b\f\x)"), "bfx");  // unknown escapes give the byte itself
    EXPECT_EQ(jsonUnescape(R"(\u00e9\u20AC)"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(jsonUnescape(R"(\ud83d\ude00)"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(jsonUnescape(R"(a\ud83db)"), "ab");            // a lone high surrogate is dropped
    EXPECT_EQ(jsonUnescape(R"(\ud83d\n\ude00)"), "\n\xED\xB8\x80");  // an escape in between breaks the pair
    EXPECT_EQ(jsonUnescape(R"(\u12G4)"), "4");
    EXPECT_EQ(jsonUnescape(R"(x\u12)"), "xu12");  // too short for \u: the u is written
    EXPECT_EQ(jsonUnescape("end\\"), "end\\");
    EXPECT_EQ(jsonUnescape(std::string_view("\\u0000", 6)), std::string(1, '\0'));
}

TEST(AppendUtf8, EncodesEachLengthAtItsBoundaries) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x7F, "\x7F"},          {0x80, "\xC2\x80"},         {0x7FF, "\xDF\xBF"},           {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [cp, bytes] : cases) {
        std::string out = "x";
        appendUtf8(out, cp);
        EXPECT_EQ(out, "x" + bytes) << std::hex << cp;
    }
}

TEST(JsonGetBool, TrueOnlyForTrueAndOne) {
    const char* doc = R"({"a":true,"b":1,"c":"1","d":"true","e":false,"f":0,"g":"yes","h":TRUE,"i":"",
                         "j":true
                         ,"k": 1 })";
    for (const char* key : {"a", "b", "c", "d", "j", "k"}) EXPECT_TRUE(jsonGetBool(doc, key, false)) << key;
    for (const char* key : {"e", "f", "g", "h"}) EXPECT_FALSE(jsonGetBool(doc, key, true)) << key;
    EXPECT_TRUE(jsonGetBool(doc, "i", true));
    EXPECT_TRUE(jsonGetBool(doc, "absent", true));
    EXPECT_FALSE(jsonGetBool(doc, "absent", false));
}

TEST(JsonGetNumber, LeadingNumberOrTheDefault) {
    const char* doc = R"({"a":7.5abc,"b":abc,"c":1e999,"d":-2.5e3 ,"e":" 42","f":nan,"g":-inf,"h":1e-999,"i":0x10})";
    EXPECT_EQ(jsonGetNumber(doc, "a", -1), 7.5);
    EXPECT_EQ(jsonGetNumber(doc, "b", -1), -1);
    EXPECT_EQ(jsonGetNumber(doc, "c", -1), -1);
    EXPECT_EQ(jsonGetNumber(doc, "d", -1), -2500);
    EXPECT_EQ(jsonGetNumber(doc, "e", -1), 42);
    EXPECT_EQ(jsonGetNumber(doc, "f", -1), -1);  // never hand a NaN or an infinity to a caller
    EXPECT_EQ(jsonGetNumber(doc, "g", -1), -1);
    EXPECT_EQ(jsonGetNumber(doc, "h", -1), -1);
    EXPECT_EQ(jsonGetNumber(doc, "i", -1), 16);
    EXPECT_EQ(jsonGetNumber(doc, "absent", 3.25), 3.25);
    EXPECT_EQ(jsonGetNumber(R"({"big":1.7976931348623157e308})", "big", 0), std::numeric_limits<double>::max());
}

TEST(JsonGetObjects, ReturnsEachObjectOfTheArray) {
    const char* doc = R"({"first":{"posts":"not this"},"posts":["text",{"id":"a","t":"} ] {"},7,
        {"id":"b","tags":[1,[2]],"o":{"p":"\"}"}},null],"after":[{"id":"c"}]})";
    const std::vector<std::string> objects = jsonGetObjects(doc, "posts");
    // The first "posts" is inside another object; its array is the next "[" in the text.
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0], R"({"id":"a","t":"} ] {"})");
    EXPECT_EQ(objects[1], R"({"id":"b","tags":[1,[2]],"o":{"p":"\"}"}})");
    EXPECT_EQ(jsonGetString(objects[1], "id"), "b");

    EXPECT_TRUE(jsonGetObjects(R"({"posts":[]})", "posts").empty());
    EXPECT_TRUE(jsonGetObjects(R"({"posts":null})", "posts").empty());
    EXPECT_TRUE(jsonGetObjects(R"({"other":[{}]})", "posts").empty());
    EXPECT_EQ(jsonGetObjects(R"({"posts":[{"a":1},{"b":)", "posts"), std::vector<std::string>{R"({"a":1})"});
    EXPECT_EQ(jsonGetObjects(R"({"posts":[},{"a":1}]})", "posts"), std::vector<std::string>{R"({"a":1})"});
}

TEST(JsonEscape, BothEscapersDecodeBackToTheirInput) {
    const std::string text = "a\"b\\c\nd\te\x01 \xC3\xA9%s";
    EXPECT_EQ(jsonEscape(text), "a\\\"b\\\\cde \xC3\xA9%s");
    EXPECT_EQ(jsonEscapeText(text), "a\\\"b\\\\c\\nd e  \xC3\xA9%s");
    EXPECT_EQ(jsonGetString("{\"k\":\"" + jsonEscape(text) + "\"}", "k"), "a\"b\\cde \xC3\xA9%s");
    EXPECT_EQ(jsonGetString("{\"k\":\"" + jsonEscapeText(text) + "\"}", "k"), "a\"b\\c\nd e  \xC3\xA9%s");
}

}  // namespace
}  // namespace lumvo
