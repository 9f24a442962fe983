#include "moderator/win/moderator_window.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

#include "base/win/wide_text.h"
#include "moderator/win/control_kit.h"
#include "moderator/win/moderator_parts.h"

// The pages: building every tab's controls, laying them out, switching tabs and sub-pages (and the
// setup mode that hides most of them), and the look of the owner-drawn buttons and of the labels.
// The post lists' pages are built here; a tab with controls of its own has a file of its own,
// called from buildControls and layout (the Settings tab: settings_tab.cpp; the Info tab:
// info_tab.cpp).

namespace lumvo {

using namespace moderator_look;
using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

constexpr int kRowHeight = 58;

constexpr const wchar_t* kTabNames[kMainTabCount] = {L"Messages", L"Requests", L"Tips",     L"Rejected",
                                                     L"Live",     L"Vote",     L"Settings", L"Info"};
constexpr const wchar_t* kFirstPinLine = L"Venue PIN  -----   Give this to the manager. Same QR, then Venue login.";

}  // namespace

// --- Building -----------------------------------------------------------------------------------

HWND ModeratorWindow::makePage(HWND parent) {
    return CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 10, 10, parent,
                           nullptr, module_, this);
}

HWND ModeratorWindow::makeButton(HWND parent, const wchar_t* text, int id, bool ownerDrawn) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (ownerDrawn ? BS_OWNERDRAW : BS_PUSHBUTTON);
    HWND button = CreateWindowExW(0, L"BUTTON", text, style, 0, 0, 10, 10, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
    return button;
}

HWND ModeratorWindow::makeLabel(HWND parent, const wchar_t* text, int id) {
    HWND label = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 10, 10,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
    return label;
}

void ModeratorWindow::buildControls() {
    for (int i = 0; i < kMainTabCount; ++i) {
        tabButtons_[i] = makeButton(main_, kTabNames[i], ids::kTab + i, true);
        pages_[i] = makePage(main_);
    }
    pinLine_ = makeLabel(main_, kFirstPinLine, ids::kPinLine);
    SendMessageW(pinLine_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.pin), FALSE);
    status_ = makeLabel(main_, utf8ToWide(model_.statusLine()).c_str(), ids::kStatusLine);
    SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold), FALSE);

    // One shared image list of a 1 by 58 image gives every list its row height.
    rowHeight_ = ImageList_Create(1, kRowHeight, ILC_COLOR32, 1, 0);
    for (PostList list : kTabLists) buildListPage(list, pages_[listIndex(list)]);
    buildVoteTab();
    buildSettingsTab();
    buildInfoTab();

    showTab(0);
    refreshSetupState(true);
    SetTimer(main_, kPollTimer, 1000, nullptr);
    addTrayIcon();
    layout();
}

void ModeratorWindow::buildListPage(PostList list, HWND page) {
    const int i = listIndex(list);
    if (list == PostList::messages) booth_.build(partHost(page));  // the composer tops the list
    HWND view = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                                    LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                                0, 0, 10, 10, page, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kList + i)),
                                module_, nullptr);
    listViews_[i] = view;
    SetWindowTheme(view, L"", L"");
    ListView_SetExtendedListViewStyle(view, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    ListView_SetBkColor(view, kWindow);
    ListView_SetTextBkColor(view, kWindow);
    ListView_SetTextColor(view, kText);
    if (rowHeight_) ListView_SetImageList(view, rowHeight_, LVSIL_SMALL);
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ListView_InsertColumn(view, 0, &column);

    if (list != PostList::blocked) {
        details_[i] = CreateWindowExW(
            0, L"EDIT", utf8ToWide(model_.detailText(list)).c_str(),
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 10, 10, page,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kDetail + i)), module_, nullptr);
        SendMessageW(details_[i], WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
    }
    const auto& actions = pageActions(list);
    for (std::size_t place = 0; place < actions.size(); ++place) {
        // "Approve & show": a button takes "&" for a mnemonic, "&&" for the character.
        std::wstring caption;
        for (wchar_t c : utf8ToWide(actionCaption(actions[place])))
            caption += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
        actionButtons_[i].push_back(
            makeButton(page, caption.c_str(), ids::actionId(list, static_cast<int>(place)), false));
    }
    refreshActionButtons(list);
}

void ModeratorWindow::buildVoteTab() {
    voteTab_.build(partHost(pages_[static_cast<int>(MainTab::vote)]));
    voteStatus_ = CreateWindowExW(0, L"EDIT", utf8ToWide(model_.voteStatus()).c_str(),
                                  WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 10, 10,
                                  pages_[static_cast<int>(MainTab::vote)],
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kVoteStatus)), module_, nullptr);
    SendMessageW(voteStatus_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
}

// --- Layout -------------------------------------------------------------------------------------

void ModeratorWindow::layout() {
    if (!main_) return;
    holdDrawing();
    placeControls();
    releaseDrawing();
}

// Moved, shown or hidden one by one, dozens of visible controls would each repaint at once: while
// the drawing is held they change without painting, and the window paints once when it is let go
// (the paint comes as messages of its own). Holds nest.
void ModeratorWindow::holdDrawing() {
    if (drawingHeld_++ == 0 && IsWindowVisible(main_)) {
        SendMessageW(main_, WM_SETREDRAW, FALSE, 0);
        redrawAfterHold_ = true;
    }
}

void ModeratorWindow::releaseDrawing() {
    if (drawingHeld_ == 0 || --drawingHeld_ != 0 || !redrawAfterHold_) return;
    redrawAfterHold_ = false;
    SendMessageW(main_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void ModeratorWindow::placeControls() {
    RECT client{};
    GetClientRect(main_, &client);
    const int W = std::max(static_cast<int>(client.right), 320) - 24;
    const int H = client.bottom;

    if (setupMode_) {
        for (int i = 0; i < kMainTabCount; ++i) {
            if (i < 6) continue;
            place(tabButtons_[i], 12 + (i - 6) * (W / 2), 10, W / 2 - 4, 40);
        }
    } else {
        for (int i = 0; i < kMainTabCount; ++i) place(tabButtons_[i], 12 + i * (W / 8), 10, W / 8 - 4, 40);
    }
    place(pinLine_, 12, 74, W, 18);
    const int T = setupMode_ ? 58 : 96;
    const int pageHeight = std::max(H - T - 32, 80);
    for (HWND page : pages_) place(page, 12, T, W, pageHeight);
    place(status_, 12, H - 26, W, 20);

    for (PostList list : kTabLists) layoutListPage(list, pages_[listIndex(list)], true);
    layoutVoteTab();
    layoutSettingsTab();
    layoutInfoTab();
}

void ModeratorWindow::layoutListPage(PostList list, HWND page, bool withDetail) {
    const int i = listIndex(list);
    RECT r{};
    GetClientRect(page, &r);
    const int w = std::max(static_cast<int>(r.right), 160);
    const int h = std::max(static_cast<int>(r.bottom), 80);
    const auto& buttons = actionButtons_[i];
    const int top = list == PostList::blocked ? 52 : list == PostList::messages ? BoothComposer::kHeight : 0;
    if (list == PostList::messages) booth_.layout(w);
    int listBottom = h - 8;
    int buttonRows = 0;
    if (!buttons.empty()) {
        // More than five buttons take two rows, so that every caption fits.
        const int n = static_cast<int>(buttons.size());
        buttonRows = n > 5 ? 2 : 1;
        const int perRow = (n + buttonRows - 1) / buttonRows;
        const int width = (w - 8 * (perRow - 1)) / perRow;
        for (int b = 0; b < n; ++b) {
            const int row = b / perRow;
            place(buttons[b], (b % perRow) * (width + 8), h - 42 - (buttonRows - 1 - row) * 44, width, 36);
        }
        listBottom = h - 6 - 44 * buttonRows;
    }
    if (withDetail && details_[i]) {
        const int detailTop = h - 106 - 44 * buttonRows;
        place(details_[i], 0, detailTop, w, 100);
        listBottom = detailTop - 8;
    }
    place(listViews_[i], 0, top, w, std::max(listBottom - top, 48));
    fitColumn(listViews_[i], w);
}

void ModeratorWindow::layoutVoteTab() {
    RECT r{};
    GetClientRect(pages_[static_cast<int>(MainTab::vote)], &r);
    const int width = std::min(static_cast<int>(r.right) - 16, 480);
    // The tab's controls in a column at the left; the status box under them.
    const int below = voteTab_.layout(width);
    place(voteStatus_, 0, below, std::max(width, 300), 100);
}

// --- Switching ----------------------------------------------------------------------------------

void ModeratorWindow::showTab(int index) {
    if (!main_) return;
    index = std::clamp(index, 0, kMainTabCount - 1);
    if (setupMode_ && index < 6) index = hookSays(services_.wallFilesPresent) ? 6 : 7;
    tab_ = index;
    if (index <= 2) {
        if (model_.alertOn()) {
            model_.clearAlert();
            InvalidateRect(status_, nullptr, TRUE);
        }
        FLASHWINFO stop{sizeof stop, main_, FLASHW_STOP, 0, 0};
        FlashWindowEx(&stop);
    }
    for (int i = 0; i < kMainTabCount; ++i) show(pages_[i], i == index);
    if (index == static_cast<int>(MainTab::settings)) showSettingsPage(settingsPage_);
    if (index == static_cast<int>(MainTab::vote)) voteTab_.refreshSetting();
    if (index == static_cast<int>(MainTab::info)) showInfoPage(infoPage_);
    for (HWND button : tabButtons_) InvalidateRect(button, nullptr, FALSE);
}

void ModeratorWindow::showSettingsPage(int index) {
    if (!main_) return;
    index = std::clamp(index, 0, kSettingsPageCount - 1);
    if (setupMode_) index = kSetupSettingsPage;
    settingsPage_ = index;
    for (int i = 0; i < kSettingsPageCount; ++i) show(settingsPages_[i], i == index);
    for (HWND button : settingsButtons_) InvalidateRect(button, nullptr, FALSE);
}

void ModeratorWindow::showDisplayGroup(int index) {
    if (!main_) return;
    displayGroup_ = std::clamp(index, 0, kDisplayGroupCount - 1);
    layout();
    for (HWND button : displayButtons_) InvalidateRect(button, nullptr, FALSE);
}

void ModeratorWindow::refreshSetupState(bool navigate) {
    if (!main_) return;
    holdDrawing();
    const bool wallFiles = hookSays(services_.wallFilesPresent);
    const bool node = hookSays(services_.nodePresent);
    const bool wasSetup = setupMode_;
    setupMode_ = !(wallFiles && node);

    for (int i = 0; i < 6; ++i) show(tabButtons_[i], !setupMode_);
    show(pinLine_, !setupMode_);
    for (int i = 0; i < kSettingsPageCount; ++i) show(settingsButtons_[i], !setupMode_ || i == kSetupSettingsPage);
    for (HWND control : settingsBottom_) show(control, !setupMode_);
    for (HWND button : infoButtons_) show(button, !setupMode_);
    for (HWND control : setupOnly_) show(control, setupMode_);
    show(GetDlgItem(settingsPages_[kSetupSettingsPage], kSetupHeadingId), !setupMode_);

    if (navigate && setupMode_) {
        showTab(static_cast<int>(MainTab::info));
        showInfoPage(kUpdateInfoPage);
        setStatus(node ? L"Click Update to download the wall files from Lumvo." : L"Tap Install Node first.");
    } else if (navigate && wasSetup) {
        showTab(0);
        showSettingsPage(0);
        showInfoPage(0);
        if (services_.ensureServer) services_.ensureServer();
        setStatus(L"LUMVO is ready.");
    } else if (setupMode_ && tab_ < 6) {
        showTab(tab_);  // a tab that is hidden now cannot stay shown
    }
    refreshUpdatePage(InstalledParts{node, wallFiles});
    layout();
    releaseDrawing();
}

// --- The controls' look -------------------------------------------------------------------------

void ModeratorWindow::onDrawItem(const DRAWITEMSTRUCT& item) {
    if (settingsTab_.drawItem(item)) return;
    const int id = static_cast<int>(item.CtlID);
    bool selected = false;
    bool blinking = false;
    if (id >= ids::kTab && id < ids::kTab + kMainTabCount) {
        const int i = id - ids::kTab;
        selected = i == tab_;
        blinking = !selected && i <= 2 && model_.alertOn() && !model_.list(static_cast<PostList>(i)).empty();
    } else if (id >= ids::kSettingsPage && id < ids::kSettingsPage + kSettingsPageCount) {
        selected = id - ids::kSettingsPage == settingsPage_;
    } else if (id >= ids::kDisplayGroup && id < ids::kDisplayGroup + kDisplayGroupCount) {
        selected = id - ids::kDisplayGroup == displayGroup_;
    } else if (id >= ids::kInfoPage && id < ids::kInfoPage + kInfoPageCount) {
        selected = id - ids::kInfoPage == infoPage_;
    } else if (voteTab_.isModeButton(id)) {
        selected = voteTab_.modeSelected(id);
    }
    COLORREF background = kIdleButton;
    COLORREF text = kText;
    if (selected || (blinking && blinkOn_)) {
        background = kAccent;
        text = kOnAccent;
    } else if (blinking) {
        background = kBlinkDark;
    }
    fill(item.hDC, item.rcItem, background);
    SetBkMode(item.hDC, TRANSPARENT);
    // The bold font, or a lighter and then a smaller one when a caption ("Messages (12)") would
    // not fit otherwise: the count matters more than the weight. The main tabs share one font.
    const std::wstring caption = windowText(item.hwndItem);
    const bool mainTab = id >= ids::kTab && id < ids::kTab + kMainTabCount;
    const int room = item.rcItem.right - item.rcItem.left - 8;
    HFONT font = look_.bold;
    for (HFONT candidate : {look_.bold, look_.normal, look_.rowText}) {
        font = candidate;
        const HGDIOBJ old = SelectObject(item.hDC, candidate);
        bool fits = true;
        for (int t = 0; t < (mainTab ? kMainTabCount : 1) && fits; ++t) {
            const std::wstring measured = mainTab ? windowText(tabButtons_[t]) : caption;
            SIZE size{};
            GetTextExtentPoint32W(item.hDC, measured.c_str(), static_cast<int>(measured.size()), &size);
            fits = size.cx <= room;
        }
        SelectObject(item.hDC, old);
        if (fits) break;
    }
    drawLine(item.hDC, caption, item.rcItem, text, font, DT_CENTER);
}

LRESULT ModeratorWindow::onControlColour(HDC dc, HWND control, bool edit) {
    const int id = GetDlgCtrlID(control);
    const bool editLike = edit || (id >= ids::kDetail && id < ids::kDetail + kPostListCount) || id == ids::kVoteStatus;
    if (editLike) {
        SetTextColor(dc, kText);
        SetBkColor(dc, kEdit);
        return reinterpret_cast<LRESULT>(look_.edit);
    }
    COLORREF text = kText;
    if (id == ids::kPinLine) text = kPinLine;
    if (id == kBlockedHintId || id == kSetupNoteId || id == kSetupHintId || id == kSettingsNoteId ||
        control_kit::isHint(control)) {
        text = kHint;
    }
    if (id == ids::kStatusLine && model_.alertOn()) text = kAccent;
    SetTextColor(dc, text);
    SetBkColor(dc, kWindow);
    return reinterpret_cast<LRESULT>(look_.window);
}

}  // namespace lumvo
