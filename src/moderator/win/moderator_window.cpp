#include "moderator/win/moderator_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "base/http_client.h"
#include "base/win/wide_text.h"
#include "moderator/win/info_view.h"
#include "base/win/module_pin.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/photo_preview.h"
#include "moderator/win/window_proc.h"
#include "settings/shared_settings.h"

// The window's core: its life (open, create, close, the classes), the one-second timer's poll and
// what a new state changes, the actions on posts, the alert and the main window's messages. The
// pages, the list rows, the tray icon and the toast each have a file of their own.

namespace lumvo {

using namespace moderator_look;
using namespace moderator_parts;
namespace ids = moderator_ids;

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
    thread_ = GetCurrentThreadId();
    alive_ = std::make_shared<bool>(true);
    // WM_CREATE builds the pages (buildControls) with `this` from the creation record.
    main_ = CreateWindowExW(WS_EX_APPWINDOW, kMainClass, L"LUMVO Moderator", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 80,
                            80, 960, 860, nullptr, nullptr, module_, this);
    if (!main_) {
        close();
        return false;
    }
    loadMark();
    return true;
}

void ModeratorWindow::closeHere() {
    // A frame waiting in a box learns from its copy of the token that the window is gone, the box
    // ends, and the desk's thread is stopped (its exchange cancelled) before anything it reports to.
    if (alive_) *alive_ = false;
    alive_.reset();
    endBoxes();
    desk_.stop();
    pollTicket_ = actionTicket_ = infoTicket_ = 0;
    inAction_ = false;
    boxesUp_ = 0;
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
    voteTab_.reset();
    booth_.reset();
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
    thread_ = 0;
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
    constexpr WNDPROC pageProc = windowProc<ModeratorWindow, &ModeratorWindow::handlePage>;
    classesRegistered_ = registerOne(kMainClass, &ModeratorWindow::mainProc, LoadIconW(nullptr, IDI_APPLICATION)) &&
                         registerOne(kPageClass, pageProc, nullptr) &&
                         registerOne(kInfoViewClass, infoViewProc, nullptr);
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

// --- The poll -----------------------------------------------------------------------------------

void ModeratorWindow::pollState() {
    if (!main_ || !services_.http || pollTicket_ != 0 || !hookSays(services_.wallFilesPresent) ||
        hookSays(services_.linkStopped)) {
        return;
    }
    pollTicket_ = submitDesk({std::nullopt, true});
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
        submitDesk({vdjSearchClearRequest(), false});
    }
    InvalidateRect(listViews_[listIndex(PostList::requests)], nullptr, FALSE);
    for (PostList list : kTabLists) showDetail(list);
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

void ModeratorWindow::onTimer() {
    takeDeskResults();  // any whose message was lost (a full queue), so no poll stays pending for good
    if (model_.alertOn()) {
        blinkOn_ = !blinkOn_;
        repaintAlertButtons();
    }
    // Posts that go live by themselves show their seconds left: repaint them each second.
    if (model_.countsDown(PostList::messages))
        InvalidateRect(listViews_[listIndex(PostList::messages)], nullptr, FALSE);
    pollState();
    settingsTab_.refreshIfChanged();  // what the wall server changed since shows in the controls
    if (setupMode_ && hookSays(services_.nodePresent) && hookSays(services_.wallFilesPresent)) {
        refreshSetupState(true);
    }
}

// --- Actions ------------------------------------------------------------------------------------

void ModeratorWindow::runAction(PostAction action, std::optional<PostList> list) {
    // One action at a time, until its request's result is in: a click queued while a box or a
    // request of another was up waits for nothing and is dropped, rather than acting on whatever is
    // selected after that one's poll.
    if (inAction_ || !main_) return;
    // The plan holds copies of the post's id and name: the box below runs a message loop in which
    // the timer's poll may replace every list, and the poll after the request always does.
    const ActionPlan plan =
        planAction(action, list ? model_.selectedRecord(*list) : std::nullopt, model_.list(PostList::blocked).size());
    if (!plan.enabled) return;
    inAction_ = true;
    if (!plan.statusText.empty()) setStatus(utf8ToWide(plan.statusText));
    if (plan.confirm) {
        const std::shared_ptr<bool> alive = alive_;
        const int answer = askYesNo(*plan.confirm);
        if (!alive || !*alive) return;  // closed under the box: nothing of ours may be touched
        if (answer != IDYES || !main_) {
            inAction_ = false;
            return;
        }
    }
    if (!plan.songSearch.empty() && services_.searchSongs) services_.searchSongs(plan.songSearch);
    if (!plan.photoPath.empty()) showPhotoPreview(module_, main_, services_.readPhoto, plan.photoPath);
    if (!plan.openUrl.empty()) openInBrowser(plan.openUrl);
    if (plan.request) {
        // The result (the status after it, the poll's lists) is applied when it comes back.
        actionTicket_ = submitDesk({*plan.request, plan.pollAfter});
        if (actionTicket_ != 0) {
            actionPlan_ = plan;
            return;
        }
        setStatus(utf8ToWide(actionStatusAfter(plan, false)));
    } else if (plan.pollAfter) {
        pollState();
    }
    inAction_ = false;
}

int ModeratorWindow::askYesNo(const Confirmation& confirm) {
    // The box's loop may see the host release the plug-in and unload the DLL: the pin keeps the
    // code under this frame mapped, and the token copy says whether this object still exists.
    ModulePin pin;
    const std::shared_ptr<bool> alive = alive_;
    ++boxesUp_;
    const UINT icon = confirm.icon == Confirmation::Icon::warning ? MB_ICONWARNING : MB_ICONQUESTION;
    const int answer = MessageBoxW(main_, utf8ToWide(confirm.text).c_str(), utf8ToWide(confirm.title).c_str(),
                                   MB_YESNO | MB_DEFBUTTON2 | icon);
    if (alive && *alive) {
        --boxesUp_;
        return answer;
    }
    pin.releaseAfterUnwinding();
    return IDNO;
}

void ModeratorWindow::openInBrowser(const std::string& url) {
    ShellExecuteW(main_, L"open", utf8ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void ModeratorWindow::onCommand(int id, int code, HWND from) {
    if (settingsTab_.onCommand(id, code, from)) return;
    if (voteTab_.onCommand(id, code) || booth_.onCommand(id, code)) return;
    if (id >= ids::kTab && id < ids::kTab + kMainTabCount) return showTab(id - ids::kTab);
    if (id >= ids::kSettingsPage && id < ids::kSettingsPage + kSettingsPageCount) {
        return showSettingsPage(id - ids::kSettingsPage);
    }
    if (id >= ids::kDisplayGroup && id < ids::kDisplayGroup + kDisplayGroupCount) {
        return showDisplayGroup(id - ids::kDisplayGroup);
    }
    if (id >= ids::kInfoPage && id < ids::kInfoPage + kInfoPageCount) return showInfoPage(id - ids::kInfoPage);
    if (code != BN_CLICKED) return;
    if (id == ids::kUpdateButton) return startWallUpdate();
    if (id == ids::kInstallNode || id == ids::kUpdateInstallNode) return startNodeInstall();
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
        case NM_CUSTOMDRAW: return drawRow(list, *reinterpret_cast<NMLVCUSTOMDRAW*>(header));
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
        case LVN_ITEMACTIVATE: showDetail(list); return 0;
        default: return 0;
    }
}

// --- The alert ----------------------------------------------------------------------------------

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
    showTrayBalloon();
    showToast();
}

// --- Window procedures --------------------------------------------------------------------------

LRESULT ModeratorWindow::handleMain(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The window is ours from WM_NCCREATE on, until close() forgets it.
    if (message == WM_NCCREATE) main_ = window;
    if (window != main_) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE: buildControls(); return 0;
        case WM_ERASEBKGND: {
            RECT r{};
            GetClientRect(main_, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, look_.window);
            return 1;
        }
        case WM_SIZE: layout(); return 0;
        case WM_CLOSE:
            ShowWindow(main_, SW_HIDE);  // X only hides: "Open moderator" shows the same window
            return 0;
        case WM_TIMER:
            if (wParam == kPollTimer) onTimer();
            return 0;
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return 0;
        case WM_NOTIFY: return onNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_DRAWITEM: onDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
        case WM_HSCROLL: settingsTab_.onSlider(reinterpret_cast<HWND>(lParam)); return 0;
        case WM_CTLCOLOREDIT:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), true);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), false);
        case kDeskMessage: takeDeskResults(); return 0;
        case kNodeInstalledMessage:
        case kUpdateProgressMessage:
        case kUpdateDoneMessage:
        case kUpdateCheckedMessage:
        case kUpdateNewerMessage: onUpdateJobMessage(message, wParam); return 0;
        case kTrayMessage:
            if (LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == NIN_BALLOONUSERCLICK) open(module_, hostWindow_);
            return 0;
        default: return DefWindowProcW(main_, message, wParam, lParam);
    }
}

LRESULT ModeratorWindow::handlePage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT r{};
            GetClientRect(window, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, look_.window);
            return 1;
        }
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
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace lumvo
