#pragma once
// The one opening of every window procedure of the moderator window: the object that owns a window
// comes with WM_NCCREATE's creation record (the last argument of CreateWindowEx) and is kept in the
// window's GWLP_USERDATA. Until then, and once the owner has cleared it, the system's default
// handles the message; an exception never leaves into the system (and so into the host).
#include <windows.h>

namespace lumvo {

template <class Owner, LRESULT (Owner::*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!owner) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return (owner->*Handle)(window, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace lumvo
