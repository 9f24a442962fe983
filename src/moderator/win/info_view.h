#pragma once
// The Info tab's text view, a child window of the class "LUMVOInfoView": a help text set as its
// window text is split into blocks (info_text.h) and drawn in one word-wrapped column that scrolls
// vertically (scroll bar, keys, wheel). Each window owns its state and fonts, made on its creation
// and deleted with it, and touches nothing outside itself.
//
// Its interface is the standard one: WM_SETTEXT shows a text from its top; the scroll bar's
// position is the scroll offset, its range the content height and its page the client height.
#include <windows.h>

namespace lumvo {

// The class's window procedure (the moderator window registers the class with it).
LRESULT CALLBACK infoViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace lumvo
