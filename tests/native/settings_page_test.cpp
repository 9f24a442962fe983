// The Settings tab's rows: every control against the setting it edits (the value there and back,
// nothing else in layout.ini or the push touched), the sliders' ends and value labels, the theme
// list, the edit boxes' bounds, the chat colours, the guest look list and the album's answer.
#include "moderator/settings_page.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "moderator/post_record.h"
#include "settings/settings_file.h"
#include "settings/settings_table.h"

namespace lumvo {
namespace {

using Kind = SettingsRowKind;

// layout.ini as key => value.
std::map<std::string, std::string> iniLines(const WallSettings& s) {
    std::map<std::string, std::string> lines;
    std::istringstream text(formatSettingsFile(s));
    for (std::string line; std::getline(text, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) lines[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return lines;
}

std::set<std::string> changedKeys(const std::map<std::string, std::string>& a,
                                  const std::map<std::string, std::string>& b) {
    std::set<std::string> keys;
    for (const auto& [key, value] : a) {
        const auto other = b.find(key);
        if (other == b.end() || other->second != value) keys.insert(key);
    }
    return keys;
}

std::set<std::string> changedPushKeys(const WallSettings& a, const WallSettings& b) {
    const auto before = nlohmann::json::parse(settingsPushRequest(a, "C:/media").body);
    const auto after = nlohmann::json::parse(settingsPushRequest(b, "C:/media").body);
    std::set<std::string> keys;
    for (const auto& [key, value] : before.items()) {
        if (after.at(key) != value) keys.insert(key);
    }
    return keys;
}

// The layout.ini keys and the push keys that hold the same member as `ini` (the highlight length
// has an older key, the word backdrops an older push key).
std::set<std::string> keysOfMember(const char* ini, bool push) {
    std::set<std::string> keys;
    const SettingRow* row = findSetting(ini);
    for (const SettingRow& other : settingsTable()) {
        if (std::string(other.member) != row->member) continue;
        if (push && other.json) keys.insert(other.json);
        if (!push && other.written) keys.insert(other.ini);
    }
    return keys;
}

// Settings unlike the defaults everywhere a control looks, as if the wall server and the DJ had both
// been at work: a control that writes more than its own setting shows up against them.
WallSettings busySettings() {
    WallSettings s;
    for (const SettingRow& row : settingsTable()) {
        if (row.kind == SettingKind::toggle) applySetting(row, s, "0");
    }
    s.theme = "garden";
    s.hotNeed = 21;
    s.hotWindow = 95;
    s.duration = 0.5f;
    s.opacity = 0.45f;
    s.tipLink = "https://paypal.me/dj";
    s.brandUrl = "https://venue.example";
    s.colorPhoto = 0xFF123456;
    return s;
}

TEST(SettingsPage, EveryControlWritesOnlyItsOwnSettingAndReadsBackWhatItWrote) {
    int controls = 0;
    for (const SettingsRow& row : settingsRows()) {
        if (!row.setting) continue;
        ++controls;
        SCOPED_TRACE(row.setting);
        ASSERT_NE(findSetting(row.setting), nullptr) << "a control over no setting";
        const WallSettings before = busySettings();
        WallSettings after = before;
        switch (row.kind) {
            case Kind::check:
                setCheckValue(row, after, !checkValue(row, before));
                EXPECT_NE(checkValue(row, after), checkValue(row, before));
                break;
            case Kind::slider: {
                const int other = sliderPosition(row, before) == row.slider.low ? row.slider.high : row.slider.low;
                setSliderPosition(row, after, other);
                EXPECT_EQ(sliderPosition(row, after), other);
                break;
            }
            case Kind::themeList:
                setThemeChoice(after, 1);
                EXPECT_EQ(themeChoice(after), 1);
                break;
            case Kind::edit:
                setEditValue(row, after, "https://x.example/pay");
                EXPECT_EQ(editValue(row, after), "https://x.example/pay");
                break;
            case Kind::colour:
                setColourValue(row, after, 0x00FF00);
                EXPECT_EQ(colourValue(row, after), 0x00FF00u);
                break;
            default: ADD_FAILURE() << "a row of this kind edits no setting";
        }
        const std::set<std::string> changed = changedKeys(iniLines(before), iniLines(after));
        EXPECT_FALSE(changed.empty());
        for (const std::string& key : changed) EXPECT_TRUE(keysOfMember(row.setting, false).contains(key)) << key;
        // The push carries the change under the setting's own keys and nothing else changes there.
        EXPECT_EQ(changedPushKeys(before, after), keysOfMember(row.setting, true));
    }
    EXPECT_GT(controls, 30);
}

TEST(SettingsPage, SlidersHoldEveryPositionClampTheirEndsAndLabelTheirValue) {
    for (const SettingsRow& row : settingsRows()) {
        if (row.kind != Kind::slider) continue;
        SCOPED_TRACE(row.text);
        WallSettings s;
        for (int p = row.slider.low; p <= row.slider.high; ++p) {
            setSliderPosition(row, s, p);
            ASSERT_EQ(sliderPosition(row, s), p);
            // The setting as layout.ini keeps it reads back to the same position.
            WallSettings reread;
            for (const auto& [key, value] : iniLines(s)) applySettingsLine(reread, (key + "=" + value).c_str());
            ASSERT_EQ(sliderPosition(row, reread), p);
        }
        setSliderPosition(row, s, row.slider.low - 1000);
        EXPECT_EQ(sliderPosition(row, s), row.slider.low);
        setSliderPosition(row, s, row.slider.high + 1000);
        EXPECT_EQ(sliderPosition(row, s), row.slider.high);
    }
    // The value labels before any settings are read, and the highlight length's ends.
    const WallSettings defaults;
    std::vector<std::string> labels;
    for (const SettingsRow& row : settingsRows()) {
        if (row.kind == Kind::slider) labels.push_back(sliderLabel(row, sliderPosition(row, defaults)));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"100%", "0s", "7s", "8", "60s"}));
    const SettingsRow& bigCard = settingsRows()[settingsRowOf("highlight_sec")];
    WallSettings s;
    setSliderPosition(bigCard, s, 60);
    EXPECT_EQ(s.duration, 1.0f);
    setSliderPosition(bigCard, s, 3);
    EXPECT_EQ(s.duration, 0.0f);
    s.duration = 0.07f;
    EXPECT_EQ(sliderLabel(bigCard, sliderPosition(bigCard, s)), "7s");
}

TEST(SettingsPage, TheThemeListShowsEveryThemeAndAnUnknownOneAsTheFirst) {
    const std::vector<std::string> names = themeChoiceNames();
    ASSERT_EQ(names.size(), kThemeCount);
    EXPECT_EQ(names[1], "Wedding");
    WallSettings s;
    for (int i = 0; i < static_cast<int>(kThemeCount); ++i) {
        setThemeChoice(s, i);
        EXPECT_EQ(themeChoice(s), i);
        EXPECT_EQ(s.theme, kThemeNames[i]);
    }
    s.theme = "disco";
    EXPECT_EQ(themeChoice(s), 0);
    setThemeChoice(s, 99);
    EXPECT_EQ(s.theme, kThemeNames.back());
}

TEST(SettingsPage, EditBoxesAreBoundedOnACharacterAndTakenAsLayoutIniTakesThem) {
    const SettingsRow& tip = settingsRows()[settingsRowOf("tip_link")];
    const SettingsRow& site = settingsRows()[settingsRowOf("brand_url")];
    WallSettings s;
    // 510 ASCII bytes and a two-byte character: the character does not fit whole and goes.
    setEditValue(tip, s, std::string(510, 'a') + "\xC3\xA9" + "tail");
    EXPECT_EQ(s.tipLink, std::string(510, 'a'));
    setEditValue(tip, s, "line\r\nenable=0");
    EXPECT_EQ(iniLines(s).at("enable"), "1") << "a value broke its line";
    setEditValue(site, s, "  venue.example\\bar ");
    EXPECT_EQ(s.brandUrl, "https://venue.example/bar");
}

TEST(SettingsPage, AChosenBlackStaysBlackAndIsNeverTheDefault) {
    const SettingsRow& photo = settingsRows()[settingsRowOf("color_photo")];
    WallSettings s;
    setColourValue(photo, s, 0x000000);
    EXPECT_NE(s.colorPhoto, 0u);
    EXPECT_EQ(colourValue(photo, s), 0u);
    WallSettings reread;
    applySettingsLine(reread, ("color_photo=" + iniLines(s).at("color_photo")).c_str());
    EXPECT_EQ(reread.colorPhoto, s.colorPhoto);
}

TEST(SettingsPage, WhatTheServerChangedShowsAndAnUnrelatedClickKeepsIt) {
    WallSettings shown;
    WallSettings now = shown;
    now.theme = "lounge";  // the DJ chose it on the browser's moderator page
    EXPECT_TRUE(settingsShowDifferently(shown, now));
    EXPECT_FALSE(settingsShowDifferently(now, now));
    // A click on "QR card" afterwards writes only its own switch.
    setCheckValue(settingsRows()[settingsRowOf("show_qr")], now, false);
    EXPECT_EQ(nlohmann::json::parse(settingsPushRequest(now, "").body).at("theme"), "lounge");
}

TEST(SettingsPage, TheLookListIsRebuiltOnlyWhenTheLooksChange) {
    const ModerationDocument doc = readModerationDocument(
        R"({"guestLookActive":"b","guestLooks":[{"id":"a","name":"Neon"},{"id":"","name":"lost"},{"id":"b","name":""}]})");
    const std::vector<GuestLook> looks = guestLooksOf(doc.guestLooks);
    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[1].name, "b");
    const LookListPlan first = planLookList({}, looks, doc.guestLookActive);
    EXPECT_TRUE(first.rebuild);
    EXPECT_EQ(first.names, (std::vector<std::string>{"Neon", "b"}));
    EXPECT_EQ(first.select, 1);
    const LookListPlan again = planLookList(first.ids, looks, "gone");
    EXPECT_FALSE(again.rebuild);
    EXPECT_EQ(again.select, 0);
    const LookListPlan none = planLookList(first.ids, guestLooksOf({}), "");
    EXPECT_TRUE(none.rebuild);
    EXPECT_EQ(none.names, std::vector<std::string>{"Lumvo Theme"});
    EXPECT_EQ(applyLookRequest("a\"b").body, R"({"apply":"a\"b"})");
}

TEST(SettingsPage, TheAlbumIsSaidClearedOnlyWhenTheServerSaysHowManyItDeleted) {
    EXPECT_EQ(clearAlbumStatus(true, R"({"ok":true,"deleted":3})"), "Guest album cleared (3 files deleted)");
    EXPECT_EQ(clearAlbumStatus(true, R"({"ok":true,"deleted":1})"), "Guest album cleared (1 file deleted)");
    for (const auto& [ok, reply] : std::vector<std::pair<bool, std::string>>{
             {false, ""}, {false, R"({"ok":true,"deleted":3})"}, {true, R"({"ok":true})"}, {true, "<html>"}}) {
        EXPECT_EQ(clearAlbumStatus(ok, reply), "Could not clear the album.") << reply;
    }
}

}  // namespace
}  // namespace lumvo
