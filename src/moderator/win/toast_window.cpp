#include "moderator/win/moderator_window.h"

#include <objidl.h>
#include <gdiplus.h>

#include "base/win/data_folders.h"
#include "moderator/toast_geometry.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/window_proc.h"

// The toast: a small topmost window at the bottom right of the host's window (or of the monitor's
// work area) that shows an alert's label and message for a few seconds without taking the focus;
// a click opens the moderator window.

namespace lumvo {

using namespace moderator_look;
using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

constexpr UINT_PTR kToastLifeTimer = 90;
constexpr UINT_PTR kToastPlaceTimer = 91;

}  // namespace

void ModeratorWindow::loadMark() {
    // The brand mark for the toast's bar, drawn once at 64 by 64 on the bar's colour. Without
    // GDI+ or the file the toast simply has no mark.
    const std::wstring path = findAsset(L"lumvo-mark.png");
    if (path.empty() || mark_) return;
    Gdiplus::Bitmap picture(path.c_str());
    if (picture.GetLastStatus() != Gdiplus::Ok) return;
    Gdiplus::Bitmap square(64, 64, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics g(&square);
        g.Clear(Gdiplus::Color(255, 0x20, 0x20, 0x2A));
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.DrawImage(&picture, 0, 0, 64, 64);
    }
    HBITMAP bitmap = nullptr;
    if (square.GetHBITMAP(Gdiplus::Color(255, 0x20, 0x20, 0x2A), &bitmap) == Gdiplus::Ok) mark_ = bitmap;
}

void ModeratorWindow::showToast() {
    if (!toastClassRegistered_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc<ModeratorWindow, &ModeratorWindow::handleToast>;
        wc.hInstance = module_;
        wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
        wc.lpszClassName = kToastClass;
        toastClassRegistered_ = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        if (!toastClassRegistered_) return;
    }
    if (toast_) {
        SetWindowTextW(toast_, toastLabel_.c_str());
        placeToast();
        ShowWindow(toast_, SW_SHOWNOACTIVATE);
        InvalidateRect(toast_, nullptr, FALSE);
    } else {
        toast_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kToastClass, toastLabel_.c_str(),
                                 WS_POPUP, 0, 0, kToastWidth, kToastHeight, nullptr, nullptr, module_, this);
        if (!toast_) return;
        placeToast();
        ShowWindow(toast_, SW_SHOWNOACTIVATE);
        SetWindowPos(toast_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SetTimer(toast_, kToastLifeTimer, kToastLifeMs, nullptr);
    SetTimer(toast_, kToastPlaceTimer, 200, nullptr);
}

HWND ModeratorWindow::hostTopWindow() {
    if ((!hostWindow_ || !IsWindow(hostWindow_)) && services_.askHostWindow) {
        const HWND asked = services_.askHostWindow();
        if (asked && IsWindow(asked)) hostWindow_ = asked;
    }
    return hostWindow_ && IsWindow(hostWindow_) ? hostWindow_ : nullptr;
}

void ModeratorWindow::placeToast() {
    if (!toast_) return;
    ScreenRect area;
    if (const HWND host = hostTopWindow()) {
        RECT client{};
        GetClientRect(host, &client);
        POINT topLeft{client.left, client.top};
        POINT bottomRight{client.right, client.bottom};
        ClientToScreen(host, &topLeft);
        ClientToScreen(host, &bottomRight);
        area = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(main_ ? main_ : toast_, MONITOR_DEFAULTTONEAREST), &monitor);
        area = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
    }
    const ScreenRect wanted = toastPlacement(area);
    RECT now{};
    GetWindowRect(toast_, &now);
    if (ScreenRect{now.left, now.top, now.right, now.bottom} == wanted) return;
    SetWindowPos(toast_, HWND_TOPMOST, wanted.left, wanted.top, wanted.width(), wanted.height(), SWP_NOACTIVATE);
}

void ModeratorWindow::destroyToast() {
    if (!toast_) return;
    const HWND toast = toast_;
    toast_ = nullptr;
    KillTimer(toast, kToastLifeTimer);
    KillTimer(toast, kToastPlaceTimer);
    DestroyWindow(toast);
}

void ModeratorWindow::paintToast(HDC dc, const RECT& client) {
    const ToastPaintMetrics m = toastPaintMetrics(client.bottom);
    if (toastFontsFor_ != client.bottom) {
        for (HFONT* font : {&toastLabelFont_, &toastMessageFont_}) {
            if (*font) DeleteObject(*font);
        }
        toastLabelFont_ = makeFont(m.labelFont, 700);
        toastMessageFont_ = makeFont(m.messageFont, 600);
        toastFontsFor_ = client.bottom;
    }
    fill(dc, client, kWindow);
    fill(dc, RECT{0, 0, client.right, m.bar}, kIdleButton);
    fill(dc, RECT{0, m.bar, client.right, m.bar + m.line}, kAccent);
    frame(dc, client, kFrame);
    int textLeft = m.inset;
    if (mark_) {
        const int top = (m.bar - m.mark) / 2;
        HDC source = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(source, mark_);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, m.inset, top, m.mark, m.mark, source, 0, 0, 64, 64, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        textLeft = m.inset + m.mark + 8;
    }
    SetBkMode(dc, TRANSPARENT);
    drawLine(dc, toastLabel_, RECT{textLeft, 0, client.right - m.inset, m.bar}, RGB(255, 255, 255), toastLabelFont_,
             DT_LEFT);
    RECT body{m.inset, m.bar + m.line + 6, client.right - m.inset, client.bottom - 4};
    const HGDIOBJ old = SelectObject(dc, toastMessageFont_);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, toastMessage_.c_str(), static_cast<int>(toastMessage_.size()), &body,
              DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
}

LRESULT ModeratorWindow::handleToast(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Until CreateWindowEx returns, and once destroyToast forgot it, the toast is not ours to handle.
    if (window != toast_) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(toast_, &paint);
            RECT client{};
            GetClientRect(toast_, &client);
            paintToast(dc, client);
            EndPaint(toast_, &paint);
            return 0;
        }
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_TIMER:
            if (wParam == kToastLifeTimer || GetTickCount64() >= toastDeadline_) {
                destroyToast();
            } else if (wParam == kToastPlaceTimer) {
                placeToast();
            }
            return 0;
        case WM_LBUTTONUP: {
            const bool update = toastLabel_ == L"UPDATE";
            destroyToast();
            if (update) {
                refreshSetupState(false);
                ShowWindow(main_, SW_SHOW);
                SetForegroundWindow(main_);
                pollState();
                showTab(static_cast<int>(MainTab::info));
                showInfoPage(kUpdateInfoPage);
            } else {
                open(module_, hostWindow_);
            }
            return 0;
        }
        default: return DefWindowProcW(toast_, message, wParam, lParam);
    }
}

}  // namespace lumvo
