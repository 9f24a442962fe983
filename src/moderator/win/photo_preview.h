#pragma once
// The photo preview: "View photo" opens a small window, owned by the moderator window, with the
// guest's picture scaled to fit and a "Close" button. At most one exists; opening another closes
// the first. The picture is fetched from the wall server (its uploads path), checked, decoded
// with GDI+ from memory, and freed with the window. GDI+ must be started by the caller (the
// plug-in starts it for the overlay's canvases).
#include <windows.h>

#include <string>

namespace lumvo {

class HttpClient;

inline constexpr const wchar_t* kPhotoPreviewClass = L"LUMVOPhotoPreview";

// Fetches `photoPath` through `http` (a server path such as "/uploads/x.jpg", 3 s at most per
// phase) and opens the preview. Does nothing when the path is empty; any open preview closes
// first, and when the fetch fails or the bytes do not decode nothing opens and no message is
// shown. True when a window opened. Call on the moderator window's thread.
bool showPhotoPreview(HINSTANCE instance, HWND owner, HttpClient& http, const std::string& photoPath);
// The same with the picture's bytes already in hand.
bool showPhotoPreviewBytes(HINSTANCE instance, HWND owner, const std::string& bytes);

// The open preview, or null.
HWND photoPreviewWindow();
// Destroys the open preview (if any) and unregisters the window class; the moderator window calls
// it from close(), so a host that unloads the DLL keeps no class pointing into it.
void closePhotoPreview(HINSTANCE instance);

}  // namespace lumvo
