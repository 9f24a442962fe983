// The Info tab's help pages under Wine: the moderator window shows each page's text from the info
// folder, from the wall server (an HTTP server in this process on 127.0.0.1:8787) when the folder
// lacks it, and the fixed text when neither has it, without its thread waiting on the network; the
// text view scrolls by keys and wheel and stops at both ends. Pictures of every help page go to
// test-output/moderator/. (How a text becomes blocks and how far a step scrolls is tested natively.)
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "local_http_server.h"
#include "moderator/info_text.h"
#include "moderator_support.h"
#include "process_resources.h"
#include "base/win/win_http_client.h"

namespace {

using namespace lumvo::test;
using lumvo::ModeratorWindow;
namespace ids = lumvo::moderator_ids;

const char* const kPages[] = {"start", "features", "booth", "vote", "tips", "words", "help"};

std::string viewText(HWND view) {
    const int n = GetWindowTextLengthW(view);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(view, text.data(), n + 1)));
    return lumvo::wideToUtf8(text);
}

// What the wall server's copy of a page says (so the test tells it from the folder's).
std::string servedText(const std::string& file) { return "FROM THE WALL SERVER\n" + file; }

// Runs the window thread's messages for a while (posted size messages, paints).
void pump(int ms = 100) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    MSG msg;
    while (GetTickCount64() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(5);
    }
}

SCROLLINFO scrollOf(HWND view) {
    SCROLLINFO info{sizeof info, SIF_ALL};
    GetScrollInfo(view, SB_VERT, &info);
    return info;
}

TEST(InfoView, EachHelpPageShowsItsTextFromTheInfoFolderTheWallServerOrTheFixedText) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    // The wall server's help texts; vote.txt comes late, help.txt is missing.
    auto server = std::make_unique<LocalHttpServer>(
        [](const Request& request) -> std::optional<std::string> {
            const std::string prefix = "/web/info/";
            std::string status = "404 Not Found", body = "{\"error\":\"There is nothing here.\"}";
            if (request.target.starts_with(prefix) && request.target != prefix + "help.txt") {
                if (request.target == prefix + "vote.txt") Sleep(600);
                status = "200 OK";
                body = servedText(request.target.substr(prefix.size()));
            }
            return "HTTP/1.1 " + status +
                   "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
                   "\r\nConnection: close\r\n\r\n" + body;
        },
        LocalHttpServer::After::close, 8787);
    ASSERT_NE(server->port(), 0);
    // How many times the window asked for help texts (`file`, or any), not counting its polls.
    const auto askedFor = [&](const std::string& file) {
        int n = 0;
        for (const Request& request : server->requests()) {
            const bool help = request.target.starts_with("/web/info/");
            n += (file.empty() ? help : request.target == "/web/info/" + file) ? 1 : 0;
        }
        return n;
    };

    // The info folder with the repo's help texts; start.txt saved with a byte-order mark.
    TempFolder data;
    const std::string folder = data / "info";
    makeFolders(folder);
    for (const char* page : kPages) {
        const std::string file = std::string(page) + ".txt";
        const std::string text = readBytes(repoPath("wall/web/info/" + file));
        ASSERT_FALSE(text.empty()) << file;
        writeBytes(folder + "\\" + file, (file == "start.txt" ? "\xEF\xBB\xBF" : "") + text);
    }
    std::wstring infoFolder = lumvo::utf8ToWide(folder + "\\");

    lumvo::WinHttpClient http;
    lumvo::ModeratorServices services;
    services.http = &http;
    services.wallFilesPresent = [] { return true; };
    services.nodePresent = [] { return true; };
    services.infoFolder = [&] { return infoFolder; };
    ModeratorWindow window;
    window.connect(services);
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), nullptr));
    ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
    const HWND view = window.control(ids::kInfoView);
    ASSERT_NE(view, nullptr);
    const auto page = [&](int index) { return window.control(ids::kInfoPage + index); };

    // From the folder: each page at once, as the file says without its mark; a picture of each.
    click(window, window.control(ids::kTab + 7));
    EXPECT_TRUE(IsWindowVisible(view));
    makeFolders(repoPath("test-output\\moderator"));
    for (int i = 0; i < lumvo::kInfoTextPageCount; ++i) {
        click(page(i));  // no wait: the text is there when the click returns
        const std::string file = std::string(kPages[i]) + ".txt";
        EXPECT_EQ(viewText(view), readBytes(repoPath("wall/web/info/" + file))) << file;
        const std::string picture = "test-output\\moderator\\info-" + std::to_string(i) + "-" + kPages[i] + ".png";
        EXPECT_TRUE(saveWindowPicture(window.handle(), repoPath(picture))) << picture;
    }
    click(page(lumvo::kUpdateInfoPage));
    EXPECT_FALSE(IsWindowVisible(view)) << "the Update page has no help text";
    EXPECT_EQ(askedFor(""), 0) << "a page on disk was asked of the wall server";

    // A file over 250000 bytes is not read: the wall server's copy shows.
    writeBytes(folder + "\\tips.txt", "TIPS\n" + std::string(lumvo::kInfoTextCap, 'x'));
    click(window, page(4));
    EXPECT_EQ(viewText(view), servedText("tips.txt"));

    // A page asked of the server that is left before its text comes: the click did not wait for
    // it, and its late text does not replace the page shown since.
    DeleteFileA((folder + "\\vote.txt").c_str());
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    click(page(3));
    const double clickMs = msSince(before);
    EXPECT_EQ(viewText(view), "") << "the view kept another page's text while this one's is coming";
    click(page(0));
    settle(window);
    EXPECT_EQ(askedFor("vote.txt"), 1);
    EXPECT_LT(clickMs, 300) << "the click waited for the wall server";
    EXPECT_EQ(viewText(view), readBytes(repoPath("wall/web/info/start.txt")));
    std::printf("measured: info view: a click on a page the wall server sends took %.1f ms\n", clickMs);

    // No info folder: every page from the server, and the fixed text for the one it does not have.
    infoFolder = lumvo::utf8ToWide(data / "missing\\");
    for (int i = 0; i < lumvo::kInfoTextPageCount; ++i) {
        click(window, page(i));
        const std::string file = std::string(kPages[i]) + ".txt";
        EXPECT_EQ(viewText(view), file == "help.txt" ? std::string(lumvo::kInfoPageMissing) : servedText(file)) << file;
    }

    // Neither folder nor server: the fixed text.
    server.reset();
    click(window, page(1));
    EXPECT_EQ(viewText(view), std::string(lumvo::kInfoPageMissing));
    window.close();
}

TEST(InfoView, KeysAndTheWheelScrollTheTextStopAtItsEndsAndPaintingMakesNoGdiObjects) {
    // No wall server or folder needed: the view's text is set directly.
    lumvo::ModeratorServices services;
    services.wallFilesPresent = [] { return true; };  // not in setup mode, which shows only Update
    services.nodePresent = [] { return true; };
    ModeratorWindow window;
    window.connect(services);
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), nullptr));
    ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
    SendMessageW(window.control(ids::kTab + 7), BM_CLICK, 0, 0);
    const HWND view = window.control(ids::kInfoView);
    ASSERT_TRUE(IsWindowVisible(view));
    std::wstring text = L"HOW IT WORKS\n";
    for (int i = 1; i <= 40; ++i) {
        text += L"STEP GROUP " + std::to_wstring(i) + L"\n" + std::to_wstring(i) +
                L". A numbered step with enough words in it to wrap inside a narrow column\n" +
                L"Left  The right part of a row\n";
    }
    SetWindowTextW(view, text.c_str());
    pump();  // the view measures itself on the size message it posts
    const SCROLLINFO first = scrollOf(view);
    RECT client{};
    GetClientRect(view, &client);
    const int page = client.bottom;
    EXPECT_EQ(static_cast<int>(first.nPage), page);
    ASSERT_GT(first.nMax, 3 * page) << "the text should be several screens long";
    EXPECT_EQ(first.nPos, 0);

    const auto key = [&](WPARAM vk) {
        SendMessageW(view, WM_KEYDOWN, vk, 0);
        return scrollOf(view).nPos;
    };
    const auto wheel = [&](int delta) {
        SendMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))), 0);
        return scrollOf(view).nPos;
    };
    const int end = first.nMax - page;
    EXPECT_EQ(key(VK_DOWN), 24);
    EXPECT_EQ(wheel(-120), 72) << "a notch towards the user scrolls down 48 pixels";
    EXPECT_EQ(key(VK_END), end);
    EXPECT_EQ(key(VK_DOWN), end) << "scrolled past the end";
    EXPECT_EQ(wheel(-120 * 20), end);
    EXPECT_EQ(key(VK_HOME), 0);
    EXPECT_EQ(key(VK_UP), 0) << "scrolled past the top";
    EXPECT_EQ(key(VK_NEXT), page - 32);
    SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(scrollOf(view).nPos, end);

    // Painting (off screen, then one copy) makes no GDI objects it does not delete.
    const long gdiBefore = standin::sampleProcessResources().gdiObjects;
    for (int i = 0; i < 30; ++i) RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const long gdiAfter = standin::sampleProcessResources().gdiObjects;
    ASSERT_GT(gdiBefore, 0);
    EXPECT_LT(gdiAfter - gdiBefore, 5) << "GDI objects grew from " << gdiBefore << " to " << gdiAfter;

    // A new text starts at its top; one shorter than the view cannot scroll. On screen: the frame,
    // the background and the title's accent bar (56 by 3 pixels; the title's own text is white).
    SetWindowTextW(view, L"TIPS\nOne short paragraph.");
    pump();
    EXPECT_EQ(scrollOf(view).nPos, 0);
    EXPECT_EQ(key(VK_END), 0);
    EXPECT_EQ(wheel(-360), 0);
    RECT r{};
    GetWindowRect(view, &r);
    SetWindowPos(window.handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    pump(50);
    const ScreenPixels shot = captureScreen(RECT{r.left, r.top, r.left + 120, r.top + 80});
    ASSERT_FALSE(shot.pixels.empty());
    EXPECT_EQ(shot.rgb(0, 0), 0x30303Cu) << "the frame";
    EXPECT_EQ(shot.rgb(5, 5), 0x1C1C26u) << "the background";
    int accent = 0;
    for (std::uint32_t pixel : shot.pixels) accent += (pixel & 0xFFFFFF) == 0xFF7A18 ? 1 : 0;
    EXPECT_GE(accent, 56 * 3) << "no accent bar under the title";
    window.close();
}

}  // namespace
