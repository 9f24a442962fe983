#pragma once
// The DJ's settings as text: the layout.ini reader and writer, and the JSON object pushed to the
// wall server. Both walk the settings table (settings_table.h), so a new setting is one new row
// there and nothing here.
#include <cstdio>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace lumvo {

// Applies one line of layout.ini (with or without its line end); unknown or malformed lines are
// ignored and out-of-range values are clamped.
void applySettingsLine(WallSettings& s, const char* line);
// Reads a whole layout.ini stream line by line (lines longer than the 1023-byte buffer are read
// as several lines).
void readSettings(std::FILE* file, WallSettings& s);
// What follows the read: an empty media folder becomes defaultMediaFolder and the boxes are
// clamped. Creating the media folder is the caller's job.
void finishSettings(WallSettings& s, std::string_view defaultMediaFolder);
// The whole text of layout.ini, LF line ends (text-mode files turn them into CR LF on Windows).
// A text value ends at a NUL byte and loses any CR or LF, so it cannot break its line.
std::string formatSettingsFile(const WallSettings& s);
// The JSON object POSTed to /api/settings. mediaDir is the folder to announce (the setting, or
// the default media folder when the setting is empty).
std::string settingsPushBody(const WallSettings& s, std::string_view mediaDir);

}  // namespace lumvo
