#include "moderator/win/control_kit.h"

#include <commctrl.h>

#include <algorithm>

namespace lumvo::control_kit {

namespace {

constexpr const wchar_t* kHintProperty = L"LUMVO.hint";

HWND make(const Maker& m, const wchar_t* cls, const wchar_t* text, DWORD style, int id, HFONT font) {
    HWND control = CreateWindowExW(0, cls, text ? text : L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, m.parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m.module, nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

}  // namespace

HWND label(const Maker& m, const wchar_t* text, int id) {
    return make(m, L"STATIC", text, SS_LEFT | SS_NOPREFIX, id, m.font);
}

HWND heading(const Maker& m, const wchar_t* text, int id) {
    return make(m, L"STATIC", text, SS_LEFT | SS_NOPREFIX, id, m.headFont ? m.headFont : m.font);
}

HWND hint(const Maker& m, const wchar_t* text, int id) {
    HWND control = label(m, text, id);
    if (control) SetPropW(control, kHintProperty, reinterpret_cast<HANDLE>(1));
    return control;
}

bool isHint(HWND control) { return control && GetPropW(control, kHintProperty) != nullptr; }

HWND checkBox(const Maker& m, const wchar_t* text, int id) {
    return make(m, L"BUTTON", text, WS_TABSTOP | BS_AUTOCHECKBOX, id, m.font);
}

HWND slider(const Maker& m, int id, int low, int high) {
    HWND control = make(m, TRACKBAR_CLASSW, nullptr, WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, id, nullptr);
    if (control) SendMessageW(control, TBM_SETRANGE, FALSE, MAKELPARAM(low, high));
    return control;
}

HWND editBox(const Maker& m, int id, DWORD style, const wchar_t* cue) {
    const DWORD lines = (style & ES_MULTILINE) ? (ES_AUTOVSCROLL | WS_VSCROLL) : ES_AUTOHSCROLL;
    HWND control = make(m, L"EDIT", nullptr, WS_TABSTOP | WS_BORDER | lines | style, id, m.font);
    if (control && cue) SendMessageW(control, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue));
    return control;
}

HWND dropList(const Maker& m, int id, std::initializer_list<const wchar_t*> choices) {
    // The height is the open list's: room for every choice.
    HWND control = make(m, WC_COMBOBOXW, nullptr, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, id, m.font);
    for (const wchar_t* c : choices) SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c));
    return control;
}

HWND spinner(const Maker& m, HWND buddy, int id, int low, int high) {
    HWND control = make(m, UPDOWN_CLASSW, nullptr,
                        UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_WRAP | UDS_NOTHOUSANDS, id, nullptr);
    if (control) {
        SendMessageW(control, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
        SendMessageW(control, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    }
    return control;
}

HWND button(const Maker& m, const wchar_t* text, int id) {
    return make(m, L"BUTTON", text, WS_TABSTOP | BS_PUSHBUTTON, id, m.font);
}

HWND ownerButton(const Maker& m, const wchar_t* text, int id) {
    return make(m, L"BUTTON", text, WS_TABSTOP | BS_OWNERDRAW, id, m.font);
}

HWND swatch(const Maker& m, const wchar_t* text, int id) { return ownerButton(m, text, id); }

HWND pathLabel(const Maker& m, int id) {
    return make(m, L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS | SS_SUNKEN | SS_CENTERIMAGE, id,
                m.font);
}

bool checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void setChecked(HWND box, bool on) {
    if (checked(box) != on) SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

int sliderPos(HWND slider) { return static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)); }

void setSliderPos(HWND slider, int pos) {
    if (sliderPos(slider) != pos) SendMessageW(slider, TBM_SETPOS, TRUE, pos);
}

int choice(HWND list) {
    const LRESULT i = SendMessageW(list, CB_GETCURSEL, 0, 0);
    return i == CB_ERR ? -1 : static_cast<int>(i);
}

void setChoice(HWND list, int index) {
    if (choice(list) != index) SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int spinnerPos(HWND spinner) { return static_cast<int>(SendMessageW(spinner, UDM_GETPOS32, 0, 0)); }

void setSpinnerPos(HWND spinner, int pos) { SendMessageW(spinner, UDM_SETPOS32, 0, pos); }

std::wstring text(HWND control) {
    const int n = GetWindowTextLengthW(control);
    std::wstring t(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    t.resize(static_cast<std::size_t>(std::max(GetWindowTextW(control, t.data(), n + 1), 0)));
    return t;
}

void setText(HWND control, const std::wstring& value) {
    if (control && text(control) != value) SetWindowTextW(control, value.c_str());
}

void setChoices(HWND list, const std::vector<std::wstring>& choices) {
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& c : choices) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.c_str()));
}

int wrappedHeight(HWND control, int width) {
    const std::wstring t = text(control);
    HDC dc = GetDC(control);
    if (!dc) return 0;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, std::max(width, 1), 0};
    DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return static_cast<int>(r.bottom - r.top);
}

void paintSwatch(const DRAWITEMSTRUCT& item, std::uint32_t colour, HFONT font) {
    const int red = colour >> 16 & 0xFF, green = colour >> 8 & 0xFF, blue = colour & 0xFF;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const COLORREF before = SetDCBrushColor(dc, RGB(0, 0, 0));
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    InflateRect(&r, -1, -1);
    SetDCBrushColor(dc, RGB(red, green, blue));
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetDCBrushColor(dc, before);
    const bool dark = (299 * red + 587 * green + 114 * blue) / 1000 < 141;
    const std::wstring caption = text(item.hwndItem);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, dark ? RGB(0xFF, 0xFF, 0xFF) : RGB(0x10, 0x10, 0x14));
    const HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

}  // namespace lumvo::control_kit
