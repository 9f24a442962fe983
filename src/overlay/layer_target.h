#pragma once
// What the frame driver draws the overlay through: one texture per layer, repainted from a canvas
// only when the layer's content key changes, and drawn every frame as a quad over the host's
// video. On Windows it is the Direct3D 11 renderer (overlay/win/overlay_renderer.h); the frame
// driver itself is portable.
//
// A frame is beginFrame, any paintLayer calls, the drawLayer calls in back-to-front order, then
// endFrame (always, even when beginFrame said no or something threw in between).
#include <cstddef>
#include <functional>
#include <string>
#include <memory>
#include <string_view>

#include "overlay/canvas.h"

namespace lumvo {

// The layer textures, in the renderer's slot order.
enum class LayerSlot : int { qrCard, chatFeed, featuredCard, pollPanel, wordBackdrop, flames };
inline constexpr std::size_t kLayerSlotCount = 6;

// Paints a layer's whole picture on a canvas of the layer's size, cleared to transparent.
using LayerPainter = std::function<void(Canvas&)>;
// Makes a picture a painter keeps (an emoji the canvas renders); null when it cannot.
using PictureMaker = std::function<std::unique_ptr<CanvasImage>()>;

class LayerTarget {
public:
    virtual ~LayerTarget() = default;

    // Starts a frame on the host's current render target of width x height pixels. False when
    // nothing can be drawn this frame (no device yet, a missing shader, a size below 1 x 1).
    virtual bool beginFrame(int width, int height) = 0;
    // Makes `slot` show the picture `paint` paints at width x height, unless it shows the one of
    // `contentKey` at that size already (then `paint` is not called and nothing is uploaded).
    // False when the picture could not be made; the key is then not kept, so the next frame tries
    // again, and the old picture (if any) is still drawn.
    virtual bool paintLayer(LayerSlot slot, int width, int height, std::string_view contentKey,
                            const LayerPainter& paint) = 0;
    // The same for a picture in two parts: `still`, painted once for each `stillKey` and kept, and
    // `moving`, painted over a copy of it whenever `contentKey` (or `stillKey`) changes. A frame
    // where only the moving part changed paints nothing of the still part. Here: one picture whose
    // key is both keys; a target that keeps the still part overrides it.
    virtual bool paintLayerOver(LayerSlot slot, int width, int height, std::string_view stillKey,
                                const LayerPainter& still, std::string_view contentKey, const LayerPainter& moving) {
        std::string key(stillKey);
        key += '\n';
        key += contentKey;
        return paintLayer(slot, width, height, key, [&](Canvas& canvas) {
            still(canvas);
            moving(canvas);
        });
    }
    // Draws the slot's picture stretched over `rect` (target pixels, not rounded), `alpha` 0..1
    // multiplied into its own. Nothing for a slot without a picture, or a rectangle of width or
    // height 1 pixel or less.
    virtual void drawLayer(LayerSlot slot, const RectF& rect, float alpha) = 0;
    // Ends the frame: the host's pipeline state is as it was before beginFrame.
    virtual void endFrame() = 0;

    // A picture kept for the painters from frame to frame under `name` (the chase's emoji), owned
    // by the target so that it goes with the target's drawing system, never after it: made by
    // `make` on the first ask since the target was made or shut down, and again on an ask with
    // `remake` while the kept one is null (making it failed). Null when there is none. A target
    // that keeps nothing (the default) makes nothing.
    virtual const CanvasImage* keptPicture(std::string_view name, bool remake, const PictureMaker& make) {
        return nullptr;
    }
};

}  // namespace lumvo
