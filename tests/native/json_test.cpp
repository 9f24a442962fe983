// The readers on what the real server's documents do not hold (those are contract_corpus_test's):
// blanks and look-alike keys, broken or cut-off text, escapes it never writes, odd values. That the
// escapers' output reads back is the fuzz target's property.
#include "base/json.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

namespace lumvo {
namespace {

TEST(JsonGetString, KeysAfterBlanksLookAlikesCutOffStringsAndEscapes) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {R"({"type":"name","name" :  "Bob"})", "name", "Bob"},  // a value equal to the key is no key
        {"{\"a\"\r\n\t:\n\"b\"}", "a", "b"},
        {R"({"ab":1,"b":2})", "b", "2"},
        {R"({"a":1})", "missing", ""},
        {R"({"a":   )", "a", ""},
        {R"({"t":"unterminated \"q)", "t", "unterminated \"q"},
        {"{\"t\":\"ends in \\", "t", "ends in \\"},
        {R"({"t":"\n\t\"\\\/\b\x"})", "t", "\n\t\"\\/bx"},  // unknown escapes give the byte itself
        // Surrogate pairs make four bytes; a lone or interrupted one is dropped; a short \u is text.
        {R"({"t":"\u0800\ud83d\ude00\uDBFF\uDFFF"})", "t", "\xE0\xA0\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {R"({"t":"a\ud83db\ud83d\n\ude00"})", "t", "ab\n\xED\xB8\x80"},
        {R"({"t":"\u12G4x\u12"})", "t", "4xu12"},
    };
    for (const auto& [doc, key, value] : cases) EXPECT_EQ(jsonGetString(doc, key), value) << doc;
}

TEST(JsonGetBoolAndNumber, OnlyTrueAndOneAreTrueAndOnlyFiniteNumbersCount) {
    const char* flags = R"({"b":1,"c":"1","d":"true","f":0,"g":"yes","h":TRUE,"i":"",
                           "j":true
                           ,"k": 1 })";
    const std::pair<const char*, int> bools[] = {{"b", 1}, {"c", 1}, {"d", 1}, {"j", 1},  {"k", 1},
                                                 {"f", 0}, {"g", 0}, {"h", 0}, {"i", -1}, {"absent", -1}};
    for (const auto& [key, value] : bools) {  // -1: the default, whichever it is
        EXPECT_EQ(jsonGetBool(flags, key, false), value == 1) << key;
        EXPECT_EQ(jsonGetBool(flags, key, true), value != 0) << key;
    }

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
    EXPECT_EQ(jsonGetArrayObjects(doc, "posts"),
              (std::vector<std::string>{R"({"id":"a","t":"} ] {"})", R"({"id":"b","tags":[1,[2]],"o":{"p":"\"}"}})"}));

    // A value that is not an array never borrows a later array of the document.
    EXPECT_TRUE(jsonGetArrayObjects(R"({"posts":null,"after":[{"id":"c"}]})", "posts").empty());
    EXPECT_EQ(jsonGetArrayObjects(R"({"posts":[{"a":1},{"b":)", "posts"), std::vector<std::string>{R"({"a":1})"});
    EXPECT_EQ(jsonGetArrayObjects(R"({"posts":[},{"a":1}]})", "posts"), std::vector<std::string>{R"({"a":1})"});
}

}  // namespace
}  // namespace lumvo
