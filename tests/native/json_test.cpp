#include "serverlink/json.h"

#include <gtest/gtest.h>

#include <limits>

namespace lumvo {
namespace {

TEST(JsonGetString, KeysBareValuesAndStrings) {
    struct Case {
        std::string doc, key, value;
    };
    const Case cases[] = {
        // The first key followed by a colon, whatever blanks come between.
        {R"({"outer":{"name":"inner"},"x":1})", "name", "inner"},
        {R"({"type":"name","name" :  "Bob"})", "name", "Bob"},
        {"{\"a\"\r\n\t:\n\"b\"}", "a", "b"},
        {R"({"ab":1,"b":2})", "b", "2"},
        {R"({"a":1})", "missing", ""},
        {R"({"a":   )", "a", ""},
        // Bare values are the raw text up to the first delimiter.
        {R"({"n":12  ,"m":3})", "n", "12  "},
        {R"({"list":[1,2],"m":3})", "list", "[1"},
        {R"({"o":{"p":1}})", "o", "{\"p\":1"},
        {R"("v":true)", "v", "true"},
        // Strings are decoded and end at the first unescaped quote, or with the text.
        {R"({"t":"say \"hi\", \\ ok","u":1})", "t", "say \"hi\", \\ ok"},
        {R"({"t":"line\nnext\u00e9"})", "t", "line\nnext\xC3\xA9"},
        {R"({"t":"unterminated \"q)", "t", "unterminated \"q"},
        {"{\"t\":\"ends in \\", "t", "ends in \\"},
        {R"({"t":""})", "t", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(jsonGetString(c.doc, c.key), c.value) << c.doc;
}

TEST(JsonUnescape, EscapesSurrogatesAndBrokenInput) {
    EXPECT_EQ(jsonUnescape(R"(\n\t\r\"\\\/)"), "\n\t\r\"\\/");
    EXPECT_EQ(jsonUnescape(R"(\b\f\x)"), "bfx");  // unknown escapes give the byte itself
    // Each UTF-8 length at its boundaries, the four-byte ones from surrogate pairs.
    EXPECT_EQ(jsonUnescape(R"(\u007f\u0080\u07FF\u0800\uffff\ud800\udc00\uDBFF\uDFFF)"),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(jsonUnescape(R"(a\ud83db)"), "ab");            // a lone high surrogate is dropped
    EXPECT_EQ(jsonUnescape(R"(\ud83d\n\ude00)"), "\n\xED\xB8\x80");  // an escape in between breaks the pair
    EXPECT_EQ(jsonUnescape(R"(\u12G4)"), "4");
    EXPECT_EQ(jsonUnescape(R"(x\u12)"), "xu12");  // too short for \u: the u is written
    EXPECT_EQ(jsonUnescape("end\\"), "end\\");
    EXPECT_EQ(jsonUnescape(std::string_view("\\u0000", 6)), std::string(1, '\0'));
}

TEST(JsonGetBoolAndNumber, OnlyTrueAndOneAreTrueAndOnlyFiniteNumbersCount) {
    const char* flags = R"({"a":true,"b":1,"c":"1","d":"true","e":false,"f":0,"g":"yes","h":TRUE,"i":"",
                           "j":true
                           ,"k": 1 })";
    for (const char* key : {"a", "b", "c", "d", "j", "k"}) EXPECT_TRUE(jsonGetBool(flags, key, false)) << key;
    for (const char* key : {"e", "f", "g", "h"}) EXPECT_FALSE(jsonGetBool(flags, key, true)) << key;
    EXPECT_TRUE(jsonGetBool(flags, "i", true));
    EXPECT_TRUE(jsonGetBool(flags, "absent", true));
    EXPECT_FALSE(jsonGetBool(flags, "absent", false));

    // The leading number, else the default: never a NaN or an infinity for a caller.
    const char* numbers = R"({"a":7.5abc,"b":abc,"c":1e999,"d":-2.5e3 ,"e":" 42","f":nan,"g":-inf,"h":1e-999,
                             "i":0x10,"j":1.7976931348623157e308})";
    const std::pair<const char*, double> cases[] = {{"a", 7.5}, {"b", -1},    {"c", -1}, {"d", -2500},
                                                    {"e", 42},  {"f", -1},    {"g", -1}, {"h", -1},
                                                    {"i", 16},  {"absent", -1}, {"j", std::numeric_limits<double>::max()}};
    for (const auto& [key, value] : cases) EXPECT_EQ(jsonGetNumber(numbers, key, -1), value) << key;
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
