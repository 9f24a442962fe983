#include "plugin/win/video_wall_plugin.h"

#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include <chrono>
#include <cstring>
#include <new>
#include <utility>

#include "plugin/host_window.h"
#include "plugin/version.h"
#include "plugin/win/brand_bitmap.h"
#include "plugin/win/data_folders.h"
#include "plugin/win/settings_store.h"

namespace lumvo {
namespace {

// Runs one slot body; whatever it throws ends here as `onFailure`, never in the host.
template <class Body>
auto guarded(Body&& body, decltype(body()) onFailure) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

constexpr auto kWorkerPass = std::chrono::milliseconds(150);

}  // namespace

VideoWallPlugin::~VideoWallPlugin() {
    // Reached through release() or slot 3 alone: either way the worker is joined and every handle
    // freed. Nothing may escape into the host from here (a mutex error while stopping the worker
    // is the only thing that could throw; the worker's own destructor still joins or detaches it).
    try {
        stopWorker();
    } catch (...) {
    }
    teardown();
}

bool VideoWallPlugin::startGdiplus() {
    if (gdiplusToken) return true;
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, GDI+'s own background thread
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    gdiplusToken = token;
    return true;
}

vdj::HostResult VideoWallPlugin::load() {
    return guarded(
        [this] {
            startGdiplus();
            if (hostCallbacks) {
                hostCallbacks->declareParameter(&openModeratorParam, vdj::kParameterButton, kOpenModeratorParameterId,
                                                "Open moderator", "Mod", 0.0f);
            }
            loadSettings(settings);
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::describe(vdj::PluginInfo* info) {
    return guarded(
        [this, info] {
            if (!info) return kHostBadPointer;
            info->name = kPluginName;
            info->author = kPluginAuthor;
            info->description = kPluginDescription;
            info->version = kPluginVersion;
            if (!pluginBitmap && startGdiplus()) pluginBitmap = buildBrandBitmap(findAsset(L"lumvo-mark.png"));
            info->bitmap = pluginBitmap;
            const bool extended = (info->flags & vdj::kInfoFlagExtendedRecord) != 0;
            info->flags = (info->flags & vdj::kInfoFlagExtendedRecord) | kPluginInfoFlags;
            if (extended) {
                static_cast<vdj::PluginInfoEx*>(info)->mouseCallbacks = static_cast<vdj::VideoMouseCallbacks*>(this);
            }
            return vdj::kOk;
        },
        kHostFailed);
}

void VideoWallPlugin::stopWorker() {
    workerThread.stop();
    // The wall server is shut down here once the worker launches one.
}

void VideoWallPlugin::teardown() {
    moderatorOwner = nullptr;
    device = nullptr;
    if (pluginBitmap) {
        DeleteObject(pluginBitmap);
        pluginBitmap = nullptr;
    }
    if (gdiplusToken) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusToken = 0;
    }
}

vdj::HostRefCount VideoWallPlugin::release() {
    // The destructor does the whole teardown in release's order: worker joined, then the
    // bitmap and GDI+.
    scalarDeletingDestructor(1);
    return 0;
}

void* VideoWallPlugin::scalarDeletingDestructor(unsigned int flags) {
    this->~VideoWallPlugin();
    if (flags & 1) ::operator delete(static_cast<void*>(this));
    return this;
}

vdj::HostResult VideoWallPlugin::parameterChanged(int id) {
    return guarded(
        [this, id] {
            if (id == kOpenModeratorParameterId) openModeratorWindow();
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::parameterText(int, char*, int) { return vdj::kNotImplemented; }

vdj::HostResult VideoWallPlugin::userInterface(vdj::UserInterfaceInfo* info) {
    if (!info) return kHostBadPointer;
    info->type = 0;  // the host's own interface
    info->window = nullptr;
    return vdj::kOk;
}

vdj::HostResult VideoWallPlugin::start() {
    return guarded(
        [this] {
            switch (workerThread.start([this] { workerProcedure(); })) {
                case WorkerThread::StartResult::failed:
                    return kHostFailed;  // flag cleared again: the next start tries anew
                case WorkerThread::StartResult::started:
                case WorkerThread::StartResult::alreadyRunning:
                    break;
            }
            openModeratorWindow();
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::stop() {
    return guarded(
        [this] {
            const bool joined = workerThread.stop();
            // The wall server is shut down here once the worker launches one.
            return joined ? vdj::kOk : kHostFailed;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::draw() {
    return guarded(
        [this] {
            if (!settings.enable) return vdj::kOk;
            lastFrameWidth = frameWidth;
            lastFrameHeight = frameHeight;
            // The lock is held for the copy only: the worker may swap in a new state meanwhile.
            DisplayState copy;
            {
                std::lock_guard<std::mutex> lock(displayMutex);
                copy = displayState;
            }
            frameState = std::move(copy);
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::deviceInit() {
    return guarded(
        [this] {
            void* hostDevice = nullptr;
            if (!videoCallbacks || videoCallbacks->getDevice(vdj::kDeviceDirect3D11, &hostDevice) < 0 || !hostDevice) {
                return kHostNoDevice;
            }
            device = static_cast<ID3D11Device*>(hostDevice);
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::deviceClose() {
    device = nullptr;
    return vdj::kOk;
}

vdj::HostResult VideoWallPlugin::audioSamples(float*, int) { return vdj::kNotImplemented; }

bool VideoWallPlugin::mouseMove(int, int, int, int) { return false; }
bool VideoWallPlugin::mouseDown(int, int, int, int) { return false; }
bool VideoWallPlugin::mouseUp(int, int, int, int) { return false; }
void VideoWallPlugin::keyEvent(const char*, int, int, int, int) {}

void VideoWallPlugin::workerProcedure() {
    // One pass every 150 ms until stop() clears the flag; stop() also cuts the sleep short.
    while (workerThread.sleepFor(kWorkerPass)) {
    }
}

void VideoWallPlugin::openModeratorWindow() {
    double hostWindow = 0.0;
    std::int32_t answer = -1;
    if (hostCallbacks) answer = hostCallbacks->queryNumber("get hwnd", &hostWindow);
    moderatorOwner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ownerWindowFromQuery(answer, hostWindow)));
    moderatorModule = hostInstance ? static_cast<HMODULE>(hostInstance) : ownModuleHandle();
    // The moderator window is created once with (moderatorModule, this, moderatorOwner) and shown
    // here when it exists.
}

vdj::HostResult createVideoWallPlugin(const vdj::HostGuid* classId, const vdj::HostGuid* interfaceId, void** out,
                                      void* (*allocate)(std::size_t)) {
    if (!out) return kHostBadPointer;
    if (!classId || !interfaceId || std::memcmp(classId, &vdj::kPluginClassId, sizeof(vdj::HostGuid)) != 0 ||
        std::memcmp(interfaceId, &vdj::kVideoFxInterfaceId, sizeof(vdj::HostGuid)) != 0) {
        return vdj::kClassNotAvailable;
    }
    void* memory = allocate ? allocate(sizeof(VideoWallPlugin))
                            : ::operator new(sizeof(VideoWallPlugin), std::nothrow);
    if (!memory) {
        *out = nullptr;
        return kHostOutOfMemory;
    }
    std::memset(memory, 0, sizeof(VideoWallPlugin));
    try {
        // The host is handed the video-effect interface, which starts at the object's address.
        *out = static_cast<vdj::VideoFxPlugin*>(new (memory) VideoWallPlugin());
    } catch (...) {
        ::operator delete(memory);
        *out = nullptr;
        return kHostOutOfMemory;
    }
    return vdj::kOk;
}

}  // namespace lumvo
