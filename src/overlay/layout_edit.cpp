#include "overlay/layout_edit.h"

#include <algorithm>

namespace lumvo {
namespace {

BoxRect& boxOf(WallSettings& s, DragTarget target) {
    switch (target) {
        case DragTarget::moveQr:
        case DragTarget::resizeQr: return s.qr;
        case DragTarget::moveFeatured:
        case DragTarget::resizeFeatured: return s.hero;
        default: return s.chat;
    }
}

bool isResize(DragTarget t) { return t >= DragTarget::resizeChat; }

bool contains(const BoxRect& b, float px, float py) {
    return px >= b.x && px <= b.x + b.w && py >= b.y && py <= b.y + b.h;
}

}  // namespace

BoxHit hitTest(const WallSettings& s, float px, float py, int W, int H) {
    const float hx = kEditHandlePixels / static_cast<float>(std::max(W, 1));
    const float hy = kEditHandlePixels / static_cast<float>(std::max(H, 1));
    struct Candidate {
        const BoxRect* box;
        DragTarget move, resize;
    };
    const Candidate candidates[] = {
        {&s.hero, DragTarget::moveFeatured, DragTarget::resizeFeatured},
        {s.showQr ? &s.qr : nullptr, DragTarget::moveQr, DragTarget::resizeQr},
        {&s.chat, DragTarget::moveChat, DragTarget::resizeChat},
    };
    for (const Candidate& c : candidates) {
        if (!c.box || !contains(*c.box, px, py)) continue;
        BoxHit hit;
        hit.resizeWidth = px >= c.box->x + c.box->w - hx;
        hit.resizeHeight = py >= c.box->y + c.box->h - hy;
        hit.target = hit.resizeWidth || hit.resizeHeight ? c.resize : c.move;
        if (hit.target == c.move) hit.resizeWidth = hit.resizeHeight = false;
        return hit;
    }
    return {};
}

bool LayoutEditor::mouseDown(int x, int y, int buttons, int W, int H) {
    if (drag_.target != DragTarget::none) finish();
    if (!(buttons & 1) || W <= 0 || H <= 0) return false;
    WallSettings s = settings_.copy();  // the hit test reads the boxes under the lock
    if (!s.edit) return false;
    const float px = static_cast<float>(x) / static_cast<float>(W), py = static_cast<float>(y) / static_cast<float>(H);
    const BoxHit hit = hitTest(s, px, py, W, H);
    if (hit.target == DragTarget::none) return false;
    drag_ = hit;
    const BoxRect& box = boxOf(s, hit.target);
    grabX_ = px - box.x;
    grabY_ = py - box.y;
    return true;
}

bool LayoutEditor::mouseMove(int x, int y, int buttons, int W, int H) {
    if (drag_.target == DragTarget::none) return false;
    if (!(buttons & 1)) {
        finish();  // the button went up somewhere the host did not tell us about
        return false;
    }
    if (W < 1 || H < 1) return false;
    const float px = static_cast<float>(x) / static_cast<float>(W), py = static_cast<float>(y) / static_cast<float>(H);
    bool editing = true;
    settings_.change([&](WallSettings& s) {
        if (!s.edit) {
            editing = false;
            return;
        }
        BoxRect box = boxOf(s, drag_.target);  // worked out on a copy, published clamped
        if (isResize(drag_.target)) {
            if (drag_.resizeWidth) box.w = px - box.x;
            if (drag_.resizeHeight) box.h = py - box.y;
        } else {
            box.x = px - grabX_;
            box.y = py - grabY_;
        }
        clampBox(box);
        boxOf(s, drag_.target) = box;
    });
    if (!editing) {
        finish();
        return false;
    }
    return true;
}

bool LayoutEditor::mouseUp() {
    if (drag_.target == DragTarget::none) return false;
    finish();
    return true;
}

void LayoutEditor::finish() {
    drag_ = {};
    if (save_) save_(settings_.copy());
}

}  // namespace lumvo
