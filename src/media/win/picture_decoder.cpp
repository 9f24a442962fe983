#include "media/win/picture_decoder.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "media/image_check.h"

namespace lumvo {
namespace {

using Microsoft::WRL::ComPtr;

// Rows asked of the decoder at a time.
constexpr int kStripRows = 32;

bool tooManyPixels(std::uint64_t width, std::uint64_t height) { return width * height > kMaxDecodePixels; }

// COM for the call on a thread that has none; a thread that has it (either model) keeps it.
class ComForCall {
public:
    ComForCall() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComForCall() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComForCall(const ComForCall&) = delete;
    ComForCall& operator=(const ComForCall&) = delete;

private:
    HRESULT result_;
};

PictureRef decode(std::string_view bytes, int maxSide) {
    ComPtr<IWICImagingFactory> wic;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) ||
        FAILED(wic->CreateStream(&stream)) ||
        // The stream reads the caller's bytes in place; they outlive every object here.
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size()))) ||
        FAILED(wic->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)))
        return nullptr;
    UINT width = 0, height = 0;
    // The decoder's own word on the size counts too (a header the check read may not be the one
    // the decoder uses).
    if (FAILED(frame->GetSize(&width, &height)) || width < 1 || height < 1 ||
        width > static_cast<UINT>(kMaxPictureSide) || height > static_cast<UINT>(kMaxPictureSide) ||
        tooManyPixels(width, height))
        return nullptr;

    ComPtr<IWICFormatConverter> converter;
    if (FAILED(wic->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    RowScaler scaler(w, h, boundedSize(w, h, maxSide));
    const UINT stride = width * 4;
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(stride) * kStripRows);
    for (int y = 0; y < h; y += kStripRows) {
        const int rows = std::min(kStripRows, h - y);
        const WICRect rect{0, y, w, rows};
        if (FAILED(converter->CopyPixels(&rect, stride, stride * static_cast<UINT>(rows), strip.data())))
            return nullptr;
        for (int row = 0; row < rows; ++row) scaler.addRow(strip.data() + static_cast<std::size_t>(row) * stride);
    }
    return scaler.finish();
}

}  // namespace

PictureRef decodePicture(std::string_view bytes, int maxSide) {
    // Looked at before any decoder sees the bytes: a broken structure or too many pixels ends here.
    const std::optional<PictureSize> sides = pictureSides(bytes);
    if (!sides || maxSide < 1 || tooManyPixels(sides->width, sides->height)) return nullptr;
    try {
        ComForCall com;
        return decode(bytes, maxSide);
    } catch (...) {  // out of memory for the result: no picture
        return nullptr;
    }
}

}  // namespace lumvo
