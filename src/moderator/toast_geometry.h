#pragma once
// Where the moderator's pop-up toast goes over the host's window, and the sizes it paints with.
namespace lumvo {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ScreenRect&) const = default;
};

// The toast's rectangle at the bottom right of `area` (the host window's client rectangle in
// screen coordinates, or the work area of the moderator's monitor): scaled from 300 by 96 on a
// 1920 by 1080 area, at least 220 by 72, with a margin of at least 8.
ScreenRect toastPlacement(const ScreenRect& area);
// The toast window's size before it is first placed.
inline constexpr int kToastWidth = 300;
inline constexpr int kToastHeight = 96;

// Sizes for painting a toast whose client area is `clientHeight` pixels high.
struct ToastPaintMetrics {
    int bar = 28;          // title bar height
    int line = 2;          // accent line under the bar
    int inset = 10;        // left and right inset of the texts
    int mark = 16;         // side of the brand mark square
    int labelFont = 13;    // label font height (bold, one line)
    int messageFont = 14;  // message font height (word-wrapped)
};
ToastPaintMetrics toastPaintMetrics(int clientHeight);

}  // namespace lumvo
