#include "moderator/win/info_view.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "base/win/wide_text.h"
#include "moderator/info_text.h"
#include "moderator/win/moderator_look.h"

namespace lumvo {
namespace {

using namespace moderator_look;

constexpr COLORREF kBright = rgb(0xF8F8FC);  // titles, a row's left part
constexpr COLORREF kBody = rgb(0xD2D0DC);    // paragraphs, steps, a row's right part
constexpr COLORREF kBadge = rgb(0x302012);
constexpr COLORREF kViewFrame = rgb(0x30303C);
constexpr UINT kWrap = DT_WORDBREAK | DT_NOPREFIX;
constexpr UINT kMeasureMessage = WM_APP + 1;  // the view's own: measure the text at the current size

class InfoView {
public:
    explicit InfoView(HWND window) : window_(window) {}
    ~InfoView() {
        for (HFONT font : {title_, bold_, body_}) {
            if (font) DeleteObject(font);
        }
    }
    InfoView(const InfoView&) = delete;
    InfoView& operator=(const InfoView&) = delete;

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct WideBlock {
        std::wstring a, b;
    };

    void setText(const wchar_t* text);
    void measure();
    void scroll(InfoScroll step, int value);
    void showOffset();
    void paint();
    void draw(HDC dc, int width, int height);
    InfoLayout layoutAt(HDC dc, int width, int offset) const;
    HFONT fontOf(InfoFont font) const {
        return font == InfoFont::title ? title_ : font == InfoFont::bold ? bold_ : body_;
    }
    SIZE clientSize() const {
        RECT r{};
        GetClientRect(window_, &r);
        return {r.right, r.bottom};
    }

    HWND window_;
    bool measurePending_ = false;
    HFONT title_ = nullptr;
    HFONT bold_ = nullptr;
    HFONT body_ = nullptr;
    std::vector<InfoBlock> blocks_;
    std::vector<WideBlock> wide_;  // the blocks' texts as the drawing calls take them
    int offset_ = 0;
    int contentHeight_ = 0;
};

void drawWrapped(HDC dc, const std::wstring& text, const InfoBox& box, HFONT font, COLORREF colour) {
    RECT r{box.left, box.top, box.right, box.bottom};
    if (r.right <= r.left || text.empty()) return;
    const HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, kWrap);
    SelectObject(dc, old);
}

LRESULT InfoView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            title_ = makeFont(20, 600);
            bold_ = makeFont(13, 600);
            body_ = makeFont(14, 400);
            return title_ && bold_ && body_ ? 0 : -1;
        case WM_SETTEXT:
            DefWindowProcW(window_, message, wParam, lParam);  // kept, so the text can be read back
            setText(reinterpret_cast<const wchar_t*>(lParam));
            return TRUE;
        case WM_SIZE:
            // Measuring a long page takes a while: once, after the sizes of a whole layout have come.
            if (!measurePending_ && PostMessageW(window_, kMeasureMessage, 0, 0)) measurePending_ = true;
            if (!measurePending_) measure();
            return 0;
        case kMeasureMessage:
            measurePending_ = false;
            measure();
            return 0;
        case WM_VSCROLL: {
            switch (LOWORD(wParam)) {
                case SB_LINEUP: scroll(InfoScroll::lineUp, 0); break;
                case SB_LINEDOWN: scroll(InfoScroll::lineDown, 0); break;
                case SB_PAGEUP: scroll(InfoScroll::pageUp, 0); break;
                case SB_PAGEDOWN: scroll(InfoScroll::pageDown, 0); break;
                case SB_TOP: scroll(InfoScroll::top, 0); break;
                case SB_BOTTOM: scroll(InfoScroll::bottom, 0); break;
                case SB_THUMBTRACK:
                case SB_THUMBPOSITION: {
                    SCROLLINFO info{sizeof info, SIF_TRACKPOS};
                    if (GetScrollInfo(window_, SB_VERT, &info)) scroll(InfoScroll::track, info.nTrackPos);
                    break;
                }
                default: break;
            }
            return 0;
        }
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_UP: scroll(InfoScroll::lineUp, 0); return 0;
                case VK_DOWN: scroll(InfoScroll::lineDown, 0); return 0;
                case VK_PRIOR: scroll(InfoScroll::pageUp, 0); return 0;
                case VK_NEXT: scroll(InfoScroll::pageDown, 0); return 0;
                case VK_HOME: scroll(InfoScroll::top, 0); return 0;
                case VK_END: scroll(InfoScroll::bottom, 0); return 0;
                default: break;
            }
            break;
        case WM_MOUSEWHEEL: scroll(InfoScroll::wheel, GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
        case WM_LBUTTONDOWN: SetFocus(window_); return 0;
        case WM_ERASEBKGND: return 1;  // painting covers everything, off screen first: no flicker
        case WM_PAINT: paint(); return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void InfoView::setText(const wchar_t* text) {
    std::vector<InfoBlock> blocks = parseInfoText(wideToUtf8(text ? text : L""));
    std::vector<WideBlock> wide;
    wide.reserve(blocks.size());
    for (const InfoBlock& block : blocks) wide.push_back({utf8ToWide(block.a), utf8ToWide(block.b)});
    blocks_ = std::move(blocks);
    wide_ = std::move(wide);
    offset_ = 0;
    InvalidateRect(window_, nullptr, FALSE);
    // The content height and the scroll bar follow once the message has been handled.
    const SIZE size = clientSize();
    PostMessageW(window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.cx, size.cy));
}

InfoLayout InfoView::layoutAt(HDC dc, int width, int offset) const {
    const HGDIOBJ old = SelectObject(dc, body_);
    InfoLayout layout =
        layoutInfoText(blocks_, width, offset, [&](std::size_t index, bool partB, InfoFont font, int w) {
            const std::wstring& text = partB ? wide_[index].b : wide_[index].a;
            if (text.empty() || w <= 0) return 0;
            SelectObject(dc, fontOf(font));
            RECT r{0, 0, w, 0};
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, kWrap | DT_CALCRECT);
            return static_cast<int>(r.bottom);
        });
    SelectObject(dc, old);
    return layout;
}

void InfoView::measure() {
    if (HDC dc = GetDC(window_)) {
        contentHeight_ = layoutAt(dc, clientSize().cx, 0).contentHeight;
        ReleaseDC(window_, dc);
    }
    showOffset();
}

void InfoView::scroll(InfoScroll step, int value) {
    offset_ = scrollInfoView(offset_, step, value, contentHeight_, clientSize().cy);
    showOffset();
}

void InfoView::showOffset() {
    const int height = clientSize().cy;
    offset_ = clampInfoScroll(offset_, contentHeight_, height);
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS};
    info.nMin = 0;
    info.nMax = contentHeight_;
    info.nPage = static_cast<UINT>(std::max(height, 1));
    info.nPos = offset_;
    // Showing or hiding the bar changes the client width, which comes back here as a WM_SIZE.
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
    InvalidateRect(window_, nullptr, FALSE);
}

void InfoView::paint() {
    PAINTSTRUCT ps;
    const HDC screen = BeginPaint(window_, &ps);
    if (!screen) return;
    const SIZE size = clientSize();
    const RECT client{0, 0, size.cx, size.cy};
    if (size.cx > 0 && size.cy > 0) {
        const HDC memory = CreateCompatibleDC(screen);
        const HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, size.cx, size.cy) : nullptr;
        // Without a bitmap (no memory) the view is drawn straight onto the screen.
        const HDC target = bitmap ? memory : screen;
        const HGDIOBJ old = bitmap ? SelectObject(memory, bitmap) : nullptr;
        fill(target, client, kInfoView);
        draw(target, size.cx, size.cy);
        frame(target, client, kViewFrame);
        if (bitmap) {
            BitBlt(screen, 0, 0, size.cx, size.cy, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
        }
        if (memory) DeleteDC(memory);
    }
    EndPaint(window_, &ps);
}

void InfoView::draw(HDC dc, int width, int height) {
    const InfoLayout layout = layoutAt(dc, width, offset_);
    contentHeight_ = layout.contentHeight;
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
        const InfoPlacement& place = layout.blocks[i];
        // Every kind starts with its text A, below its badge's top at most.
        const int bottom = std::max({place.a.bottom, place.b.bottom, place.bar.bottom});
        if (bottom < 0 || place.a.top > height) continue;  // off screen
        const WideBlock& text = wide_[i];
        switch (place.kind) {
            case InfoBlockKind::title:
                drawWrapped(dc, text.a, place.a, title_, kBright);
                fill(dc, RECT{place.bar.left, place.bar.top, place.bar.right, place.bar.bottom}, kAccent);
                break;
            case InfoBlockKind::heading: drawWrapped(dc, text.a, place.a, bold_, kAccent); break;
            case InfoBlockKind::step: {
                const RECT badge{place.b.left, place.b.top, place.b.right, place.b.bottom};
                framedRound(dc, badge, 8, kBadge, kAccent, 1);
                drawLine(dc, text.b, badge, kAccent, bold_, DT_CENTER);
                drawWrapped(dc, text.a, place.a, body_, kBody);
                break;
            }
            case InfoBlockKind::row:
                drawWrapped(dc, text.a, place.a, bold_, kBright);
                drawWrapped(dc, text.b, place.b, body_, kBody);
                break;
            case InfoBlockKind::paragraph: drawWrapped(dc, text.a, place.a, body_, kBody); break;
        }
    }
}

}  // namespace

LRESULT CALLBACK infoViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* view = reinterpret_cast<InfoView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        view = new (std::nothrow) InfoView(window);
        if (!view) return FALSE;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    } else if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete view;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (!view) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return view->handle(message, wParam, lParam);
    } catch (...) {  // no exception reaches the system (and the host)
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace lumvo
