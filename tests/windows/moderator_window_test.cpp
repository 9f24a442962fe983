// The moderator window under Wine, in the plug-in, against the repo's wall server run by the real
// node.exe: opened from the "Open moderator" parameter, driven only through its controls (button
// clicks, rows selected in the list views, timer ticks, the close box), with guests posting
// through the guest endpoints. Pictures of every tab go to test-output/moderator/. (What the window
// shows for a moderation document, and which buttons send what, is tested natively.)
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "moderator_support.h"
#include "plugin/win/video_wall_plugin.h"
#include "process_resources.h"
#include "serverlink/win/server_process.h"

namespace {

using namespace lumvo::test;
using lumvo::ModeratorWindow;
using lumvo::PostAction;
using lumvo::PostList;
using lumvo::VideoWallPlugin;
namespace ids = lumvo::moderator_ids;

// The id the guest endpoint gave the post.
std::string guestPost(const std::string& kind, const std::string& name, const std::string& text) {
    return lumvo::jsonGetString(
        newPhonePost("/api/guest/" + kind, "{\"name\":\"" + name + "\",\"text\":\"" + text + "\"}"), "id");
}

HWND listOf(const ModeratorWindow& window, PostList list) {
    return window.control(ids::kList + lumvo::listIndex(list));
}

// Setup mode: with node.exe missing the tabs that need the server are hidden and a forced switch
// lands on the setup page; the toast goes to the host window's corner. Once node.exe is back the
// next tick leaves setup mode and starts the repo's wall server, and the DJ works the posts guests
// send; release leaves no window, icon or class behind.
TEST(ModeratorWindow, FromSetupModeToGuestPostsTheDjsClicksReachTheWallServerAndReleaseLeavesNothingBehind) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    stageRealWall(data);
    const std::string node = lumvo::findNode();
    ASSERT_FALSE(node.empty()) << "the windows layer stages node.exe";
    ASSERT_TRUE(MoveFileA(node.c_str(), (node + ".hidden").c_str()));
    struct PutBack {
        std::string path;
        ~PutBack() { MoveFileA((path + ".hidden").c_str(), path.c_str()); }
    } putBack{node};
    ASSERT_TRUE(lumvo::findNode().empty());

    // A host window of 1280 by 720 for the toast.
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 100, 50, 1280, 720, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    FakeHost fakeHost;
    fakeHost.windowNumber = static_cast<double>(reinterpret_cast<std::uintptr_t>(host));
    void* object = nullptr;
    ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
    auto* plugin = static_cast<VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
    plugin->hostCallbacks = &fakeHost;
    ASSERT_EQ(plugin->load(), 0);
    ASSERT_EQ(plugin->parameterChanged(lumvo::kOpenModeratorParameterId), 0);
    ModeratorWindow& window = plugin->moderator();
    const HWND main = window.handle();
    ASSERT_NE(main, nullptr);

    EXPECT_TRUE(window.setupMode());
    for (int tab = 0; tab < 6; ++tab) EXPECT_FALSE(IsWindowVisible(window.control(ids::kTab + tab))) << tab;
    EXPECT_TRUE(IsWindowVisible(window.control(ids::kTab + 6)));
    EXPECT_TRUE(IsWindowVisible(window.control(ids::kTab + 7)));
    EXPECT_FALSE(IsWindowVisible(window.control(ids::kPinLine)));
    EXPECT_EQ(window.selectedTab(), 7) << "setup opens the Info tab's Update page";
    window.showTab(0);  // forced: with the wall files present it lands on the setup page
    EXPECT_EQ(window.selectedTab(), 6);
    EXPECT_TRUE(IsWindowVisible(window.control(ids::kSettingsPage + lumvo::kSetupSettingsPage)));
    EXPECT_FALSE(IsWindowVisible(window.control(ids::kSettingsPage)));
    EXPECT_FALSE(IsWindowVisible(window.control(ids::kShowNext)));
    makeFolders(repoPath("test-output\\moderator"));
    EXPECT_TRUE(saveWindowPicture(main, repoPath("test-output\\moderator\\setup-mode.png")));

    // A forced ping shows the toast at the bottom right of the host's 1280 by 720 client area:
    // 220 by 72, 9 pixels in; a second ping reuses it.
    window.ping("", "You have a new shout out to approve", true);
    const HWND toast = window.toastWindow();
    ASSERT_NE(toast, nullptr);
    RECT r{};
    GetWindowRect(toast, &r);
    RECT client{};
    GetClientRect(host, &client);
    POINT corner{client.right, client.bottom};
    ClientToScreen(host, &corner);
    EXPECT_EQ(r.right - r.left, 220);
    EXPECT_EQ(r.bottom - r.top, 72);
    EXPECT_EQ(corner.x - r.right, 9);
    EXPECT_EQ(corner.y - r.bottom, 9);
    EXPECT_TRUE(window.trayIconAdded());
    window.ping("REQUEST", std::string(400, 'x'), true);
    EXPECT_EQ(window.toastWindow(), toast);
    EXPECT_EQ(textOf(toast), "REQUEST");
    EXPECT_TRUE(saveWindowPicture(toast, repoPath("test-output\\moderator\\toast.png")));

    // node.exe is back: the next tick leaves setup mode, opens Messages and starts the server.
    MoveFileA((node + ".hidden").c_str(), node.c_str());
    tick(window);
    EXPECT_FALSE(window.setupMode());
    EXPECT_EQ(window.selectedTab(), 0);
    EXPECT_TRUE(IsWindowVisible(window.control(ids::kTab)));
    EXPECT_NE(plugin->server().serverPid(), 0u);
    ASSERT_GE(waitForWallServer(), 0) << "the wall server never answered";

    tick(window);  // the first reply: whatever waits, no alert

    // A guest's shout-out shows in Messages within two ticks, counted in its tab and the title.
    const std::string ava = guestPost("shoutout", "Ava", "Happy birthday Jo!");
    ASSERT_FALSE(ava.empty());
    const HWND messages = listOf(window, PostList::messages);
    int ticks = 0;
    for (; ticks < 2 && rowCount(messages) != 1; ++ticks) tick(window);
    ASSERT_EQ(rowCount(messages), 1) << "the post did not arrive within two timer ticks";
    std::printf("measured: moderator window: a guest post showed in Messages after %d timer tick(s)\n", ticks);
    EXPECT_EQ(rowText(messages, 0), "Ava");
    EXPECT_EQ(textOf(window.control(ids::kTab)), "Messages (1)");
    EXPECT_NE(textOf(main).find("1 waiting"), std::string::npos) << textOf(main);

    // Selecting the row shows the whole message; "Approve & show" puts it on the big card.
    selectListRow(messages, 0);
    EXPECT_EQ(textOf(window.control(ids::kDetail)), "Happy birthday Jo!");
    click(window, actionButton(window, PostList::messages, PostAction::show));
    EXPECT_EQ(lumvo::jsonGetString(wallGet("/api/display"), "featuredId"), ava);
    // The action polled at once: no tick between the click and the lists.
    EXPECT_EQ(rowCount(messages), 0);
    EXPECT_EQ(rowCount(listOf(window, PostList::live)), 1);

    // Guests keep sending; a click with no row selected does nothing at all.
    const std::string finn = guestPost("shoutout", "Finn", "Play something fast");
    ASSERT_FALSE(finn.empty());
    ASSERT_FALSE(guestPost("shoutout", "Dex", "rude words").empty());
    ASSERT_FALSE(guestPost("shoutout", "Eve", "Hello from table 4").empty());
    ASSERT_FALSE(guestPost("request", "Ben", "Mr Brightside - The Killers").empty());
    tick(window);
    EXPECT_EQ(rowCount(messages), 3);
    EXPECT_EQ(rowCount(listOf(window, PostList::requests)), 1);
    click(window, actionButton(window, PostList::messages, PostAction::reject));  // nothing selected
    EXPECT_EQ(rowCount(messages), 3);

    // Reject through the Messages page.
    selectListRow(messages, findRow(messages, "Dex"));
    click(window, actionButton(window, PostList::messages, PostAction::reject));
    EXPECT_EQ(findRow(messages, "Dex"), -1);
    EXPECT_EQ(rowText(listOf(window, PostList::rejected), 0), "Dex");

    // Block on the Live page asks first, with "No" as the default. While the box is up the timer
    // goes on and another post goes live, so the lists are replaced under the box: the guest
    // blocked is still the one whose row was selected when the DJ clicked.
    click(window.control(ids::kTab + 4));
    const HWND live = listOf(window, PostList::live);
    selectListRow(live, findRow(live, "Ava"));
    int defaultButton = 0;  // stays 0 without a box
    std::thread dj([&] {    // answers the box as the DJ would, from another thread
        HWND box = nullptr;
        for (int i = 0; i < 500 && !(box = FindWindowW(L"#32770", L"Block guest?")); ++i) Sleep(20);
        if (!box) return;
        // The default button: the one drawn as default (Windows), or the one with the keyboard
        // focus (Wine's box marks it only so). The box exists before it takes the focus, so
        // look again until one of its buttons has it.
        for (int i = 0; i < 100 && !defaultButton; ++i) {
            for (int id : {IDYES, IDNO}) {
                if ((GetWindowLongPtrW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                    defaultButton = id;
            }
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            if (!defaultButton && GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gui) &&
                GetParent(gui.hwndFocus) == box) {
                const int focused = GetDlgCtrlID(gui.hwndFocus);
                if (focused == IDYES || focused == IDNO) defaultButton = focused;
            }
            if (!defaultButton) Sleep(20);
        }
        wallPost("/api/show", "{\"id\":\"" + finn + "\"}");
        PostMessageW(main, WM_TIMER, lumvo::kPollTimer, 0);
        Sleep(1500);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    });
    click(window, actionButton(window, PostList::live, PostAction::block));
    dj.join();
    EXPECT_EQ(defaultButton, IDNO) << "no confirmation box, or not with No as its default";
    const auto& blocked = window.model().list(PostList::blocked);
    ASSERT_EQ(blocked.size(), 1u);
    EXPECT_EQ(blocked[0].name, "Ava");
    // A poll that timed out on a loaded machine leaves the lists as they were; the next tick mends that.
    for (int i = 0; i < 3 && findRow(live, "Finn") < 0; ++i) tick(window);
    EXPECT_NE(findRow(live, "Finn"), -1) << "the post that went live under the box was blocked instead";

    // Unblock from the Settings tab's Blocked page.
    click(window.control(ids::kTab + 6));
    click(window.control(ids::kSettingsPage + 5));
    const HWND blockedList = listOf(window, PostList::blocked);
    ASSERT_EQ(rowCount(blockedList), 1);
    selectListRow(blockedList, 0);
    click(window, actionButton(window, PostList::blocked, PostAction::unblock));
    EXPECT_EQ(rowCount(blockedList), 0);
    EXPECT_EQ(wallGet("/api/state").find("\"blocked\":[]") != std::string::npos, true);

    // X hides the window; "Open moderator" shows the same one with its selection.
    click(window.control(ids::kTab));
    const int eve = findRow(messages, "Eve");
    selectListRow(messages, eve);
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(main));
    EXPECT_FALSE(IsWindowVisible(main));
    SendMessageW(main, lumvo::kTrayMessage, 1, WM_LBUTTONUP);  // a click on the tray icon opens it too
    EXPECT_TRUE(IsWindowVisible(main));
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(main));
    ASSERT_EQ(plugin->parameterChanged(lumvo::kOpenModeratorParameterId), 0);
    EXPECT_EQ(window.handle(), main);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(selectedRow(messages), eve);
    EXPECT_EQ(textOf(window.control(ids::kDetail)), "Hello from table 4");

    // Song searches reach the host: "Search" on a request, and one the server asks for (the
    // browser moderator page's), which the window then clears on the server.
    click(window.control(ids::kTab + 1));
    const HWND requests = listOf(window, PostList::requests);
    selectListRow(requests, findRow(requests, "Ben"));
    fakeHost.scripts.clear();
    click(window, actionButton(window, PostList::requests, PostAction::search));
    ASSERT_EQ(fakeHost.scripts.size(), 1u);
    EXPECT_NE(fakeHost.scripts[0].find("Mr Brightside"), std::string::npos) << fakeHost.scripts[0];
    wallPost("/api/vdj-search", "{\"text\":\"Dancing Queen ABBA\"}");
    tick(window);
    ASSERT_EQ(fakeHost.scripts.size(), 2u);
    EXPECT_NE(fakeHost.scripts[1].find("Dancing Queen ABBA"), std::string::npos) << fakeHost.scripts[1];
    EXPECT_EQ(lumvo::jsonGetString(wallGet("/api/state"), "vdjSearch"), "");
    click(window.control(ids::kTab));

    // Polls and paints make no GDI objects: changed replies (the list grows past its height, so the
    // scroll bar comes in the warm-up), each followed by a repaint of everything, then a toast.
    long gdiBefore = 0;
    constexpr int kWarmUp = 12, kRounds = 8;
    for (int i = 0; i < kWarmUp + kRounds; ++i) {
        if (i == kWarmUp) gdiBefore = standin::sampleProcessResources().gdiObjects;
        guestPost("shoutout", "Gus", "round " + std::to_string(i));
        tick(window);
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    const long gdiAfter = standin::sampleProcessResources().gdiObjects;
    ASSERT_GT(gdiBefore, 0);
    EXPECT_LE(gdiAfter - gdiBefore, 1) << "GDI objects grew from " << gdiBefore << " to " << gdiAfter;
    std::printf("measured: moderator window: GDI objects %ld before and %ld after %d changed polls and repaints\n",
                gdiBefore, gdiAfter, kRounds);

    // A picture of every tab with posts in the lists.
    const std::string folder = repoPath("test-output\\moderator");
    makeFolders(folder);
    const char* names[] = {"messages", "requests", "tips", "rejected", "live", "vote", "settings", "info"};
    for (int tab = 0; tab < lumvo::kMainTabCount; ++tab) {
        click(window, window.control(ids::kTab + tab));
        if (tab < 5) {
            const HWND list = listOf(window, static_cast<PostList>(tab));
            if (rowCount(list) > 0 && selectedRow(list) < 0) selectListRow(list, 0);
        }
        if (tab == static_cast<int>(lumvo::MainTab::info)) {
            // The Start page: the help text the wall server serves (or the info folder holds).
            const std::string start = readBytes(repoPath("wall/web/info/start.txt"));
            const std::string shown = textOf(window.control(ids::kInfoView));
            EXPECT_TRUE(shown.starts_with(start.substr(0, start.find('\n')))) << shown.substr(0, 200);
        }
        const std::string path = folder + "\\tab-" + std::to_string(tab) + "-" + names[tab] + ".png";
        EXPECT_TRUE(saveWindowPicture(main, path)) << path;
    }

    // Release closes it all: a DLL loaded again registers its classes anew.
    const HMODULE module = window.module();
    plugin->release();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(toast));
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    for (const wchar_t* name : {L"LUMVOModeratorWnd", L"LUMVOModeratorPage", L"LUMVOInfoView", L"LUMVOPingToast"}) {
        EXPECT_FALSE(GetClassInfoExW(module, name, &info)) << lumvo::wideToUtf8(name) << " is still registered";
    }
    DestroyWindow(host);
}

}  // namespace
