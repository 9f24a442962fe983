// layout.ini through the real files: the round trip, where it is read from and written to, the
// defaults that follow the read, a write that fails, and the push to the wall server.
#include <gtest/gtest.h>

#include <windows.h>

#include "plugin/win/data_folders.h"
#include "plugin/win/settings_store.h"
#include "plugin/win/wide_text.h"
#include "test_http_server.h"
#include "test_support.h"

namespace {

using namespace lumvo;
using test::TempFolder;

WallSettings unusualSettings() {
    WallSettings s;
    s.enable = 0;
    s.showQr = 0;
    s.autoApprove = 1;
    s.edit = 1;
    s.allowWordFx = 0;
    s.allowHotFx = 0;
    s.hotNeed = 17;
    s.hotWindow = 95;
    s.tipLink = "https://pay.example/dj?amount=5%25";
    s.tipLink3 = "venmo: @dj \"night\"";
    s.brandUrl = "https://club.example/events";
    s.theme = "lounge";
    s.duration = 20.0f / 57.0f;  // 23 s
    s.opacity = 0.55f;
    s.chat = {0.60f, 0.10f, 0.30f, 0.70f};
    s.qr = {0.05f, 0.50f, 0.20f, 0.30f};
    s.hero = {0.20f, 0.20f, 0.40f, 0.45f};
    s.colorShoutout = 0xFF102030;
    s.colorVenue = 0xFFFFFFFF;
    s.mediaDir = "D:\\Photos\\Night \xC3\xA9t\xC3\xA9";
    return s;
}

TEST(SettingsStore, WhatIsSavedIsReadBackWholeFromTheDataFolder) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    const WallSettings saved = unusualSettings();
    ASSERT_TRUE(saveSettings(saved));
    const std::string file = data / "LUMVO\\video-wall\\layout.ini";
    EXPECT_EQ(settingsFilePath(), file);
    const std::string text = test::readBytes(file);
    EXPECT_NE(text.find("theme=lounge\r\nduration="), std::string::npos) << "text mode writes CR LF";
    EXPECT_FALSE(test::fileExists(file + ".new"));

    WallSettings loaded;
    loadSettings(loaded);
    EXPECT_EQ(formatSettingsFile(loaded), formatSettingsFile(saved));
    EXPECT_EQ(loaded.tipLink, saved.tipLink);
    EXPECT_EQ(loaded.mediaDir, saved.mediaDir);
    EXPECT_EQ(highlightSeconds(loaded), 23);
}

TEST(SettingsStore, WithoutAFileTheDefaultsStayAndTheMediaFolderIsMade) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    WallSettings loaded;
    loadSettings(loaded);
    EXPECT_TRUE(test::folderExists(data / "LUMVO\\video-wall\\uploads")) << "loading makes the data folders";
    EXPECT_EQ(loaded.theme, "club");
    EXPECT_EQ(loaded.hotNeed, 8);
    EXPECT_EQ(loaded.mediaDir, defaultMediaFolder());
    EXPECT_NE(GetFileAttributesW(utf8ToWide(loaded.mediaDir).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SettingsStore, WithoutLocalAppDataTheFileLivesBelowTheCurrentFolder) {
    TempFolder cwd;
    test::ScopedCurrentFolder inside(cwd.path());
    test::ScopedEnvironment unset("LOCALAPPDATA", nullptr);
    WallSettings saved;
    saved.theme = "event";
    ASSERT_TRUE(saveSettings(saved));
    EXPECT_TRUE(test::fileExists(cwd / "LUMVO\\video-wall\\layout.ini"));
    WallSettings loaded;
    loadSettings(loaded);
    EXPECT_EQ(loaded.theme, "event");
}

TEST(SettingsStore, AWriteThatFailsLeavesThePreviousFileAsItWas) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    WallSettings first;
    first.theme = "wedding";
    ASSERT_TRUE(saveSettings(first));
    const std::string before = test::readBytes(settingsFilePath());

    // The side file cannot be made (a folder has its name): nothing is written, nothing is lost.
    ASSERT_TRUE(CreateDirectoryA((settingsFilePath() + ".new").c_str(), nullptr));
    WallSettings second;
    second.theme = "garden";
    EXPECT_FALSE(saveSettings(second));
    EXPECT_EQ(test::readBytes(settingsFilePath()), before);
    WallSettings loaded;
    loadSettings(loaded);
    EXPECT_EQ(loaded.theme, "wedding");
}

TEST(SettingsStore, ThePushSendsTheSettingsObjectWithTipLinksUnchanged) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    int status = 200;
    test::TestHttpServer server([&](const test::HttpRequestRecord&) {
        return test::TestHttpServer::response(status, status == 200 ? "OK" : "Unavailable", "{\"ok\":true}");
    });
    ASSERT_TRUE(server.listening());

    const WallSettings s = unusualSettings();
    EXPECT_TRUE(pushSettingsTo(s, server.port()));
    status = 503;
    EXPECT_FALSE(pushSettingsTo(s, server.port()));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/api/settings");
    EXPECT_EQ(requests[0].header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(requests[0].body, settingsPushBody(s, s.mediaDir));
    EXPECT_NE(requests[0].body.find("amount=5%25\""), std::string::npos) << requests[0].body;
    EXPECT_EQ(requests[0].body.find("%%"), std::string::npos) << "percent signs arrive single";

    // An empty media folder setting announces the default media folder.
    WallSettings noMedia = s;
    noMedia.mediaDir.clear();
    status = 200;
    EXPECT_TRUE(pushSettingsTo(noMedia, server.port()));
    EXPECT_EQ(server.requests().back().body, settingsPushBody(noMedia, defaultMediaFolder()));
}

}  // namespace
