#pragma once
// The standard controls the desk's pages are made of (check boxes, sliders, edit boxes, drop-down
// lists, spinners, labels, hints and headings), each made the same way: a child of one page, in
// the window's font, with its identifier. Hints are marked so the pages paint them grey.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace lumvo::control_kit {

// Where and how the controls are made.
struct Maker {
    HWND parent = nullptr;
    HMODULE module = nullptr;
    HFONT font = nullptr;      // every control
    HFONT headFont = nullptr;  // headings
};

HWND label(const Maker& m, const wchar_t* text, int id = 0);
HWND heading(const Maker& m, const wchar_t* text, int id = 0);
// A grey line of explanation (isHint answers true for it).
HWND hint(const Maker& m, const wchar_t* text, int id = 0);
bool isHint(HWND control);
// An automatic check box.
HWND checkBox(const Maker& m, const wchar_t* text, int id);
// A horizontal slider from `low` to `high` (it reports through WM_HSCROLL to its page).
HWND slider(const Maker& m, int id, int low, int high);
// A one-line edit box (`style` adds to it: ES_MULTILINE, ES_NUMBER ...), with grey cue text.
HWND editBox(const Maker& m, int id, DWORD style = 0, const wchar_t* cue = nullptr);
// A drop-down list of fixed choices.
HWND dropList(const Maker& m, int id, std::initializer_list<const wchar_t*> choices);
// Up and down arrows beside `buddy` (an edit box), wrapping from `high` to `low` and back.
HWND spinner(const Maker& m, HWND buddy, int id, int low, int high);
// A push button.
HWND button(const Maker& m, const wchar_t* text, int id);
// A button the window paints itself (WM_DRAWITEM), such as one of a row of choices.
HWND ownerButton(const Maker& m, const wchar_t* text, int id);
// A colour swatch: an owner-drawn button its page paints with paintSwatch.
HWND swatch(const Maker& m, const wchar_t* text, int id);
// A sunken label for a path, shortened in the middle when it does not fit.
HWND pathLabel(const Maker& m, int id);

bool checked(HWND box);
void setChecked(HWND box, bool on);
int sliderPos(HWND slider);
void setSliderPos(HWND slider, int pos);
int choice(HWND list);  // -1: none
void setChoice(HWND list, int index);
int spinnerPos(HWND spinner);
void setSpinnerPos(HWND spinner, int pos);
std::wstring text(HWND control);
// Sets the text only when it differs (no flicker, no change notices for nothing).
void setText(HWND control, const std::wstring& text);
// Replaces a drop-down list's choices (the selection goes).
void setChoices(HWND list, const std::vector<std::wstring>& choices);
// The height `control`'s text needs in its font when wrapped at `width` pixels.
int wrappedHeight(HWND control, int width);

// A swatch filled with `colour` (0xRRGGBB), framed in black, its caption centred in `font`: white on
// a dark colour, near black on a light one.
void paintSwatch(const DRAWITEMSTRUCT& item, std::uint32_t colour, HFONT font);

}  // namespace lumvo::control_kit
