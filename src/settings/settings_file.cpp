#include "settings/settings_file.h"

#include <cstring>
#include <vector>

#include "settings/settings_table.h"
#include "base/json.h"
#include "base/number_text.h"

namespace lumvo {
namespace {

// Builds a JSON object key by key, in the order the keys are added.
class JsonObjectWriter {
public:
    void flag(const char* key, std::int32_t on) { raw(key, on != 0 ? "true" : "false"); }
    void number(const char* key, std::string_view text) { raw(key, text); }
    void text(const char* key, std::string_view escaped) {
        name(key);
        out_ += '"';
        out_ += escaped;
        out_ += '"';
    }
    void textArray(const char* key, const std::vector<std::string>& escapedItems) {
        name(key);
        out_ += '[';
        bool first = true;
        for (const auto& item : escapedItems) {
            if (!first) out_ += ',';
            first = false;
            out_ += '"';
            out_ += item;
            out_ += '"';
        }
        out_ += ']';
    }
    std::string finish() { return out_ + '}'; }

private:
    void raw(const char* key, std::string_view value) {
        name(key);
        out_ += value;
    }
    void name(const char* key) {
        out_ += out_.size() == 1 ? "\"" : ",\"";
        out_ += key;
        out_ += "\":";
    }
    std::string out_ = "{";
};

}  // namespace

void applySettingsLine(WallSettings& s, const char* line) {
    if (line == nullptr) return;
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) return;
    if (const SettingRow* row = findSetting(std::string_view(line, static_cast<std::size_t>(equals - line)))) {
        applySetting(*row, s, equals + 1);
    }
}

void readSettings(std::FILE* file, WallSettings& s) {
    if (file == nullptr) return;
    char line[1024];
    while (std::fgets(line, sizeof line, file) != nullptr) applySettingsLine(s, line);
}

void finishSettings(WallSettings& s, std::string_view defaultMediaFolder) {
    if (s.mediaDir.empty()) s.mediaDir = std::string(defaultMediaFolder);
    clampBox(s.chat);
    clampBox(s.qr);
    clampBox(s.hero);
}

std::string formatSettingsFile(const WallSettings& s) {
    std::string out;
    for (const SettingRow& row : settingsTable()) {
        if (!row.written) continue;
        out += row.ini;
        out += '=';
        out += settingFileValue(row, s);
        out += '\n';
    }
    return out;
}

std::string settingsPushBody(const WallSettings& s, std::string_view mediaDir) {
    JsonObjectWriter j;
    for (const SettingRow& row : settingsTable()) {
        if (row.json == nullptr) continue;
        switch (row.kind) {
            case SettingKind::toggle:
            case SettingKind::backdropSwitches:
                j.flag(row.json, s.*std::get<std::int32_t WallSettings::*>(row.target));
                break;
            case SettingKind::wholeNumber:
                j.number(row.json, std::to_string(s.*std::get<std::int32_t WallSettings::*>(row.target)));
                break;
            case SettingKind::text: {
                if (row.jsonIndex < 0) {
                    j.text(row.json, jsonEscapeDropControls(s.*std::get<std::string WallSettings::*>(row.target)));
                    break;
                }
                // Rows sharing a key go as one array, in jsonIndex order, written at the first of them.
                // The links go as they are, only escaped: a percent sign stays one percent sign.
                if (row.jsonIndex > 0) break;
                std::vector<std::string> items;
                for (const SettingRow& item : settingsTable()) {
                    if (item.json == nullptr || std::strcmp(item.json, row.json) != 0) continue;
                    const auto index = static_cast<std::size_t>(item.jsonIndex);
                    if (items.size() <= index) items.resize(index + 1);
                    items[index] = jsonEscapeDropControls(s.*std::get<std::string WallSettings::*>(item.target));
                }
                j.textArray(row.json, items);
                break;
            }
            case SettingKind::link:
                j.text(row.json,
                       jsonEscapeDropControls(normalizeUrl(s.*std::get<std::string WallSettings::*>(row.target))));
                break;
            case SettingKind::theme:
                j.text(row.json, normalizeTheme(s.*std::get<std::string WallSettings::*>(row.target)));
                break;
            case SettingKind::folder: j.text(row.json, jsonEscapeDropControls(mediaDir)); break;
            case SettingKind::highlightSeconds:
                j.number(row.json, formatFixed(highlightSecondsOf(s.duration), 1));
                break;
            case SettingKind::olderDuration:
            case SettingKind::fraction:
            case SettingKind::box:
            case SettingKind::colour: break;  // never pushed
        }
    }
    return j.finish();
}

}  // namespace lumvo
