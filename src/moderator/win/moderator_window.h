#pragma once
// The DJ's moderator window. Only its shell is here so far: the plug-in asks it to open with the
// module and the owner window it resolved, and to close at release. The window itself (tabs,
// lists, actions) is built on this.
#include <windows.h>

namespace lumvo {

class ModeratorWindow {
public:
    ModeratorWindow() = default;
    ~ModeratorWindow() { close(); }
    ModeratorWindow(const ModeratorWindow&) = delete;
    ModeratorWindow& operator=(const ModeratorWindow&) = delete;

    // Creates the window once with `module` and `owner` (null: no owner) and shows it.
    void open(HMODULE module, HWND owner) {
        module_ = module;
        owner_ = owner;
    }
    void close() { owner_ = nullptr; }

    // What the last open was given.
    HMODULE module() const { return module_; }
    HWND owner() const { return owner_; }

private:
    HMODULE module_ = nullptr;
    HWND owner_ = nullptr;
};

}  // namespace lumvo
