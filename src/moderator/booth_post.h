#pragma once
// The booth composer without a window: a photo as a data address (its type read from its bytes),
// the trimmed name and message, the refusals before anything is sent, the POST /api/booth-post
// and the words shown when the wall did not take it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "moderator/post_actions.h"

namespace lumvo {

namespace booth_text {
inline constexpr const char* kPhotoTooBig = "Photo must be under 5 MB.";
inline constexpr const char* kBadPhoto = "Use a JPG, PNG, or WebP under 5 MB.";
inline constexpr const char* kNothingToShow = "Add a message or a photo.";
inline constexpr const char* kNotShown = "Could not show that on the wall. Is VirtualDJ running with LUMVO on?";
inline constexpr const char* kAddPhoto = "Add photo";
inline constexpr const char* kChangePhoto = "Change photo";
inline constexpr const char* kPhotoLabel = "Photo: ";  // followed by the file's name
inline constexpr const char* kNoPhotoHint = "No photo: the post shows as text only.";
}  // namespace booth_text

// A booth photo is 24 bytes to 5 MB.
inline constexpr std::uint64_t kBoothPhotoMinBytes = 24;
inline constexpr std::uint64_t kBoothPhotoMaxBytes = std::uint64_t{5} << 20;
inline constexpr bool boothPhotoSizeOk(std::uint64_t bytes) {
    return bytes >= kBoothPhotoMinBytes && bytes <= kBoothPhotoMaxBytes;
}
// What the DJ may type: the name's and the message's boxes take this many characters.
inline constexpr int kBoothNameChars = 28;
inline constexpr int kBoothMessageChars = 180;
// Each exchange stage of the post waits this long, with a photo and without.
inline constexpr int kBoothPhotoTimeoutMs = 30000;
inline constexpr int kBoothTextTimeoutMs = 8000;

// "image/png", "image/webp" or "image/jpeg" from the first bytes; empty for anything else.
std::string_view sniffPhotoType(std::string_view bytes);
// Standard Base64 (RFC 4648) with padding and no line breaks.
std::string base64(std::string_view bytes);
// "data:<type>;base64,<bytes>", or nothing when the bytes are out of the size bounds or of no
// known type.
std::optional<std::string> photoDataAddress(std::string_view bytes);

// The name without spaces at its ends; the message without spaces, line feeds or carriage returns
// at its ends.
std::string trimBoothName(std::string_view name);
std::string trimBoothMessage(std::string_view message);

// What "Show on wall" does with what was typed (UTF-8) and the photo's bytes (none when no photo
// is chosen; empty when it could not be read).
struct BoothPlan {
    std::string refusal;  // a box with these words and nothing sent, when not empty
    bool refusalIsWarning = true;
    WallRequest request;
    int timeoutMs = kBoothTextTimeoutMs;
};
BoothPlan planBoothPost(std::string_view name, std::string_view message, const std::optional<std::string>& photo);
// The words of the box after a post the wall did not take: the server's "error", else kNotShown.
std::string boothFailureText(std::string_view reply);

}  // namespace lumvo
