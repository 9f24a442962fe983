// Names taken from guests' and the server's text on arbitrary bytes.
//  - Song searches: no control byte, quote, back-slash, back-tick or dash is left, blanks are
//    single, at most 80 bytes, valid UTF-8 stays valid; cleaning again changes nothing, a plain
//    short title passes whole, and the host script holds the search between its last two
//    apostrophes and no others.
//  - Photo references: the file name has no "..", no separator, no drive or stream colon, no control
//    byte and is no device name; it is the same under any folder and with any query, and joined to
//    each folder searched it stays in that folder.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/data_paths.h"
#include "serverlink/song_search.h"
#include "fuzz_check.h"

using namespace lumvo;

namespace {

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }
bool hasDash(std::string_view s) {
    return s.find("\xE2\x80\x93") != std::string_view::npos || s.find("\xE2\x80\x94") != std::string_view::npos;
}

void checkSongSearch(std::string_view text) {
    const std::string cleaned = cleanSongSearch(text);
    CHECK(cleaned.size() <= 80 && !hasDash(cleaned) && cleaned.find("  ") == std::string::npos);
    CHECK(cleaned.empty() || (cleaned.front() != ' ' && cleaned.back() != ' '));
    for (const char c : cleaned) CHECK(!isControl(c) && c != '"' && c != '\'' && c != '\\' && c != '`');
    CHECK(!validUtf8(text) || validUtf8(cleaned));
    CHECK(cleanSongSearch(cleaned) == cleaned);

    bool plain = text.size() <= 80 && !hasDash(text) && text.find("  ") == std::string_view::npos &&
                 (text.empty() || (text.front() != ' ' && text.back() != ' '));
    for (const char c : text) plain = plain && !isControl(c) && c != '"' && c != '\'' && c != '\\' && c != '`';
    if (plain) CHECK(cleaned == text);

    const std::string script = songSearchScript(text);
    CHECK(script.empty() == cleaned.empty());
    if (!script.empty()) {
        std::size_t apostrophes = 0;
        for (const char c : script) apostrophes += c == '\'';
        const std::size_t open = script.rfind('\'', script.size() - 2);
        CHECK(apostrophes == 4 && script.back() == '\'' &&
              script.substr(open + 1, script.size() - open - 2) == cleaned);
    }
}

// Windows opens these as devices in any folder, with or without an extension.
bool deviceName(std::string_view name) {
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && std::isdigit(base[3]);
}

void checkPhotoName(std::string_view reference) {
    const std::string name = photoFileName(reference);
    CHECK(name.find("..") == std::string::npos && name.find_first_of("/\\:?") == std::string::npos);
    for (const char c : name) CHECK(static_cast<unsigned char>(c) >= 0x20);
    CHECK(name.empty() || (!deviceName(name) && reference.find(name) != std::string_view::npos));
    for (const char* folder : {"/uploads/", "C:\\album\\", "\\\\server\\share/"})
        CHECK(photoFileName(std::string(folder) + std::string(reference)) == name);
    CHECK(photoFileName(std::string(reference) + "?v=2") == name);
    if (name.empty()) return;
    const std::string wall = "C:\\Users\\dj\\AppData\\Local\\LUMVO\\video-wall";
    for (const std::string& folder : photoSearchFolders("D:\\media", "", wall + "\\uploads", wall)) {
        CHECK(!folder.empty() && folderOfPath(folder + "\\" + name) == folder);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkSongSearch(input);
    checkPhotoName(input);
    return 0;
}
