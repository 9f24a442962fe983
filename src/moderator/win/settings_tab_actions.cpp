#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <array>
#include <cstdio>
#include <memory>
#include <optional>

#include "base/win/data_folders.h"
#include "base/win/module_pin.h"
#include "base/win/wide_text.h"
#include "moderator/win/control_kit.h"
#include "moderator/win/moderator_window.h"
#include "moderator/win/settings_tab.h"
#include "settings/shared_settings.h"

// The Settings tab's buttons and dialogs: the chat colours, the guest album's folder, the venue
// logo and the guest looks.

namespace lumvo {

namespace kit = control_kit;

namespace {

// The colour dialog's custom colours, kept for the program's life.
std::array<COLORREF, 16> customColours{};

constexpr ULONGLONG kLogoMaxBytes = 2097152;
constexpr ULONGLONG kLogoMinBytes = 24;

// Runs a dialog's nested loop as askYesNo does: the module pinned, and nothing of the window
// touched afterwards when the window was closed under it (nothing is returned then).
template <class Dialog>
auto underDialog(std::shared_ptr<bool> alive, int& boxesUp, Dialog dialog) -> std::optional<decltype(dialog())> {
    ModulePin pin;
    ++boxesUp;
    auto result = dialog();
    if (alive && *alive) {
        --boxesUp;
        return result;
    }
    pin.releaseAfterUnwinding();
    return std::nullopt;
}

void warn(HWND owner, const wchar_t* text) { MessageBoxW(owner, text, L"LUMVO", MB_OK | MB_ICONWARNING); }

// The folder the DJ picks in the system's folder picker; empty when cancelled or unavailable.
std::wstring pickFolder(HWND owner, const std::wstring& start) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::wstring picked;
    IFileOpenDialog* dialog = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        DWORD options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
        dialog->SetTitle(L"Choose guest album folder");
        IShellItem* folder = nullptr;
        if (!start.empty() && SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_PPV_ARGS(&folder)))) {
            dialog->SetFolder(folder);
            folder->Release();
        }
        IShellItem* result = nullptr;
        if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&result))) {
            PWSTR path = nullptr;
            if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
                picked = path;
                CoTaskMemFree(path);
            }
            result->Release();
        }
        dialog->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();  // S_OK and S_FALSE both count one initialisation
    return picked;
}

}  // namespace

void SettingsTab::chooseColour(int i) {
    SharedSettings* shared = window_.services_.settings;
    if (!shared) return;
    const SettingsRow& row = settingsRows()[i];
    const std::uint32_t now = colourValue(row, shared->copy());
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_.main_;
    dialog.rgbResult = RGB(now >> 16 & 0xFF, now >> 8 & 0xFF, now & 0xFF);
    dialog.lpCustColors = customColours.data();
    dialog.Flags = CC_FULLOPEN | CC_RGBINIT;
    const auto chosen = underDialog(window_.alive_, window_.boxesUp_, [&] { return ChooseColorW(&dialog) != FALSE; });
    if (!chosen || !*chosen) return;
    const COLORREF c = dialog.rgbResult;
    const std::uint32_t rgb =
        static_cast<std::uint32_t>(GetRValue(c)) << 16 | static_cast<std::uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
    queueSave(shared->change([&](WallSettings& s) { setColourValue(row, s, rgb); }),
              false);  // the chat colours are the booth's own: not pushed
    InvalidateRect(controls_[i], nullptr, FALSE);
    for (HWND list : window_.listViews_) InvalidateRect(list, nullptr, FALSE);
}

void SettingsTab::chooseFolder() {
    SharedSettings* shared = window_.services_.settings;
    if (!shared) return;
    const std::wstring start = utf8ToWide(shared->copy().mediaDir);
    const auto picked = underDialog(window_.alive_, window_.boxesUp_, [&] { return pickFolder(window_.main_, start); });
    if (!picked || picked->empty()) return;
    std::string folder = shared->copy().mediaDir;
    setMediaFolder(folder, wideToUtf8(*picked));  // creates it
    queueSave(shared->change([&](WallSettings& s) { s.mediaDir = folder; }), true);
    fill();
    window_.setStatus(L"Guest album folder updated");
}

void SettingsTab::openFolder() {
    if (!window_.services_.settings) return;
    const std::string folder = window_.services_.settings->copy().mediaDir;
    if (!folder.empty())
        ShellExecuteW(window_.main_, L"explore", utf8ToWide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SettingsTab::clearAlbum() {
    if (!window_.services_.http || clearTicket_ != 0) return;
    const std::shared_ptr<bool> alive = window_.alive_;
    const int answer = window_.askYesNo({"Clear guest album?",
                                         "Delete all guest photos and media saved in this album folder?\n\n"
                                         "This cannot be undone.",
                                         Confirmation::Icon::warning});
    if (!alive || !*alive || answer != IDYES) return;
    clearTicket_ = window_.submitDesk({clearAlbumRequest(), false});
    if (clearTicket_ == 0) window_.setStatus(utf8ToWide(clearAlbumStatus(false, "")));
}

bool SettingsTab::takeResult(const DeskResult& result) {
    if (result.ticket == lookTicket_ && lookTicket_ != 0) {
        lookTicket_ = 0;  // the next poll shows what the server made of it
        return true;
    }
    if (result.ticket != clearTicket_ || clearTicket_ == 0) return false;
    clearTicket_ = 0;
    window_.setStatus(utf8ToWide(clearAlbumStatus(result.requestOk, result.reply)));
    return true;
}

void SettingsTab::chooseLogo() {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_.main_;
    dialog.lpstrFilter = L"PNG image (*.png)\0*.png\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = L"Choose venue logo (PNG)";
    dialog.lpstrDefExt = L"png";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    const auto chosen =
        underDialog(window_.alive_, window_.boxesUp_, [&] { return GetOpenFileNameW(&dialog) != FALSE; });
    if (!chosen || !*chosen) return;
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    if (!GetFileAttributesExW(file, GetFileExInfoStandard, &facts)) return;
    const ULONGLONG size = (static_cast<ULONGLONG>(facts.nFileSizeHigh) << 32) | facts.nFileSizeLow;
    if (size < kLogoMinBytes || size > kLogoMaxBytes) return warn(window_.main_, L"PNG must be under 2 MB.");
    std::FILE* in = _wfopen(file, L"rb");
    if (!in) return;  // cannot be opened: no message
    unsigned char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, in);
    std::fclose(in);
    if (got < 8 || head[0] != 0x89 || head[1] != 'P' || head[2] != 'N' || head[3] != 'G') {
        return warn(window_.main_, L"PNG needed. Use a transparent PNG, 800 x 200 wide or 512 x 512 square.");
    }
    if (!CopyFileW(file, brandLogoPath().c_str(), FALSE)) return warn(window_.main_, L"Could not save that logo.");
    fill();
    if (window_.services_.settings) queueSave(window_.services_.settings->copy(), true);
}

void SettingsTab::removeLogo() {
    DeleteFileW(brandLogoPath().c_str());
    fill();
    if (window_.services_.settings) queueSave(window_.services_.settings->copy(), true);
}

void SettingsTab::applyLook() {
    HWND list = control(settingsRowOf(SettingsRowKind::lookList));
    const int chosen = kit::choice(list);
    if (chosen < 0 || chosen >= static_cast<int>(lookIds_.size())) return;
    const std::uint64_t ticket = window_.submitDesk({applyLookRequest(lookIds_[chosen]), false});
    if (ticket != 0) lookTicket_ = ticket;
}

}  // namespace lumvo
