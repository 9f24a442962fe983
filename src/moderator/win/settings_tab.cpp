#include "moderator/win/moderator_window.h"

#include <algorithm>

#include "base/win/wide_text.h"
#include "moderator/win/moderator_parts.h"

// The Settings tab: its seven sub-page buttons and pages, the Display page's group buttons, the
// Blocked and Setup pages, and the four buttons and the note under them. The settings pages'
// controls are SettingsTab's (settings_tab.h).

namespace lumvo {

using namespace moderator_look;
using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

constexpr const wchar_t* kSettingsPageNames[kSettingsPageCount] = {L"Display", L"Guests",  L"Tips", L"Album",
                                                                   L"Brand",   L"Blocked", L"Setup"};
constexpr const wchar_t* kDisplayGroupNames[kDisplayGroupCount] = {L"TV", L"Highlight", L"Hot", L"Look"};
constexpr const wchar_t* kSetupHint =
    L"First install: open Info, Update and tap Update to download the wall files from Lumvo. Then tap "
    L"Install Node if it is not already on this PC.";

}  // namespace

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
    SendMessageW(makeLabel(blocked, L"BLOCKED GUESTS", kBlockedHeadingId), WM_SETFONT,
                 reinterpret_cast<WPARAM>(look_.bold), FALSE);
    makeLabel(blocked, L"Select a name and Unblock to let that phone message again.", kBlockedHintId);
    buildListPage(PostList::blocked, blocked);

    HWND setup = settingsPages_[kSetupSettingsPage];
    SendMessageW(makeLabel(setup, L"SETUP", kSetupHeadingId), WM_SETFONT, reinterpret_cast<WPARAM>(look_.bold), FALSE);
    makeButton(setup, L"Install Node", ids::kInstallNode, false);
    makeLabel(setup, L"Needed for guest phones and the booth page. LUMVO keeps its own copy.", kSetupNoteId);
    setupOnly_.push_back(makeLabel(setup, kSetupHint, kSetupHintId));

    const std::vector<PostAction> bottom = settingsButtons();  // "Show next", "Skip", "Clear chat", "Browser mod"
    for (std::size_t i = 0; i < bottom.size() && i < 4; ++i) {
        settingsBottom_.push_back(
            makeButton(tab, utf8ToWide(actionCaption(bottom[i])).c_str(), ids::kShowNext + static_cast<int>(i), false));
    }
    settingsBottom_.push_back(makeLabel(
        tab, L"Close this window with X. Reopen it from Open moderator in the VirtualDJ plugin.", kSettingsNoteId));
    settingsTab_.build();  // the settings pages' own controls
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
    // The Display page's four group buttons; the settings pages' controls under them.
    for (int i = 0; i < kDisplayGroupCount; ++i) place(displayButtons_[i], 8 + i * 122, 0, 118, 32);
    settingsTab_.layout();
    // The Blocked page: heading, hint, list and its two buttons in the 480-pixel column.
    HWND blocked = settingsPages_[5];
    place(GetDlgItem(blocked, kBlockedHeadingId), 8, 0, 480, 18);
    RECT b{};
    GetClientRect(blocked, &b);
    place(GetDlgItem(blocked, kBlockedHintId), 8, 24, std::max(static_cast<int>(b.right) - 16, 480), 24);
    const int bh = std::max(static_cast<int>(b.bottom), 160);
    place(listViews_[listIndex(PostList::blocked)], 8, 52, 480, std::max(bh - 52 - 52, 48));
    fitColumn(listViews_[listIndex(PostList::blocked)], 480);
    const auto& unblock = actionButtons_[listIndex(PostList::blocked)];
    for (std::size_t i = 0; i < unblock.size(); ++i) place(unblock[i], 8 + static_cast<int>(i) * 244, bh - 44, 236, 36);
    // The setup page.
    HWND setup = settingsPages_[kSetupSettingsPage];
    place(GetDlgItem(setup, kSetupHeadingId), 8, 0, 480, 18);
    place(GetDlgItem(setup, ids::kInstallNode), 8, 28, 230, 36);
    place(GetDlgItem(setup, kSetupNoteId), 8, 72, 480, 40);
    place(GetDlgItem(setup, kSetupHintId), 8, 120, 480, 60);
}

}  // namespace lumvo
