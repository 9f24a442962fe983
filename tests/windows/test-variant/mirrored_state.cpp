// The test variant's one extra export, for the stand-in host (--print-state, --by-repaint) and the
// tests: what the plug-in mirrored from the wall server. The shipped DLL has no such export.
#include <windows.h>

#include <cstring>
#include <string>

#include "base/json.h"
#include "overlay/win/text_engine.h"
#include "plugin/win/video_wall_plugin.h"

namespace {

// One JSON line: {"feed":N,"featuredId":"...","photosCached":N,"photoBytes":N,"theme":"...",
// "repaints":{"qr":N,"chat":N,"featured":N,"poll":N,"backdrop":N,"flames":N},
// "counters":{"particles":N,"pixelsUploaded":N,"textLayouts":N,"textDraws":N}}: the uploads of each
// layer, then what the overlay did so far that does not depend on the machine.
std::string mirroredState(lumvo::VideoWallPlugin& plugin) {
    using namespace lumvo;
    const DisplayDocument shown = plugin.display().copy();
    const WallSettings settings = plugin.settings().copy();
    std::string repaints;
    const char* const names[kLayerSlotCount] = {"qr", "chat", "featured", "poll", "backdrop", "flames"};
    for (std::size_t i = 0; i < kLayerSlotCount; ++i) {
        repaints += (i ? ",\"" : "\"") + std::string(names[i]) +
                    "\":" + std::to_string(plugin.renderer().uploads(static_cast<LayerSlot>(i)));
    }
    const std::string counters = "\"particles\":" + std::to_string(plugin.overlay().particlesPainted()) +
                                 ",\"pixelsUploaded\":" + std::to_string(plugin.renderer().pixelsUploaded()) +
                                 ",\"textLayouts\":" + std::to_string(textLayoutsMade()) +
                                 ",\"textDraws\":" + std::to_string(textsDrawn());
    return "{\"feed\":" + std::to_string(shown.feed.size()) + ",\"featuredId\":\"" +
           jsonEscapeDropControls(shown.featuredId) +
           "\",\"photosCached\":" + std::to_string(plugin.overlay().photos().size()) +
           ",\"photoBytes\":" + std::to_string(plugin.overlay().photos().totalBytes()) + ",\"theme\":\"" +
           jsonEscapeDropControls(settings.theme) + "\",\"repaints\":{" + repaints + "},\"counters\":{" + counters +
           "}}";
}

}  // namespace

// `plugin` is the interface pointer DllGetClassObject handed out, still alive. Writes the mirrored
// state into `out`, cut to `size` - 1 bytes and always ended with a NUL when `size` > 0, and returns
// the whole text's length; -1 without an object or on any failure.
extern "C" int WINAPI LumvoMirroredState(void* plugin, char* out, int size) {
    if (!plugin) return -1;
    try {
        auto* object = static_cast<lumvo::VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(plugin));
        const std::string state = mirroredState(*object);
        if (out && size > 0) {
            const std::size_t n = state.size() < static_cast<std::size_t>(size) ? state.size() : size - 1;
            std::memcpy(out, state.data(), n);
            out[n] = '\0';
        }
        return static_cast<int>(state.size());
    } catch (...) {
        return -1;
    }
}
