// The stand-in host with the rolling feed in edit mode: a drag made of real window messages to the
// host's window moves the chat box, live and into layout.ini, and the feed's hot posts burn. Frames
// kept: test-output/windows/edit-mode-frame.png and test-output/windows/flames/.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "settings/settings_file.h"
#include "base/json.h"
#include "standin_support.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;

// The stand-in host's window in process `pid`; null when it has none within 30 s.
HWND standinWindow(DWORD pid) {
    for (int i = 0; i < 300; ++i, Sleep(100)) {
        for (HWND w = FindWindowExA(nullptr, nullptr, "LUMVOStandinHost", nullptr); w;
             w = FindWindowExA(nullptr, w, "LUMVOStandinHost", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == pid) return w;
        }
    }
    return nullptr;
}

// Hands a mouse message to the window and waits until its procedure has handled it.
bool sendMouse(HWND window, UINT message, WPARAM keys, int x, int y) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, keys, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

TEST(StandinHostEditing, AWindowMessageDragMovesTheChatBoxIntoLayoutIniAndHotPostsBurn) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data, out;
    stageFixtureWall(data, "feed-server.js");  // a new post a second, every eighth one hot
    writeBytes(wallFolderUnder(data) + "\\layout.ini", "edit=1\n");
    RECT client{};
    bool delivered = false;
    const RunResult run = runStandinHost(
        "--hidden --fps 10 --frames 100 --png-every 10 --print-state" + testVariantDll() + "--data \"" + data.path() +
            "\" --out \"" + out.path() + "\"",
        out, 120000, [&](const PROCESS_INFORMATION& process) {
            HWND window = standinWindow(process.dwProcessId);
            if (!window) return;
            GetClientRect(window, &client);
            Sleep(3000);  // frames drawn: the plug-in knows the frame size
            // Grab the chat box (client 672..940 x 43..497 of 960 x 540) and drag it in steps.
            delivered = sendMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, 700, 270);
            for (int step = 1; step <= 6 && delivered; ++step, Sleep(100))
                delivered = sendMouse(window, WM_MOUSEMOVE, MK_LBUTTON, 700 - 50 * step, 270 - 20 * step / 6);
            delivered = delivered && sendMouse(window, WM_LBUTTONUP, 0, 400, 250);
        });
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    ASSERT_TRUE(delivered) << "the host's window was not found or did not take the messages";
    ASSERT_TRUE(client.right == 960 && client.bottom == 540);

    // Pressed at frame pixel (1400, 540), let go at (800, 500): the box keeps the grab offset.
    lumvo::WallSettings saved;
    std::FILE* file = std::fopen((wallFolderUnder(data) + "\\layout.ini").c_str(), "r");
    ASSERT_NE(file, nullptr);
    lumvo::readSettings(file, saved);
    std::fclose(file);
    EXPECT_NEAR(saved.chat.x, 800.0f / 1920 - (1400.0f / 1920 - 0.70f), 1e-3);
    EXPECT_NEAR(saved.chat.y, 500.0f / 1080 - (540.0f / 1080 - 0.08f), 1e-3);
    EXPECT_NEAR(saved.chat.w, 0.28f, 1e-4);
    EXPECT_EQ(saved.edit, 1);

    // Flames: painted in the frames of the flame cycle, at most once a frame (only the feed burns).
    const std::string state = outputLine(run.output, "mirrored state: ");
    const double flames = lumvo::jsonGetNumber(state.substr(state.find("\"repaints\"")), "flames", -1);
    EXPECT_GE(flames, 10) << "no flames (the fire sprite failed its check?): " << state;
    EXPECT_LE(flames, 100) << state;

    removeTree(repoPath("test-output\\windows\\flames"));
    makeFolders(repoPath("test-output\\windows\\flames"));
    for (int frame = 10; frame <= 100; frame += 10) {
        char name[24];
        std::snprintf(name, sizeof name, "frame-%05d.png", frame);
        CopyFileA((out / name).c_str(), repoPath(std::string("test-output\\windows\\flames\\") + name).c_str(), FALSE);
    }
    // After the drag: the feed at its new place, with the edit outlines and handles.
    CopyFileA((out / "frame-00100.png").c_str(), repoPath("test-output\\windows\\edit-mode-frame.png").c_str(), FALSE);
}

}  // namespace
