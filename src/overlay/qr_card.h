#pragma once
// The QR join card: a QR code of the guest page's address, a rotating two-line caption of what
// guests can do, a logo (the venue's own, else the product wordmark) and the venue's brand label
// at the bottom.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "overlay/canvas.h"
#include "overlay/frame_state.h"

namespace lumvo {

struct CaptionRow {
    std::string_view title;
    std::string_view subline;
    unsigned mask;  // offered when 0 or when it shares a bit with the frame's features
};

// Feature bits of a frame, as the caption masks use them.
inline constexpr unsigned kFeatureMessages = 1, kFeatureRequests = 2, kFeaturePhotos = 4, kFeatureTips = 8;

extern const std::array<CaptionRow, 7> kCaptionRows;

unsigned featureBits(const FrameState& state);

inline constexpr double kCaptionSeconds = 5.7;  // each caption's stay
inline constexpr double kCaptionFadeSeconds = 0.7;
inline constexpr double kCaptionFadeOutAt = 5.0;

struct CaptionState {
    int row = 0;      // into kCaptionRows
    float alpha = 0;  // 0..1
    std::string_view title, subline;
    // The alpha in sixteenths: the card is repainted when this or the row changes.
    int alphaStep() const;
};

// The caption at `seconds` since the clock's start (negative counts as 0): the offered rows in
// turn, each 5.7 s, fading in over 0.7 s and out from 5.0 s.
void stepCaption(CaptionState& caption, const FrameState& state, double seconds);

// Where the code and the text column go in a w x h card: the code on the left when the panel is
// wide (at least 1.12 times as wide as high, and 240 wide), else on top.
struct QrCardLayout {
    bool wide = false;
    RectF code;  // a square
    RectF text;
};
QrCardLayout qrCardLayout(int w, int h);

// The card's logo: the venue's logo file when it loads, else the wordmark file when it loads,
// else none. Paths are UTF-8; an empty path is skipped. For the caller to keep between paints.
std::unique_ptr<CanvasImage> loadQrLogo(Canvas& canvas, std::string_view brandLogoPath, std::string_view wordmarkPath);

// Paints the card into a w x h bitmap. `logo` may be null; it may come from another canvas of the
// same kind (the caller keeps it between paints).
void paintQrCard(Canvas& canvas, const FrameState& state, const CaptionState& caption, int w, int h,
                 const CanvasImage* logo);

// A QR code of `text` (error correction MEDIUM) filling the square with a white quiet zone of 0.07
// of its side. Nothing at all is drawn for an empty text, a side below 8, or a text too long for
// any QR code; false then.
bool drawQrCode(Canvas& canvas, const RectF& square, std::string_view text);

// The two caption lines, centred as a block in `box`, at the largest size that fits (8 to 42);
// `rgb` is the colour and `alpha` (0..1) its opacity. Nothing below an 8 x 8 box or an alpha of
// 0.02. Returns the size used (0 when nothing was drawn).
float drawCaption(Canvas& canvas, std::string_view title, std::string_view subline, const RectF& box, float alpha,
                  Argb rgb, const std::string& fontFamily);

}  // namespace lumvo
