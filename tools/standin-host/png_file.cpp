#include "png_file.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

namespace standin {

using Microsoft::WRL::ComPtr;

bool writePng(const std::wstring& path, const std::uint8_t* bgra, int width, int height, int rowPitch) {
    // The frame's alpha is whatever the drawing left there; the picture is of an opaque screen.
    const UINT stride = static_cast<UINT>(width) * 4;
    std::vector<std::uint8_t> opaque(static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = bgra + static_cast<size_t>(y) * rowPitch;
        std::uint8_t* to = opaque.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            to[4 * x + 0] = from[4 * x + 0];
            to[4 * x + 1] = from[4 * x + 1];
            to[4 * x + 2] = from[4 * x + 2];
            to[4 * x + 3] = 255;
        }
    }
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        return false;
    }
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)))) {
        return false;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat32bppBGRA) return false;
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(opaque.size()),
                                        opaque.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace standin
