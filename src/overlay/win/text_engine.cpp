#include "overlay/win/text_engine.h"

#include <d2d1.h>
#include <dwrite_2.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "base/win/wide_text.h"

namespace lumvo {
namespace {

using Microsoft::WRL::ComPtr;

constexpr const wchar_t* kDefaultFamily = L"Segoe UI";
constexpr const wchar_t* kEmojiFamily = L"Segoe UI Emoji";
// Characters the card fonts lack are looked for in the emoji family first: the emoji blocks, the
// symbols and dingbats, and what joins emoji into one (variation selectors, the zero-width
// joiner, the keycap, tags). Then the system's own fallback.
constexpr DWRITE_UNICODE_RANGE kEmojiRanges[] = {
    {0x200D, 0x200D}, {0x20E3, 0x20E3}, {0x2300, 0x23FF},   {0x2600, 0x27BF},
    {0x2B00, 0x2BFF}, {0xFE00, 0xFE0F}, {0x1F000, 0x1FAFF}, {0xE0020, 0xE007F},
};
constexpr const wchar_t* kFallbackFamilies[] = {L"Georgia", L"Segoe UI"};
// The drawing target grows in steps of this many pixels, up to the largest box it serves.
constexpr UINT kTargetStep = 256;
constexpr UINT kTargetMax = 4096;
// Laid-out texts are kept for drawing again: a card repainted for something else (a particle, a
// bar moving) then lays none of its texts out again. Past this many, all are dropped at once.
constexpr std::size_t kMaxLayouts = 256;

std::atomic<std::uint64_t> layoutsMade{0}, textDraws{0};

class TextEngine {
public:
    SizeF measure(std::wstring_view text, SizeF box, const TextStyle& style) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (text.empty()) return {};
        const ComPtr<IDWriteTextLayout> layout = layOut(text, std::max(box.w, 1.0f), 8000.0f, style, style.wrap);
        DWRITE_TEXT_METRICS metrics{};
        if (!layout || FAILED(layout->GetMetrics(&metrics))) return {};
        return {metrics.widthIncludingTrailingWhitespace, metrics.height};
    }

    void draw(Gdiplus::Graphics& graphics, std::wstring_view text, const RectF& box, const TextStyle& style) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (text.empty() || !(box.w >= 2 && box.h >= 2)) return;
        // The text keeps its sub-pixel place: it is laid out at the fraction of the box's origin
        // and the picture copied to the whole pixel, unscaled.
        const float left = std::floor(box.x), top = std::floor(box.y);
        const float dx = box.x - left, dy = box.y - top;
        const UINT width = std::min(static_cast<UINT>(std::ceil(box.w + dx)), kTargetMax);
        const UINT height = std::min(static_cast<UINT>(std::ceil(box.h + dy)), kTargetMax);
        if (!ensureTarget(width, height)) return;
        const ComPtr<IDWriteTextLayout> layout = layOut(text, box.w, box.h, style, true);
        if (!layout) return;
        ++textDraws;

        target_->BeginDraw();
        target_->SetTransform(D2D1::Matrix3x2F::Identity());
        target_->PushAxisAlignedClip(D2D1::RectF(0, 0, static_cast<float>(width), static_cast<float>(height)),
                                     D2D1_ANTIALIAS_MODE_ALIASED);
        target_->Clear(D2D1::ColorF(0, 0, 0, 0));
        const Argb c = style.colour;
        brush_->SetColor(D2D1::ColorF(((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
                                      (c >> 24) / 255.0f));
        target_->DrawTextLayout(D2D1::Point2F(dx, dy), layout.Get(), brush_.Get(),
                                D2D1_DRAW_TEXT_OPTIONS_ENABLE_COLOR_FONT);
        target_->PopAxisAlignedClip();
        const HRESULT drawn = target_->EndDraw();
        if (drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) dropTarget();
        if (FAILED(drawn)) return;

        const WICRect rect{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
        const UINT stride = targetWidth_ * 4;
        if (FAILED(wicBitmap_->CopyPixels(&rect, stride, stride * height, reinterpret_cast<BYTE*>(copy_.data())))) {
            return;
        }
        const Gdiplus::InterpolationMode interpolation = graphics.GetInterpolationMode();
        const Gdiplus::CompositingMode compositing = graphics.GetCompositingMode();
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
        graphics.DrawImage(copyBitmap_.get(),
                           Gdiplus::RectF(left, top, static_cast<float>(width), static_cast<float>(height)), 0.0f, 0.0f,
                           static_cast<float>(width), static_cast<float>(height), Gdiplus::UnitPixel);
        graphics.SetInterpolationMode(interpolation);
        graphics.SetCompositingMode(compositing);
    }

    std::wstring resolved(std::string_view family) {
        std::lock_guard<std::mutex> lock(mutex_);
        return ensureFactories() ? resolveFamily(family) : std::wstring();
    }

    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        dropTarget();
        layouts_.clear();
        formats_.clear();
        families_.clear();
        systemFonts_.Reset();
        fallback_.Reset();
        wic_.Reset();
        dwrite_.Reset();
        d2d_.Reset();
    }

private:
    bool ensureFactories() {
        if (d2d_ && dwrite_ && wic_) return true;
        if (!d2d_ && FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, d2d_.GetAddressOf()))) return false;
        if (!dwrite_ && FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                                   reinterpret_cast<IUnknown**>(dwrite_.GetAddressOf())))) {
            return false;
        }
        if (!wic_) {
            // COM for the one creation on this thread. A thread already in an apartment keeps it
            // (RPC_E_CHANGED_MODE); the factory works from any thread afterwards.
            const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic_));
            if (SUCCEEDED(com)) CoUninitialize();
            if (!wic_) return false;
        }
        makeFallback();
        return true;
    }

    // Where DirectWrite looks for what a font lacks; without it (before Windows 8.1) the system's
    // fallback alone.
    void makeFallback() {
        ComPtr<IDWriteFactory2> factory;
        ComPtr<IDWriteFontFallbackBuilder> builder;
        if (fallback_ || FAILED(dwrite_.As(&factory)) || FAILED(factory->CreateFontFallbackBuilder(&builder))) return;
        const WCHAR* emoji[] = {kEmojiFamily};
        builder->AddMapping(kEmojiRanges, static_cast<UINT32>(std::size(kEmojiRanges)), emoji, 1);
        ComPtr<IDWriteFontFallback> system;
        if (SUCCEEDED(factory->GetSystemFontFallback(&system))) builder->AddMappings(system.Get());
        builder->CreateFontFallback(&fallback_);
    }

    bool familyInstalled(const std::wstring& family) {
        if (!systemFonts_ && FAILED(dwrite_->GetSystemFontCollection(&systemFonts_, FALSE))) return false;
        UINT32 index = 0;
        BOOL exists = FALSE;
        return SUCCEEDED(systemFonts_->FindFamilyName(family.c_str(), &index, &exists)) && exists;
    }

    std::wstring resolveFamily(std::string_view family) {
        const std::string key(family);
        if (const auto found = families_.find(key); found != families_.end()) return found->second;
        std::wstring chosen = family.empty() ? kDefaultFamily : utf8ToWide(family);
        if (!familyInstalled(chosen)) {
            std::wstring fallback;
            for (const wchar_t* candidate : kFallbackFamilies) {
                if (familyInstalled(candidate)) {
                    fallback = candidate;
                    break;
                }
            }
            if (fallback.empty()) {
                NONCLIENTMETRICSW metrics{};
                metrics.cbSize = sizeof metrics;
                if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
                    fallback = metrics.lfMessageFont.lfFaceName;
                }
            }
            if (!fallback.empty()) chosen = fallback;
        }
        families_.emplace(key, chosen);
        return chosen;
    }

    // The family's text format at weight 700 or 600; its size, alignment, wrapping and line
    // spacing are set on each layout.
    IDWriteTextFormat* format(const TextStyle& style) {
        std::wstring family = resolveFamily(style.fontFamily);
        auto key = std::make_pair(family, style.bold);
        if (const auto found = formats_.find(key); found != formats_.end()) return found->second.Get();
        ComPtr<IDWriteTextFormat> made;
        const DWRITE_FONT_WEIGHT weight = style.bold ? DWRITE_FONT_WEIGHT_BOLD : DWRITE_FONT_WEIGHT_SEMI_BOLD;
        if (FAILED(dwrite_->CreateTextFormat(family.c_str(), nullptr, weight, DWRITE_FONT_STYLE_NORMAL,
                                             DWRITE_FONT_STRETCH_NORMAL, 16.0f, L"en-us", &made))) {
            return nullptr;
        }
        return formats_.emplace(std::move(key), std::move(made)).first->second.Get();
    }

    // Everything a layout is made from (the colour is the brush's, not the layout's).
    struct LayoutKey {
        std::wstring text;
        std::string family;
        float size, lineSpacing, maxWidth, maxHeight;
        bool bold, wrap, centre, middle;
        auto operator<=>(const LayoutKey&) const = default;
    };

    // The text laid out in maxWidth x maxHeight; the same object as last time for the same text
    // and style.
    ComPtr<IDWriteTextLayout> layOut(std::wstring_view text, float maxWidth, float maxHeight, const TextStyle& style,
                                     bool wrap) {
        LayoutKey key{std::wstring(text), style.fontFamily, style.size, style.lineSpacing, maxWidth,
                      maxHeight,          style.bold,       wrap,       style.centre,      style.middle};
        if (const auto found = layouts_.find(key); found != layouts_.end()) return found->second;
        ComPtr<IDWriteTextLayout> layout = makeLayout(text, maxWidth, maxHeight, style, wrap);
        if (!layout) return layout;
        if (layouts_.size() >= kMaxLayouts) layouts_.clear();
        layouts_.emplace(std::move(key), layout);
        return layout;
    }

    ComPtr<IDWriteTextLayout> makeLayout(std::wstring_view text, float maxWidth, float maxHeight,
                                         const TextStyle& style, bool wrap) {
        ComPtr<IDWriteTextLayout> layout;
        if (!ensureFactories() || text.size() > 0x7FFFFFFF) return layout;
        IDWriteTextFormat* base = format(style);
        const float size = std::max(style.size, 1.0f);
        if (!base || FAILED(dwrite_->CreateTextLayout(text.data(), static_cast<UINT32>(text.size()), base,
                                                      std::max(maxWidth, 1.0f), std::max(maxHeight, 1.0f), &layout))) {
            return nullptr;
        }
        ++layoutsMade;
        ComPtr<IDWriteTextLayout2> withFallback;
        if (fallback_ && SUCCEEDED(layout.As(&withFallback))) withFallback->SetFontFallback(fallback_.Get());
        const DWRITE_TEXT_RANGE all{0, static_cast<UINT32>(text.size())};
        layout->SetFontSize(size, all);
        layout->SetWordWrapping(wrap ? DWRITE_WORD_WRAPPING_EMERGENCY_BREAK : DWRITE_WORD_WRAPPING_NO_WRAP);
        layout->SetTextAlignment(style.centre ? DWRITE_TEXT_ALIGNMENT_CENTER : DWRITE_TEXT_ALIGNMENT_LEADING);
        layout->SetParagraphAlignment(style.middle ? DWRITE_PARAGRAPH_ALIGNMENT_CENTER
                                                   : DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
        const float spacing = style.lineSpacing <= 0.5f ? 1.2f : style.lineSpacing;
        layout->SetLineSpacing(DWRITE_LINE_SPACING_METHOD_UNIFORM, std::max(size * spacing, size * 0.9f), size * 0.82f);
        return layout;
    }

    // The WIC bitmap, its render target and brush, and the GDI+ bitmap over the copy buffer, all
    // at least width x height.
    bool ensureTarget(UINT width, UINT height) {
        if (!ensureFactories()) return false;
        if (target_ && width <= targetWidth_ && height <= targetHeight_) return true;
        const UINT w =
            std::min(std::max(targetWidth_, (width + kTargetStep - 1) / kTargetStep * kTargetStep), kTargetMax);
        const UINT h =
            std::min(std::max(targetHeight_, (height + kTargetStep - 1) / kTargetStep * kTargetStep), kTargetMax);
        dropTarget();
        if (FAILED(wic_->CreateBitmap(w, h, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &wicBitmap_))) {
            return false;
        }
        const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_DEFAULT,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
        if (FAILED(d2d_->CreateWicBitmapRenderTarget(wicBitmap_.Get(), properties, &target_)) ||
            FAILED(target_->CreateSolidColorBrush(D2D1::ColorF(1, 1, 1, 1), &brush_))) {
            dropTarget();
            return false;
        }
        target_->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
        copy_.assign(static_cast<size_t>(w) * h, 0);
        copyBitmap_ =
            std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(w), static_cast<INT>(h), static_cast<INT>(w * 4),
                                              PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(copy_.data()));
        if (copyBitmap_->GetLastStatus() != Gdiplus::Ok) {
            dropTarget();
            return false;
        }
        targetWidth_ = w;
        targetHeight_ = h;
        return true;
    }

    void dropTarget() {
        copyBitmap_.reset();
        copy_.clear();
        copy_.shrink_to_fit();
        brush_.Reset();
        target_.Reset();
        wicBitmap_.Reset();
        targetWidth_ = targetHeight_ = 0;
    }

    std::mutex mutex_;
    ComPtr<ID2D1Factory> d2d_;
    ComPtr<IDWriteFactory> dwrite_;
    ComPtr<IWICImagingFactory> wic_;
    ComPtr<IDWriteFontCollection> systemFonts_;
    ComPtr<IDWriteFontFallback> fallback_;
    std::map<std::string, std::wstring> families_;
    std::map<std::pair<std::wstring, bool>, ComPtr<IDWriteTextFormat>> formats_;
    std::map<LayoutKey, ComPtr<IDWriteTextLayout>> layouts_;
    ComPtr<IWICBitmap> wicBitmap_;
    ComPtr<ID2D1RenderTarget> target_;
    ComPtr<ID2D1SolidColorBrush> brush_;
    UINT targetWidth_ = 0, targetHeight_ = 0;
    std::vector<std::uint32_t> copy_;
    std::unique_ptr<Gdiplus::Bitmap> copyBitmap_;
};

// Made on first use and never destroyed: its objects are released by releaseTextEngine, which
// must run while GDI+ and the system DLLs are still there (a destructor at process exit would not).
TextEngine& engine() {
    static TextEngine* const instance = new TextEngine();
    return *instance;
}

}  // namespace

SizeF measureText(std::wstring_view text, SizeF box, const TextStyle& style) {
    return engine().measure(text, box, style);
}

void drawText(Gdiplus::Graphics& graphics, std::wstring_view text, const RectF& box, const TextStyle& style) {
    engine().draw(graphics, text, box, style);
}

std::unique_ptr<Gdiplus::Bitmap> renderEmoji(std::wstring_view emoji) {
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(80, 80, PixelFormat32bppARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    {
        Gdiplus::Graphics graphics(bitmap.get());
        if (graphics.GetLastStatus() != Gdiplus::Ok) return nullptr;
        graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
        TextStyle style;
        style.size = 56;
        style.centre = true;
        style.middle = true;
        style.fontFamily = "Segoe UI Emoji";
        drawText(graphics, emoji, {0, 0, 80, 80}, style);
    }
    return bitmap;
}

std::wstring resolvedFontFamily(std::string_view family) { return engine().resolved(family); }

void releaseTextEngine() { engine().release(); }

std::uint64_t textLayoutsMade() { return layoutsMade.load(); }

std::uint64_t textsDrawn() { return textDraws.load(); }

}  // namespace lumvo
