#pragma once
// Layout editing by mouse: while the setting `edit` is on, the DJ drags the three layout boxes
// (chat feed, QR card, featured card; the poll panel shares the featured card's box) on the host's
// video preview to move them, or by their right and bottom edges to resize them. The host delivers
// its mouse events in frame pixels; the frame size is the last one the draw slot saw.
//
// The mouse events come on a host thread while the render thread draws with the settings. Nothing
// is ever written into the shared boxes directly: every step is computed and clamped on a copy and
// published whole under the settings' mutex (SharedSettings::change), so the render thread only
// ever sees clamped boxes. layout.ini is written when the drag ends, outside the lock.
#include <functional>

#include "settings/settings.h"
#include "settings/shared_settings.h"

namespace lumvo {

// What a press grabbed, as the plug-in's drag state numbers it.
enum class DragTarget : int { none = 0, moveChat, moveQr, moveFeatured, resizeChat, resizeQr, resizeFeatured };

// The handle band along a box's right and bottom edges, in pixels.
inline constexpr float kEditHandlePixels = 28.0f;

struct BoxHit {
    DragTarget target = DragTarget::none;
    bool resizeWidth = false;
    bool resizeHeight = false;
};

// The box under (px, py) (fractions of the frame) of a W x H frame: the featured box first, then
// the QR box (only while `show_qr` is on), then the chat box; a point on an edge is inside. Within
// 28 pixels of the box's right or bottom edge it is that box's resize (width, height or both),
// elsewhere its move.
BoxHit hitTest(const WallSettings& settings, float px, float py, int W, int H);

// The drag itself. Mouse callbacks only (one host thread).
class LayoutEditor {
public:
    // Writes layout.ini; called outside the lock with the settings as they are after the drag.
    using SaveSettings = std::function<void(const WallSettings&)>;

    LayoutEditor(SharedSettings& settings, SaveSettings save) : settings_(settings), save_(std::move(save)) {}

    // A press at (x, y) frame pixels of a W x H frame. With the primary button (bit value 1) in
    // `buttons`, `edit` on and a known frame size, grabs the box under the pointer: true then.
    // A drag still going (its button-up was lost) ends first.
    bool mouseDown(int x, int y, int buttons, int W, int H);
    // While a drag goes on and the primary button is held: moves or resizes the grabbed box to
    // the pointer, clamped, and publishes it; true. An event without the primary button held (the
    // button went up where the host did not see it) or with `edit` switched off ends the drag
    // (settings saved); false then.
    bool mouseMove(int x, int y, int buttons, int W, int H);
    // Ends a drag (settings saved): true; false when there was none.
    bool mouseUp();

    DragTarget target() const { return drag_.target; }

private:
    void finish();

    SharedSettings& settings_;
    SaveSettings save_;
    BoxHit drag_;
    float grabX_ = 0, grabY_ = 0;  // pointer minus box origin at the press, fractions
};

}  // namespace lumvo
