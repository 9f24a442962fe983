#include "moderator/win/moderator_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>

#include "moderator/toast_geometry.h"
#include "moderator/win/photo_preview.h"
#include "base/win/data_folders.h"
#include "settings/shared_settings.h"
#include "base/win/wide_text.h"
#include "base/http_client.h"

namespace lumvo {
namespace {

using namespace moderator_look;
namespace ids = moderator_ids;

constexpr const wchar_t* kMainClass = L"LUMVOModeratorWnd";
constexpr const wchar_t* kPageClass = L"LUMVOModeratorPage";
constexpr const wchar_t* kInfoViewClass = L"LUMVOInfoView";
constexpr const wchar_t* kToastClass = L"LUMVOPingToast";
constexpr UINT_PTR kToastLifeTimer = 90;
constexpr UINT_PTR kToastPlaceTimer = 91;
constexpr UINT kToastLifeMs = 8000;
constexpr int kRowHeight = 58;

constexpr const wchar_t* kTabNames[kMainTabCount] = {L"Messages", L"Requests", L"Tips",     L"Rejected",
                                                     L"Live",     L"Vote",     L"Settings", L"Info"};
constexpr const wchar_t* kSettingsPageNames[kSettingsPageCount] = {L"Display", L"Guests",  L"Tips", L"Album",
                                                                   L"Brand",   L"Blocked", L"Setup"};
constexpr const wchar_t* kDisplayGroupNames[kDisplayGroupCount] = {L"TV", L"Highlight", L"Hot", L"Look"};
constexpr const wchar_t* kInfoPageNames[kInfoPageCount] = {L"Start", L"Features", L"Booth", L"Vote",
                                                           L"Tips",  L"Words",    L"Help",  L"Update"};
constexpr const wchar_t* kFirstPinLine =
    L"Venue PIN  -----   Give this to the manager. Same QR, then Venue login.";
constexpr const wchar_t* kSetupHint =
    L"First install: open Info, Update and tap Update to download the wall files from Lumvo. Then tap "
    L"Install Node if it is not already on this PC.";

// The buttons under each post list, in their order on the page (made once; the model says which).
const std::vector<PostAction>& pageActions(PostList list) {
    static const std::array<std::vector<PostAction>, kPostListCount> actions{
        listButtons(PostList::messages), listButtons(PostList::requests), listButtons(PostList::tips),
        listButtons(PostList::rejected), listButtons(PostList::live),     listButtons(PostList::blocked)};
    return actions[listIndex(list)];
}

bool hookSays(const std::function<bool()>& hook) { return hook && hook(); }

COLORREF fromRgb(std::uint32_t hex) { return rgb(hex); }

void show(HWND window, bool visible) {
    if (window) ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

void place(HWND window, int x, int y, int w, int h) {
    if (window) MoveWindow(window, x, y, std::max(w, 0), std::max(h, 0), TRUE);
}

std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
    return text;
}

void drawLine(HDC dc, const std::wstring& text, RECT r, COLORREF colour, HFONT font, UINT align) {
    if (r.right <= r.left) return;
    const HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old);
}

// Holds a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

// --- Opening and closing ------------------------------------------------------------------------

void ModeratorWindow::open(HMODULE module, HWND hostWindow) {
    module_ = module;
    hostWindow_ = hostWindow;
    if (!main_ && !create(module, hostWindow)) return;
    refreshSetupState(false);
    ShowWindow(main_, IsIconic(main_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(main_);
    pollState();
}

bool ModeratorWindow::create(HMODULE module, HWND hostWindow) {
    if (main_) return true;
    module_ = module;
    if (hostWindow) hostWindow_ = hostWindow;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!look_.create() || !registerClasses()) {
        close();
        return false;
    }
    // WM_CREATE builds the pages (buildControls) with `this` from the creation record.
    main_ = CreateWindowExW(WS_EX_APPWINDOW, kMainClass, L"LUMVO Moderator", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            80, 80, 960, 860, nullptr, nullptr, module_, this);
    if (!main_) {
        close();
        return false;
    }
    loadMark();
    return true;
}

void ModeratorWindow::loadMark() {
    // The brand mark for the toast's bar, drawn once at 64 by 64 on the bar's colour. Without
    // GDI+ or the file the toast simply has no mark.
    const std::wstring path = findAsset(L"lumvo-mark.png");
    if (path.empty() || mark_) return;
    Gdiplus::Bitmap picture(path.c_str());
    if (picture.GetLastStatus() != Gdiplus::Ok) return;
    Gdiplus::Bitmap square(64, 64, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics g(&square);
        g.Clear(Gdiplus::Color(255, 0x20, 0x20, 0x2A));
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.DrawImage(&picture, 0, 0, 64, 64);
    }
    HBITMAP bitmap = nullptr;
    if (square.GetHBITMAP(Gdiplus::Color(255, 0x20, 0x20, 0x2A), &bitmap) == Gdiplus::Ok) mark_ = bitmap;
}

void ModeratorWindow::close() {
    closePhotoPreview(module_);
    removeTrayIcon();
    destroyToast();
    if (main_) {
        KillTimer(main_, kPollTimer);
        const HWND window = main_;
        main_ = nullptr;  // the messages DestroyWindow sends find no window to work on
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    tabButtons_ = {};
    pages_ = {};
    settingsButtons_ = {};
    settingsPages_ = {};
    displayButtons_ = {};
    infoButtons_ = {};
    listViews_ = {};
    details_ = {};
    for (auto& buttons : actionButtons_) buttons.clear();
    settingsBottom_.clear();
    setupOnly_.clear();
    pinLine_ = status_ = infoView_ = updatePage_ = voteStatus_ = nullptr;
    unregisterClasses();
    if (rowHeight_) ImageList_Destroy(rowHeight_);
    rowHeight_ = nullptr;
    if (mark_) DeleteObject(mark_);
    mark_ = nullptr;
    for (HFONT* font : {&toastLabelFont_, &toastMessageFont_}) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
    }
    toastFontsFor_ = 0;
    look_.release();
    // A window made again later starts as a new one: first reply, no alert.
    model_ = ModerationModel();
    refills_ = {};
    tab_ = settingsPage_ = displayGroup_ = infoPage_ = 0;
    setupMode_ = blinkOn_ = false;
}

bool ModeratorWindow::registerClasses() {
    if (classesRegistered_) return true;
    const auto registerOne = [this](const wchar_t* name, WNDPROC proc, HICON icon) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = module_;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = icon;
        // No class brush: the system would delete it on unregistering, and the look owns its
        // brushes. Backgrounds are erased in the window procedures.
        wc.lpszClassName = name;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    };
    classesRegistered_ = registerOne(kMainClass, mainProc, LoadIconW(nullptr, IDI_APPLICATION)) &&
                         registerOne(kPageClass, pageProc, nullptr) && registerOne(kInfoViewClass, pageProc, nullptr);
    if (!classesRegistered_) unregisterClasses();
    return classesRegistered_;
}

void ModeratorWindow::unregisterClasses() {
    // A DLL unloaded and loaded again at another address must not find classes that point into the
    // old one.
    for (const wchar_t* name : {kMainClass, kPageClass, kInfoViewClass, kToastClass}) UnregisterClassW(name, module_);
    classesRegistered_ = false;
    toastClassRegistered_ = false;
}

HWND ModeratorWindow::control(int id) const {
    if (!main_) return nullptr;
    if (id == ids::kStatusLine) return status_;
    if (id == ids::kPinLine) return pinLine_;
    if (id == ids::kVoteStatus) return voteStatus_;
    if (id >= ids::kTab && id < ids::kTab + kMainTabCount) return tabButtons_[id - ids::kTab];
    if (id >= ids::kSettingsPage && id < ids::kSettingsPage + kSettingsPageCount) {
        return settingsButtons_[id - ids::kSettingsPage];
    }
    if (id >= ids::kDisplayGroup && id < ids::kDisplayGroup + kDisplayGroupCount) {
        return displayButtons_[id - ids::kDisplayGroup];
    }
    if (id >= ids::kInfoPage && id < ids::kInfoPage + kInfoPageCount) return infoButtons_[id - ids::kInfoPage];
    if (id >= ids::kList && id < ids::kList + kPostListCount) return listViews_[id - ids::kList];
    if (id >= ids::kDetail && id < ids::kDetail + kPostListCount) return details_[id - ids::kDetail];
    // Everything else sits on some page: search the whole tree.
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        main_,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// --- Building the pages -------------------------------------------------------------------------

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
    for (PostList list : {PostList::messages, PostList::requests, PostList::tips, PostList::rejected, PostList::live}) {
        buildListPage(list, pages_[listIndex(list)]);
    }
    voteStatus_ = CreateWindowExW(0, L"EDIT", utf8ToWide(model_.voteStatus()).c_str(),
                                  WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 10, 10,
                                  pages_[static_cast<int>(MainTab::vote)],
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kVoteStatus)), module_, nullptr);
    SendMessageW(voteStatus_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
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
    HWND view = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                    LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
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
        details_[i] = CreateWindowExW(0, L"EDIT", utf8ToWide(model_.detailText(list)).c_str(),
                                      WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                                      0, 0, 10, 10, page,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kDetail + i)), module_, nullptr);
        SendMessageW(details_[i], WM_SETFONT, reinterpret_cast<WPARAM>(look_.normal), FALSE);
    }
    const auto& actions = pageActions(list);
    for (std::size_t place = 0; place < actions.size(); ++place) {
        // "Approve & show": a button takes "&" for a mnemonic, "&&" for the character.
        std::wstring caption;
        for (wchar_t c : utf8ToWide(actionCaption(actions[place]))) caption += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
        actionButtons_[i].push_back(makeButton(page, caption.c_str(), ids::actionId(list, static_cast<int>(place)), false));
    }
    refreshActionButtons(list);
}

void ModeratorWindow::buildSettingsTab() {
    HWND tab = pages_[static_cast<int>(MainTab::settings)];
    for (int i = 0; i < kSettingsPageCount; ++i) {
        settingsButtons_[i] = makeButton(tab, kSettingsPageNames[i], ids::kSettingsPage + i, true);
        settingsPages_[i] = makePage(tab);
    }
    for (int i = 0; i < kDisplayGroupCount; ++i) {
        displayButtons_[i] = makeButton(settingsPages_[0], kDisplayGroupNames[i], ids::kDisplayGroup + i, true);
    }

    HWND blocked = settingsPages_[5];
    SendMessageW(makeLabel(blocked, L"BLOCKED GUESTS", 1700), WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold), FALSE);
    makeLabel(blocked, L"Select a name and Unblock to let that phone message again.", 1701);
    buildListPage(PostList::blocked, blocked);

    HWND setup = settingsPages_[kSetupSettingsPage];
    SendMessageW(makeLabel(setup, L"SETUP", 1710), WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold), FALSE);
    // The Node.js install job comes with the Update page; until then the button cannot be used.
    EnableWindow(makeButton(setup, L"Install Node", ids::kInstallNode, false), FALSE);
    makeLabel(setup, L"Needed for guest phones and the booth page. LUMVO keeps its own copy.", 1711);
    setupOnly_.push_back(makeLabel(setup, kSetupHint, 1712));

    const std::vector<PostAction> bottom = settingsButtons();  // "Show next", "Skip", "Clear chat", "Browser mod"
    for (std::size_t i = 0; i < bottom.size() && i < 4; ++i) {
        settingsBottom_.push_back(
            makeButton(tab, utf8ToWide(actionCaption(bottom[i])).c_str(), ids::kShowNext + static_cast<int>(i), false));
    }
    settingsBottom_.push_back(
        makeLabel(tab, L"Close this window with X. Reopen it from Open moderator in the VirtualDJ plugin.", 1720));
}

void ModeratorWindow::buildInfoTab() {
    HWND tab = pages_[static_cast<int>(MainTab::info)];
    for (int i = 0; i < kInfoPageCount; ++i) infoButtons_[i] = makeButton(tab, kInfoPageNames[i], ids::kInfoPage + i, true);
    infoView_ = CreateWindowExW(0, kInfoViewClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 10,
                                10, tab, nullptr, module_, this);
    updatePage_ = makePage(tab);
}

// --- Layout and switching -----------------------------------------------------------------------

void ModeratorWindow::layout() {
    if (!main_) return;
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

    for (PostList list : {PostList::messages, PostList::requests, PostList::tips, PostList::rejected, PostList::live}) {
        layoutListPage(list, pages_[listIndex(list)], true);
    }
    place(voteStatus_, 8, 8, 480, 100);
    layoutSettingsTab();

    HWND info = pages_[static_cast<int>(MainTab::info)];
    RECT page{};
    GetClientRect(info, &page);
    const int slot = std::max(static_cast<int>(page.right), 160) / kInfoPageCount;
    for (int i = 0; i < kInfoPageCount; ++i) place(infoButtons_[i], i * slot, 0, slot - 4, 32);
    const int top = setupMode_ ? 0 : 40;
    place(infoView_, 0, top, page.right, page.bottom - top);
    place(updatePage_, 0, top, page.right, page.bottom - top);
}

void ModeratorWindow::layoutListPage(PostList list, HWND page, bool withDetail) {
    const int i = listIndex(list);
    RECT r{};
    GetClientRect(page, &r);
    const int w = std::max(static_cast<int>(r.right), 160);
    const int h = std::max(static_cast<int>(r.bottom), 80);
    const auto& buttons = actionButtons_[i];
    const int top = list == PostList::blocked ? 52 : 0;
    int listBottom = h - 8;
    if (!buttons.empty()) {
        const int n = static_cast<int>(buttons.size());
        const int width = (w - 8 * (n - 1)) / n;
        for (int b = 0; b < n; ++b) place(buttons[b], b * (width + 8), h - 42, width, 36);
        listBottom = h - 50;
    }
    if (withDetail && details_[i]) {
        const int detailTop = buttons.empty() ? h - 106 : h - 150;
        place(details_[i], 0, detailTop, w, 100);
        listBottom = detailTop - 8;
    }
    place(listViews_[i], 0, top, w, std::max(listBottom - top, 48));
    fitColumn(listViews_[i], w);
}

void ModeratorWindow::fitColumn(HWND view, int width) {
    // The list's width less 8, and never wider than what its vertical scroll bar leaves, so no
    // horizontal scroll bar ever shows.
    RECT client{};
    GetClientRect(view, &client);
    const int wanted = std::max(std::min(width - 8, static_cast<int>(client.right)), 10);
    if (ListView_GetColumnWidth(view, 0) != wanted) ListView_SetColumnWidth(view, 0, wanted);
}

void ModeratorWindow::layoutSettingsTab() {
    HWND tab = pages_[static_cast<int>(MainTab::settings)];
    RECT r{};
    GetClientRect(tab, &r);
    const int w = std::max(static_cast<int>(r.right), 160);
    const int h = std::max(static_cast<int>(r.bottom), 120);
    const int slot = w / kSettingsPageCount;
    if (setupMode_) {
        place(settingsButtons_[kSetupSettingsPage], 0, 0, slot - 4, 32);
    } else {
        for (int i = 0; i < kSettingsPageCount; ++i) place(settingsButtons_[i], i * slot, 0, slot - 4, 32);
    }
    // The four buttons and the note sit at the bottom; the sub-pages fill the rest.
    const int bottom = setupMode_ ? h : h - 76;
    for (HWND page : settingsPages_) place(page, 0, 40, w, bottom - 40);
    if (!settingsBottom_.empty()) {
        const int n = static_cast<int>(settingsBottom_.size()) - 1;  // the buttons, then the hint
        const int width = n > 0 ? (w - 8 * (n - 1)) / n : w;
        for (int b = 0; b < n; ++b) place(settingsBottom_[b], b * (width + 8), h - 40, width, 36);
        place(settingsBottom_.back(), 0, h - 70, w, 24);
    }
    // The Display page: its four group buttons (the groups' controls join later).
    for (int i = 0; i < kDisplayGroupCount; ++i) place(displayButtons_[i], 8 + i * 122, 0, 118, 32);
    // The Blocked page: heading, hint, list and its two buttons in the 480-pixel column.
    HWND blocked = settingsPages_[5];
    place(GetDlgItem(blocked, 1700), 8, 0, 480, 18);
    RECT b{};
    GetClientRect(blocked, &b);
    place(GetDlgItem(blocked, 1701), 8, 24, std::max(static_cast<int>(b.right) - 16, 480), 24);
    const int bh = std::max(static_cast<int>(b.bottom), 160);
    place(listViews_[listIndex(PostList::blocked)], 8, 52, 480, std::max(bh - 52 - 52, 48));
    fitColumn(listViews_[listIndex(PostList::blocked)], 480);
    const auto& unblock = actionButtons_[listIndex(PostList::blocked)];
    for (std::size_t i = 0; i < unblock.size(); ++i) place(unblock[i], 8 + static_cast<int>(i) * 244, bh - 44, 236, 36);
    // The setup page.
    HWND setup = settingsPages_[kSetupSettingsPage];
    place(GetDlgItem(setup, 1710), 8, 0, 480, 18);
    place(GetDlgItem(setup, ids::kInstallNode), 8, 28, 230, 36);
    place(GetDlgItem(setup, 1711), 8, 72, 480, 40);
    place(GetDlgItem(setup, 1712), 8, 120, 480, 60);
}

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

void ModeratorWindow::showInfoPage(int index) {
    if (!main_) return;
    index = std::clamp(index, 0, kInfoPageCount - 1);
    if (setupMode_) index = kUpdateInfoPage;
    infoPage_ = index;
    for (HWND button : infoButtons_) InvalidateRect(button, nullptr, FALSE);
    show(infoView_, index != kUpdateInfoPage);
    show(updatePage_, index == kUpdateInfoPage);
}

void ModeratorWindow::refreshSetupState(bool navigate) {
    if (!main_) return;
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
    show(GetDlgItem(settingsPages_[kSetupSettingsPage], 1710), !setupMode_);

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
    layout();
}

// --- The poll -----------------------------------------------------------------------------------

void ModeratorWindow::pollState() {
    if (!main_ || !services_.http || !hookSays(services_.wallFilesPresent)) return;
    if (const auto update = pollModeration(*services_.http, model_)) applyUpdate(*update);
}

void ModeratorWindow::applyUpdate(const ModerationUpdate& update) {
    if (update.unchanged || !main_) return;
    for (int i = 0; i < kPostListCount; ++i) {
        const auto list = static_cast<PostList>(i);
        const int rows = ListView_GetItemCount(listViews_[i]);
        if (update.refill[i] || rows != static_cast<int>(model_.list(list).size())) refillList(list);
    }
    if (!update.songSearch.empty()) {
        if (services_.searchSongs) services_.searchSongs(update.songSearch);
        if (services_.http) sendWallRequest(*services_.http, vdjSearchClearRequest());
    }
    InvalidateRect(listViews_[listIndex(PostList::requests)], nullptr, FALSE);
    for (PostList list : {PostList::messages, PostList::requests, PostList::tips, PostList::rejected, PostList::live}) {
        showDetail(list);
    }
    for (int i = 0; i < kPostListCount; ++i) refreshActionButtons(static_cast<PostList>(i));
    if (services_.settings) {
        const std::int32_t repeat = update.repeatMessages ? 1 : 0;
        if (services_.settings->copy().repeat != repeat) {
            services_.settings->change([repeat](WallSettings& s) { s.repeat = repeat; });
        }
    }
    if (update.titleChanged) SetWindowTextW(main_, utf8ToWide(model_.windowTitle()).c_str());
    for (int i = 0; i < 5; ++i) {
        if (!update.captionChanged[i]) continue;
        SetWindowTextW(tabButtons_[i], utf8ToWide(model_.tabCaption(i)).c_str());
        InvalidateRect(tabButtons_[i], nullptr, FALSE);
    }
    if (update.voteCaptionChanged) {
        HWND vote = tabButtons_[static_cast<int>(MainTab::vote)];
        SetWindowTextW(vote, utf8ToWide(model_.voteCaption()).c_str());
        InvalidateRect(vote, nullptr, FALSE);
    }
    if (update.voteStatusChanged) setTextIfChanged(voteStatus_, utf8ToWide(model_.voteStatus()));
    if (update.pinChanged) setTextIfChanged(pinLine_, utf8ToWide(model_.venuePinLine()));
    if (update.statusChanged) setTextIfChanged(status_, utf8ToWide(model_.statusLine()));
    if (update.alertChanged) repaintAlertButtons();
    if (update.alert) ping(update.alert->label, update.alert->message, false);
}

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
    fitColumn(view, list == PostList::blocked ? 480 : bounds.right - bounds.left);  // a scroll bar may have come or gone
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
    ++refills_[i];
}

void ModeratorWindow::showDetail(PostList list) {
    if (!main_ || list == PostList::blocked) return;
    setTextIfChanged(details_[listIndex(list)], utf8ToWide(model_.detailText(list)));
}

void ModeratorWindow::refreshActionButtons(PostList list) {
    const auto selected = model_.selectedRecord(list);
    const std::size_t blocked = model_.list(PostList::blocked).size();
    const auto& actions = pageActions(list);
    const auto& buttons = actionButtons_[listIndex(list)];
    for (std::size_t b = 0; b < buttons.size() && b < actions.size(); ++b) {
        const BOOL enabled = actionEnabled(actions[b], selected, blocked) ? TRUE : FALSE;
        if ((IsWindowEnabled(buttons[b]) != FALSE) != (enabled != FALSE)) EnableWindow(buttons[b], enabled);
    }
}

void ModeratorWindow::setTextIfChanged(HWND window, const std::wstring& text) {
    if (window && windowText(window) != text) SetWindowTextW(window, text.c_str());
}

void ModeratorWindow::setStatus(const std::wstring& text) {
    model_.setStatusLine(wideToUtf8(text));
    setTextIfChanged(status_, text);
}

void ModeratorWindow::repaintAlertButtons() {
    for (int i = 0; i < 3; ++i) InvalidateRect(tabButtons_[i], nullptr, FALSE);
    InvalidateRect(status_, nullptr, TRUE);
}

// --- Actions ------------------------------------------------------------------------------------

void ModeratorWindow::runAction(PostAction action, std::optional<PostList> list) {
    // One action at a time: a click queued while a box or a request of another was up waits for
    // nothing and is dropped, rather than acting on whatever is selected after that one's poll.
    if (inAction_ || !main_) return;
    FlagScope running(inAction_);
    // The plan holds copies of the post's id and name: the box below runs a message loop in which
    // the timer's poll may replace every list, and the poll after the request always does.
    const ActionPlan plan = planAction(action, list ? model_.selectedRecord(*list) : std::nullopt,
                                       model_.list(PostList::blocked).size());
    if (!plan.enabled) return;
    if (!plan.statusText.empty()) setStatus(utf8ToWide(plan.statusText));
    if (plan.confirm) {
        const UINT icon = plan.confirm->icon == Confirmation::Icon::warning ? MB_ICONWARNING : MB_ICONQUESTION;
        const int answer = MessageBoxW(main_, utf8ToWide(plan.confirm->text).c_str(),
                                       utf8ToWide(plan.confirm->title).c_str(), MB_YESNO | MB_DEFBUTTON2 | icon);
        if (answer != IDYES || !main_) return;
    }
    if (!plan.songSearch.empty() && services_.searchSongs) services_.searchSongs(plan.songSearch);
    if (!plan.photoPath.empty()) showPhotoPreview(module_, main_, services_.readPhoto, plan.photoPath);
    if (!plan.openUrl.empty()) openInBrowser(plan.openUrl);
    std::string after;
    if (plan.request && services_.http) after = actionStatusAfter(plan, sendWallRequest(*services_.http, *plan.request));
    if (plan.pollAfter) pollState();
    if (!after.empty()) setStatus(utf8ToWide(after));
}

void ModeratorWindow::openInBrowser(const std::string& url) {
    ShellExecuteW(main_, L"open", utf8ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void ModeratorWindow::onCommand(int id, int code, HWND from) {
    if (id >= ids::kTab && id < ids::kTab + kMainTabCount) return showTab(id - ids::kTab);
    if (id >= ids::kSettingsPage && id < ids::kSettingsPage + kSettingsPageCount) {
        return showSettingsPage(id - ids::kSettingsPage);
    }
    if (id >= ids::kDisplayGroup && id < ids::kDisplayGroup + kDisplayGroupCount) {
        return showDisplayGroup(id - ids::kDisplayGroup);
    }
    if (id >= ids::kInfoPage && id < ids::kInfoPage + kInfoPageCount) return showInfoPage(id - ids::kInfoPage);
    if (code != BN_CLICKED) return;
    if (id >= ids::kShowNext && id <= ids::kBrowserMod) {
        static const std::vector<PostAction> bottom = settingsButtons();
        const auto place = static_cast<std::size_t>(id - ids::kShowNext);
        if (place < bottom.size()) runAction(bottom[place], std::nullopt);
        return;
    }
    if (id >= ids::kAction && id < ids::kAction + kPostListCount * 16) {
        const auto list = static_cast<PostList>((id - ids::kAction) / 16);
        const auto place = static_cast<std::size_t>((id - ids::kAction) % 16);
        const auto& actions = pageActions(list);
        if (place < actions.size()) runAction(actions[place], list);
    }
}

LRESULT ModeratorWindow::onNotify(NMHDR* header) {
    const int id = static_cast<int>(header->idFrom);
    if (id < ids::kList || id >= ids::kList + kPostListCount) return 0;
    const auto list = static_cast<PostList>(id - ids::kList);
    switch (header->code) {
        case NM_CUSTOMDRAW:
            return drawRow(list, *reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        case LVN_ITEMCHANGED: {
            const auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            if (refilling_ || !(change->uChanged & LVIF_STATE) ||
                ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) == 0) {
                return 0;
            }
            model_.select(list, ListView_GetNextItem(header->hwndFrom, -1, LVNI_SELECTED));
            showDetail(list);
            refreshActionButtons(list);
            return 0;
        }
        case NM_CLICK:
        case NM_DBLCLK:
        case LVN_ITEMACTIVATE:
            showDetail(list);
            return 0;
        default:
            return 0;
    }
}

// --- Painting -----------------------------------------------------------------------------------

void ModeratorWindow::onDrawItem(const DRAWITEMSTRUCT& item) {
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
    if (id == 1701 || id == 1711 || id == 1712 || id == 1720) text = kHint;
    if (id == ids::kStatusLine && model_.alertOn()) text = kAccent;
    SetTextColor(dc, text);
    SetBkColor(dc, kWindow);
    return reinterpret_cast<LRESULT>(look_.window);
}

LRESULT ModeratorWindow::drawRow(PostList list, NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            if (services_.settings) {
                const WallSettings s = services_.settings->copy();
                colours_ = ChatColours{s.colorShoutout, s.colorRequest, s.colorPhoto, s.colorVenue};
            }
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            break;
        default:
            return CDRF_DODEFAULT;
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
    if (r.bottom - r.top < 8 || r.right - r.left < 8 || row < 0 ||
        row >= static_cast<int>(model_.list(list).size())) {
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
        drawLine(dc, utf8ToWide(look.rightText), right, look.rightIsCount ? tag : fromRgb(kRowTimeColour),
                 look_.rowTag, DT_RIGHT);
    }
    drawLine(dc, utf8ToWide(look.name), RECT{pill.right + 8, r.top + 6, r.right - look.nameRightInset, r.top + 25},
             fromRgb(kRowNameColour), look_.rowName, DT_LEFT);
    drawLine(dc, utf8ToWide(look.secondLine), RECT{r.left + 12, r.top + 28, r.right - 10, r.bottom - 6},
             fromRgb(look.secondLineColour), look_.rowText, DT_LEFT);
    return CDRF_SKIPDEFAULT;
}

// --- Timer, tray, toast -------------------------------------------------------------------------

void ModeratorWindow::onTimer() {
    if (model_.alertOn()) {
        blinkOn_ = !blinkOn_;
        repaintAlertButtons();
    }
    pollState();
    if (setupMode_ && hookSays(services_.nodePresent) && hookSays(services_.wallFilesPresent)) {
        refreshSetupState(true);
    }
}

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

void ModeratorWindow::ping(std::string_view label, std::string_view message, bool force) {
    if (!main_ || message.empty()) return;
    if (!force) {
        const HWND front = GetForegroundWindow();
        if (front && (front == main_ || GetAncestor(front, GA_ROOTOWNER) == main_)) return;
        if (services_.settings && services_.settings->copy().notify == 0) return;
    }
    // Guest-made texts reach this point only through the model's bounds, but a caller's are cut here
    // too: the toast and the balloon's fixed buffers take them whole.
    toastLabel_ = utf8ToWide(toastLabel(label));
    toastMessage_ = utf8ToWide(toastMessage(message));
    blinkOn_ = true;
    toastDeadline_ = GetTickCount64() + kToastLifeMs;
    repaintAlertButtons();

    addTrayIcon();
    if (trayAdded_) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = main_;
        icon.uID = 1;
        icon.uFlags = NIF_INFO;
        lstrcpynW(icon.szInfoTitle, toastLabel_.c_str(), ARRAYSIZE(icon.szInfoTitle));
        lstrcpynW(icon.szInfo, toastMessage_.c_str(), ARRAYSIZE(icon.szInfo));
        icon.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
        icon.uTimeout = kToastLifeMs;
        Shell_NotifyIconW(NIM_MODIFY, &icon);
    }
    showToast();
}

void ModeratorWindow::showToast() {
    if (!toastClassRegistered_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = toastProc;
        wc.hInstance = module_;
        wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
        wc.lpszClassName = kToastClass;
        toastClassRegistered_ = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        if (!toastClassRegistered_) return;
    }
    if (toast_) {
        SetWindowTextW(toast_, toastLabel_.c_str());
        placeToast();
        ShowWindow(toast_, SW_SHOWNOACTIVATE);
        InvalidateRect(toast_, nullptr, FALSE);
    } else {
        toast_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kToastClass, toastLabel_.c_str(),
                                 WS_POPUP, 0, 0, kToastWidth, kToastHeight, nullptr, nullptr, module_, this);
        if (!toast_) return;
        placeToast();
        ShowWindow(toast_, SW_SHOWNOACTIVATE);
        SetWindowPos(toast_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SetTimer(toast_, kToastLifeTimer, kToastLifeMs, nullptr);
    SetTimer(toast_, kToastPlaceTimer, 200, nullptr);
}

HWND ModeratorWindow::hostTopWindow() {
    if ((!hostWindow_ || !IsWindow(hostWindow_)) && services_.askHostWindow) {
        const HWND asked = services_.askHostWindow();
        if (asked && IsWindow(asked)) hostWindow_ = asked;
    }
    return hostWindow_ && IsWindow(hostWindow_) ? hostWindow_ : nullptr;
}

void ModeratorWindow::placeToast() {
    if (!toast_) return;
    ScreenRect area;
    if (const HWND host = hostTopWindow()) {
        RECT client{};
        GetClientRect(host, &client);
        POINT topLeft{client.left, client.top};
        POINT bottomRight{client.right, client.bottom};
        ClientToScreen(host, &topLeft);
        ClientToScreen(host, &bottomRight);
        area = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(main_ ? main_ : toast_, MONITOR_DEFAULTTONEAREST), &monitor);
        area = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
    }
    const ScreenRect wanted = toastPlacement(area);
    RECT now{};
    GetWindowRect(toast_, &now);
    if (ScreenRect{now.left, now.top, now.right, now.bottom} == wanted) return;
    SetWindowPos(toast_, HWND_TOPMOST, wanted.left, wanted.top, wanted.width(), wanted.height(), SWP_NOACTIVATE);
}

void ModeratorWindow::destroyToast() {
    if (!toast_) return;
    const HWND toast = toast_;
    toast_ = nullptr;
    KillTimer(toast, kToastLifeTimer);
    KillTimer(toast, kToastPlaceTimer);
    DestroyWindow(toast);
}

void ModeratorWindow::paintToast(HDC dc, const RECT& client) {
    const ToastPaintMetrics m = toastPaintMetrics(client.bottom);
    if (toastFontsFor_ != client.bottom) {
        for (HFONT* font : {&toastLabelFont_, &toastMessageFont_}) {
            if (*font) DeleteObject(*font);
        }
        toastLabelFont_ = makeFont(m.labelFont, 700);
        toastMessageFont_ = makeFont(m.messageFont, 600);
        toastFontsFor_ = client.bottom;
    }
    fill(dc, client, kWindow);
    fill(dc, RECT{0, 0, client.right, m.bar}, kIdleButton);
    fill(dc, RECT{0, m.bar, client.right, m.bar + m.line}, kAccent);
    frame(dc, client, kFrame);
    int textLeft = m.inset;
    if (mark_) {
        const int top = (m.bar - m.mark) / 2;
        HDC source = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(source, mark_);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, m.inset, top, m.mark, m.mark, source, 0, 0, 64, 64, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        textLeft = m.inset + m.mark + 8;
    }
    SetBkMode(dc, TRANSPARENT);
    drawLine(dc, toastLabel_, RECT{textLeft, 0, client.right - m.inset, m.bar}, RGB(255, 255, 255), toastLabelFont_,
             DT_LEFT);
    RECT body{m.inset, m.bar + m.line + 6, client.right - m.inset, client.bottom - 4};
    const HGDIOBJ old = SelectObject(dc, toastMessageFont_);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, toastMessage_.c_str(), static_cast<int>(toastMessage_.size()), &body,
              DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
}

// --- Window procedures --------------------------------------------------------------------------

LRESULT CALLBACK ModeratorWindow::mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ModeratorWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->main_ = window;
    }
    auto* self = reinterpret_cast<ModeratorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->main_ != window) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->handleMain(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);  // never into the host
    }
}

LRESULT ModeratorWindow::handleMain(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            buildControls();
            return 0;
        case WM_ERASEBKGND: {
            RECT r{};
            GetClientRect(main_, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, look_.window);
            return 1;
        }
        case WM_SIZE:
            layout();
            return 0;
        case WM_CLOSE:
            ShowWindow(main_, SW_HIDE);  // X only hides: "Open moderator" shows the same window
            return 0;
        case WM_TIMER:
            if (wParam == kPollTimer) onTimer();
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NOTIFY:
            return onNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_DRAWITEM:
            onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLOREDIT:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), true);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), false);
        case kTrayMessage:
            if (LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == NIN_BALLOONUSERCLICK) open(module_, hostWindow_);
            return 0;
        default:
            return DefWindowProcW(main_, message, wParam, lParam);
    }
}

LRESULT CALLBACK ModeratorWindow::pageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<ModeratorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            if (self) {
                RECT r{};
                GetClientRect(window, &r);
                wchar_t name[32] = {};
                GetClassNameW(window, name, 32);
                const bool info = lstrcmpW(name, kInfoViewClass) == 0;
                FillRect(reinterpret_cast<HDC>(wParam), &r, info ? self->look_.infoView : self->look_.window);
                if (info) frame(reinterpret_cast<HDC>(wParam), r, rgb(0x30303C));
                return 1;
            }
            break;
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_HSCROLL:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            // Every control is handled by the main window, whatever page it sits on.
            if (HWND parent = GetParent(window)) return SendMessageW(parent, message, wParam, lParam);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ModeratorWindow::toastProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<ModeratorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Until CreateWindowEx returns, and once destroyToast forgot it, the toast is not ours to handle.
    if (!self || self->toast_ != window) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->handleToast(message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT ModeratorWindow::handleToast(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(toast_, &paint);
            RECT client{};
            GetClientRect(toast_, &client);
            paintToast(dc, client);
            EndPaint(toast_, &paint);
            return 0;
        }
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_TIMER:
            if (wParam == kToastLifeTimer || GetTickCount64() >= toastDeadline_) {
                destroyToast();
            } else if (wParam == kToastPlaceTimer) {
                placeToast();
            }
            return 0;
        case WM_LBUTTONUP: {
            const bool update = toastLabel_ == L"UPDATE";
            destroyToast();
            if (update) {
                refreshSetupState(false);
                ShowWindow(main_, SW_SHOW);
                SetForegroundWindow(main_);
                pollState();
                showTab(static_cast<int>(MainTab::info));
                showInfoPage(kUpdateInfoPage);
            } else {
                open(module_, hostWindow_);
            }
            return 0;
        }
        default:
            return DefWindowProcW(toast_, message, wParam, lParam);
    }
}

}  // namespace lumvo
