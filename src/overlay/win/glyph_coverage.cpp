#include "overlay/win/glyph_coverage.h"

#include <dwrite_2.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace lumvo {
namespace {

using Microsoft::WRL::ComPtr;

// Receives the layout's glyph runs and blends each into the picture.
class CoverageRenderer final : public IDWriteTextRenderer {
public:
    CoverageRenderer(IDWriteFactory& factory, Argb colour, std::uint32_t* pixels, int width, int height)
        : factory_(factory), colour_(colour), pixels_(pixels), width_(width), height_(height) {}

    bool ok() const { return ok_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDWritePixelSnapping) || id == __uuidof(IDWriteTextRenderer)) {
            *object = static_cast<IDWriteTextRenderer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on its caller's stack: the counts only keep COM's rules.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE IsPixelSnappingDisabled(void*, BOOL* disabled) override {
        *disabled = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentTransform(void*, DWRITE_MATRIX* transform) override {
        *transform = DWRITE_MATRIX{1, 0, 0, 1, 0, 0};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelsPerDip(void*, FLOAT* pixelsPerDip) override {
        *pixelsPerDip = 1.0f;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DrawGlyphRun(void*, FLOAT x, FLOAT y, DWRITE_MEASURING_MODE measuring,
                                           const DWRITE_GLYPH_RUN* run, const DWRITE_GLYPH_RUN_DESCRIPTION*,
                                           IUnknown*) override {
        if (!ok_ || !run || !run->fontFace || run->glyphCount == 0) return S_OK;
        ComPtr<IDWriteFontFace2> face2;
        if (SUCCEEDED(run->fontFace->QueryInterface(IID_PPV_ARGS(&face2))) && face2->IsColorFont()) {
            ok_ = false;  // colour glyphs: Direct2D's
            return S_OK;
        }
        ComPtr<IDWriteGlyphRunAnalysis> analysis;
        RECT bounds{};
        if (FAILED(factory_.CreateGlyphRunAnalysis(run, 1.0f, nullptr, DWRITE_RENDERING_MODE_NATURAL_SYMMETRIC,
                                                   measuring, x, y, &analysis)) ||
            FAILED(analysis->GetAlphaTextureBounds(DWRITE_TEXTURE_CLEARTYPE_3x1, &bounds))) {
            ok_ = false;
            return S_OK;
        }
        const long w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
        if (w <= 0 || h <= 0) return S_OK;  // nothing to see: blanks
        coverage_.resize(static_cast<std::size_t>(w) * h * 3);
        if (FAILED(analysis->CreateAlphaTexture(DWRITE_TEXTURE_CLEARTYPE_3x1, &bounds, coverage_.data(),
                                                static_cast<UINT32>(coverage_.size())))) {
            ok_ = false;
            return S_OK;
        }
        blend(bounds, w, h);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DrawUnderline(void*, FLOAT, FLOAT, const DWRITE_UNDERLINE*, IUnknown*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DrawStrikethrough(void*, FLOAT, FLOAT, const DWRITE_STRIKETHROUGH*, IUnknown*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DrawInlineObject(void*, FLOAT, FLOAT, IDWriteInlineObject*, BOOL, BOOL,
                                               IUnknown*) override {
        return S_OK;
    }

private:
    // The three sub-pixel coverages averaged (grey-scale anti-aliasing), times the colour's alpha,
    // the colour premultiplied by it over what is there.
    void blend(const RECT& bounds, long w, long h) {
        const std::uint32_t alpha = colour_ >> 24;
        const std::uint32_t red = (colour_ >> 16) & 0xFF, green = (colour_ >> 8) & 0xFF, blue = colour_ & 0xFF;
        const long x0 = std::max(bounds.left, 0L), x1 = std::min(bounds.right, static_cast<long>(width_));
        const long y0 = std::max(bounds.top, 0L), y1 = std::min(bounds.bottom, static_cast<long>(height_));
        for (long y = y0; y < y1; ++y) {
            const std::uint8_t* in = coverage_.data() + ((y - bounds.top) * w + (x0 - bounds.left)) * 3;
            std::uint32_t* out = pixels_ + static_cast<std::ptrdiff_t>(y) * width_;
            for (long x = x0; x < x1; ++x, in += 3) {
                const std::uint32_t c = (static_cast<std::uint32_t>(in[0]) + in[1] + in[2]) * alpha / 3;  // 0..255*255
                if (c == 0) continue;
                const std::uint32_t a = (c + 127) / 255, keep = 255 - a;
                const std::uint32_t under = out[x];
                auto channel = [&](std::uint32_t value, int shift) {
                    return std::min<std::uint32_t>(
                               (value * c + 127 * 255) / (255 * 255) + (((under >> shift) & 0xFF) * keep + 127) / 255,
                               255)
                           << shift;
                };
                out[x] = channel(255, 24) | channel(red, 16) | channel(green, 8) | channel(blue, 0);
            }
        }
    }

    IDWriteFactory& factory_;
    Argb colour_;
    std::uint32_t* pixels_;
    int width_, height_;
    bool ok_ = true;
    ULONG references_ = 1;
    std::vector<std::uint8_t> coverage_;
};

}  // namespace

bool drawLayoutCoverage(IDWriteFactory& factory, IDWriteTextLayout& layout, float x, float y, Argb colour,
                        std::uint32_t* pixels, int width, int height) {
    if (!pixels || width < 1 || height < 1) return false;
    CoverageRenderer renderer(factory, colour, pixels, width, height);
    return SUCCEEDED(layout.Draw(nullptr, &renderer, x, y)) && renderer.ok();
}

}  // namespace lumvo
