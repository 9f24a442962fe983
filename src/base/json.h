#pragma once
// Flat JSON readers and writers. The readers scan the raw text for "key": they do not build a
// tree, so the documents they read keep every key they ask for unique (or first) in the text.
// None of them fails: a missing key or a broken document gives "", the default or an empty list.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

// The value of the first "key": in the text; a string is decoded, anything else comes back as
// its raw text up to the first ',', '}' or ']'.
std::string jsonGetString(std::string_view json, std::string_view key);
// true for the value true or 1 (quoted or not; blanks after it do not count); dflt when the key is
// missing or empty.
bool jsonGetBool(std::string_view json, std::string_view key, bool dflt);
// The leading number of the value (strtod rules, "C" locale); dflt when missing, not a number, out
// of range, or not finite (nan, inf).
double jsonGetNumber(std::string_view json, std::string_view key, double dflt);
// Every object of the array that is the value of the first "key": (a key, not a quoted value
// equal to it); empty when that value is not an array (null, a string, a number, an object), so a
// missing or wrong value never borrows a later array of the document.
std::vector<std::string> jsonGetArrayObjects(std::string_view json, std::string_view key);
// Decodes the content of a JSON string (without its quotes).
std::string jsonUnescape(std::string_view raw);
// Appends code point cp as 1 to 4 UTF-8 bytes.
void appendUtf8(std::string& out, std::uint32_t cp);
// A JSON string's content (without quotes) for the settings object: \ and " get a back-slash,
// bytes below 0x20 are dropped.
std::string jsonEscapeDropControls(std::string_view text);
// A JSON string's content (without quotes) for the moderator's request bodies: \ and " get a
// back-slash, LF becomes \n, other bytes below 0x20 become spaces.
std::string jsonEscapeControlsAsSpaces(std::string_view text);

}  // namespace lumvo
