#pragma once
// The moderator window's palette and the GDI objects it paints with. Every font and brush is made
// once, when the window is created, and deleted by release() when it closes: no paint, poll or
// refill makes one. Painting uses the DC brush (SetDCBrushColor) for every other colour, and draws
// outlines as a filled shape with a smaller one inside, so no pen is ever made either.
#include <windows.h>

#include <string>

namespace lumvo::moderator_look {

inline constexpr COLORREF rgb(unsigned hex) { return RGB((hex >> 16) & 0xFF, (hex >> 8) & 0xFF, hex & 0xFF); }

inline constexpr COLORREF kWindow = rgb(0x16161E);      // window, pages, lists
inline constexpr COLORREF kIdleButton = rgb(0x20202A);  // idle tabs and buttons, toast title bar
inline constexpr COLORREF kAccent = rgb(0xFF7A18);
inline constexpr COLORREF kBlinkDark = rgb(0xB44810);
inline constexpr COLORREF kOnAccent = rgb(0x101014);
inline constexpr COLORREF kText = rgb(0xF5F5FA);
inline constexpr COLORREF kHint = rgb(0xA8A8B2);
inline constexpr COLORREF kPinLine = rgb(0xB4B4BE);
inline constexpr COLORREF kEdit = rgb(0x101016);
inline constexpr COLORREF kFrame = rgb(0x3A3A48);
inline constexpr COLORREF kInfoView = rgb(0x1C1C26);  // the Info tab's text view

// The window's fonts and brushes. Not copyable: one owner deletes them.
struct Look {
    HFONT normal = nullptr;  // "Segoe UI" 16, 400: every child control
    HFONT bold = nullptr;    // 16, 600: headings, owner-drawn buttons
    HFONT pin = nullptr;     // 11, 600: the venue PIN line
    HFONT rowTag = nullptr;  // list rows: tag 11/600, name 15/600, second line 13/400
    HFONT rowName = nullptr;
    HFONT rowText = nullptr;
    HBRUSH window = nullptr;  // #16161E, also the class background of the main window and pages
    HBRUSH edit = nullptr;    // #101016

    Look() = default;
    Look(const Look&) = delete;
    Look& operator=(const Look&) = delete;
    ~Look() { release(); }

    // Makes whatever is missing; false when the system refused one.
    bool create();
    void release();
};

// A font of "Segoe UI" with ClearType quality; the caller owns it.
HFONT makeFont(int height, int weight);

// Fills `r` with `colour` through the DC brush.
void fill(HDC dc, const RECT& r, COLORREF colour);
// A rounded rectangle filled with `colour` (corner diameter `corner`).
void fillRound(HDC dc, const RECT& r, int corner, COLORREF colour);
// A rounded rectangle `width` pixels of `outline` around a `colour` inside.
void framedRound(HDC dc, const RECT& r, int corner, COLORREF colour, COLORREF outline, int width);
// A 1-pixel frame.
void frame(HDC dc, const RECT& r, COLORREF colour);
// One line of `text` in `font` and `colour`, vertically centred in `r`, cut with an ellipsis;
// `align` is DT_LEFT, DT_CENTER or DT_RIGHT. Nothing when `r` is empty.
void drawLine(HDC dc, const std::wstring& text, RECT r, COLORREF colour, HFONT font, UINT align);

}  // namespace lumvo::moderator_look
