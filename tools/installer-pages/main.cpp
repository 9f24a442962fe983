// lumvo-installer-pages.exe: walks a setup program's wizard the way a DJ does, pressing the default
// button on each page, and keeps what each page showed: a PNG of the window and its texts.
//
//   lumvo-installer-pages.exe --out <folder> --pages <name,name,...> -- <setup.exe> [arguments]
//
// For each named page, in order: waits until the page has settled (the Next button enabled and the
// page's texts unchanged for half a second, and different from the page before), writes
// <folder>\<name>.png and <folder>\<name>.txt (the window's title, then the text of every visible
// control, one per line), then presses Next (or Install, or Finish: the wizard's button 1). After
// the last page the program must exit; its exit code is printed and becomes this program's.
// Exit 2 when a page does not come or the program outlives its last page, 1 on bad arguments.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "png_file.h"

namespace {

constexpr DWORD kPageTimeoutMs = 60000;
constexpr DWORD kSettleMs = 500;

struct Options {
    std::wstring out;
    std::vector<std::wstring> pages;
    std::wstring commandLine;
};

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

bool parse(int argc, wchar_t** argv, Options& o) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--") break;
        if (i + 1 >= argc) return false;
        if (arg == L"--out") {
            o.out = argv[++i];
        } else if (arg == L"--pages") {
            std::wstring list = argv[++i];
            for (size_t start = 0; start <= list.size();) {
                const size_t comma = list.find(L',', start);
                const size_t end = comma == std::wstring::npos ? list.size() : comma;
                if (end > start) o.pages.push_back(list.substr(start, end - start));
                start = end + 1;
            }
        } else {
            return false;
        }
    }
    for (++i; i < argc; ++i) o.commandLine += (o.commandLine.empty() ? L"" : L" ") + quoted(argv[i]);
    return !o.out.empty() && !o.pages.empty() && !o.commandLine.empty();
}

// A control's text, asked of the window itself (GetWindowText does not ask another process's).
std::wstring textOf(HWND window) {
    wchar_t buffer[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                             &copied)) {
        return {};
    }
    return std::wstring(buffer, copied);
}

// The wizard: the process's visible top-level window with the Back, Next and Cancel buttons (ids
// 3, 1, 2). A message box has no Back button.
struct WizardSearch {
    DWORD processId;
    HWND found;
};
BOOL CALLBACK findWizard(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WizardSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    if (GetDlgItem(window, 1) && GetDlgItem(window, 2) && GetDlgItem(window, 3)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A control's text as lines ending in LF; nothing for a control whose "text" is a resource
// reference (an icon's, which starts with 0xFFFF).
BOOL CALLBACK collectText(HWND window, LPARAM param) {
    if (!IsWindowVisible(window)) return TRUE;
    std::wstring text = textOf(window);
    if (text.empty() || text[0] == 0xFFFF) return TRUE;
    std::wstring lines;
    for (wchar_t c : text) {
        if (c != L'\r') lines += c;
    }
    *reinterpret_cast<std::wstring*>(param) += lines + L"\n";
    return TRUE;
}

std::wstring pageText(HWND wizard) {
    std::wstring text = textOf(wizard) + L"\n";
    EnumChildWindows(wizard, collectText, reinterpret_cast<LPARAM>(&text));
    return text;
}

bool savePicture(HWND window, const std::wstring& path) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Sleep(300);
    RECT r{};
    if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return false;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const bool ok =
        dib && bits && standin::writePng(path, static_cast<const std::uint8_t*>(bits), width, height, width * 4);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool writeText(const std::wstring& path, const std::wstring& text) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const std::string utf8 = narrow(text);
    const bool ok = std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size();
    return std::fclose(file) == 0 && ok;
}

// Waits for the wizard's next page to settle; null when the process ended or time ran out.
HWND settledPage(HANDLE process, DWORD processId, const std::wstring& previous, std::wstring& text) {
    const DWORD start = GetTickCount();
    std::wstring last;
    DWORD sameSince = 0;
    while (GetTickCount() - start < kPageTimeoutMs) {
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return nullptr;
        WizardSearch search{processId, nullptr};
        EnumWindows(findWizard, reinterpret_cast<LPARAM>(&search));
        if (!search.found) continue;
        const std::wstring now = pageText(search.found);
        const HWND next = GetDlgItem(search.found, 1);
        if (now != last) {
            last = now;
            sameSince = GetTickCount();
            continue;
        }
        if (now != previous && IsWindowEnabled(next) && GetTickCount() - sameSince >= kSettleMs) {
            text = now;
            return search.found;
        }
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: lumvo-installer-pages --out <folder> --pages <name,...> -- <setup.exe> [args]\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CreateDirectoryW(options.out.c_str(), nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = options.commandLine;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", narrow(options.commandLine).c_str(), GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);

    std::wstring previous;
    for (const std::wstring& name : options.pages) {
        std::wstring text;
        const HWND wizard = settledPage(process.hProcess, process.dwProcessId, previous, text);
        if (!wizard) {
            std::fprintf(stderr, "page %s did not come\n", narrow(name).c_str());
            TerminateProcess(process.hProcess, 99);
            return 2;
        }
        const std::wstring base = options.out + L"\\" + name;
        const bool saved = savePicture(wizard, base + L".png") && writeText(base + L".txt", text);
        std::printf("page %s: %s\n", narrow(name).c_str(), saved ? "saved" : "NOT SAVED");
        std::fflush(stdout);
        if (!saved) {
            TerminateProcess(process.hProcess, 99);
            return 2;
        }
        previous = text;
        const HWND next = GetDlgItem(wizard, 1);
        PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    }
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the program did not end after its last page\n");
        TerminateProcess(process.hProcess, 99);
        return 2;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    std::printf("exit code %lu\n", code);
    return static_cast<int>(code);
}
