// The DLL's exports. The host asks DllGetClassObject for the plug-in class and the video-effect
// interface; the identifiers are compared as 16 bytes, and anything else leaves *out untouched.
// LumvoMirroredState is for the stand-in host and the tests only: no host calls it.
#include <windows.h>

#include <cstring>
#include <string>

#include "plugin/win/video_wall_plugin.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* out) {
    static_assert(sizeof(CLSID) == sizeof(vdj::HostGuid));
    return lumvo::createVideoWallPlugin(reinterpret_cast<const vdj::HostGuid*>(&classId),
                                        reinterpret_cast<const vdj::HostGuid*>(&interfaceId), out);
}

// Test-only. `plugin` is the interface pointer DllGetClassObject handed out, still alive. Writes
// what the plug-in mirrored from the wall server (VideoWallPlugin::mirroredState, one JSON line)
// into `out`, cut to `size` - 1 bytes and always ended with a NUL when `size` > 0, and returns the
// whole text's length; -1 without an object or on any failure.
extern "C" int WINAPI LumvoMirroredState(void* plugin, char* out, int size) {
    if (!plugin) return -1;
    try {
        auto* object = static_cast<lumvo::VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(plugin));
        const std::string state = object->mirroredState();
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
