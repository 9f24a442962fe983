#pragma once
// A canvas for tests that draws nothing and lists every call with its numbers, so a card's
// geometry is checked against numbers, without pixels. Text has fixed metrics:
//   one byte is 0.5 x size wide; one line is size x lineSpacing high (0.5 or less: 1.2);
//   a wrapping text breaks anywhere, as many bytes to a line as the box width holds;
//   an empty text is 0 wide and one line high.
// pictureImage takes any decoded picture (fakePicture(w, h) makes one); loadImageFile knows the files
// a test put in `files`.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "overlay/canvas.h"

namespace lumvo::test {

// Rectangles equal within `tolerance` (floats from the layout rules), and one as text for messages.
inline bool sameRect(const RectF& a, const RectF& b, float tolerance = 0.01f) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
           std::fabs(a.w - b.w) <= tolerance && std::fabs(a.h - b.h) <= tolerance;
}
inline std::string rectText(const RectF& r) {
    char text[96];
    std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f, %.3f)", r.x, r.y, r.w, r.h);
    return text;
}

// A decoded picture of w x h grey pixels, as the worker's decoder would hand it over.
inline PictureRef fakePicture(int w, int h) {
    auto picture = std::make_shared<DecodedPicture>();
    picture->width = w, picture->height = h;
    picture->pixels.assign(static_cast<std::size_t>(w) * h * 4, 0x80);
    return picture;
}

class FakeImage final : public CanvasImage {
public:
    FakeImage(int w, int h, int alpha = 0) : w_(w), h_(h), alpha_(alpha) {}
    int width() const override { return w_; }
    int height() const override { return h_; }
    // Every pixel has the same alpha.
    int alphaAt(int x, int y) const override { return x >= 0 && y >= 0 && x < w_ && y < h_ ? alpha_ : 0; }

private:
    int w_, h_, alpha_;
};

class RecordingCanvas final : public Canvas {
public:
    enum class Op {
        fillRect,
        fillRounded,
        strokeRounded,
        polygon,
        ellipse,
        line,
        pushClip,
        popClip,
        image,
        text,
        closedCurve,
        strokeEllipse,
        polyline,
        pushTransform,
        popTransform
    };

    struct Call {
        Op op;
        RectF rect{};  // the shape, box, destination or clip
        Argb colour = 0;
        std::string text{};
        TextStyle style{};
        int clipDepth = 0;             // clips open when the call was made
        std::vector<PointF> points{};  // polygons, curves and polylines; a transform's (dx, dy)
        float width = 0;               // pens; a transform's degrees; an image's opacity
        int transformDepth = 0;        // transforms open when the call was made
    };

    std::vector<Call> calls;
    std::map<std::string, std::pair<int, int>, std::less<>> files;  // loadImageFile: path -> size
    // renderEmoji: an 80 x 80 picture whose every pixel has this alpha; none while negative.
    int emojiAlpha = -1;

    std::vector<Call> of(Op op) const {
        std::vector<Call> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [&](const Call& c) { return c.op == op; });
        return out;
    }
    // The text call that drew exactly `text`; null when none did.
    const Call* textCall(std::string_view text) const {
        for (const Call& c : calls)
            if (c.op == Op::text && c.text == text) return &c;
        return nullptr;
    }

    void fillRect(const RectF& r, Argb colour) override { add({.op = Op::fillRect, .rect = r, .colour = colour}); }
    void fillRoundedRect(const RoundedRect& r, Argb colour) override {
        add({.op = Op::fillRounded, .rect = r.rect, .colour = colour});
    }
    void strokeRoundedRect(const RoundedRect& r, float, Argb colour) override {
        add({.op = Op::strokeRounded, .rect = r.rect, .colour = colour});
    }
    void fillPolygon(std::span<const PointF> points, Argb colour) override { add(shape(Op::polygon, colour, points)); }
    void fillClosedCurve(std::span<const PointF> points, Argb colour) override {
        add(shape(Op::closedCurve, colour, points));
    }
    void strokeEllipse(const RectF& bounds, float width, Argb colour) override {
        Call call = shape(Op::strokeEllipse, colour, {});
        call.rect = bounds;
        call.width = width;
        add(std::move(call));
    }
    void polyline(std::span<const PointF> points, float width, Argb colour) override {
        Call call = shape(Op::polyline, colour, points);
        call.width = width;
        add(std::move(call));
    }
    void pushTransform(float dx, float dy, float degrees) override {
        const PointF offset{dx, dy};
        Call call = shape(Op::pushTransform, 0, {&offset, 1});
        call.width = degrees;
        add(std::move(call));
        ++transforms_;
    }
    void popTransform() override {
        --transforms_;
        add(shape(Op::popTransform, 0, {}));
    }
    void fillEllipse(const RectF& bounds, Argb colour) override {
        add({.op = Op::ellipse, .rect = bounds, .colour = colour});
    }
    void line(PointF, PointF, float, Argb colour) override { add({.op = Op::line, .colour = colour}); }
    void pushClip(const RoundedRect& shape) override {
        add({.op = Op::pushClip, .rect = shape.rect});
        ++depth_;
    }
    void popClip() override {
        --depth_;
        add({.op = Op::popClip});
    }
    std::unique_ptr<CanvasImage> pictureImage(PictureRef picture) override {
        if (!picture || picture->width < 1 || picture->height < 1 || picture->pixels.empty()) return nullptr;
        return std::make_unique<FakeImage>(picture->width, picture->height);
    }
    std::unique_ptr<CanvasImage> loadImageFile(std::string_view path) override {
        const auto it = files.find(path);
        return it == files.end() ? nullptr : std::make_unique<FakeImage>(it->second.first, it->second.second);
    }
    void drawImage(const CanvasImage&, const RectF& dest, float opacity) override {
        Call call = shape(Op::image, 0, {});
        call.rect = dest;
        call.width = opacity;
        add(std::move(call));
    }
    std::unique_ptr<CanvasImage> renderEmoji(std::string_view) override {
        return emojiAlpha < 0 ? nullptr : std::make_unique<FakeImage>(80, 80, emojiAlpha);
    }
    SizeF measureText(std::string_view text, SizeF box, const TextStyle& style) override {
        const float charW = style.size * 0.5f;
        const float lineH = style.size * (style.lineSpacing <= 0.5f ? 1.2f : style.lineSpacing);
        const auto n = static_cast<float>(text.size());
        if (!style.wrap || n == 0) return {n * charW, lineH};
        const float perLine = std::max(1.0f, std::floor(box.w / charW));
        return {std::min(n, perLine) * charW, std::ceil(n / perLine) * lineH};
    }
    void drawText(std::string_view text, const RectF& box, const TextStyle& style) override {
        add({.op = Op::text, .rect = box, .text = std::string(text), .style = style});
    }

private:
    // A call with points (assigned field by field: GCC 12 warns of designated initialisers here).
    static Call shape(Op op, Argb colour, std::span<const PointF> points) {
        Call call{op};
        call.colour = colour;
        call.points.assign(points.begin(), points.end());
        return call;
    }
    void add(Call call) {
        call.clipDepth = depth_;
        call.transformDepth = transforms_;
        calls.push_back(std::move(call));
    }
    int depth_ = 0;
    int transforms_ = 0;
};

}  // namespace lumvo::test
