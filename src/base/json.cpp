#include "base/json.h"

#include <cmath>

#include "base/number_text.h"

namespace lumvo {
namespace {

bool isJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::size_t skipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && isJsonBlank(text[at])) ++at;
    return at;
}

// Where the value of the first "key": starts, or npos. A quoted text equal to the key but not
// followed by a colon (a value, not a key) is passed over.
std::size_t findValue(std::string_view json, std::string_view key) {
    std::string needle;
    needle.reserve(key.size() + 2);
    needle += '"';
    needle += key;
    needle += '"';
    std::size_t from = 0;
    for (;;) {
        const std::size_t match = json.find(needle, from);
        if (match == std::string_view::npos) return match;
        const std::size_t after = skipBlanks(json, match + needle.size());
        if (after < json.size() && json[after] == ':') return skipBlanks(json, after + 1);
        from = match + needle.size();
    }
}

std::vector<std::string> objectsOfArray(std::string_view json, std::size_t open);

}  // namespace

std::string jsonGetString(std::string_view json, std::string_view key) {
    std::size_t at = findValue(json, key);
    if (at == std::string_view::npos || at >= json.size()) return {};

    if (json[at] != '"') {
        const std::size_t end = json.find_first_of(",}]", at);
        return std::string(json.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    }
    const std::size_t start = ++at;
    while (at < json.size() && json[at] != '"') {
        // A back-slash takes the next byte with it, whatever it is.
        at += json[at] == '\\' ? 2 : 1;
    }
    if (at > json.size()) at = json.size();  // a back-slash at the very end
    return jsonUnescape(json.substr(start, at - start));
}

bool jsonGetBool(std::string_view json, std::string_view key, bool dflt) {
    std::string value = jsonGetString(json, key);
    // Blanks after a bare value (pretty-printed documents) are not part of it.
    while (!value.empty() && isJsonBlank(value.back())) value.pop_back();
    if (value.empty()) return dflt;
    return value == "true" || value == "1";
}

double jsonGetNumber(std::string_view json, std::string_view key, double dflt) {
    const std::string value = jsonGetString(json, key);
    if (value.empty()) return dflt;
    double number = 0;
    std::size_t used = 0;
    bool rangeError = false;
    if (!scanDouble(value, number, used, rangeError) || rangeError || !std::isfinite(number)) return dflt;
    return number;
}

std::vector<std::string> jsonGetArrayObjects(std::string_view json, std::string_view key) {
    const std::size_t open = findValue(json, key);
    if (open == std::string_view::npos || open >= json.size() || json[open] != '[') return {};
    return objectsOfArray(json, open);
}

namespace {

// Each whole object of the array whose "[" is at `open`, each as its own text.
std::vector<std::string> objectsOfArray(std::string_view json, std::size_t open) {
    std::vector<std::string> objects;
    bool inString = false;
    bool escaped = false;
    int depth = 0;
    std::size_t objectStart = 0;
    for (std::size_t i = open + 1; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{') {
            if (depth++ == 0) objectStart = i;
        } else if (c == '}') {
            if (depth == 0) continue;  // a stray brace outside any object
            if (--depth == 0) objects.emplace_back(json.substr(objectStart, i - objectStart + 1));
        } else if (c == ']' && depth == 0) {
            break;
        }
    }
    return objects;
}

}  // namespace

std::string jsonUnescape(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::uint32_t pendingHigh = 0;  // a high surrogate waiting for its low half; 0 for none
    std::size_t i = 0;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c != '\\' || i + 1 >= raw.size()) {
            out += c;  // a plain byte, or a final lone back-slash
            ++i;
            continue;
        }
        const char e = raw[i + 1];
        if (e == 'u' && raw.size() - i >= 6) {
            std::uint32_t value = 0;
            std::size_t bad = 0;
            for (std::size_t k = 0; k < 4 && bad == 0; ++k) {
                const int digit = hexDigit(raw[i + 2 + k]);
                if (digit < 0) bad = i + 2 + k;
                else value = value << 4 | static_cast<std::uint32_t>(digit);
            }
            if (bad != 0) {
                i = bad + 1;  // the escape and its digits up to the bad one are dropped
                continue;
            }
            i += 6;
            if (value >= 0xD800 && value <= 0xDBFF) {
                pendingHigh = value;
            } else if (value >= 0xDC00 && value <= 0xDFFF && pendingHigh != 0) {
                appendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10 | (value - 0xDC00)));
                pendingHigh = 0;
            } else {
                appendUtf8(out, value);
                pendingHigh = 0;
            }
            continue;
        }
        switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            default: out += e; break;  // \" \\ \/ and every unknown escape give the byte itself
        }
        pendingHigh = 0;
        i += 2;
    }
    return out;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    auto byte = [&out](std::uint32_t b) { out += static_cast<char>(static_cast<unsigned char>(b & 0xFF)); };
    if (cp < 0x80) {
        byte(cp);
    } else if (cp < 0x800) {
        byte(0xC0 | cp >> 6);
        byte(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        byte(0xE0 | cp >> 12);
        byte(0x80 | (cp >> 6 & 0x3F));
        byte(0x80 | (cp & 0x3F));
    } else {
        byte(0xF0 | cp >> 18);
        byte(0x80 | (cp >> 12 & 0x3F));
        byte(0x80 | (cp >> 6 & 0x3F));
        byte(0x80 | (cp & 0x3F));
    }
}

std::string jsonEscapeDropControls(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) continue;
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string jsonEscapeControlsAsSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            if (c == '\\' || c == '"') out += '\\';
            out += c;
        }
    }
    return out;
}

}  // namespace lumvo
