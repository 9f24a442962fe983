// Layout editing by mouse in the stand-in host: a drag made of real window messages to the host's
// window moves the chat box, live and into layout.ini. The frame after it is kept in
// test-output/windows/.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "plugin/settings.h"
#include "serverlink/json.h"
#include "standin_support.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;

// The stand-in host's window in `process`; null when it has none within 30 s.
HWND standinWindow(const PROCESS_INFORMATION& process) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{process.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !search.found; ++i) {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                char name[64] = {};
                GetClassNameA(window, name, sizeof name);
                if (pid != s->pid || std::string(name) != "LUMVOStandinHost") return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(100);
    }
    return search.found;
}

// Delivers a mouse message to the window and waits until its procedure has handled it.
bool sendMouse(HWND window, UINT message, WPARAM keys, int x, int y) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, keys, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

void keepFrame(const TempFolder& out, const std::string& frame, const std::string& name) {
    makeFolders(repoPath("test-output\\windows"));
    CopyFileA((out / frame).c_str(), repoPath("test-output\\windows\\" + name).c_str(), FALSE);
}

TEST(LayoutEditByMouse, ADragOfWindowMessagesMovesTheChatBoxAndLayoutIniKeepsIt) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data, out;
    stageFixtureWall(data, "feed-server.js");
    writeBytes(wallFolderUnder(data) + "\\layout.ini", "edit=1\n");

    RECT client{};
    bool delivered = false;
    const RunResult run = runStandinHost(
        "--hidden --fps 10 --seconds 9 --png-frames 85 --print-state --data \"" + data.path() + "\" --out \"" +
            out.path() + "\"",
        out, 120000, [&](const PROCESS_INFORMATION& process) {
            HWND window = standinWindow(process);
            if (!window) return;
            GetClientRect(window, &client);
            Sleep(3000);  // frames drawn: the plug-in knows the frame size
            // Grab the chat box (client 672..940 x 43..497 of a 960 x 540 client area) and drag it
            // left and up in steps, as a hand would.
            delivered = sendMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, 700, 270);
            for (int step = 1; step <= 6 && delivered; ++step) {
                delivered = sendMouse(window, WM_MOUSEMOVE, MK_LBUTTON, 700 - 50 * step, 270 - 20 * step / 6);
                Sleep(100);
            }
            delivered = delivered && sendMouse(window, WM_LBUTTONUP, 0, 400, 250);
        });
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    ASSERT_TRUE(delivered) << "the host's window was not found or did not take the messages";
    ASSERT_EQ(client.right, 960);
    ASSERT_EQ(client.bottom, 540);

    // Pressed at frame (1400, 540): 0.0292 right of the box's left edge, 0.42 below its top; let go
    // at frame (800, 500).
    lumvo::WallSettings saved;
    std::FILE* file = std::fopen((wallFolderUnder(data) + "\\layout.ini").c_str(), "r");
    ASSERT_NE(file, nullptr);
    lumvo::readSettings(file, saved);
    std::fclose(file);
    EXPECT_NEAR(saved.chat.x, 800.0f / 1920 - (1400.0f / 1920 - 0.70f), 1e-3);
    EXPECT_NEAR(saved.chat.y, 500.0f / 1080 - (540.0f / 1080 - 0.08f), 1e-3);
    EXPECT_NEAR(saved.chat.w, 0.28f, 1e-4);
    EXPECT_NEAR(saved.chat.h, 0.84f, 1e-4);
    EXPECT_EQ(saved.edit, 1);

    // The frame after the drag: the feed drawn at its new place, with the edit outlines and handles.
    keepFrame(out, "frame-00085.png", "edit-mode-frame.png");
    const std::string state = outputLine(run.output, "mirrored state: ");
    EXPECT_GE(lumvo::jsonGetNumber(state.substr(state.find("\"repaints\"")), "chat", -1), 2) << state;
}

}  // namespace
