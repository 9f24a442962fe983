#include "moderator/toast_geometry.h"

#include <algorithm>
#include <cmath>

namespace lumvo {
namespace {

int r(double x) { return static_cast<int>(std::lround(x)); }

}  // namespace

ScreenRect toastPlacement(const ScreenRect& area) {
    const double height = std::max(area.height(), 240);
    const double width = std::max(area.width(), 320);
    const double s = std::clamp(std::min(height / 1080.0, width / 1920.0), 0.55, 2.0);
    const int w = std::max(r(300 * s), 220);
    const int h = std::max(r(96 * s), 72);
    const int margin = std::max(r(14 * s), 8);
    const int x = std::max(area.left + margin, area.right - margin - w);
    const int y = std::max(area.top + margin, area.bottom - margin - h);
    return {x, y, x + w, y + h};
}

ToastPaintMetrics toastPaintMetrics(int clientHeight) {
    const double s = std::max(clientHeight / 96.0, 0.55);
    ToastPaintMetrics m;
    m.bar = std::max(r(30 * s), 28);
    m.line = std::max(r(3 * s), 2);
    m.inset = std::max(r(12 * s), 10);
    m.mark = std::max(m.bar - m.line - 8, 16);
    m.labelFont = std::max(std::min(r(15 * s), m.bar - 10), 13);
    m.messageFont = std::max(std::min(r(16 * s), std::max(clientHeight - m.bar, 24) / 2), 14);
    return m;
}

}  // namespace lumvo
