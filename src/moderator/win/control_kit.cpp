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

int spinnerPos(HWND spinner) {
    BOOL failed = FALSE;
    const int pos = static_cast<int>(SendMessageW(spinner, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    return pos;
}

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

}  // namespace lumvo::control_kit
