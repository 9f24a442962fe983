// The settings table, the themes and the highlight length against their exported copy in
// tests/contract/settings.json, which the wall server's tests read: a setting or a theme added,
// renamed or re-ranged on one side only fails one of them.
// After an intended change, write the file anew with LUMVO_WRITE_CONTRACT=1.
#include "settings/settings_table.h"
#include "settings/themes.h"
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

namespace lumvo {
namespace {

using nlohmann::ordered_json;

const char* kindName(SettingKind kind) {
    switch (kind) {
        case SettingKind::toggle: return "toggle";
        case SettingKind::wholeNumber: return "wholeNumber";
        case SettingKind::text: return "text";
        case SettingKind::link: return "link";
        case SettingKind::theme: return "theme";
        case SettingKind::folder: return "folder";
        case SettingKind::highlightSeconds: return "highlightSeconds";
        case SettingKind::olderDuration: return "olderDuration";
        case SettingKind::fraction: return "fraction";
        case SettingKind::box: return "box";
        case SettingKind::colour: return "colour";
        case SettingKind::backdropSwitches: return "backdropSwitches";
    }
    return "?";
}

double fileRounded(float v) { return std::round(static_cast<double>(v) * 1e5) / 1e5; }

// A row's default as layout.ini would hold it.
ordered_json defaultValue(const SettingRow& row) {
    const WallSettings d;
    return std::visit(
        [&](auto member) -> ordered_json {
            using T = std::remove_cvref_t<decltype(d.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return d.*member;
            } else if constexpr (std::is_same_v<T, BoxRect>) {
                const BoxRect& b = d.*member;
                return {fileRounded(b.x), fileRounded(b.y), fileRounded(b.w), fileRounded(b.h)};
            } else if constexpr (std::is_same_v<T, float>) {
                if (row.kind == SettingKind::highlightSeconds) return highlightSeconds(d);
                return fileRounded(d.*member);
            } else if constexpr (std::is_same_v<T, Argb>) {
                const Argb c = d.*member;
                return {c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF};
            } else {
                return d.*member;
            }
        },
        row.target);
}

ordered_json exportedTable() {
    ordered_json rows = ordered_json::array();
    ordered_json aliases = ordered_json::object();
    for (const SettingRow& row : settingsTable()) {
        ordered_json r = {
            {"ini", row.ini}, {"member", row.member}, {"kind", kindName(row.kind)}, {"default", defaultValue(row)}};
        if (row.min != row.max) {
            r["min"] = row.min;
            r["max"] = row.max;
        }
        if (row.json) r["json"] = row.json;
        if (row.jsonIndex >= 0) r["jsonIndex"] = row.jsonIndex;
        if (!row.written) r["written"] = false;
        if (row.serverDriven) r["serverDriven"] = true;
        if (row.kind == SettingKind::backdropSwitches) aliases[row.json] = "allowWordFx";
        rows.push_back(r);
    }
    ordered_json themeNames = ordered_json::array();
    for (const std::string_view name : kThemeNames) themeNames.push_back(std::string(name));
    return {{"about",
             "Every setting of the plug-in, one row each, as the plug-in's settings table describes it, the "
             "themes and the highlight length. Written by the native tests (LUMVO_WRITE_CONTRACT=1); the wall "
             "server's tests check the server's defaults, accepted keys and themes and the pages' themes against it."},
            {"settings", rows},
            {"pushAliases", aliases},
            {"pushDefaults", ordered_json::parse(settingsPushBody(WallSettings{}, ""))},
            {"themes", {{"names", themeNames}, {"fallback", normalizeTheme("")}}},
            {"highlight",
             {{"about", "the duration setting (0..1) stands for minSeconds + duration x (maxSeconds - minSeconds)"},
              {"minSeconds", highlightSecondsOf(0)},
              {"maxSeconds", highlightSecondsOf(1)}}}};
}

TEST(SettingsTable, MatchesTheCopyTheWallServerReads) {
    const std::string path = std::string(LUMVO_SOURCE_DIR) + "/tests/contract/settings.json";
    const ordered_json table = exportedTable();
    if (std::getenv("LUMVO_WRITE_CONTRACT")) {
        // One row a line, so that a change to a setting is a one-line diff.
        std::ofstream out(path);
        out << "{\n  \"about\": " << table["about"].dump() << ",\n  \"settings\": [\n";
        const auto& rows = table["settings"];
        for (std::size_t i = 0; i < rows.size(); ++i)
            out << "    " << rows[i].dump() << (i + 1 < rows.size() ? ",\n" : "\n");
        out << "  ]";
        for (const char* key : {"pushAliases", "pushDefaults", "themes", "highlight"})
            out << ",\n  \"" << key << "\": " << table[key].dump();
        out << "\n}\n";
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream file(path);
    ASSERT_TRUE(file) << "missing " << path;
    const ordered_json committed = ordered_json::parse(file);
    EXPECT_EQ(committed, table) << path << " is out of date: after an intended change run the native tests "
                                << "with LUMVO_WRITE_CONTRACT=1 and check the wall server's settings";
}

TEST(SettingsTable, EachKeyHasOneRow) {
    // A second row for a key would never be read: the first one takes every line.
    std::set<std::string> ini, pushed;
    for (const SettingRow& row : settingsTable()) {
        EXPECT_TRUE(ini.insert(row.ini).second) << "two rows for " << row.ini;
        if (row.json && row.jsonIndex <= 0) {
            EXPECT_TRUE(pushed.insert(row.json).second) << "two rows push " << row.json;
        }
    }
}

}  // namespace
}  // namespace lumvo
