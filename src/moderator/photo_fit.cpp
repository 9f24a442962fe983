#include "moderator/photo_fit.h"

#include <algorithm>
#include <cmath>

namespace lumvo {

PreviewSize previewSize(int pictureWidth, int pictureHeight) {
    const double w = std::max(pictureWidth, 1);
    const double h = std::max(pictureHeight, 1);
    const double s = std::min({kPreviewSide / w, kPreviewSide / h, 1.0});
    return {static_cast<int>(s * w) + 24, static_cast<int>(s * h) + 72, s};
}

FitRect previewPictureRect(int clientWidth, int clientHeight, int pictureWidth, int pictureHeight) {
    const int boxW = std::max(clientWidth - 16, 8);
    const int boxH = std::max(clientHeight - 64, 8);
    const double w = std::max(pictureWidth, 1);
    const double h = std::max(pictureHeight, 1);
    const double f = std::min(boxW / w, boxH / h);
    const int drawW = std::clamp(static_cast<int>(std::lround(w * f)), 1, boxW);
    const int drawH = std::clamp(static_cast<int>(std::lround(h * f)), 1, boxH);
    return {8 + (boxW - drawW) / 2, 8 + (boxH - drawH) / 2, drawW, drawH};
}

FitRect previewCloseButton(int clientWidth, int clientHeight) {
    return {std::max((clientWidth - 96) / 2, 8), clientHeight - 40, 96, 32};
}

}  // namespace lumvo
