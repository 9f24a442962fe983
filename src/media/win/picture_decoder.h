#pragma once
// Guests' photos decoded through the system's WIC codecs (JPEG, PNG, and WebP where Windows has its
// codec) into a bounded picture (media/decoded_picture.h). Runs on any thread (COM is started for
// the call where the thread has none); the worker calls it for the overlay, a thread of the photo
// preview for the moderator.
#include <string_view>

#include "media/decoded_picture.h"

namespace lumvo {

// The picture within `maxSide` (same aspect, never enlarged), shrunk by area averaging as its rows
// are decoded, so only the decoder's own buffer and a strip of rows are held besides the result.
// Null when the bytes fail the structure check (media/image_check.h), when the picture has more
// than kMaxDecodePixels (looked at in the header, before any decoder allocates anything), or when
// they do not decode.
PictureRef decodePicture(std::string_view bytes, int maxSide);

}  // namespace lumvo
