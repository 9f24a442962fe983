#pragma once
// The photo preview's sizes: its client area for a picture, and where the picture is drawn.
namespace lumvo {

inline constexpr int kPreviewSide = 420;  // the largest side a preview shows a picture at

struct PreviewSize {
    int clientWidth = 0;
    int clientHeight = 0;
    double scale = 1;  // pictures are only shrunk
};
// For a picture of w by h pixels (each taken as at least 1): s = min(420 / w, 420 / h, 1), the
// client area (s·w + 24) by (s·h + 72), cut to whole pixels.
PreviewSize previewSize(int pictureWidth, int pictureHeight);

struct FitRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const FitRect&) const = default;
};
// The picture fitted, aspect kept and centred, into the box 8 pixels in from the left and top,
// (client width - 16) by (client height - 64), each at least 8.
FitRect previewPictureRect(int clientWidth, int clientHeight, int pictureWidth, int pictureHeight);

// The "Close" button: 96 by 32, centred (at least 8 from the left), 40 above the bottom.
FitRect previewCloseButton(int clientWidth, int clientHeight);

}  // namespace lumvo
