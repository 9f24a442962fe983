#include "host_window.h"

#include <algorithm>

namespace standin {
namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_CLOSE) {
        if (state) state->closed = true;
        return 0;
    }
    if (state && state->mouse &&
        (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
         message == WM_RBUTTONUP)) {
        RECT client{};
        GetClientRect(window, &client);
        const int cw = std::max<LONG>(client.right, 1), ch = std::max<LONG>(client.bottom, 1);
        // Window pixels to video frame pixels.
        const int x = static_cast<int>(static_cast<short>(LOWORD(lParam))) * state->frameWidth / cw;
        const int y = static_cast<int>(static_cast<short>(HIWORD(lParam))) * state->frameHeight / ch;
        const int buttons = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0);
        const int keys = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0);
        switch (message) {
            case WM_MOUSEMOVE: state->mouse->mouseMove(x, y, buttons, keys); break;
            case WM_LBUTTONDOWN:
                // Keep the pointer's events while the button is held, also outside the window, so
                // the button-up of a drag that leaves the preview still arrives.
                SetCapture(window);
                state->mouse->mouseDown(x, y, buttons | 1, keys);
                break;
            case WM_RBUTTONDOWN: state->mouse->mouseDown(x, y, buttons | 2, keys); break;
            case WM_LBUTTONUP:
                if (GetCapture() == window) ReleaseCapture();
                state->mouse->mouseUp(x, y, buttons, keys);
                break;
            default: state->mouse->mouseUp(x, y, buttons, keys); break;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND makeWindow(bool hidden, WindowState* state) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = L"LUMVOStandinHost";
    RegisterClassW(&wc);
    RECT r{0, 0, state->frameWidth / 2, state->frameHeight / 2};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window =
        CreateWindowW(wc.lpszClassName, L"LUMVO stand-in host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        if (!hidden) ShowWindow(window, SW_SHOWNORMAL);
    }
    return window;
}

bool pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace standin
