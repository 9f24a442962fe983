#include "plugin/win/video_wall_plugin.h"

#include <cstring>
#include <new>

#include "base/version.h"
#include "base/win/data_folders.h"
#include "base/win/wide_text.h"
#include "media/win/picture_decoder.h"
#include "plugin/host_window.h"
#include "serverlink/song_search.h"
#include "settings/win/settings_store.h"
#include "updates/win/update_jobs.h"

namespace lumvo {
namespace {

// Runs one slot body; whatever it throws ends here as `onFailure`, never in the host.
// What the moderator's Update page needs of the last update check.
UpdateCheckFacts updateCheckFacts(const UpdateInfo& info) {
    UpdateCheckFacts facts;
    facts.complete = info.complete;
    facts.reached = info.reached;
    facts.updateAvailable = info.updateAvailable;
    facts.newer = info.newer;
    facts.wallFilesMissing = info.wallFilesMissing;
    facts.currentVersion = info.currentVersion;
    facts.latestVersion = info.latestVersion;
    facts.changelog = info.changelog;
    facts.error = info.error;
    return facts;
}

template <class Body>
auto guarded(Body&& body, decltype(body()) onFailure) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

VideoWallPlugin::VideoWallPlugin()
    : layoutEditor_(settings_, [](const WallSettings& settings) { saveSettings(settings); }) {
    WallLinkServices services;
    services.http = &http_;
    services.clock = &clock_;
    services.server = &server_;
    services.photos = &overlay_.photos();
    services.hooks.wallFilesPresent = [] { return wallFilesPresent(); };
    services.hooks.photoFromDisk = [this](std::string_view reference) {
        return readPhotoFromDisk(reference, settings_.copy().mediaDir);
    };
    services.hooks.defaultMediaFolder = defaultMediaFolder();
    services.hooks.decodePhoto = [](std::string_view bytes, int maxSide) { return decodePicture(bytes, maxSide); };
    wallLink_.connect(std::move(services));
    server_.setBeforeLaunch([] { prepareWallFolder(); });
    ModeratorServices moderator;
    moderator.http = &http_;
    moderator.settings = &settings_;
    moderator.saveSettings = [](const WallSettings& settings) { return saveSettings(settings); };
    moderator.defaultMediaFolder = defaultMediaFolder();
    moderator.wallFilesPresent = [] { return wallFilesPresent(); };
    moderator.nodePresent = [] { return !findNode().empty(); };
    moderator.ensureServer = [this] { ensureServerSoon(); };
    moderator.linkStopped = [this] { return !serverWanted_.load(); };
    moderator.searchSongs = [this](std::string_view text) { return searchSongs(text); };
    moderator.askHostWindow = [this] { return hostMainWindow(); };
    moderator.readPhoto = [this](std::string_view photoPath) {
        return readPhotoFromDisk(photoPath, settings_.copy().mediaDir);
    };
    moderator.infoFolder = [] { return infoFolder(); };
    moderator.lastUpdateCheck = [] { return updateCheckFacts(lastUpdateCheck()); };
    moderator.startUpdateCheck = [](HWND window) {
        return lumvo::startUpdateCheck({window, 0, kUpdateCheckedMessage, kUpdateNewerMessage});
    };
    moderator.startWallUpdate = [](HWND window) {
        return lumvo::startWallUpdate({window, kUpdateProgressMessage, kUpdateDoneMessage, 0});
    };
    moderator.startNodeInstall = [](HWND window) {
        return lumvo::startNodeInstall({window, 0, kNodeInstalledMessage, 0}, [] { return !findNode().empty(); });
    };
    moderator.restartNeeded = [] { return lumvo::restartNeeded(); };
    moderator_.connect(std::move(moderator));
    // The draw slot's retry: while there is no device, every frame asks the host again.
    renderer_.setDeviceSource([this] { return hostDevice(); });
    overlay_.setLayerTarget(&renderer_);
    overlay_.setClock(&clock_);
    overlay_.setLogoFinder([] {
        LogoFiles found;
        const std::wstring venue = brandLogoPath();
        const DWORD attributes = GetFileAttributesW(venue.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found.brandLogo = venue;
            found.brandLogoUtf8 = wideToUtf8(venue);
        }
        found.wordmark = wideToUtf8(findAsset(L"lumvo-logo-wordmark.png"));
        return found;
    });
}

void VideoWallPlugin::ensureServerSoon() {
    serverWanted_ = true;
    if (serverStarting_.exchange(true)) return;  // the one on its way does it
    serverStarter_.stop();                       // the last one has ended: join it
    const auto started = serverStarter_.start([this] {
        server_.ensureServer();
        serverStarting_ = false;
    });
    if (started == WorkerThread::StartResult::failed) {
        serverStarting_ = false;
        server_.ensureServer();
    }
}

ID3D11Device* VideoWallPlugin::hostDevice() {
    void* device = nullptr;
    if (!videoCallbacks || videoCallbacks->getDevice(vdj::kDeviceDirect3D11, &device) < 0) return nullptr;
    return static_cast<ID3D11Device*>(device);
}

vdj::HostResult VideoWallPlugin::load() {
    return guarded(
        [this] {
            gdiplus_.start();
            if (hostCallbacks) {
                hostCallbacks->declareParameter(&openModeratorParam_, vdj::kParameterButton, kOpenModeratorParameterId,
                                                "Open moderator", "Mod", 0.0f);
            }
            WallSettings loaded;  // read outside the lock, swapped in under it
            loadSettings(loaded);
            settings_.replace(std::move(loaded));
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
            if (!bitmap_.handle() && gdiplus_.start()) bitmap_.build(findAsset(L"lumvo-mark.png"));
            info->bitmap = bitmap_.handle();
            const bool extended = (info->flags & vdj::kInfoFlagExtendedRecord) != 0;
            info->flags = (info->flags & vdj::kInfoFlagExtendedRecord) | kPluginInfoFlags;
            if (extended) {
                static_cast<vdj::PluginInfoEx*>(info)->mouseCallbacks = static_cast<vdj::VideoMouseCallbacks*>(this);
            }
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostRefCount VideoWallPlugin::release() {
    // The members' destructors do the whole teardown in release's order (see the header).
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
            switch (wallLink_.start()) {
                case WorkerThread::StartResult::failed:
                    return kHostFailed;  // flag cleared again: the next start tries anew
                case WorkerThread::StartResult::started:
                case WorkerThread::StartResult::alreadyRunning: break;
            }
            serverWanted_ = true;
            openModeratorWindow();
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::stop() {
    return guarded(
        [this] {
            serverWanted_ = false;  // the server goes down now: the moderator window stops polling it
            return wallLink_.stop() ? vdj::kOk : kHostFailed;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::draw() {
    return guarded(
        [this] {
            overlay_.drawFrame(frameWidth, frameHeight, settings_, display_, beatPosition);
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::deviceInit() {
    return guarded(
        [this] {
            ID3D11Device* device = hostDevice();
            if (!device) return kHostNoDevice;
            renderer_.initialise(device);
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::deviceClose() {
    return guarded(
        [this] {
            renderer_.shutdown();
            overlay_.resetBackdrops();  // the backdrop starts afresh with the next device
            return vdj::kOk;
        },
        kHostFailed);
}

vdj::HostResult VideoWallPlugin::audioSamples(float*, int) { return vdj::kNotImplemented; }

bool VideoWallPlugin::mouseMove(int x, int y, int buttons, int) {
    return guarded(
        [&] {
            const FrameSize frame = overlay_.lastFrameSize();
            return layoutEditor_.mouseMove(x, y, buttons, frame.width, frame.height);
        },
        false);
}

bool VideoWallPlugin::mouseDown(int x, int y, int buttons, int) {
    return guarded(
        [&] {
            const FrameSize frame = overlay_.lastFrameSize();
            return layoutEditor_.mouseDown(x, y, buttons, frame.width, frame.height);
        },
        false);
}

bool VideoWallPlugin::mouseUp(int, int, int, int) {
    return guarded([&] { return layoutEditor_.mouseUp(); }, false);
}

void VideoWallPlugin::keyEvent(const char*, int, int, int, int) {}

bool VideoWallPlugin::searchSongs(std::string_view text) noexcept {
    return guarded(
        [this, text] {
            const std::string script = songSearchScript(text);
            if (script.empty() || !hostCallbacks) return false;
            hostCallbacks->runScript(script.c_str());
            return true;
        },
        false);
}

HWND VideoWallPlugin::hostMainWindow() {
    double hostWindow = 0.0;
    std::int32_t answer = -1;
    if (hostCallbacks) answer = hostCallbacks->queryNumber("get hwnd", &hostWindow);
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(ownerWindowFromQuery(answer, hostWindow)));
}

void VideoWallPlugin::openModeratorWindow() {
    moderator_.open(hostInstance ? static_cast<HMODULE>(hostInstance) : ownModuleHandle(), hostMainWindow());
}

vdj::HostResult createVideoWallPlugin(const vdj::HostGuid* classId, const vdj::HostGuid* interfaceId, void** out,
                                      void* (*allocate)(std::size_t)) {
    if (!out) return kHostBadPointer;
    if (!classId || !interfaceId || std::memcmp(classId, &vdj::kPluginClassId, sizeof(vdj::HostGuid)) != 0 ||
        std::memcmp(interfaceId, &vdj::kVideoFxInterfaceId, sizeof(vdj::HostGuid)) != 0) {
        return vdj::kClassNotAvailable;
    }
    void* memory = allocate ? allocate(sizeof(VideoWallPlugin)) : ::operator new(sizeof(VideoWallPlugin), std::nothrow);
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
