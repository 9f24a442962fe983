#pragma once
// What the moderator window's source files share and nobody else needs: its window classes, the
// identifiers of its fixed labels, and small helpers over child windows.
#include <windows.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "moderator/moderation_model.h"
#include "moderator/post_actions.h"

namespace lumvo::moderator_parts {

inline constexpr const wchar_t* kMainClass = L"LUMVOModeratorWnd";
inline constexpr const wchar_t* kPageClass = L"LUMVOModeratorPage";
inline constexpr const wchar_t* kInfoViewClass = L"LUMVOInfoView";
inline constexpr const wchar_t* kToastClass = L"LUMVOPingToast";

// The fixed labels of the Settings tab (the hints are painted grey).
inline constexpr int kBlockedHeadingId = 1700;
inline constexpr int kBlockedHintId = 1701;
inline constexpr int kSetupHeadingId = 1710;
inline constexpr int kSetupNoteId = 1711;
inline constexpr int kSetupHintId = 1712;
inline constexpr int kSettingsNoteId = 1720;

// A help text from disk (info_tab.cpp): nothing when it cannot be read, is over the cap or empty.
std::optional<std::string> readInfoFile(const std::wstring& path);

// How long a toast and the tray balloon stay up.
inline constexpr UINT kToastLifeMs = 8000;

// The buttons under each post list, in their order on the page (made once; the model says which).
inline const std::vector<PostAction>& pageActions(PostList list) {
    static const std::array<std::vector<PostAction>, kPostListCount> actions{
        listButtons(PostList::messages), listButtons(PostList::requests), listButtons(PostList::tips),
        listButtons(PostList::rejected), listButtons(PostList::live),     listButtons(PostList::blocked)};
    return actions[listIndex(list)];
}

// The post lists that have a main tab of their own (the Blocked list sits on a Settings page).
inline constexpr std::array<PostList, 5> kTabLists{PostList::messages, PostList::requests, PostList::tips,
                                                   PostList::rejected, PostList::live};

inline bool hookSays(const std::function<bool()>& hook) { return hook && hook(); }

inline void show(HWND window, bool visible) {
    if (window) ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

inline void place(HWND window, int x, int y, int w, int h) {
    if (window) MoveWindow(window, x, y, std::max(w, 0), std::max(h, 0), TRUE);
}

inline std::wstring windowText(HWND window) {
    const int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), n + 1)));
    return text;
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

}  // namespace lumvo::moderator_parts
