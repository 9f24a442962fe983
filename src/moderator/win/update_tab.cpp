#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/win/wide_text.h"
#include "moderator/update_page.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/moderator_window.h"

// The Info tab's Update page: the plug-in's version and the latest one, the status line, the Update
// button with its progress bar, the change log and the "Install Node" pair (the setup page holds the
// second pair); and what the window does with the update jobs' messages.

namespace lumvo {

using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

constexpr int kVersionCaptionId = 1730;
constexpr int kLatestCaptionId = 1731;
constexpr const wchar_t* kUpdateFailed = L"Could not update from Lumvo.";
constexpr const wchar_t* kInstallFailed = L"Could not install Node. Check the venue internet.";
constexpr const wchar_t* kRestartHost = L"Please restart VirtualDJ.";
constexpr const wchar_t* kWallFilesReady = L"Wall files are ready.";

HWND item(HWND page, int id) { return GetDlgItem(page, id); }

void setPercent(HWND page, int percent) {
    SendMessageW(item(page, ids::kUpdateProgress), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    wchar_t text[16];
    std::swprintf(text, 16, L"%d%%", percent);
    SetWindowTextW(item(page, ids::kUpdatePercent), text);
}

}  // namespace

void ModeratorWindow::buildUpdatePage() {
    HWND page = updatePage_;
    SendMessageW(makeLabel(page, L"This plug-in", kVersionCaptionId), WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold),
                 FALSE);
    makeLabel(page, L"", ids::kUpdateVersion);
    SendMessageW(makeLabel(page, L"Latest", kLatestCaptionId), WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold), FALSE);
    makeLabel(page, L"", ids::kUpdateLatest);
    makeLabel(page, L"", ids::kUpdateStatus);
    makeButton(page, L"Update", ids::kUpdateButton, false);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 10, 10, page,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kUpdateProgress)), module_, nullptr);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    makeLabel(page, L"0%", ids::kUpdatePercent);
    makeButton(page, L"Install Node", ids::kUpdateInstallNode, false);
    makeLabel(page, L"", ids::kUpdateNodeNote);
    changelogView_ =
        CreateWindowExW(0, kInfoViewClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP, 0, 0, 10, 10, page,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kChangelogView)), module_, nullptr);
}

void ModeratorWindow::layoutUpdatePage() {
    HWND page = updatePage_;
    RECT r{};
    GetClientRect(page, &r);
    const int w = r.right;
    place(item(page, kVersionCaptionId), 8, 8, 120, 20);
    place(item(page, ids::kUpdateVersion), 132, 8, 200, 20);
    place(item(page, kLatestCaptionId), 8, 32, 120, 20);
    place(item(page, ids::kUpdateLatest), 132, 32, 200, 20);
    place(item(page, ids::kUpdateStatus), 8, 60, w - 16, 20);
    place(item(page, ids::kUpdateButton), 8, 88, 140, 32);
    place(item(page, ids::kUpdateProgress), 160, 94, std::max(w - 240, 80), 20);
    place(item(page, ids::kUpdatePercent), std::max(w - 72, 248), 94, 64, 20);
    // Its own style bit: while the window's drawing is held, no child counts as visible.
    const bool nodePair = (GetWindowLongW(item(page, ids::kUpdateInstallNode), GWL_STYLE) & WS_VISIBLE) != 0;
    place(item(page, ids::kUpdateInstallNode), 8, 132, 200, 32);
    place(item(page, ids::kUpdateNodeNote), 220, 132, std::max(w - 228, 80), 36);
    const int logTop = nodePair ? 180 : 132;
    place(changelogView_, 0, logTop, w, std::max(static_cast<int>(r.bottom) - logTop, 40));
}

UpdatePageInput ModeratorWindow::updatePageInput(std::optional<InstalledParts> known) {
    UpdatePageInput input;
    if (services_.lastUpdateCheck) input.check = services_.lastUpdateCheck();
    // Looking for Node.js and the wall files takes a few file-system calls: a caller that has just
    // looked passes what it found.
    input.nodeInstalled = known ? known->node : hookSays(services_.nodePresent);
    if (input.nodeInstalled) installRunning_ = false;  // whichever way it came, the install is over
    input.wallFilesPresent = known ? known->wallFiles : hookSays(services_.wallFilesPresent);
    input.updateRunning = updateRunning_;
    input.installRunning = installRunning_;
    input.setupMode = setupMode_;
    return input;
}

void ModeratorWindow::refreshUpdatePage(std::optional<InstalledParts> known) {
    if (!updatePage_) return;
    const UpdatePageInput input = updatePageInput(known);
    const UpdatePageView view = updatePageView(input);
    HWND page = updatePage_;
    setTextIfChanged(item(page, ids::kUpdateVersion), utf8ToWide(view.version));
    setTextIfChanged(item(page, ids::kUpdateLatest), utf8ToWide(view.latest));
    // While an update runs, the line it started with stays.
    if (!input.updateRunning) setTextIfChanged(item(page, ids::kUpdateStatus), utf8ToWide(view.status));
    show(item(page, ids::kUpdateButton), view.updateShown);
    EnableWindow(item(page, ids::kUpdateButton), view.updateEnabled);
    show(item(page, ids::kUpdateProgress), view.progressShown);
    show(item(page, ids::kUpdatePercent), view.progressShown);

    const std::wstring folder = services_.infoFolder ? services_.infoFolder() : std::wstring();
    const std::optional<std::string> local =
        input.check.changelog.empty() && !folder.empty() ? readInfoFile(folder + L"changes.txt") : std::nullopt;
    setTextIfChanged(changelogView_, utf8ToWide(changelogText(input.check, local.value_or(""))));
    showNodeControls(view);
}

void ModeratorWindow::refreshNodeStatus() {
    if (!main_) return;
    showNodeControls(updatePageView(updatePageInput()));
}

void ModeratorWindow::showNodeControls(const UpdatePageView& view) {
    HWND setup = settingsPages_[kSetupSettingsPage];
    const std::pair<HWND, HWND> pairs[] = {
        {item(setup, ids::kInstallNode), item(setup, kSetupNoteId)},
        {item(updatePage_, ids::kUpdateInstallNode), item(updatePage_, ids::kUpdateNodeNote)}};
    for (const auto& [button, note] : pairs) {
        setTextIfChanged(button, utf8ToWide(view.node.button));
        EnableWindow(button, view.node.buttonEnabled);
        setTextIfChanged(note, utf8ToWide(view.node.note));
    }
    show(item(updatePage_, ids::kUpdateInstallNode), view.nodePairShown);
    show(item(updatePage_, ids::kUpdateNodeNote), view.nodePairShown);
    layoutUpdatePage();  // the change log moves up when the pair is hidden
}

void ModeratorWindow::startWallUpdate() {
    if (!updatePage_ || !wallUpdateWanted(updatePageInput())) return;
    updateRunning_ = true;
    HWND page = updatePage_;
    setTextIfChanged(item(page, ids::kUpdateStatus),
                     utf8ToWide(updateStartingStatus(hookSays(services_.wallFilesPresent))));
    show(item(page, ids::kUpdateButton), true);
    EnableWindow(item(page, ids::kUpdateButton), FALSE);
    show(item(page, ids::kUpdateProgress), true);
    show(item(page, ids::kUpdatePercent), true);
    setPercent(page, 0);
    layoutUpdatePage();
    if (!services_.startWallUpdate || !services_.startWallUpdate(main_)) {
        updateRunning_ = false;
        refreshUpdatePage();
        setStatus(kUpdateFailed);
    }
}

void ModeratorWindow::startNodeInstall() {
    if (installRunning_ || hookSays(services_.nodePresent)) return;
    installRunning_ = true;
    refreshNodeStatus();
    if (!services_.startNodeInstall || !services_.startNodeInstall(main_)) {
        installRunning_ = false;
        refreshNodeStatus();
        setStatus(kInstallFailed);
    }
}

void ModeratorWindow::onUpdateJobMessage(UINT message, WPARAM wParam) {
    switch (message) {
        case kNodeInstalledMessage:
            installRunning_ = false;
            if (wParam && hookSays(services_.wallFilesPresent) && services_.ensureServer) services_.ensureServer();
            refreshSetupState(true);
            if (!wParam) setStatus(kInstallFailed);
            return;
        case kUpdateProgressMessage:
            show(item(updatePage_, ids::kUpdateProgress), true);
            show(item(updatePage_, ids::kUpdatePercent), true);
            setPercent(updatePage_, static_cast<int>(std::min<WPARAM>(wParam, 100)));
            return;
        case kUpdateDoneMessage: return onUpdateDone(wParam != 0);
        case kUpdateCheckedMessage: return refreshUpdatePage();
        case kUpdateNewerMessage:
            refreshUpdatePage();
            if (!updateAlertShown_ && services_.lastUpdateCheck && services_.lastUpdateCheck().newer) {
                updateAlertShown_ = true;
                ping("UPDATE", "New Update Available", true);
            }
            return;
        default: return;
    }
}

void ModeratorWindow::onUpdateDone(bool ok) {
    updateRunning_ = false;
    if (!ok) {
        refreshUpdatePage();
        setStatus(kUpdateFailed);
        return;
    }
    HWND page = updatePage_;
    EnableWindow(item(page, ids::kUpdateButton), FALSE);
    setPercent(page, 100);
    const bool staged = hookSays(services_.restartNeeded);
    refreshSetupState(!staged);
    setTextIfChanged(item(page, ids::kUpdateStatus), staged ? kRestartHost : kWallFilesReady);
    if (staged) setStatus(kRestartHost);
}

}  // namespace lumvo
