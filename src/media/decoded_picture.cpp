#include "media/decoded_picture.h"

#include <algorithm>
#include <cmath>

namespace lumvo {

PictureSize boundedSize(int width, int height, int maxSide) {
    if (width < 1 || height < 1 || maxSide < 1) return {};
    if (width <= maxSide && height <= maxSide) return {width, height};
    const double scale = static_cast<double>(maxSide) / std::max(width, height);
    return {std::clamp(static_cast<int>(std::lround(width * scale)), 1, maxSide),
            std::clamp(static_cast<int>(std::lround(height * scale)), 1, maxSide)};
}

RowScaler::RowScaler(int sourceWidth, int sourceHeight, PictureSize target)
    : sourceWidth_(std::max(sourceWidth, 1)), sourceHeight_(std::max(sourceHeight, 1)) {
    out_.width = std::clamp(target.width, 1, sourceWidth_);
    out_.height = std::clamp(target.height, 1, sourceHeight_);
    out_.pixels.resize(static_cast<std::size_t>(out_.width) * out_.height * 4);
    column_.resize(static_cast<std::size_t>(sourceWidth_));
    for (int x = 0; x < sourceWidth_; ++x)
        column_[x] = static_cast<int>(static_cast<std::int64_t>(x) * out_.width / sourceWidth_);
    sums_.assign(static_cast<std::size_t>(out_.width) * 4, 0);
    counts_.assign(static_cast<std::size_t>(out_.width), 0);
}

void RowScaler::addRow(const std::uint8_t* bgra) {
    if (sourceRow_ >= sourceHeight_) return;
    const int target = static_cast<int>(static_cast<std::int64_t>(sourceRow_) * out_.height / sourceHeight_);
    if (target != outputRow_) emitRow();
    for (int x = 0; x < sourceWidth_; ++x) {
        std::uint64_t* sum = &sums_[static_cast<std::size_t>(column_[x]) * 4];
        const std::uint8_t* p = bgra + static_cast<std::size_t>(x) * 4;
        sum[0] += p[0], sum[1] += p[1], sum[2] += p[2], sum[3] += p[3];
        ++counts_[column_[x]];
    }
    if (++sourceRow_ == sourceHeight_) emitRow();
}

void RowScaler::emitRow() {
    std::uint8_t* row = out_.pixels.data() + static_cast<std::size_t>(outputRow_) * out_.width * 4;
    for (int x = 0; x < out_.width; ++x) {
        const std::uint64_t n = std::max<std::uint64_t>(counts_[x], 1);
        for (int c = 0; c < 4; ++c) row[x * 4 + c] = static_cast<std::uint8_t>((sums_[x * 4 + c] + n / 2) / n);
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    std::fill(counts_.begin(), counts_.end(), 0);
    ++outputRow_;
}

PictureRef RowScaler::finish() {
    if (sourceRow_ < sourceHeight_) return nullptr;
    return std::make_shared<const DecodedPicture>(std::move(out_));
}

PictureRef shrinkPicture(const PictureRef& picture, int maxSide) {
    if (!picture || picture->width < 1 || picture->height < 1) return nullptr;
    const PictureSize size = boundedSize(picture->width, picture->height, maxSide);
    if (size.width == picture->width && size.height == picture->height) return picture;
    RowScaler scaler(picture->width, picture->height, size);
    for (int y = 0; y < picture->height; ++y)
        scaler.addRow(picture->pixels.data() + static_cast<std::size_t>(y) * picture->width * 4);
    return scaler.finish();
}

}  // namespace lumvo
