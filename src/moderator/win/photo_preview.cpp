#include "moderator/win/photo_preview.h"

#include <memory>
#include <mutex>
#include <vector>

#include "media/image_check.h"
#include "media/win/gdiplus_picture.h"
#include "media/win/picture_decoder.h"
#include "moderator/photo_fit.h"
#include "base/win/module_pin.h"

namespace lumvo {
namespace {

constexpr COLORREF kPreviewBackground = RGB(0x10, 0x10, 0x16);
constexpr DWORD kPreviewStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
constexpr DWORD kPreviewExStyle = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME;
// A guest photo larger than this is not taken in (phones send a few megabytes at most).
constexpr std::uint64_t kMaxPhotoBytes = 32ull << 20;

// Posted by a decoding thread to its preview when the picture is ready (or did not decode).
constexpr UINT kPictureArrived = WM_APP + 0x50;

HWND g_preview = nullptr;             // the one open preview
HINSTANCE g_classInstance = nullptr;  // the instance the class is registered with, or null
HBRUSH g_background = nullptr;        // the class's brush, deleted when the class goes

// What a decoding thread hands its preview; shared, so either may be gone first.
struct Delivery {
    std::mutex mutex;
    PictureRef picture;
    bool finished = false;
};

struct PreviewWindow {
    std::unique_ptr<GdiplusPicture> image;  // null until the picture arrived
    std::shared_ptr<Delivery> delivery;
    PictureSize picture;  // as the picture's header gives it: the window's size and the aspect
    HWND button = nullptr;
    WNDPROC buttonProc = nullptr;
};

PreviewWindow* stateOf(HWND window) {
    return reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void paint(HWND window, HDC dc) {
    RECT client{};
    GetClientRect(window, &client);
    HBRUSH fill = CreateSolidBrush(kPreviewBackground);
    FillRect(dc, &client, fill);
    DeleteObject(fill);
    const PreviewWindow* state = stateOf(window);
    if (!state || !state->image) return;
    const FitRect at = previewPictureRect(client.right, client.bottom, state->picture.width, state->picture.height);
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
    graphics.DrawImage(&state->image->bitmap(), Gdiplus::Rect(at.x, at.y, at.width, at.height));
}

// The "Close" button has the focus, so Escape and Enter reach it first: both close the preview.
LRESULT CALLBACK buttonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = GetParent(button);
    const PreviewWindow* state = stateOf(window);
    if (message == WM_KEYDOWN && (wParam == VK_ESCAPE || wParam == VK_RETURN)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (!state || !state->buttonProc) return DefWindowProcW(button, message, wParam, lParam);
    return CallWindowProcW(state->buttonProc, button, message, wParam, lParam);
}

LRESULT CALLBACK previewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_ERASEBKGND: return 1;  // painted whole in WM_PAINT
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            HDC dc = BeginPaint(window, &ps);
            paint(window, dc);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_PRINTCLIENT: paint(window, reinterpret_cast<HDC>(wParam)); return 0;
        case kPictureArrived: {
            PreviewWindow* state = stateOf(window);
            if (!state || !state->delivery) return 0;
            PictureRef picture;
            {
                std::lock_guard<std::mutex> lock(state->delivery->mutex);
                if (!state->delivery->finished) return 0;
                picture = std::move(state->delivery->picture);
            }
            state->delivery.reset();
            state->image = pictureBitmap(std::move(picture));
            if (!state->image) {
                DestroyWindow(window);  // it did not decode after all: nothing to show
                return 0;
            }
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE || wParam == VK_RETURN) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_NCDESTROY: {
            PreviewWindow* state = stateOf(window);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (state && state->button)
                SetWindowLongPtrW(state->button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->buttonProc));
            delete state;  // frees the decoded picture
            if (g_preview == window) g_preview = nullptr;
            break;
        }
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void unregisterClass() {
    if (g_classInstance) UnregisterClassW(kPhotoPreviewClass, g_classInstance);
    g_classInstance = nullptr;
    if (g_background) DeleteObject(g_background);
    g_background = nullptr;
}

// The class is registered anew for every preview, after the earlier registration is gone.
bool registerClass(HINSTANCE instance) {
    unregisterClass();
    g_background = CreateSolidBrush(kPreviewBackground);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = previewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = g_background;
    wc.lpszClassName = kPhotoPreviewClass;
    if (!RegisterClassExW(&wc)) {
        // Registered by someone else with this instance (a previous copy of the DLL that was not
        // cleaned up): take it over.
        if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS || !UnregisterClassW(kPhotoPreviewClass, instance) ||
            !RegisterClassExW(&wc)) {
            DeleteObject(g_background);
            g_background = nullptr;
            return false;
        }
    }
    g_classInstance = instance;
    return true;
}

bool openWindow(HINSTANCE instance, HWND owner, PictureSize picture, std::shared_ptr<Delivery> delivery) {
    if (!instance) instance = owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)) : nullptr;
    if (!instance) instance = GetModuleHandleW(nullptr);
    if (g_preview) DestroyWindow(g_preview);
    if (!registerClass(instance)) return false;

    const PreviewSize size = previewSize(picture.width, picture.height);
    RECT frame{0, 0, size.clientWidth, size.clientHeight};
    AdjustWindowRectEx(&frame, kPreviewStyle, FALSE, kPreviewExStyle);
    auto state = std::make_unique<PreviewWindow>();
    state->picture = picture;
    state->delivery = std::move(delivery);
    PreviewWindow* raw = state.get();
    HWND window = CreateWindowExW(kPreviewExStyle, kPhotoPreviewClass, L"Guest photo", kPreviewStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                                  instance, raw);
    if (!window) return false;  // WM_NCDESTROY did not run without a window: the state is ours
    state.release();            // the window owns it now
    g_preview = window;

    const FitRect at = previewCloseButton(size.clientWidth, size.clientHeight);
    raw->button = CreateWindowExW(0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, at.x,
                                  at.y, at.width, at.height, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
    if (raw->button) {
        SendMessageW(raw->button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        raw->buttonProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(raw->button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(buttonProc)));
        SetFocus(raw->button);
    } else {
        SetFocus(window);
    }
    return true;
}

}  // namespace

bool showPhotoPreviewBytes(HINSTANCE instance, HWND owner, const std::string& bytes) {
    if (g_preview) DestroyWindow(g_preview);  // another photo asked for: this one goes either way
    if (bytes.empty() || bytes.size() > kMaxPhotoBytes) return false;
    // The window's size comes from the header; the picture is decoded on a thread of its own (a
    // large one takes long enough to stall the host's window) and shown when it arrives.
    const std::optional<PictureSize> sides = pictureSides(bytes);
    if (!sides || static_cast<std::uint64_t>(sides->width) * sides->height > kMaxDecodePixels) return false;
    auto delivery = std::make_shared<Delivery>();
    if (!openWindow(instance, owner, *sides, delivery)) return false;
    HWND window = g_preview;
    auto decodeAndPost = [delivery, window](const std::string& photo) {
        PictureRef picture = decodePicture(photo, kPreviewSide);
        {
            std::lock_guard<std::mutex> lock(delivery->mutex);
            delivery->picture = std::move(picture);
            delivery->finished = true;
        }
        PostMessageW(window, kPictureArrived, 0, 0);  // fails harmlessly when the window is gone
    };
    // Nobody waits for the decoding thread: it owns what it uses and keeps our code mapped, so
    // closing the preview or releasing the plug-in never waits out a large picture.
    bool started = false;
    try {
        started = runDetachedPinned([decodeAndPost, photo = bytes] { decodeAndPost(photo); });
    } catch (...) {}                     // std::bad_alloc copying the bytes
    if (!started) decodeAndPost(bytes);  // no thread to be had: decoded here, as a last resort
    return true;
}

bool photoPreviewShowsPicture() {
    const PreviewWindow* state = g_preview ? stateOf(g_preview) : nullptr;
    return state && state->image;
}

bool showPhotoPreview(HINSTANCE instance, HWND owner, const PhotoReader& readPhoto, const std::string& photoPath) {
    if (photoPath.empty() || !readPhoto) return false;
    if (g_preview) DestroyWindow(g_preview);
    const std::optional<std::string> bytes = readPhoto(photoPath);
    if (!bytes) return false;
    return showPhotoPreviewBytes(instance, owner, *bytes);
}

HWND photoPreviewWindow() { return g_preview; }

void closePhotoPreview(HINSTANCE instance) {
    if (g_preview) DestroyWindow(g_preview);
    g_preview = nullptr;
    if (!g_classInstance && instance) UnregisterClassW(kPhotoPreviewClass, instance);  // harmless when absent
    unregisterClass();
}

}  // namespace lumvo
