#include "moderator/win/moderator_look.h"

namespace lumvo::moderator_look {
namespace {

template <class Handle>
void deleteObject(Handle& handle) {
    if (handle) DeleteObject(handle);
    handle = nullptr;
}

}  // namespace

HFONT makeFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Segoe UI");
}

bool Look::create() {
    if (!normal) normal = makeFont(16, 400);
    if (!bold) bold = makeFont(16, 600);
    if (!pin) pin = makeFont(11, 600);
    if (!rowTag) rowTag = makeFont(11, 600);
    if (!rowName) rowName = makeFont(15, 600);
    if (!rowText) rowText = makeFont(13, 400);
    if (!window) window = CreateSolidBrush(kWindow);
    if (!edit) edit = CreateSolidBrush(kEdit);
    return normal && bold && pin && rowTag && rowName && rowText && window && edit;
}

void Look::release() {
    deleteObject(normal);
    deleteObject(bold);
    deleteObject(pin);
    deleteObject(rowTag);
    deleteObject(rowName);
    deleteObject(rowText);
    deleteObject(window);
    deleteObject(edit);
}

void fill(HDC dc, const RECT& r, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void fillRound(HDC dc, const RECT& r, int corner, COLORREF colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCBrushColor(dc, colour);
    // With the null pen the shape covers one pixel less right and below: widen it by one.
    RoundRect(dc, r.left, r.top, r.right + 1, r.bottom + 1, corner, corner);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

void framedRound(HDC dc, const RECT& r, int corner, COLORREF colour, COLORREF outline, int width) {
    fillRound(dc, r, corner, outline);
    const RECT inner{r.left + width, r.top + width, r.right - width, r.bottom - width};
    fillRound(dc, inner, corner > 2 * width ? corner - 2 * width : corner, colour);
}

void frame(HDC dc, const RECT& r, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void drawLine(HDC dc, const std::wstring& text, RECT r, COLORREF colour, HFONT font, UINT align) {
    if (r.right <= r.left) return;
    const HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old);
}

}  // namespace lumvo::moderator_look
