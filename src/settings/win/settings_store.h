#pragma once
// layout.ini on disk (the push to the wall server is serverlink/settings_push.h).
#include <string>

#include "settings/settings.h"

namespace lumvo {

// wallFolder + "\layout.ini".
std::string settingsFilePath();
// The second place layout.ini is read from (never written): beside the plug-in DLL, in
// "video-wall\layout.ini".
std::string settingsFallbackPath();

// Makes sure the data folders exist, then reads layout.ini from its first readable place (the
// defaults stay when there is none), fills in the default media folder and creates the media
// folder.
void loadSettings(WallSettings& settings);
// Writes every setting to the primary layout.ini. The file is replaced whole: the new text goes
// to a side file first, so a failed or interrupted write keeps the previous settings. A file that
// cannot be written is skipped silently; false then.
bool saveSettings(const WallSettings& settings);

}  // namespace lumvo
