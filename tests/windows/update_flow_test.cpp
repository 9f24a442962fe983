// The updates as a DJ meets them, against the HTTPS update site of the test (update_support.h):
// the first run from a bare DLL to a running wall through the moderator window alone, a newer
// plug-in staged with its waiter, a package or archive that fails its check, and the host quitting
// while a download runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/version.h"
#include "moderator_support.h"
#include "update_support.h"
#include "updates/install_steps.h"
#include "updates/win/update_jobs.h"

namespace {

using namespace lumvo::test;
using lumvo::utf8ToWide;
using lumvo::wideToUtf8;
namespace ids = lumvo::moderator_ids;

constexpr int kMiB = 1024 * 1024;

std::string pictureOf(const std::string& name) {
    makeFolders(repoPath("test-output\\moderator"));  // a clean clone has none
    return repoPath("test-output/moderator/" + name + ".png");
}

// A whole file by its UTF-16 path (the ANSI calls cannot name every folder).
std::string readWide(const std::wstring& path) {
    std::string bytes;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
        std::fclose(file);
    }
    return bytes;
}

std::string testVariantPath() { return programFolder() + "\\test-variant\\LUMVO Video Wall.dll"; }

// The Update page's control `id`, and its text.
std::string updateText(HWND main, int id) { return textOf(controlById(main, id)); }
bool enabled(HWND main, int id) { return IsWindowEnabled(controlById(main, id)) != FALSE; }
bool visible(HWND main, int id) { return IsWindowVisible(controlById(main, id)) != FALSE; }

// What the window's thread did while an update ran: the longest time one message took to handle,
// and the longest gap between two progress messages.
struct Watch {
    double longestHandlerMs = 0;
    UINT longestMessage = 0;  // which message that was
    double longestProgressGapMs = 0;
    int progressMessages = 0;
    int lastPercent = -1;
    LARGE_INTEGER lastProgress{};  // zero: no progress message watched just before
};

// Runs the thread's messages until `done` (at most `ms`), timing each and the progress messages.
template <class Done>
bool watchUntil(HWND main, Watch& watch, Done done, int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (!done() && GetTickCount64() < end) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        LARGE_INTEGER before;
        QueryPerformanceCounter(&before);
        if (msg.hwnd == main && msg.message == lumvo::kUpdateProgressMessage) {
            // The download's share is 0..80; the gaps that matter are between its reports.
            if (watch.lastProgress.QuadPart != 0 && static_cast<int>(msg.wParam) <= 80) {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                LARGE_INTEGER frequency;
                QueryPerformanceFrequency(&frequency);
                const double gap = 1000.0 * static_cast<double>(now.QuadPart - watch.lastProgress.QuadPart) /
                                   static_cast<double>(frequency.QuadPart);
                watch.longestProgressGapMs = std::max(watch.longestProgressGapMs, gap);
            }
            watch.lastProgress = before;
            ++watch.progressMessages;
            watch.lastPercent = static_cast<int>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        const double handled = msSince(before);
        if (handled > watch.longestHandlerMs) {
            watch.longestHandlerMs = handled;
            watch.longestMessage = msg.message;
        }
    }
    return done();
}

TEST(FirstRun, TheDjGetsFromABareDllToARunningWallThroughTheWindow) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    const std::string node = lumvo::findNode();
    ASSERT_FALSE(node.empty()) << "the windows layer stages node.exe";
    TempFolder data;
    SignedSite site(data / "site", node, {.withNode = true, .fillerBytes = 20 * kMiB});
    ASSERT_TRUE(site.ready()) << site.why();
    FreshProfile profile(data / "profile");
    ASSERT_TRUE(lumvo::findNode().empty()) << "a Node.js is still visible to the plug-in";
    const std::string wall = data / "profile\\LUMVO\\video-wall";
    makeFolders(wall);
    writeBytes(wall + "\\layout.ini", "; the DJ's own\n");

    PluginCopy plugin(testVariantPath(), utf8ToWide(data / "plugin"));
    ASSERT_TRUE(plugin.loaded());
    const HWND main = plugin.openModerator();
    ASSERT_NE(main, nullptr);

    // Nothing installed: the window opens on the Update page in setup mode.
    EXPECT_EQ(updateText(main, ids::kUpdateStatus), "Install Node first");
    EXPECT_EQ(updateText(main, ids::kUpdateLatest), "Install Node first");
    EXPECT_FALSE(enabled(main, ids::kUpdateButton));
    EXPECT_EQ(updateText(main, ids::kUpdateInstallNode), "Install Node");
    EXPECT_TRUE(enabled(main, ids::kUpdateInstallNode));
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-1-nothing-installed")));

    click(controlById(main, ids::kUpdateInstallNode));
    EXPECT_EQ(updateText(main, ids::kUpdateInstallNode), "Installing Node...");
    EXPECT_EQ(updateText(main, ids::kUpdateNodeNote), "Downloading Node. Keep VirtualDJ open.");
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-2-installing-node")));
    ASSERT_TRUE(pumpUntil([&] { return updateText(main, ids::kUpdateInstallNode) == "Node installed"; }, 180000))
        << "the install never ended; the window says: " << updateText(main, ids::kStatusLine);
    EXPECT_TRUE(fileExists(data / "profile\\LUMVO\\runtime\\node\\node.exe"));

    // Node.js in place, no wall files yet.
    EXPECT_EQ(updateText(main, ids::kUpdateStatus), "Click Update");
    EXPECT_EQ(updateText(main, ids::kUpdateLatest), "Click Update");
    EXPECT_TRUE(enabled(main, ids::kUpdateButton));
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-3-click-update")));

    click(controlById(main, ids::kUpdateButton));
    EXPECT_EQ(updateText(main, ids::kUpdateStatus), "Downloading wall files...");
    EXPECT_FALSE(enabled(main, ids::kUpdateButton));
    EXPECT_TRUE(visible(main, ids::kUpdateProgress));
    Watch watch;
    ASSERT_TRUE(watchUntil(
        main, watch, [&] { return watch.lastPercent >= 20; }, 120000));
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-4-downloading")));
    watch.lastProgress = {};  // the picture's own loop handled what came meanwhile
    ASSERT_TRUE(watchUntil(
        main, watch, [&] { return updateText(main, ids::kUpdateStatus) == "Wall files are ready."; }, 180000))
        << "the update never ended; the window says: " << updateText(main, ids::kStatusLine);
    EXPECT_EQ(updateText(main, ids::kUpdatePercent), "100%");

    // The wall files are the package's own, beside the DJ's settings, and the server runs them.
    EXPECT_EQ(readBytes(wall + "\\server\\server.js"), readBytes(repoPath("wall/server/server.js")));
    EXPECT_EQ(readBytes(wall + "\\layout.ini"), "; the DJ's own\n");
    EXPECT_EQ(readBytes(wall + "\\VERSION"), std::string(lumvo::kPluginVersion) + "\n");
    EXPECT_GT(waitForWallServer(), 0) << "/api/display never answered";
    EXPECT_NE(wallGet("/api/display").find('{'), std::string::npos);
    EXPECT_FALSE(lumvo::findNode().empty());

    // Out of setup mode, the Update page asks the site again: nothing newer.
    click(controlById(main, ids::kTab + 7));
    click(controlById(main, ids::kInfoPage + 7));
    EXPECT_TRUE(pumpUntil([&] { return updateText(main, ids::kUpdateStatus) == "Your plugin is up to date."; }, 30000));
    EXPECT_FALSE(visible(main, ids::kUpdateButton));
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-5-up-to-date")));

    std::printf(
        "measured: first run under Wine: Node.js archive and a %d MiB package over local HTTPS; longest "
        "message handler %.1f ms (message 0x%x); %d progress messages, the longest gap between two %.1f ms\n",
        20, watch.longestHandlerMs, watch.longestMessage, watch.progressMessages, watch.longestProgressGapMs);
    // The goal is 50 ms; a busy machine adds a third to it, so the test fails only where a handler
    // waits on something (a download, an unpack, a process start took 150 ms and more).
    EXPECT_LT(watch.longestHandlerMs, 100.0);
    EXPECT_LT(watch.longestProgressGapMs, 250.0);
}

TEST(SelfUpdate, ANewerPluginIsStagedAndItsWaiterGetsItsExactCommandLine) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    const std::string node = lumvo::findNode();
    TempFolder data;
    SignedSite site(data / "site", node, {.scenario = "newer", .dll = pluginDllPath()});
    ASSERT_TRUE(site.ready()) << site.why();
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    stageRealWall(data);
    // A plug-in folder whose name holds an apostrophe and a typographic quote.
    const std::wstring folder = utf8ToWide(data.path()) + L"\\DJ O'Neil\u2019s plug-ins";
    PluginCopy plugin(testVariantPath(), folder);
    ASSERT_TRUE(plugin.loaded());
    const HWND main = plugin.openModerator();
    ASSERT_NE(main, nullptr);

    click(controlById(main, ids::kTab + 7));
    click(controlById(main, ids::kInfoPage + 7));
    ASSERT_TRUE(pumpUntil([&] { return updateText(main, ids::kUpdateStatus) == "Update available"; }, 30000))
        << updateText(main, ids::kUpdateStatus);
    EXPECT_EQ(updateText(main, ids::kUpdateLatest), "99.0.0");
    EXPECT_TRUE(enabled(main, ids::kUpdateButton));
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-6-update-available")));

    click(controlById(main, ids::kUpdateButton));
    ASSERT_TRUE(pumpUntil([&] { return updateText(main, ids::kUpdateStatus) == "Please restart VirtualDJ."; }, 60000))
        << updateText(main, ids::kStatusLine);
    EXPECT_EQ(updateText(main, ids::kStatusLine), "Please restart VirtualDJ.");
    EXPECT_TRUE(saveWindowPicture(main, pictureOf("update-7-restart-needed")));

    const std::string installed = wideToUtf8(folder) + "\\LUMVO Video Wall.dll";
    const std::string staged = wallFolderUnder(data) + "\\update\\LUMVO Video Wall.dll";
    const std::string newPlugin = readBytes(pluginDllPath());
    EXPECT_TRUE(readWide(utf8ToWide(installed)) == newPlugin) << "the new plug-in takes the installed name";
    EXPECT_TRUE(readWide(utf8ToWide(installed + ".old")) == readBytes(testVariantPath()))
        << "the running one moved aside";
    EXPECT_TRUE(readBytes(staged) == newPlugin);

    // The unpack and the waiter, exactly as started; each quote of the folder doubled in its literal.
    std::string quotedInstalled;
    for (std::size_t at = 0; at < installed.size(); ++at) {
        const bool apostrophe = installed[at] == '\'';
        const bool typographic = installed.compare(at, 3, "\xE2\x80\x99") == 0;
        if (apostrophe) quotedInstalled += "''";
        if (typographic) {
            quotedInstalled += "\xE2\x80\x99\xE2\x80\x99";
            at += 2;
        }
        if (!apostrophe && !typographic) quotedInstalled += installed[at];
    }
    const std::string package = wallFolderUnder(data) + "\\update\\pkg.zip";
    // The waiter is not waited for: give it a moment to write its line.
    pumpUntil([&] { return site.programLog().find("-NoProfile") != std::string::npos; }, 10000);
    const std::string log = site.programLog();
    EXPECT_NE(log.find("\"" + standinFolder() + "\\tar.exe" + "\" -xf \"" + package + "\" -C \"" +
                       wallFolderUnder(data) + "\\update\\unpack\""),
              std::string::npos)
        << log;
    const std::string waiter =
        "\"" + standinFolder() + "\\powershell.exe" +
        "\" -NoProfile -WindowStyle Hidden -Command \"for($i=0;$i -lt 1800;$i++){ if(-not (Get-Process -Id " +
        std::to_string(GetCurrentProcessId()) +
        " -ErrorAction SilentlyContinue)){ break }; Start-Sleep 1 }; Start-Sleep 1; for($k=0;$k -lt 20;$k++){ try { "
        "Copy-Item -LiteralPath '" +
        staged + "' -Destination '" + quotedInstalled +
        "' -Force -ErrorAction Stop; break } catch { Start-Sleep 1 } }; Remove-Item -LiteralPath '" + staged +
        "' -Force -ErrorAction SilentlyContinue; Remove-Item -LiteralPath '" + quotedInstalled +
        ".old' -Force -ErrorAction SilentlyContinue\"";
    EXPECT_NE(log.find(waiter), std::string::npos) << "expected:\n" << waiter << "\nlog:\n" << log;
}

TEST(UpdateJobs, WhatFailsItsCheckIsDeletedBeforeAnythingIsUnpacked) {
    const std::string node = lumvo::findNode();
    TempFolder data;
    SignedSite site(data / "site", node, {.scenario = "tampered"});
    ASSERT_TRUE(site.ready()) << site.why();
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());

    const lumvo::InstallOutcome update = lumvo::runWallUpdate(nullptr, 0);
    EXPECT_FALSE(update.ok);
    EXPECT_EQ(update.message, lumvo::kUpdateNotVerified);
    EXPECT_FALSE(fileExists(wallFolderUnder(data) + "\\update\\pkg.zip"));

    // Without a Node.js archive in the verified document, the built-in one must match its pinned
    // SHA-256: here the site's package stands in for an archive someone swapped.
    ScopedEnvironment archive("LUMVO_TEST_NODE_URL", site.url("/pkg.zip").c_str());
    ScopedEnvironment pinned("LUMVO_TEST_NODE_SHA256", std::string(64, '0').c_str());
    FreshProfile profile(data / "profile");
    const lumvo::InstallOutcome install = lumvo::runNodeInstall([] { return false; });
    EXPECT_EQ(install.message, lumvo::kUpdateNotVerified);
    EXPECT_FALSE(fileExists(data / "profile\\LUMVO\\runtime\\node.zip"));
    EXPECT_TRUE(site.programLog().empty()) << "tar ran: " << site.programLog();
}

TEST(UpdateJobs, TheHostQuitsMidDownloadAndTheJobFinishesBeforeTheDllGoes) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    const std::string node = lumvo::findNode();
    TempFolder data;
    SignedSite site(data / "site", node, {.fillerBytes = 3 * kMiB});
    ASSERT_TRUE(site.ready()) << site.why();
    writeBytes(site.file("pkg.zip.slow"), "1000000");  // about three seconds
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    PluginCopy plugin(testVariantPath(), utf8ToWide(data / "plugin"));
    ASSERT_TRUE(plugin.loaded());
    const HWND main = plugin.openModerator();
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(updateText(main, ids::kUpdateStatus), "Click Update");

    click(controlById(main, ids::kUpdateButton));
    Watch watch;
    ASSERT_TRUE(watchUntil(
        main, watch, [&] { return watch.lastPercent >= 5; }, 60000));
    ASSERT_LT(watch.lastPercent, 80) << "the download ended before the host quit";
    plugin.release();
    plugin.unload();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_TRUE(plugin.mapped()) << "the DLL went while its download still ran";

    // The job runs to its end on its own, then lets the DLL go.
    EXPECT_TRUE(pumpUntil([&] { return !plugin.mapped(); }, 60000)) << "the DLL was never let go";
    EXPECT_TRUE(fileExists(wallFolderUnder(data) + "\\server\\server.js")) << "the job did not finish";
}

}  // namespace
