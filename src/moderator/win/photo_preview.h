#pragma once
// The photo preview: "View photo" opens a small window, owned by the moderator window, with the
// guest's picture scaled to fit and a "Close" button. At most one exists; opening another closes
// the first. The picture is read from the disk where the wall server saved it (never fetched
// over HTTP) and checked; the window opens at once at the size its header gives, and the picture,
// decoded on a thread of its own within the preview's side (the decoder the overlay's photos go
// through, media/win/picture_decoder.h), shows when it arrives; it is freed with the window. GDI+
// must be started by the caller (the plug-in starts it for the overlay's canvases).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumvo {

inline constexpr const wchar_t* kPhotoPreviewClass = L"LUMVOPhotoPreview";

// The bytes of the photo a post names ("/uploads/x.jpg"), looked up on disk; none when no media
// folder holds it.
using PhotoReader = std::function<std::optional<std::string>(std::string_view photoPath)>;

// Reads `photoPath` with `readPhoto` and opens the preview. Does nothing when the path is empty;
// any open preview closes first, and when the file is missing or fails the picture check nothing
// opens and no message is shown (a picture that passes it but then does not decode closes its
// window when the decoder says so). True when a window opened. Call on the moderator window's
// thread.
bool showPhotoPreview(HINSTANCE instance, HWND owner, const PhotoReader& readPhoto, const std::string& photoPath);
// The same with the picture's bytes already in hand.
bool showPhotoPreviewBytes(HINSTANCE instance, HWND owner, const std::string& bytes);

// The open preview, or null.
HWND photoPreviewWindow();
// Whether the open preview's picture has arrived from its decoding thread.
bool photoPreviewShowsPicture();
// Destroys the open preview (if any) and unregisters the window class; the moderator window calls
// it from close(), so a host that unloads the DLL keeps no class pointing into it. A decoding
// thread still at work is not waited for: it holds its own reference on the module.
void closePhotoPreview(HINSTANCE instance);

}  // namespace lumvo
