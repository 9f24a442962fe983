// The readers on what the real server's documents do not hold (those are contract_corpus_test's):
// blanks and look-alike keys, broken or cut-off text, escapes it never writes, odd values.
#include "base/json.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

namespace lumvo {
namespace {

TEST(JsonGetString, KeysAfterBlanksAndLookAlikesAndCutOffStrings) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {R"({"type":"name","name" :  "Bob"})", "name", "Bob"},  // a value equal to the key is no key
        {"{\"a\"\r\n\t:\n\"b\"}", "a", "b"},
        {R"({"ab":1,"b":2})", "b", "2"},
        {R"({"a":1})", "missing", ""},
        {R"({"a":   )", "a", ""},
        {R"({"t":"unterminated \"q)", "t", "unterminated \"q"},
        {"{\"t\":\"ends in \\", "t", "ends in \\"},
    };
    for (const auto& [doc, key, value] : cases) EXPECT_EQ(jsonGetString(doc, key), value) << doc;
}

TEST(JsonUnescape, EscapesSurrogatesAndBrokenInput) {
    EXPECT_EQ(jsonUnescape(R"(\n\t\r\"\\\/)"), "\n\t\r\"\\/");
    EXPECT_EQ(jsonUnescape(R"(\b\f\x)"), "bfx");  // unknown escapes give the byte itself
    // Each UTF-8 length at its boundaries, the four-byte ones from surrogate pairs.
    EXPECT_EQ(jsonUnescape(R"(\u007f\u0080\u07FF\u0800\uffff\ud800\udc00\uDBFF\uDFFF)"),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(jsonUnescape(R"(a\ud83db)"), "ab");                    // a lone high surrogate is dropped
    EXPECT_EQ(jsonUnescape(R"(\ud83d\n\ude00)"), "\n\xED\xB8\x80");  // an escape in between breaks the pair
    EXPECT_EQ(jsonUnescape(R"(\u12G4)"), "4");
    EXPECT_EQ(jsonUnescape(R"(x\u12)"), "xu12");  // too short for \u: the u is written
    EXPECT_EQ(jsonUnescape(std::string_view("\\u0000", 6)), std::string(1, '\0'));
}

TEST(JsonGetBoolAndNumber, OnlyTrueAndOneAreTrueAndOnlyFiniteNumbersCount) {
    const char* flags = R"({"b":1,"c":"1","d":"true","f":0,"g":"yes","h":TRUE,"i":"",
                           "j":true
                           ,"k": 1 })";
    for (const char* key : {"b", "c", "d", "j", "k"}) EXPECT_TRUE(jsonGetBool(flags, key, false)) << key;
    for (const char* key : {"f", "g", "h"}) EXPECT_FALSE(jsonGetBool(flags, key, true)) << key;
    EXPECT_TRUE(jsonGetBool(flags, "i", true));
    EXPECT_TRUE(jsonGetBool(flags, "absent", true));
    EXPECT_FALSE(jsonGetBool(flags, "absent", false));

    // The leading number, else the default: never a NaN or an infinity for a caller.
    const char* numbers = R"({"a":7.5abc,"b":abc,"c":1e999,"d":-2.5e3 ,"e":" 42","f":nan,"g":-inf,"h":1e-999,
                             "i":0x10,"j":1.7976931348623157e308})";
    const std::pair<const char*, double> cases[] = {{"a", 7.5},
                                                    {"b", -1},
                                                    {"c", -1},
                                                    {"d", -2500},
                                                    {"e", 42},
                                                    {"f", -1},
                                                    {"g", -1},
                                                    {"h", -1},
                                                    {"i", 16},
                                                    {"absent", -1},
                                                    {"j", std::numeric_limits<double>::max()}};
    for (const auto& [key, value] : cases) EXPECT_EQ(jsonGetNumber(numbers, key, -1), value) << key;
}

TEST(JsonGetArrayObjects, ReturnsEachObjectOfTheArrayThatIsTheKeysValue) {
    const char* doc = R"({"title":"posts","posts":["text",{"id":"a","t":"} ] {"},7,
        {"id":"b","tags":[1,[2]],"o":{"p":"\"}"}},null],"after":[{"id":"c"}]})";
    // "posts" as a quoted value is passed over; of the array only its objects count, whatever
    // braces their strings hold.
    const std::vector<std::string> objects = jsonGetArrayObjects(doc, "posts");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0], R"({"id":"a","t":"} ] {"})");
    EXPECT_EQ(objects[1], R"({"id":"b","tags":[1,[2]],"o":{"p":"\"}"}})");
    EXPECT_EQ(jsonGetString(objects[1], "id"), "b");

    // A value that is not an array never borrows a later array of the document.
    EXPECT_TRUE(jsonGetArrayObjects(R"({"posts":null,"after":[{"id":"c"}]})", "posts").empty());
    EXPECT_EQ(jsonGetArrayObjects(R"({"posts":[{"a":1},{"b":)", "posts"), std::vector<std::string>{R"({"a":1})"});
    EXPECT_EQ(jsonGetArrayObjects(R"({"posts":[},{"a":1}]})", "posts"), std::vector<std::string>{R"({"a":1})"});
}

// jsonEscapeDropControls: the settings push's values, checked by a real parser in settings_test.
TEST(JsonEscapeControlsAsSpaces, KeepsLineBreaksAndBlanksOtherControlBytes) {
    const std::string text = "a\"b\\c\nd\te\x01 \xC3\xA9%s";
    EXPECT_EQ(jsonEscapeControlsAsSpaces(text), "a\\\"b\\\\c\\nd e  \xC3\xA9%s");
    EXPECT_EQ(jsonGetString("{\"k\":\"" + jsonEscapeControlsAsSpaces(text) + "\"}", "k"), "a\"b\\c\nd e  \xC3\xA9%s");
}

}  // namespace
}  // namespace lumvo
