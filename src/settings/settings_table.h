#pragma once
// Every setting of the wall described once: its layout.ini key, the WallSettings member that holds
// it, how a value is read (kind and range), and its key in the object pushed to the wall server.
// Reading and writing layout.ini, the settings push and the exported table the wall server's tests
// read all walk this one table; a new setting is one new row here (and its member and default in
// WallSettings).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/settings.h"

namespace lumvo {

enum class SettingKind : std::uint8_t {
    toggle,            // "%i": any non-zero number is on (1)
    wholeNumber,       // "%i", clamped to [min, max]
    text,              // the rest of the line, also when empty
    link,              // the rest of the line through normalizeUrl
    theme,             // the rest of the line through normalizeTheme
    folder,            // the rest of the line; an empty value keeps the folder we have
    highlightSeconds,  // "%i" whole seconds clamped to [min, max], kept as the 0..1 duration
    olderDuration,     // "%f" 0..1 standing for 3..15 s (an older form of the highlight length)
    fraction,          // "%f", clamped to [min, max]
    box,               // "%f,%f,%f,%f": x, y, w, h (clampBox runs after the whole file is read)
    colour,            // "%i,%i,%i": red, green, blue
    backdropSwitches,  // an older single switch for word, tip and venue backdrops
};

using SettingMember = std::variant<std::int32_t WallSettings::*, float WallSettings::*, std::string WallSettings::*,
                                   BoxRect WallSettings::*, Argb WallSettings::*>;

struct SettingRow {
    const char* ini;     // layout.ini key
    const char* member;  // the WallSettings member's name, for the exported table
    SettingKind kind;
    SettingMember target;
    double min = 0, max = 0;     // range of wholeNumber, highlightSeconds and fraction values
    const char* json = nullptr;  // key in the pushed settings object; null when not pushed
    int jsonIndex = -1;          // position in the pushed array when several rows share one key
    bool written = true;         // false for older keys that are only read
    bool serverDriven = false;   // the wall server's display document may change it
};

// In layout.ini order, which is also the order of the keys in the settings push.
std::span<const SettingRow> settingsTable();
// The row for a layout.ini key, or null.
const SettingRow* findSetting(std::string_view iniKey);

// Applies one "key=value" text (line end already removed or not) to the member of `row`.
void applySetting(const SettingRow& row, WallSettings& s, const char* value);
// The value of `row` as layout.ini holds it (without key and line end).
std::string settingFileValue(const SettingRow& row, const WallSettings& s);

}  // namespace lumvo
