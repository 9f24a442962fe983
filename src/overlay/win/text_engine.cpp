#include "overlay/win/text_engine.h"

#include <d2d1.h>
#include <dwrite_2.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "base/recent_cache.h"
#include "base/win/wide_text.h"
#include "overlay/win/glyph_coverage.h"

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
// bar moving) then lays none of its texts out again. This many, the most recently used.
constexpr std::size_t kMaxLayouts = 512;
// Drawn texts are kept as pictures too, up to this many bytes (the most recently used): drawing
// a text is a round trip through Direct2D to the graphics driver, copying its picture is not.
constexpr std::size_t kSpriteBytes = 6u << 20;
// A text is drawn at its box's origin to the nearest quarter pixel, so that a text moving by
// fractions of a pixel (a shaking bar) is drawn from at most sixteen pictures.
constexpr float kPlaces = 4.0f;

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

    void draw(Gdiplus::Graphics& graphics, std::span<const TextDraw> texts) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Piece> pieces;
        pieces.reserve(texts.size());
        for (const TextDraw& t : texts) {
            if (t.text.empty() || !(t.box.w >= 2 && t.box.h >= 2)) continue;
            Piece p{&t, spriteKey(t)};
            p.sprite = findSprite(p.key);
            pieces.push_back(std::move(p));
        }
        // The texts not drawn before: on the CPU where they can be; the rest (colour glyphs) in
        // one Direct2D drawing when they fit the largest target together, else one at a time.
        std::vector<Piece*> missing;
        for (Piece& p : pieces) {
            if (!p.sprite && !drawOnCpu(p)) missing.push_back(&p);
        }
        if (!missing.empty()) {
            long right = 0, bottom = 0;
            for (const Piece* p : missing) {
                right = std::max(right, p->key.width);
                bottom += p->key.height;
            }
            if (missing.size() > 1 && (right > long{kTargetMax} || bottom > long{kTargetMax})) {
                for (Piece* p : missing) makeSprites({&p, 1});
            } else {
                makeSprites(missing);
            }
        }
        const Gdiplus::InterpolationMode interpolation = graphics.GetInterpolationMode();
        const Gdiplus::CompositingMode compositing = graphics.GetCompositingMode();
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
        for (const Piece& p : pieces) {
            if (!p.sprite) continue;
            const auto w = static_cast<float>(p.key.width), h = static_cast<float>(p.key.height);
            graphics.DrawImage(p.sprite->bitmap.get(),
                               Gdiplus::RectF(static_cast<float>(p.key.left), static_cast<float>(p.key.top), w, h),
                               0.0f, 0.0f, w, h, Gdiplus::UnitPixel);
        }
        graphics.SetInterpolationMode(interpolation);
        graphics.SetCompositingMode(compositing);
    }

    std::wstring resolved(std::string_view family) {
        std::lock_guard<std::mutex> lock(mutex_);
        return ensureFactories() ? resolveFamily(family) : std::wstring();
    }

    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        drawing_ = {};
        sprites_.clear();
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
    static LayoutKey layoutKey(std::wstring_view text, float maxWidth, float maxHeight, const TextStyle& style,
                               bool wrap) {
        return {std::wstring(text), style.fontFamily, style.size, style.lineSpacing, maxWidth,
                maxHeight,          style.bold,       wrap,       style.centre,      style.middle};
    }

    ComPtr<IDWriteTextLayout> layOut(std::wstring_view text, float maxWidth, float maxHeight, const TextStyle& style,
                                     bool wrap) {
        LayoutKey key = layoutKey(text, maxWidth, maxHeight, style, wrap);
        if (const ComPtr<IDWriteTextLayout>* found = layouts_.find(key)) return *found;
        ComPtr<IDWriteTextLayout> layout = makeLayout(text, maxWidth, maxHeight, style, wrap);
        if (layout) layouts_.put(key, layout, 1);
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

    // A drawn text's picture (premultiplied BGRA), its pixels owned with the GDI+ bitmap over them.
    struct Sprite {
        std::vector<std::uint32_t> pixels;
        std::unique_ptr<Gdiplus::Bitmap> bitmap;
    };
    // Everything a text's picture is made from, and where it goes: the picture covers the box
    // from the whole pixel at or left of and above its origin (to the quarter pixel), `width` x
    // `height`; the text keeps its place inside it.
    struct SpriteKey {
        LayoutKey layout;
        Argb colour;
        long left, top, width, height;
        float dx, dy;
        auto operator<=>(const SpriteKey&) const = default;
    };
    struct Piece {
        const TextDraw* text;
        SpriteKey key;
        std::shared_ptr<const Sprite> sprite;
    };

    SpriteKey spriteKey(const TextDraw& t) const {
        const float x = std::round(t.box.x * kPlaces) / kPlaces, y = std::round(t.box.y * kPlaces) / kPlaces;
        const float left = std::floor(x), top = std::floor(y);
        const float dx = x - left, dy = y - top;
        return {layoutKey(t.text, t.box.w, t.box.h, t.style, true),
                t.style.colour,
                static_cast<long>(left),
                static_cast<long>(top),
                std::min(static_cast<long>(std::ceil(t.box.w + dx)), long{kTargetMax}),
                std::min(static_cast<long>(std::ceil(t.box.h + dy)), long{kTargetMax}),
                dx,
                dy};
    }

    std::shared_ptr<const Sprite> findSprite(const SpriteKey& key) {
        const std::shared_ptr<const Sprite>* found = sprites_.find(key);
        return found ? *found : nullptr;
    }

    // Draws the pieces stacked one under the other in one Direct2D drawing, each clipped to its
    // picture, and keeps each picture as its sprite.
    void makeSprites(std::span<Piece* const> pieces) {
        long width = 0, height = 0;
        for (const Piece* p : pieces) {
            width = std::max(width, p->key.width);
            height += p->key.height;
        }
        DrawTarget* drawing = ensureTarget(static_cast<UINT>(width), static_cast<UINT>(height));
        if (!drawing) return;
        ID2D1RenderTarget& target = *drawing->target.Get();
        target.BeginDraw();
        target.SetTransform(D2D1::Matrix3x2F::Identity());
        target.PushAxisAlignedClip(D2D1::RectF(0, 0, static_cast<float>(width), static_cast<float>(height)),
                                   D2D1_ANTIALIAS_MODE_ALIASED);
        target.Clear(D2D1::ColorF(0, 0, 0, 0));
        target.PopAxisAlignedClip();
        std::vector<bool> laidOut(pieces.size());
        long y = 0;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const SpriteKey& k = pieces[i]->key;
            const TextDraw& t = *pieces[i]->text;
            const ComPtr<IDWriteTextLayout> layout = layOut(t.text, t.box.w, t.box.h, t.style, true);
            const float top = static_cast<float>(y);
            y += k.height;
            if (!layout) continue;
            laidOut[i] = true;
            ++textDraws;
            target.PushAxisAlignedClip(D2D1::RectF(0, top, static_cast<float>(k.width), static_cast<float>(y)),
                                       D2D1_ANTIALIAS_MODE_ALIASED);
            const Argb c = k.colour;
            drawing->brush->SetColor(D2D1::ColorF(((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f,
                                                  (c & 0xFF) / 255.0f, (c >> 24) / 255.0f));
            target.DrawTextLayout(D2D1::Point2F(k.dx, top + k.dy), layout.Get(), drawing->brush.Get(),
                                  D2D1_DRAW_TEXT_OPTIONS_ENABLE_COLOR_FONT);
            target.PopAxisAlignedClip();
        }
        const HRESULT drawn = target.EndDraw();
        if (drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) drawing_ = {};
        if (FAILED(drawn)) return;
        y = 0;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            Piece& p = *pieces[i];
            const long top = y;
            y += p.key.height;
            if (!laidOut[i]) continue;
            auto sprite = std::make_shared<Sprite>();
            const auto w = static_cast<UINT>(p.key.width), h = static_cast<UINT>(p.key.height);
            sprite->pixels.resize(static_cast<std::size_t>(w) * h);
            const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(w), static_cast<INT>(h)};
            if (SUCCEEDED(drawing->bitmap->CopyPixels(&rect, w * 4, w * h * 4,
                                                      reinterpret_cast<BYTE*>(sprite->pixels.data())))) {
                keep(p, std::move(sprite));
            }
        }
    }

    // Draws the piece's text on the CPU, without a round trip through Direct2D; false when it
    // has colour glyphs or could not be drawn so.
    bool drawOnCpu(Piece& p) {
        const TextDraw& t = *p.text;
        const ComPtr<IDWriteTextLayout> layout = layOut(t.text, t.box.w, t.box.h, t.style, true);
        if (!layout) return false;
        auto sprite = std::make_shared<Sprite>();
        sprite->pixels.assign(static_cast<std::size_t>(p.key.width) * p.key.height, 0);
        if (!drawLayoutCoverage(*dwrite_.Get(), *layout.Get(), p.key.dx, p.key.dy, p.key.colour, sprite->pixels.data(),
                                static_cast<int>(p.key.width), static_cast<int>(p.key.height))) {
            return false;
        }
        ++textDraws;
        return keep(p, std::move(sprite));
    }

    // Wraps the sprite's pixels in a GDI+ bitmap, hands it to the piece and keeps it.
    bool keep(Piece& p, std::shared_ptr<Sprite> sprite) {
        const auto w = static_cast<INT>(p.key.width), h = static_cast<INT>(p.key.height);
        sprite->bitmap = std::make_unique<Gdiplus::Bitmap>(w, h, w * 4, PixelFormat32bppPARGB,
                                                           reinterpret_cast<BYTE*>(sprite->pixels.data()));
        if (sprite->bitmap->GetLastStatus() != Gdiplus::Ok) return false;
        p.sprite = sprite;
        sprites_.put(p.key, std::move(sprite), static_cast<std::size_t>(w) * h * 4 + sizeof(Sprite));
        return true;
    }

    // The WIC bitmap with its Direct2D render target and brush, grown in steps of kTargetStep
    // pixels to the largest drawing asked for (making one is costly: kept until released).
    struct DrawTarget {
        ComPtr<IWICBitmap> bitmap;
        ComPtr<ID2D1RenderTarget> target;
        ComPtr<ID2D1SolidColorBrush> brush;
        UINT width = 0, height = 0;
    };

    DrawTarget* ensureTarget(UINT width, UINT height) {
        if (!ensureFactories()) return nullptr;
        if (drawing_.target && width <= drawing_.width && height <= drawing_.height) return &drawing_;
        DrawTarget made;
        made.width =
            std::min(std::max(drawing_.width, (width + kTargetStep - 1) / kTargetStep * kTargetStep), kTargetMax);
        made.height =
            std::min(std::max(drawing_.height, (height + kTargetStep - 1) / kTargetStep * kTargetStep), kTargetMax);
        drawing_ = {};
        if (FAILED(wic_->CreateBitmap(made.width, made.height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad,
                                      &made.bitmap))) {
            return nullptr;
        }
        const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_DEFAULT,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
        if (FAILED(d2d_->CreateWicBitmapRenderTarget(made.bitmap.Get(), properties, &made.target)) ||
            FAILED(made.target->CreateSolidColorBrush(D2D1::ColorF(1, 1, 1, 1), &made.brush))) {
            return nullptr;
        }
        made.target->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
        drawing_ = std::move(made);
        return &drawing_;
    }

    std::mutex mutex_;
    ComPtr<ID2D1Factory> d2d_;
    ComPtr<IDWriteFactory> dwrite_;
    ComPtr<IWICImagingFactory> wic_;
    ComPtr<IDWriteFontCollection> systemFonts_;
    ComPtr<IDWriteFontFallback> fallback_;
    std::map<std::string, std::wstring> families_;
    std::map<std::pair<std::wstring, bool>, ComPtr<IDWriteTextFormat>> formats_;
    RecentCache<LayoutKey, ComPtr<IDWriteTextLayout>> layouts_{kMaxLayouts};
    RecentCache<SpriteKey, std::shared_ptr<const Sprite>> sprites_{kSpriteBytes};
    DrawTarget drawing_;
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
    const TextDraw one{std::wstring(text), box, style};
    engine().draw(graphics, {&one, 1});
}

void drawTexts(Gdiplus::Graphics& graphics, std::span<const TextDraw> texts) { engine().draw(graphics, texts); }

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
