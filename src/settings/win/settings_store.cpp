#include "settings/win/settings_store.h"

#include <windows.h>

#include <cstdio>

#include "base/win/data_folders.h"
#include "settings/settings_file.h"

namespace lumvo {

std::string settingsFilePath() { return wallFolder() + "\\layout.ini"; }

std::string settingsFallbackPath() { return moduleFolder() + "\\video-wall\\layout.ini"; }

void loadSettings(WallSettings& settings) {
    ensureDataFolders();
    FILE* file = std::fopen(settingsFilePath().c_str(), "r");
    if (!file) file = std::fopen(settingsFallbackPath().c_str(), "r");
    if (file) {
        readSettings(file, settings);
        std::fclose(file);
    }
    finishSettings(settings, defaultMediaFolder());
    createWholePath(settings.mediaDir);
}

bool saveSettings(const WallSettings& settings) {
    ensureDataFolders();
    const std::string path = settingsFilePath();
    const std::string sidePath = path + ".new";
    const std::string text = formatSettingsFile(settings);
    FILE* file = std::fopen(sidePath.c_str(), "w");  // text mode: LF becomes CR LF
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed ||
        !MoveFileExA(sidePath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(sidePath.c_str());
        return false;
    }
    return true;
}

}  // namespace lumvo
