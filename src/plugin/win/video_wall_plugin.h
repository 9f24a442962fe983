#pragma once
// The one plug-in object the host creates through DllGetClassObject. It implements the host's
// video-effect slots and the mouse callbacks, and owns everything else of the plug-in.
//
// The host calls the slots through a table laid out for Microsoft's ABI (see host_interface.h):
// slot 3 is scalarDeletingDestructor, not a C++ destructor, and release() ends with it. No slot
// lets an exception out: each catches everything and answers with a failure code.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/win/gdiplus_session.h"
#include "documents/published_display.h"
#include "moderator/win/moderator_window.h"
#include "overlay/layout_edit.h"
#include "overlay/overlay.h"
#include "overlay/win/overlay_renderer.h"
#include "plugin/host_interface.h"
#include "plugin/win/brand_bitmap.h"
#include "serverlink/wall_link.h"
#include "serverlink/win/server_process.h"
#include "base/win/win_http_client.h"
#include "settings/shared_settings.h"

namespace lumvo {

inline constexpr int kOpenModeratorParameterId = 11;
inline constexpr const char* kPluginName = "LUMVO Video Wall";
inline constexpr const char* kPluginAuthor = "LUMVO";
inline constexpr const char* kPluginDescription = "LUMVO Video Wall: audience chat, photos and QR overlay for the TV";

// Flags the plug-in asks for in describe(): the host draws the video first and gives us the
// output resolution.
inline constexpr std::uint32_t kPluginInfoFlags = vdj::kInfoFlagOverlay | vdj::kInfoFlagOutputResolution;

inline constexpr vdj::HostResult kHostFailed = static_cast<vdj::HostResult>(0x80004005u);       // E_FAIL
inline constexpr vdj::HostResult kHostBadPointer = static_cast<vdj::HostResult>(0x80004003u);   // E_POINTER
inline constexpr vdj::HostResult kHostOutOfMemory = static_cast<vdj::HostResult>(0x8007000Eu);  // E_OUTOFMEMORY
inline constexpr vdj::HostResult kHostNoDevice = 1;  // deviceInit: the host has no Direct3D 11 device

class VideoWallPlugin final : public vdj::VideoFxPlugin, public vdj::VideoMouseCallbacks {
public:
    // Connects the wall link to the HTTP client, the clock, the server process, the overlay's photo
    // cache and the data folders, and the overlay to its renderer.
    VideoWallPlugin();
    ~VideoWallPlugin() = default;
    VideoWallPlugin(const VideoWallPlugin&) = delete;
    VideoWallPlugin& operator=(const VideoWallPlugin&) = delete;

    // Host slots, in table order.
    vdj::HostResult load() override;
    vdj::HostResult describe(vdj::PluginInfo* info) override;
    vdj::HostRefCount release() override;
    void* scalarDeletingDestructor(unsigned int flags) override;
    vdj::HostResult parameterChanged(int id) override;
    vdj::HostResult parameterText(int id, char* out, int size) override;
    vdj::HostResult userInterface(vdj::UserInterfaceInfo* info) override;
    vdj::HostResult start() override;
    vdj::HostResult stop() override;
    vdj::HostResult draw() override;
    vdj::HostResult deviceInit() override;
    vdj::HostResult deviceClose() override;
    vdj::HostResult audioSamples(float* buffer, int count) override;

    // Mouse events on the video output (frame pixels): layout editing by mouse while the setting
    // `edit` is on (overlay/layout_edit.h). True when the event started, moved or ended a drag.
    bool mouseMove(int x, int y, int buttons, int keyModifiers) override;
    bool mouseDown(int x, int y, int buttons, int keyModifiers) override;
    bool mouseUp(int x, int y, int buttons, int keyModifiers) override;
    void keyEvent(const char* key, int a, int b, int c, int d) override;

    // Opens the host's song browser searching for a guest's request text (for the moderator
    // window). False when nothing was left to search for, there is no host, or anything failed.
    bool searchSongs(std::string_view text) noexcept;

    // The records the object owns, for tests and for the pieces that join later. The host only
    // ever goes through the slots above.
    SharedSettings& settings() { return settings_; }
    PublishedDisplay& display() { return display_; }
    WallLink& wallLink() { return wallLink_; }
    Overlay& overlay() { return overlay_; }
    OverlayRenderer& renderer() { return renderer_; }
    ModeratorWindow& moderator() { return moderator_; }
    ServerProcess& server() { return server_; }

private:
    void openModeratorWindow();
    // The host's main window from "get hwnd"; null when the host has none or the query failed.
    HWND hostMainWindow();
    // The moderator window's "start the server unless it runs", off the window's thread.
    void ensureServerSoon();

    // The host's Direct3D 11 device (not owned), or null when it has none.
    ID3D11Device* hostDevice();

    // Host parameter 11, the "Open moderator" button; the host writes it.
    std::int32_t openModeratorParam_ = 0;
    // Shared by the threads, each with its own lock: the DJ's settings, and the display document
    // the wall link publishes and the overlay draws from.
    SharedSettings settings_;
    PublishedDisplay display_;
    // The drag of layout editing; layout.ini is written when a drag ends.
    LayoutEditor layoutEditor_;
    // Whether the wall server is meant to run (set by start and by the moderator window starting
    // it, cleared by stop): the moderator window polls only then. Read on the window's thread.
    std::atomic<bool> serverWanted_{false};
    // Destroyed in the reverse order, which is release's: the moderator window first (on its own
    // thread, its desk's requests cancelled and their thread joined), so none of its handlers runs
    // on a half-destroyed object; then the server starter joined, the worker joined and the server stopped, the
    // server's job closed (ending whatever still runs in it), the overlay with its photo cache, the renderer (its
    // textures, GDI+ surfaces and the text engine), the list bitmap and GDI+.
    GdiplusSession gdiplus_;
    BrandBitmap bitmap_;
    OverlayRenderer renderer_;
    Overlay overlay_;
    // What the wall link's worker and the moderator's desk use: declared before them, so they
    // outlive them.
    WinHttpClient http_;
    SteadyClock clock_;
    ServerProcess server_{http_};
    WallLink wallLink_{display_, settings_};
    // Starts the server for the moderator window (the launch takes a moment under load): joined
    // before the link stops the server.
    WorkerThread serverStarter_;
    std::atomic<bool> serverStarting_{false};
    ModeratorWindow moderator_;
};

// The class factory behind DllGetClassObject: checks both identifiers (16-byte compare), then
// makes a zero-filled, constructed VideoWallPlugin with `allocate` (a failure stores null and
// answers E_OUTOFMEMORY). `allocate` must hand out memory that ::operator delete can free.
vdj::HostResult createVideoWallPlugin(const vdj::HostGuid* classId, const vdj::HostGuid* interfaceId, void** out,
                                      void* (*allocate)(std::size_t) = nullptr);

}  // namespace lumvo
