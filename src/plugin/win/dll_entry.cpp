// The DLL's one export. The host asks DllGetClassObject for the plug-in class and the video-effect
// interface; the identifiers are compared as 16 bytes, and anything else leaves *out untouched.
// (The Windows tests' test variant of the DLL adds a test-only export beside it.)
#include <windows.h>

#include "plugin/win/video_wall_plugin.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* out) {
    static_assert(sizeof(CLSID) == sizeof(vdj::HostGuid));
    return lumvo::createVideoWallPlugin(reinterpret_cast<const vdj::HostGuid*>(&classId),
                                        reinterpret_cast<const vdj::HostGuid*>(&interfaceId), out);
}
