#include "moderator/win/moderator_window.h"

#include <shellapi.h>

#include "moderator/win/moderator_parts.h"

// The tray icon: added with the window, clicked to bring the window back, and the balloon of an
// alert (the toast's label and message).

namespace lumvo {

void ModeratorWindow::addTrayIcon() {
    if (trayAdded_ || !main_) return;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = main_;
    icon.uID = 1;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = kTrayMessage;
    icon.hIcon = LoadIconW(nullptr, IDI_INFORMATION);
    lstrcpynW(icon.szTip, L"LUMVO Moderator", ARRAYSIZE(icon.szTip));
    trayAdded_ = Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
}

void ModeratorWindow::removeTrayIcon() {
    if (!trayAdded_) return;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = main_;
    icon.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &icon);
    trayAdded_ = false;
}

void ModeratorWindow::showTrayBalloon() {
    if (!trayAdded_) return;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = main_;
    icon.uID = 1;
    icon.uFlags = NIF_INFO;
    lstrcpynW(icon.szInfoTitle, toastLabel_.c_str(), ARRAYSIZE(icon.szInfoTitle));
    lstrcpynW(icon.szInfo, toastMessage_.c_str(), ARRAYSIZE(icon.szInfo));
    icon.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    icon.uTimeout = moderator_parts::kToastLifeMs;
    Shell_NotifyIconW(NIM_MODIFY, &icon);
}

}  // namespace lumvo
