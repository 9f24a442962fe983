#pragma once
// What a part of the desk built in a file of its own (the Vote tab, the booth composer) reaches in
// the window around it. The window fills it in when it builds the part.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "moderator/desk_requests.h"
#include "moderator/win/control_kit.h"
#include "settings/settings.h"

namespace lumvo {

struct DeskPartHost {
    control_kit::Maker maker;  // the part's page, module and fonts
    // Queues a job on the desk's thread; its ticket, 0 when it was not queued. The result comes back
    // through the part's take().
    std::function<std::uint64_t(DeskJob)> submit;
    // A box titled "LUMVO" with a warning or an information icon; false when the window was closed
    // while it was up (the part must then return at once, touching nothing of its own).
    std::function<bool(const std::string& utf8, bool warning)> tell;
    std::function<void(const std::wstring&)> setStatus;  // the window's status line
    std::function<void()> pollState;
    // An open-file dialog for a picture with that title: the chosen path, empty when cancelled.
    std::function<std::wstring(const wchar_t* title)> choosePicture;
    std::function<WallSettings()> settings;
    // Changes the settings, saves them to layout.ini and pushes them to the wall server.
    std::function<void(const std::function<void(WallSettings&)>&)> changeSettings;
};

// The size of a file in bytes; -1 when it cannot be looked at.
long long fileSizeOf(const std::wstring& path);
// The name after the last backslash or slash.
std::wstring fileNameOf(const std::wstring& path);
// The open-file dialog for a picture (JPG, PNG or WebP; path and file must exist): the chosen path,
// empty when cancelled.
std::wstring openPictureDialog(HWND owner, const wchar_t* title);

}  // namespace lumvo
