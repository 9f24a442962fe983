#include "moderator/win/moderator_window.h"

#include <commctrl.h>

#include <algorithm>

#include "base/win/wide_text.h"
#include "moderator/win/moderator_parts.h"
#include "settings/shared_settings.h"

// The post lists' rows: a list view refilled from the model's list (one item per post, its text
// the guest's name), its one column fitted to the view, and every row custom-drawn as a card from
// the model's row look.

namespace lumvo {

using namespace moderator_look;
using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

COLORREF fromRgb(std::uint32_t hex) { return rgb(hex); }

}  // namespace

void ModeratorWindow::refillList(PostList list) {
    const int i = listIndex(list);
    HWND view = listViews_[i];
    if (!view) return;
    FlagScope refilling(refilling_);
    SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(view);
    const auto& records = model_.list(list);
    for (std::size_t row = 0; row < records.size(); ++row) {
        std::wstring text = utf8ToWide(records[row].name.empty() ? std::string("Guest") : records[row].name);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(row);
        item.pszText = text.data();
        item.lParam = static_cast<LPARAM>(row);
        ListView_InsertItem(view, &item);
    }
    const int selected = model_.selectedRow(list);
    if (selected >= 0) {
        ListView_SetItemState(view, selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(view, selected, FALSE);
    }
    RECT bounds{};
    GetWindowRect(view, &bounds);
    fitColumn(view,
              list == PostList::blocked ? 480 : bounds.right - bounds.left);  // a scroll bar may have come or gone
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
    ++refills_[i];
}

void ModeratorWindow::fitColumn(HWND view, int width) {
    // The list's width less 8, and never wider than what its vertical scroll bar leaves, so no
    // horizontal scroll bar ever shows.
    RECT client{};
    GetClientRect(view, &client);
    const int wanted = std::max(std::min(width - 8, static_cast<int>(client.right)), 10);
    if (ListView_GetColumnWidth(view, 0) != wanted) ListView_SetColumnWidth(view, 0, wanted);
}

LRESULT ModeratorWindow::drawRow(PostList list, NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            if (services_.settings) {
                const WallSettings s = services_.settings->copy();
                colours_ = ChatColours{s.colorShoutout, s.colorRequest, s.colorPhoto, s.colorVenue};
            }
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: break;
        default: return CDRF_DODEFAULT;
    }
    HDC dc = draw.nmcd.hdc;
    HWND view = draw.nmcd.hdr.hwndFrom;
    const int row = static_cast<int>(draw.nmcd.dwItemSpec);
    RECT r{};
    if (!ListView_GetItemRect(view, row, &r, LVIR_BOUNDS)) return CDRF_SKIPDEFAULT;
    fill(dc, r, kWindow);
    r.left += 4;
    r.right -= 4;
    r.top += 3;
    r.bottom -= 3;
    if (r.bottom - r.top < 8 || r.right - r.left < 8 || row < 0 || row >= static_cast<int>(model_.list(list).size())) {
        return CDRF_SKIPDEFAULT;
    }
    const bool selected = (ListView_GetItemState(view, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    const RowLook look = model_.rowLook(list, row, selected, colours_);
    const COLORREF tag = fromRgb(look.tagColour);
    const COLORREF background = fromRgb(look.background);
    SetBkMode(dc, TRANSPARENT);

    framedRound(dc, r, 12, background, selected ? tag : rgb(0x30303C), selected ? 2 : 1);
    fill(dc, RECT{r.left + 1, r.top + 4, r.left + 5, r.bottom - 4}, tag);

    // The tag pill, as wide as its text plus 16 but ending 80 pixels before the right edge at most.
    const std::wstring tagText = utf8ToWide(look.tag);
    const HGDIOBJ oldFont = SelectObject(dc, look_.rowTag);
    SIZE tagSize{};
    GetTextExtentPoint32W(dc, tagText.c_str(), static_cast<int>(tagText.size()), &tagSize);
    SelectObject(dc, oldFont);
    const int pillLeft = r.left + 12;
    const int pillRight = std::min(pillLeft + tagSize.cx + 16, r.right - 80);
    const RECT pill{pillLeft, r.top + 7, std::max(pillRight, pillLeft), r.top + 24};
    framedRound(dc, pill, 10, fromRgb(look.pillFill), tag, 1);
    drawLine(dc, tagText, pill, tag, look_.rowTag, DT_CENTER);

    if (!look.rightText.empty()) {
        const RECT right{r.right - (look.rightIsCount ? 44 : 62), r.top + 7, r.right - 10, r.top + 24};
        drawLine(dc, utf8ToWide(look.rightText), right, look.rightIsCount ? tag : fromRgb(kRowTimeColour), look_.rowTag,
                 DT_RIGHT);
    }
    drawLine(dc, utf8ToWide(look.name), RECT{pill.right + 8, r.top + 6, r.right - look.nameRightInset, r.top + 25},
             fromRgb(kRowNameColour), look_.rowName, DT_LEFT);
    drawLine(dc, utf8ToWide(look.secondLine), RECT{r.left + 12, r.top + 28, r.right - 10, r.bottom - 6},
             fromRgb(look.secondLineColour), look_.rowText, DT_LEFT);
    return CDRF_SKIPDEFAULT;
}

}  // namespace lumvo
