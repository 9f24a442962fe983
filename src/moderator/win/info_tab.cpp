#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "base/win/wide_text.h"
#include "moderator/info_text.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/moderator_window.h"

// The Info tab: the eight sub-page buttons, the text view that shows the seven help pages and the
// Update page beside it; where each help text comes from.

namespace lumvo {

using namespace moderator_parts;
namespace ids = moderator_ids;

namespace {

constexpr const wchar_t* kInfoPageNames[kInfoPageCount] = {L"Start", L"Features", L"Booth", L"Vote",
                                                           L"Tips",  L"Words",    L"Help",  L"Update"};

}  // namespace

std::optional<std::string> moderator_parts::readInfoFile(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[16384];
    std::size_t got = 0;
    // One byte past the cap is enough to know that a file is too long.
    while (bytes.size() <= kInfoTextCap && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return infoTextFromBytes(std::move(bytes));
}

void ModeratorWindow::buildInfoTab() {
    HWND tab = pages_[static_cast<int>(MainTab::info)];
    for (int i = 0; i < kInfoPageCount; ++i)
        infoButtons_[i] = makeButton(tab, kInfoPageNames[i], ids::kInfoPage + i, true);
    infoView_ =
        CreateWindowExW(0, kInfoViewClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0,
                        10, 10, tab, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kInfoView)), module_, nullptr);
    updatePage_ = makePage(tab);
    buildUpdatePage();
}

void ModeratorWindow::layoutInfoTab() {
    HWND info = pages_[static_cast<int>(MainTab::info)];
    RECT page{};
    GetClientRect(info, &page);
    const int slot = std::max(static_cast<int>(page.right), 160) / kInfoPageCount;
    for (int i = 0; i < kInfoPageCount; ++i) place(infoButtons_[i], i * slot, 0, slot - 4, 32);
    const int top = setupMode_ ? 0 : 40;
    place(infoView_, 0, top, page.right, page.bottom - top);
    place(updatePage_, 0, top, page.right, page.bottom - top);
    layoutUpdatePage();
}

void ModeratorWindow::showInfoPage(int index) {
    if (!main_) return;
    index = std::clamp(index, 0, kInfoPageCount - 1);
    if (setupMode_) index = kUpdateInfoPage;
    infoPage_ = index;
    for (HWND button : infoButtons_) InvalidateRect(button, nullptr, FALSE);
    show(infoView_, index != kUpdateInfoPage);
    show(updatePage_, index == kUpdateInfoPage);
    if (index == kUpdateInfoPage) {
        infoTicket_ = 0;  // a help text still on its way is not wanted any more
        // Every opening asks the update site again (the page shows the last answer meanwhile).
        if (hookSays(services_.wallFilesPresent) && services_.startUpdateCheck) services_.startUpdateCheck(main_);
        refreshUpdatePage();
    } else {
        loadInfoPage(infoPageFile(index));
    }
}

void ModeratorWindow::loadInfoPage(std::string_view fileName) {
    if (!infoView_ || fileName.empty()) return;
    infoTicket_ = 0;  // whatever another page's request brings is not shown
    const std::wstring folder = services_.infoFolder ? services_.infoFolder() : std::wstring();
    if (!folder.empty()) {
        if (const auto text = readInfoFile(folder + utf8ToWide(fileName))) return setInfoText(*text);
    }
    // The wall server's copy, asked for on the desk's thread: this thread never waits on the network.
    SetWindowTextW(infoView_, L"");
    infoTicket_ = submitDesk({std::nullopt, false, DeskGet{"/web/info/" + std::string(fileName), kInfoTextCap}});
    if (infoTicket_ == 0) setInfoText(kInfoPageMissing);
}

void ModeratorWindow::takeInfoText(const DeskResult& result) {
    infoTicket_ = 0;
    const std::optional<std::string> text = result.got ? infoTextFromBytes(*result.got) : std::nullopt;
    setInfoText(text ? std::string_view(*text) : kInfoPageMissing);
}

void ModeratorWindow::setInfoText(std::string_view utf8) {
    if (infoView_) SetWindowTextW(infoView_, utf8ToWide(utf8).c_str());
}

}  // namespace lumvo
