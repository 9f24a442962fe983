#include "media/win/gdiplus_picture.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstring>

#include "base/win/wide_text.h"
#include "media/image_check.h"

namespace lumvo {
namespace {

using Microsoft::WRL::ComPtr;

// A picture file larger than this is not read (a logo or a photo is far smaller).
constexpr LONGLONG kMaxImageFileBytes = 64LL << 20;

// Encoded bytes in a movable global memory block, wrapped in a stream that owns the block.
ComPtr<IStream> streamOver(std::string_view bytes) {
    ComPtr<IStream> stream;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return stream;
    if (void* memory = GlobalLock(block)) {
        std::memcpy(memory, bytes.data(), bytes.size());
        GlobalUnlock(block);
        if (SUCCEEDED(CreateStreamOnHGlobal(block, TRUE, &stream))) return stream;
    }
    GlobalFree(block);
    return nullptr;
}

// What GDI+ cannot read (WebP) through the system's WIC codecs, copied into a GDI+ bitmap.
std::unique_ptr<Gdiplus::Bitmap> decodeWithWic(IStream* stream) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_ptr<Gdiplus::Bitmap> result;
    {
        ComPtr<IWICImagingFactory> wic;
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICFormatConverter> converter;
        UINT w = 0, h = 0;
        LARGE_INTEGER start{};
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) &&
            SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
            SUCCEEDED(wic->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(wic->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                            0.0, WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&w, &h)) && w > 0 && h > 0 && w <= 16384 && h <= 16384) {
            auto bitmap =
                std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(w), static_cast<INT>(h), PixelFormat32bppARGB);
            Gdiplus::Rect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
            Gdiplus::BitmapData data{};
            if (bitmap->GetLastStatus() == Gdiplus::Ok &&
                bitmap->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
                const HRESULT copied =
                    converter->CopyPixels(nullptr, static_cast<UINT>(data.Stride), static_cast<UINT>(data.Stride) * h,
                                          static_cast<BYTE*>(data.Scan0));
                bitmap->UnlockBits(&data);
                if (SUCCEEDED(copied)) result = std::move(bitmap);
            }
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
}

}  // namespace

GdiplusPicture::GdiplusPicture(std::unique_ptr<Gdiplus::Bitmap> bitmap, IStream* source, PictureRef pixels)
    : bitmap_(std::move(bitmap)), source_(source), pixels_(std::move(pixels)) {
    if (source_) source_->AddRef();
}

GdiplusPicture::~GdiplusPicture() {
    bitmap_.reset();
    if (source_) source_->Release();
}

int GdiplusPicture::width() const { return static_cast<int>(bitmap_->GetWidth()); }
int GdiplusPicture::height() const { return static_cast<int>(bitmap_->GetHeight()); }
int GdiplusPicture::alphaAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return 0;
    Gdiplus::Color colour;
    return bitmap_->GetPixel(x, y, &colour) == Gdiplus::Ok ? colour.GetA() : 0;
}

std::unique_ptr<GdiplusPicture> pictureBitmap(PictureRef picture) {
    if (!picture || picture->width < 1 || picture->height < 1 ||
        picture->pixels.size() < static_cast<std::size_t>(picture->width) * picture->height * 4)
        return nullptr;
    // GDI+ only reads these pixels: the bitmap is drawn from, never drawn on or locked for writing.
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(picture->width, picture->height, picture->width * 4,
                                                    PixelFormat32bppPARGB, const_cast<BYTE*>(picture->pixels.data()));
    if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return std::make_unique<GdiplusPicture>(std::move(bitmap), nullptr, std::move(picture));
}

std::unique_ptr<GdiplusPicture> loadPictureFile(std::string_view utf8Path) {
    // Read whole and decoded from memory: a picture GDI+ opens by name stays locked while it is
    // kept, and the DJ could not replace the venue's logo then.
    const std::wstring path = utf8ToWide(utf8Path);
    if (path.empty()) return nullptr;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kMaxImageFileBytes) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
            bytes.clear();
        }
    }
    CloseHandle(file);
    return loadPictureBytes(bytes);
}

std::unique_ptr<GdiplusPicture> loadPictureBytes(std::string_view bytes) {
    if (!plausiblePicture(bytes)) return nullptr;
    ComPtr<IStream> stream = streamOver(bytes);
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (bitmap && bitmap->GetLastStatus() == Gdiplus::Ok && bitmap->GetWidth() > 0) {
        return std::make_unique<GdiplusPicture>(std::move(bitmap), stream.Get());
    }
    bitmap = decodeWithWic(stream.Get());
    return bitmap ? std::make_unique<GdiplusPicture>(std::move(bitmap)) : nullptr;
}

}  // namespace lumvo
