#include "overlay/qr_card.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <qrcodegen/qrcodegen.hpp>
#include <stdexcept>
#include <vector>

#include "overlay/toolkit.h"

namespace lumvo {

const std::array<CaptionRow, 7> kCaptionRows{{
    {"JOIN THE FREE VENUE WI-FI", "Then scan this code", 0},
    {"SEND A SHOUTOUT", "Your name can hit the screens", kFeatureMessages},
    {"REQUEST A SONG", "Pick from the DJ's song list", kFeatureRequests},
    {"SEND A PHOTO", "It can pop up on the wall", kFeaturePhotos},
    {"VOTE IN LIVE POLLS", "Tap from your phone. The room sees it", 0},
    {"TIP THE DJ", "Buy them a drink from your phone", kFeatureTips},
    {"REACT LIVE", "Emoji shows up on the TV", 0},
}};

unsigned featureBits(const FrameState& s) {
    return (s.allowMessages ? kFeatureMessages : 0) | (s.allowRequests ? kFeatureRequests : 0) |
           (s.allowPhotos ? kFeaturePhotos : 0) | (s.tipEnabled ? kFeatureTips : 0);
}

int CaptionState::alphaStep() const { return static_cast<int>(std::lround(alpha * 16.0f)); }

void stepCaption(CaptionState& caption, const FrameState& state, double seconds) {
    const unsigned features = featureBits(state);
    std::vector<int> offered;
    for (int i = 0; i < static_cast<int>(kCaptionRows.size()); ++i)
        if (kCaptionRows[i].mask == 0 || (kCaptionRows[i].mask & features) != 0) offered.push_back(i);
    const double t = std::max(seconds, 0.0);
    const double slot = std::floor(t / kCaptionSeconds);
    const double s = t - kCaptionSeconds * slot;
    const auto n = static_cast<double>(offered.size());
    caption.row = offered[static_cast<std::size_t>(std::fmod(slot, n))];
    if (s < kCaptionFadeSeconds) caption.alpha = smoothstep(static_cast<float>(s / kCaptionFadeSeconds));
    else if (s >= kCaptionFadeOutAt)
        caption.alpha = 1 - smoothstep(static_cast<float>((s - kCaptionFadeOutAt) / kCaptionFadeSeconds));
    else caption.alpha = 1;
    caption.title = kCaptionRows[caption.row].title;
    caption.subline = kCaptionRows[caption.row].subline;
}

QrCardLayout qrCardLayout(int w, int h) {
    const float W = static_cast<float>(w) - 16, H = static_cast<float>(h) - 16;
    const float pad = std::max(std::min(W, H) * 0.045f, 10.0f);
    const float gap = 2.5f * pad;
    QrCardLayout l;
    l.wide = W >= 1.12f * H && W >= 240;
    if (l.wide) {
        const float q = std::max(std::min({H - 2 * pad, W - std::max(0.4f * W, 110.0f) - gap, 0.52f * W}), 36.0f);
        l.code = {pad + 8, (H - q) / 2 + 8, q, q};
        l.text = {pad + 8 + q + pad, pad + 8, std::max(W + 8 - (pad + 8 + q) - 2 * pad, 8.0f),
                  std::max(H - 2 * pad, 8.0f)};
    } else {
        const float reserve = std::max(std::min(0.4f * H, 140.0f), 56.0f);
        const float q = std::max(std::min(H - reserve - gap, W - 2 * pad), 32.0f);
        l.code = {(W - q) / 2 + 8, pad + 8, q, q};
        l.text = {pad + 8, pad + 8 + q + 0.7f * pad, W - 2 * pad, std::max(H + 8 - (pad + 8 + q) - pad, 8.0f)};
    }
    return l;
}

std::unique_ptr<CanvasImage> loadQrLogo(Canvas& canvas, std::string_view brandLogoPath, std::string_view wordmarkPath) {
    for (std::string_view path : {brandLogoPath, wordmarkPath}) {
        if (path.empty()) continue;
        if (auto image = canvas.loadImageFile(path); image && image->width() > 0 && image->height() > 0) return image;
    }
    return nullptr;
}

bool drawQrCode(Canvas& canvas, const RectF& square, std::string_view text) {
    const float q = square.w;
    if (text.empty() || q < 8) return false;
    std::optional<qrcodegen::QrCode> code;
    try {
        code.emplace(qrcodegen::QrCode::encodeText(std::string(text).c_str(), qrcodegen::QrCode::Ecc::MEDIUM));
    } catch (const std::length_error&) {
        return false;  // too long for any version
    }
    canvas.fillRect(square, 0xFFFFFFFF);
    const int size = code->getSize();
    const float m = 0.07f * q;
    const float u = (q - 2 * m) / static_cast<float>(size);
    for (int row = 0; row < size; ++row)
        for (int col = 0; col < size; ++col)
            if (code->getModule(col, row))
                canvas.fillRect({square.x + m + col * u, square.y + m + row * u, u + 0.5f, u + 0.5f}, 0xFF0C0C10);
    return true;
}

float drawCaption(Canvas& canvas, std::string_view title, std::string_view subline, const RectF& box, float alpha,
                  Argb rgb, const std::string& fontFamily) {
    if (box.w < 8 || box.h < 8 || alpha < 0.02f) return 0;
    TextStyle style;
    style.bold = style.wrap = style.centre = true;
    style.lineSpacing = 1.2f;
    style.fontFamily = fontFamily;
    const long a = std::clamp(std::lround(alpha * 255.0f), 0L, 255L);
    style.colour = (rgb & 0x00FFFFFFu) | static_cast<Argb>(a) << 24;

    const float hi = std::max(std::min({box.w * 0.16f, box.h * 0.34f, 42.0f}), 8.0f);
    const TwoLineFit fit = fitTitleAndSubline(canvas, title, subline, box, style, 8, hi);
    style.size = fit.size;
    canvas.pushClip({box, 0});
    const float titleTop = box.y + std::max((box.h - fit.blockHeight()) / 2, 0.0f);
    canvas.drawText(title, {box.x, titleTop, box.w, fit.titleHeight + 2}, style);
    const float subTop = titleTop + fit.titleHeight + fit.gap;
    canvas.drawText(subline, {box.x, subTop, box.w, std::max(box.bottom() - subTop, 8.0f)}, style);
    canvas.popClip();
    return fit.size;
}

void paintQrCard(Canvas& canvas, const FrameState& state, const CaptionState& caption, int w, int h,
                 const CanvasImage* logo) {
    const Theme& theme = themeFor(state.theme);
    const Argb accent = typeAccent("shoutout", state.palette);
    const RectF panel{8, 8, static_cast<float>(w) - 16, static_cast<float>(h) - 16};
    canvas.fillRoundedRect(roundedRect(panel, theme.radiusCard), theme.panel);
    drawThemeFrame(canvas, panel, theme, accent, false, true);

    const QrCardLayout layout = qrCardLayout(w, h);
    drawQrCode(canvas, layout.code, state.joinUrl);
    RectF text = layout.text;

    if (logo && logo->width() > 0 && logo->height() > 0) {
        const float aspect = static_cast<float>(logo->width()) / static_cast<float>(logo->height());
        float lh = std::min({text.h * 0.28f, 42.0f, text.w * 0.38f});
        float lw = lh * aspect;
        if (lw > text.w) {
            lw = text.w;
            lh = lw / aspect;
        }
        canvas.drawImage(*logo, {text.x + (text.w - lw) / 2, text.y, lw, lh});
        const float used = lh + std::max(0.18f * lh, 6.0f);
        text.y += used;
        text.h = std::max(text.h - used, 8.0f);
    }

    RectF footer;
    if (!state.brandText.empty()) {
        const float fh =
            std::max(std::min(text.h * 0.22f, 1.1f * std::min({text.w * 0.16f, text.h * 0.34f, 42.0f})), 10.0f);
        footer = {text.x, text.bottom() - fh, text.w, fh};
        text.h = std::max(text.h - fh - std::max(0.15f * fh, 4.0f), 8.0f);
    }

    const float captionSize =
        drawCaption(canvas, caption.title, caption.subline, text, caption.alpha, theme.text, theme.fontFamily);

    if (!state.brandText.empty()) {
        TextStyle style;
        style.bold = style.wrap = style.centre = style.middle = true;
        style.lineSpacing = 1.2f;
        style.fontFamily = theme.fontFamily;
        style.colour = accent;
        const float cap = std::max(0.5f * (captionSize > 0 ? captionSize : 16.0f), 7.0f);
        style.size = std::min(fitTextSize(canvas, state.brandText, {footer.w, footer.h}, style, 7, cap), cap);
        canvas.pushClip({footer, 0});
        canvas.drawText(state.brandText, footer, style);
        canvas.popClip();
    }
}

}  // namespace lumvo
