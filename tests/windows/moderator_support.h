#pragma once
// Driving the moderator window the way the DJ does, through its controls and window messages:
// clicks on buttons, rows selected in the list views, timer ticks, the close box; and pictures of
// it for test-output/moderator/.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "moderator/win/moderator_window.h"
#include "png_file.h"
#include "wall_support.h"

namespace lumvo::test {

// POST as a guest's phone on its first visit: a bare HTTP/1.0 exchange without cookies, so every
// call is a new phone to the server (the process's WinHTTP session would keep the device cookie
// the server sets and make every caller in the process the same phone). The reply's body, empty on
// failure.
inline std::string newPhonePost(const std::string& path, const std::string& json) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET phone = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(8787);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(phone, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0) {
        const std::string request = "POST " + path +
                                    " HTTP/1.0\r\nHost: 127.0.0.1:8787\r\nContent-Type: application/json" +
                                    "\r\nContent-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json;
        send(phone, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        for (int n; (n = recv(phone, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, n);
    }
    closesocket(phone);
    WSACleanup();
    const size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

inline double msSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs the window's thread's messages until the desk has nothing under way and no result left to
// apply (at most `timeoutMs`); the milliseconds the thread spent handling messages meanwhile.
inline double settle(const ModeratorWindow& window, int timeoutMs = 5000) {
    double handled = 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (window.deskBusy() && GetTickCount64() < end) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        LARGE_INTEGER before;
        QueryPerformanceCounter(&before);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        handled += msSince(before);
    }
    return handled;
}

// One tick of the window's one-second timer, delivered as the system delivers it, and the wait
// for its poll's reply to be applied; the milliseconds the window's thread spent on both.
inline double tick(const ModeratorWindow& window) {
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    SendMessageW(window.handle(), WM_TIMER, kPollTimer, 0);
    const double handled = msSince(before);
    return handled + settle(window);
}

inline void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
// A click on one of the window's buttons, and the wait for what it asked of the wall server.
inline void click(const ModeratorWindow& window, HWND button) {
    click(button);
    settle(window);
}

// The button for `action` under `list`, found by its place in the desk's button table.
inline HWND actionButton(const ModeratorWindow& window, PostList list, PostAction action) {
    const std::vector<PostAction> buttons = listButtons(list);
    const auto place = std::find(buttons.begin(), buttons.end(), action);
    return place == buttons.end()
               ? nullptr
               : window.control(moderator_ids::actionId(list, static_cast<int>(place - buttons.begin())));
}

inline int rowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
inline int selectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
inline std::string rowText(HWND list, int row) {
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return wideToUtf8(text);
}
// The row showing `name`, or -1.
inline int findRow(HWND list, const std::string& name) {
    for (int row = 0; row < rowCount(list); ++row) {
        if (rowText(list, row) == name) return row;
    }
    return -1;
}
// Selects a row as a click on it does (the list view tells its parent of the change).
inline void selectListRow(HWND list, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

inline std::string textOf(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return wideToUtf8(text);
}

// What the (virtual) screen shows in `r` (screen coordinates): 0xAARRGGBB, top row first.
struct ScreenPixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t rgb(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};
inline ScreenPixels captureScreen(const RECT& r) {
    ScreenPixels out{r.right - r.left, r.bottom - r.top, {}};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = out.width;
    info.bmiHeader.biHeight = -out.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, out.width, out.height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    if (dib && bits) {
        const auto* p = static_cast<const std::uint32_t*>(bits);
        out.pixels.assign(p, p + static_cast<std::size_t>(out.width) * out.height);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return out;
}

// The window as it is on the (virtual) screen, brought to the front first, as a PNG.
inline bool saveWindowPicture(HWND window, const std::string& path) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    RECT r{};
    GetWindowRect(window, &r);
    const ScreenPixels shot = captureScreen(r);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool saved = !shot.pixels.empty() &&
                       standin::writePng(utf8ToWide(path), reinterpret_cast<const std::uint8_t*>(shot.pixels.data()),
                                         shot.width, shot.height, shot.width * 4);
    if (SUCCEEDED(com)) CoUninitialize();
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return saved;
}

// The moderator window's control with `id`, found from outside the DLL.
inline HWND controlById(HWND main, int id) {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        main,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline void pumpFor(int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

template <class Predicate>
inline bool pumpUntil(Predicate predicate, int ms = 5000) {
    for (int waited = 0; waited < ms && !predicate(); waited += 20) pumpFor(20);
    return predicate();
}

template <class Result, class... Args>
inline Result callSlot(void* object, int slot, Args... args) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Result (*)(void*, Args...)>(table[slot])(object, args...);
}

// A copy of a plug-in DLL in `folder`, loaded by path and driven through its raw table as a host
// drives it (so that no other test's reference keeps it loaded): load on creation; release and
// unload at the end unless a test did so itself.
class PluginCopy {
public:
    PluginCopy(const std::string& source, const std::wstring& folder) : path_(folder + L"\\LUMVO Video Wall.dll") {
        CreateDirectoryW(folder.c_str(), nullptr);
        if (!CopyFileW(utf8ToWide(source).c_str(), path_.c_str(), FALSE)) return;
        dll_ = LoadLibraryW(path_.c_str());
        if (!dll_) return;
        using GetClassObject = HRESULT(WINAPI*)(const GUID&, const GUID&, void**);
        const auto factory =
            reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll_, "DllGetClassObject")));
        if (!factory || factory(*reinterpret_cast<const GUID*>(&vdj::kPluginClassId),
                                *reinterpret_cast<const GUID*>(&vdj::kVideoFxInterfaceId), &plugin_) != 0) {
            plugin_ = nullptr;
            return;
        }
        *reinterpret_cast<HMODULE*>(static_cast<char*>(plugin_) + 8) = dll_;
        *reinterpret_cast<vdj::HostCallbacks**>(static_cast<char*>(plugin_) + 16) = &host_;
        if (callSlot<std::int32_t>(plugin_, 0) != 0) release();  // load
    }
    ~PluginCopy() {
        release();
        unload();
    }
    PluginCopy(const PluginCopy&) = delete;
    PluginCopy& operator=(const PluginCopy&) = delete;

    bool loaded() const { return plugin_ != nullptr; }
    const std::wstring& path() const { return path_; }
    // Whether the DLL is still mapped in this process (by anyone's reference).
    bool mapped() const { return GetModuleHandleW(path_.c_str()) != nullptr; }
    // The "Open moderator" button; the window's handle.
    HWND openModerator() {
        if (plugin_) callSlot<std::int32_t>(plugin_, 4, 11);
        return FindWindowW(L"LUMVOModeratorWnd", nullptr);
    }
    void release() {
        if (plugin_) callSlot<std::uint32_t>(plugin_, 2);
        plugin_ = nullptr;
    }
    void unload() {
        if (dll_) FreeLibrary(dll_);
        dll_ = nullptr;
    }

private:
    std::wstring path_;
    FakeHost host_;
    HMODULE dll_ = nullptr;
    void* plugin_ = nullptr;
};

}  // namespace lumvo::test
