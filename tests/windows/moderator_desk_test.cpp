// The desk and the host's threads: with a wall server that accepts and never answers, no message
// the window handles holds the host's thread (the requests run on the desk's own thread); the host
// may release the plug-in and unload the DLL while a confirmation box is up, and may close the
// window from another thread than its own.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "local_http_server.h"
#include "moderator_support.h"
#include "base/win/win_http_client.h"

namespace {

using namespace lumvo::test;
using lumvo::ModeratorWindow;
using lumvo::PostAction;
using lumvo::PostList;
namespace ids = lumvo::moderator_ids;

// A moderation document with one post live on the wall.
std::string oneLivePost() {
    return "{\"voteActive\":false,\"venuePin\":\"K7Q2M\",\"pending\":[],\"requests\":[],\"tips\":[],\"rejected\":[],"
           "\"feed\":[{\"id\":\"p_1\",\"type\":\"shoutout\",\"name\":\"Ava\",\"text\":\"Hello\",\"photo\":\"\","
           "\"search\":\"\",\"mark\":\"\",\"color\":\"#22d3ee\",\"hot\":false,\"createdAt\":1767225600000,"
           "\"lastAt\":1767225600000,\"count\":1}],\"blocked\":[]}";
}

double msBetween(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The server goes silent under a running desk: for five of the window's own timer ticks, a "Skip"
// and a Block (answered "Yes" from another thread) every message the host's loop dispatches is
// timed. The Block's click holds the box, which is the DJ's time (and, under Wine, a good part of
// a tenth of a second to take down): it is timed from the moment the box was gone and held to what
// no request could take, where before it waited out the POST's 8 s.
TEST(ModeratorDesk, ASilentServerHoldsNoMessageOfTheHostsThreadAndTheStatusLineSaysSo) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    std::atomic<bool> silent{false};
    const std::string body = oneLivePost();
    LocalHttpServer server(
        [&](const Request&) -> std::optional<std::string> {
            if (silent) return std::nullopt;
            return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body;
        },
        LocalHttpServer::After::close, 8787);
    ASSERT_NE(server.port(), 0);

    lumvo::WinHttpClient http;
    lumvo::ModeratorServices services;
    services.http = &http;
    services.wallFilesPresent = [] { return true; };
    services.nodePresent = [] { return true; };
    ModeratorWindow window;
    window.connect(services);
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), nullptr));
    ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
    tick(window);
    const HWND live = window.control(ids::kList + lumvo::listIndex(PostList::live));
    ASSERT_EQ(rowCount(live), 1);
    selectListRow(live, 0);
    const HWND block = actionButton(window, PostList::live, PostAction::block);
    const HWND skip = window.control(ids::kSkip);
    ASSERT_TRUE(IsWindowEnabled(block));
    ASSERT_NE(skip, nullptr);

    silent = true;
    std::atomic<bool> boxGone{false};
    LARGE_INTEGER goneAt{};
    std::thread dj([&] {
        HWND box = nullptr;
        for (int i = 0; i < 1000 && !(box = FindWindowW(L"#32770", L"Block guest?")); ++i) Sleep(10);
        if (box) {
            Sleep(100);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
            while (IsWindow(box)) Sleep(1);
        }
        QueryPerformanceCounter(&goneAt);
        boxGone = true;
    });

    const std::string status = "The wall server did not take that. Try again.";
    bool toldNotAnswering = false;
    double longest = 0, longestTick = 0, skipClick = 0, blockAfterBox = 0;
    int ticks = 0;
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    const HWND main = window.handle();
    for (QueryPerformanceCounter(&now); ticks < 5 && msBetween(start, now) < 20000; QueryPerformanceCounter(&now)) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        QueryPerformanceCounter(&after);
        const double ms = msBetween(before, after);
        toldNotAnswering |= textOf(window.control(ids::kStatusLine)).find("not answering") != std::string::npos;
        const bool command = msg.hwnd == main && msg.message == WM_COMMAND;
        if (command && LOWORD(msg.wParam) == GetDlgCtrlID(block)) {
            blockAfterBox = boxGone ? msBetween(goneAt, after) : ms;
            continue;
        }
        longest = std::max(longest, ms);
        if (command && LOWORD(msg.wParam) == ids::kSkip) skipClick = ms;
        if (msg.hwnd == main && msg.message == WM_TIMER && msg.wParam == lumvo::kPollTimer) {
            longestTick = std::max(longestTick, ms);
            // The clicks as the buttons report them to the window (a click's own handling by the
            // button, its focus and activation under Wine, is not the desk's).
            const auto clickOn = [&](HWND button) {
                PostMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
            };
            if (++ticks == 1) clickOn(skip);
            if (ticks == 3) clickOn(block);
        }
    }
    dj.join();
    // The Block's request has run out by now, also on a loaded machine.
    for (int i = 0; i < 300 && textOf(window.control(ids::kStatusLine)) != status; ++i) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    EXPECT_EQ(ticks, 5);
    EXPECT_TRUE(toldNotAnswering) << "the status line never said the wall server was not answering";
    EXPECT_EQ(textOf(window.control(ids::kStatusLine)), status);
    EXPECT_LT(longest, 16.0) << "a message held the host's thread";
    EXPECT_LT(blockAfterBox, 400.0) << "the Block's click waited on the network after its box";
    EXPECT_EQ(rowCount(live), 1) << "a failed poll or action changed the lists";
    EXPECT_EQ(window.model().list(PostList::blocked).size(), 0u);

    // Closing with a poll waiting on the silent server does not wait it out on the host's thread
    // for long: the exchange is cancelled, or at worst runs into its short time-out.
    SendMessageW(main, WM_TIMER, lumvo::kPollTimer, 0);
    ASSERT_TRUE(window.deskBusy());
    Sleep(100);
    LARGE_INTEGER closing;
    QueryPerformanceCounter(&closing);
    window.close();
    QueryPerformanceCounter(&now);
    const double closeMs = msBetween(closing, now);
    EXPECT_LT(closeMs, 1000.0) << "close waited on the stalled poll";
    EXPECT_FALSE(IsWindow(main));
    std::printf(
        "measured: desk with a silent server under Wine: longest handler %.1f ms over %d timer ticks and a Skip "
        "(the longest tick %.1f ms, the Skip's click %.1f ms); the Block's click after its box closed %.1f ms; "
        "close with a poll under way %.1f ms\n",
        longest, ticks, longestTick, skipClick, blockAfterBox, closeMs);
    silent = false;
}

// What the host does from inside the box's message loop (a timer of its own): release the plug-in
// and unload the DLL, as a DJ quitting would make it.
struct HostQuit {
    void* plugin = nullptr;
    HMODULE dll = nullptr;
    bool done = false;
};
HostQuit quitting;

void CALLBACK quitUnderTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND box = FindWindowW(L"#32770", L"Block guest?");
    if (!box || !IsWindowVisible(box) || quitting.done) return;
    KillTimer(nullptr, timer);
    callSlot<std::uint32_t>(quitting.plugin, 2);  // release
    FreeLibrary(quitting.dll);
    quitting.done = true;
}

// The real DLL, loaded by path and driven through its raw table, with the wall server's moderation
// document served by this test: Block is clicked on a live post and, while its box waits for the
// DJ, the host releases the plug-in and unloads the DLL. The box must end, the click must return
// into code that is still there, and the DLL must be unloaded once this thread is back in its loop.
TEST(ModeratorDesk, TheHostReleasesAndUnloadsThePluginUnderTheBlockBoxAndRunsOn) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    // The wall files, as far as the plug-in looks for them; the server is this test's.
    makeFolders(wallFolderUnder(data) + "\\server");
    makeFolders(wallFolderUnder(data) + "\\web");
    writeBytes(wallFolderUnder(data) + "\\server\\server.js", "");
    writeBytes(wallFolderUnder(data) + "\\web\\index.html", "");
    const std::string state = oneLivePost();
    LocalHttpServer server(
        [&](const Request& request) -> std::optional<std::string> {
            const std::string body = request.target == "/api/state" ? state : "{}";
            return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body;
        },
        LocalHttpServer::After::close, 8787);
    ASSERT_NE(server.port(), 0);

    // A copy of the DLL, so that no other test's reference keeps it loaded.
    makeFolders(data / "plugin");
    const std::string path = data / "plugin\\LUMVO Video Wall.dll";
    ASSERT_TRUE(CopyFileA(pluginDllPath().c_str(), path.c_str(), FALSE));
    HMODULE dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr);
    using GetClassObject = HRESULT(WINAPI*)(const GUID&, const GUID&, void**);
    const auto factory =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    ASSERT_NE(factory, nullptr);
    void* plugin = nullptr;
    ASSERT_EQ(factory(*reinterpret_cast<const GUID*>(&vdj::kPluginClassId),
                      *reinterpret_cast<const GUID*>(&vdj::kVideoFxInterfaceId), &plugin),
              0);
    FakeHost host;
    *reinterpret_cast<HMODULE*>(static_cast<char*>(plugin) + 8) = dll;
    *reinterpret_cast<vdj::HostCallbacks**>(static_cast<char*>(plugin) + 16) = &host;
    ASSERT_EQ(callSlot<std::int32_t>(plugin, 0), 0);  // load
    ASSERT_EQ(callSlot<std::int32_t>(plugin, 7), 0);  // start: the moderator window opens

    const HWND main = FindWindowW(L"LUMVOModeratorWnd", nullptr);
    ASSERT_NE(main, nullptr);
    const HWND live = controlById(main, ids::kList + lumvo::listIndex(PostList::live));
    ASSERT_TRUE(pumpUntil([&] { return rowCount(live) == 1; })) << "the live post never showed";
    selectListRow(live, 0);
    const std::vector<PostAction> buttons = lumvo::listButtons(PostList::live);
    const int place = static_cast<int>(std::find(buttons.begin(), buttons.end(), PostAction::block) - buttons.begin());
    const HWND block = controlById(main, ids::actionId(PostList::live, place));
    ASSERT_TRUE(block && IsWindowEnabled(block));

    quitting = {plugin, dll, false};
    SetTimer(nullptr, 0, 20, quitUnderTheBox);
    click(block);  // the box; the host quits under it
    ASSERT_TRUE(quitting.done) << "the box never came up";
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(FindWindowW(L"#32770", L"Block guest?"), nullptr) << "the box outlived the plug-in";
    const size_t requestsAfterRelease = server.requests().size();

    // Back in this thread's loop, the DLL goes: the box's reference on it was handed back.
    EXPECT_TRUE(pumpUntil([&] { return GetModuleHandleA(path.c_str()) == nullptr; }))
        << "the DLL stayed loaded after the box";

    pumpFor(300);
    EXPECT_EQ(server.requests().size(), requestsAfterRelease) << "something of the plug-in still talks to the server";

    // And the host goes on: the DLL loads again and its window opens anew.
    dll = LoadLibraryA(path.c_str());
    ASSERT_NE(dll, nullptr);
    const auto again =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    ASSERT_EQ(again(*reinterpret_cast<const GUID*>(&vdj::kPluginClassId),
                    *reinterpret_cast<const GUID*>(&vdj::kVideoFxInterfaceId), &plugin),
              0);
    *reinterpret_cast<HMODULE*>(static_cast<char*>(plugin) + 8) = dll;
    *reinterpret_cast<vdj::HostCallbacks**>(static_cast<char*>(plugin) + 16) = &host;
    EXPECT_EQ(callSlot<std::int32_t>(plugin, 4, 11), 0);  // "Open moderator"
    EXPECT_NE(FindWindowW(L"LUMVOModeratorWnd", nullptr), nullptr);
    callSlot<std::uint32_t>(plugin, 2);
    FreeLibrary(dll);
}

// A probe child of the moderator window that notes the thread its destruction ran on.
std::atomic<DWORD> probeDestroyedOn{0};
LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) probeDestroyedOn = GetCurrentThreadId();
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window on a thread of its own, as on a host's UI thread, closed from this one: when that
// thread runs its loop the window is destroyed there; when it has ended, close() only cleans up;
// when it does not answer, close() gives up in bounded time and leaves the window to the default
// procedure, so that the thread, running again, touches nothing of the (destroyed) object.
TEST(ModeratorDesk, CloseFromAnotherThreadDestroysTheWindowOnItsOwnThreadOrLeavesItSafe) {
    WNDCLASSW probeClass{};
    probeClass.lpfnWndProc = probeProc;
    probeClass.hInstance = GetModuleHandleW(nullptr);
    probeClass.lpszClassName = L"LumvoTestProbe";
    ASSERT_TRUE(RegisterClassW(&probeClass));
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    enum class Then { loop, end, hang };
    for (Then then : {Then::loop, Then::end, Then::hang}) {
        SCOPED_TRACE(then == Then::loop ? "loop" : then == Then::end ? "thread ended" : "hung");
        // On the heap and overwritten after it is gone, so that a late use of it shows.
        alignas(ModeratorWindow) static unsigned char storage[sizeof(ModeratorWindow)];
        auto* window = new (storage) ModeratorWindow();
        std::atomic<HWND> made{nullptr};
        std::atomic<bool> quit{false};
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread ui([&] {
            if (!window->create(GetModuleHandleW(nullptr), nullptr)) return (void)(made = HWND(-1));
            CreateWindowExW(0, L"LumvoTestProbe", nullptr, WS_CHILD, 0, 0, 1, 1, window->handle(), nullptr,
                            GetModuleHandleW(nullptr), nullptr);
            const HWND main = window->handle();
            made = main;
            if (then == Then::end) return;
            if (then == Then::hang) WaitForSingleObject(release, INFINITE);
            while (!quit) {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            }
            if (IsWindow(main)) DestroyWindow(main);
        });
        while (!made) Sleep(1);
        ASSERT_NE(made.load(), HWND(-1));
        const HWND main = made;
        const DWORD uiThread = window->windowThread();
        probeDestroyedOn = 0;
        if (then == Then::end) ui.join();

        LARGE_INTEGER before;
        QueryPerformanceCounter(&before);
        window->~ModeratorWindow();  // what release does: close() from this thread
        const double took = msSince(before);
        std::memset(storage, 0xDD, sizeof storage);
        EXPECT_LT(took, 3000) << "close waited too long";
        if (then == Then::loop) {
            EXPECT_FALSE(IsWindow(main));
            EXPECT_EQ(probeDestroyedOn.load(), uiThread) << "the window was not destroyed on its own thread";
            EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"LUMVOModeratorWnd", &info));
        }
        if (then == Then::end) {
            EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"LUMVOModeratorWnd", &info));
        }
        if (then == Then::hang) {
            EXPECT_TRUE(IsWindow(main)) << "another thread's window cannot be destroyed from here";
            // The thread runs again: its timer, the late close request and a repaint reach the window.
            SetEvent(release);
            Sleep(1500);
            RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            Sleep(300);
        }
        quit = true;
        if (ui.joinable()) ui.join();
        CloseHandle(release);
        if (then == Then::hang) {
            std::printf("measured: close from another thread with the window's thread hung: %.0f ms\n", took);
            for (const wchar_t* name :
                 {L"LUMVOModeratorWnd", L"LUMVOModeratorPage", L"LUMVOInfoView", L"LUMVOPingToast"})
                UnregisterClassW(name, GetModuleHandleW(nullptr));  // the abandoned window held them
        }
    }
    UnregisterClassW(L"LumvoTestProbe", GetModuleHandleW(nullptr));
}

}  // namespace
