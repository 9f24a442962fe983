// lumvo-standin-host: plays the video host's part for the plug-in DLL, so it can be run, tested
// and measured without the real host. It makes a Direct3D 11 device and a 1920 x 1080 target with
// moving test video, loads the DLL through its class factory, answers the host callbacks, runs a
// window with a message loop (mouse events go to the plug-in), calls the draw slot every frame at
// a set rate, writes chosen frames as PNG and reports the draw slot's time per frame beside an
// empty draw's. Around every call of the draw slot it checks that the effect left the host's
// Direct3D pipeline state as it found it. It can also sample its own GDI objects, handles and
// private bytes as it goes (soak runs), and sort the draw times by which layers the plug-in
// repainted in the frame (benchmark runs). With --desk it also plays the DJ at the moderator
// window (desk_player.cpp).
//
// The options are read in options.cpp, the window is host_window.cpp, the frames are drawn and
// measured in measured_run.cpp and summed up in report.cpp; this file runs them in order.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "desk_player.h"
#include "host_window.h"
#include "measured_run.h"
#include "moving_video.h"
#include "options.h"
#include "pipeline_state.h"
#include "plugin/host_interface.h"
#include "report.h"
#include "standin_host.h"

namespace {

using namespace standin;

std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring absolutePath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : path;
}

// The output folder, made if missing; empty when it cannot be.
std::wstring makeOutputFolder(const Options& options) {
    const std::wstring out = absolutePath(options.out);
    SHCreateDirectoryExW(nullptr, out.c_str(), nullptr);
    if (!(GetFileAttributesW(out.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileAttributesW(out.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("error: cannot make the output folder %s\n", narrow(out).c_str());
        return {};
    }
    return out;
}

// The device with its moving video, and the host's own pipeline state, checked to read back as
// bound (or the check around the draws could not see a change there).
bool startVideo(const Options& options, TestVideo& video, PipelineState& hostState) {
    std::string error;
    if (!video.create(options.width, options.height, error)) {
        std::printf("error: %s\n", error.c_str());
        return false;
    }
    std::printf("host: Direct3D 11 device, feature level %X, target %dx%d\n",
                static_cast<unsigned>(video.featureLevel()), options.width, options.height);
    if (!makeHostState(video.device(), video.targetView(), options.width, options.height, hostState, error)) {
        std::printf("error: %s\n", error.c_str());
        return false;
    }
    hostState.apply(video.context());
    PipelineState readBack;
    readBack.capture(video.context());
    for (const std::string& piece : changedPieces(hostState, readBack)) {
        std::printf("error: the Direct3D runtime does not report %s as it was bound\n", piece.c_str());
        error = piece;
    }
    return error.empty();
}

// Loads the DLL (after pointing LOCALAPPDATA at --data) and makes the effect through its class
// factory; false, with the DLL unloaded again, when that failed.
bool loadPlugin(const Options& options, HMODULE& module, PluginUnderTest& plugin) {
    if (!options.data.empty()) {
        const std::wstring data = absolutePath(options.data);
        SetEnvironmentVariableW(L"LOCALAPPDATA", data.c_str());
        std::printf("host: LOCALAPPDATA is %s\n", narrow(data).c_str());
    }
    const std::wstring dll =
        options.dll.empty() ? programFolder() + L"\\LUMVO Video Wall.dll" : absolutePath(options.dll);
    module = LoadLibraryW(dll.c_str());
    if (!module) {
        std::printf("error: cannot load %s (error %lu)\n", narrow(dll).c_str(), GetLastError());
        return false;
    }
    using Factory = HRESULT(WINAPI*)(const vdj::HostGuid&, const vdj::HostGuid&, void**);
    auto factory = reinterpret_cast<Factory>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    void* object = nullptr;
    if (!factory || factory(vdj::kPluginClassId, vdj::kVideoFxInterfaceId, &object) != 0 || !object) {
        std::printf("error: %s has no usable DllGetClassObject\n", narrow(dll).c_str());
        FreeLibrary(module);
        return false;
    }
    std::printf("host: loaded %s\n", narrow(dll).c_str());
    plugin.object = object;
    plugin.effect = static_cast<vdj::VideoFxPlugin*>(object);
    plugin.stateQuery =
        reinterpret_cast<StateQuery>(reinterpret_cast<void*>(GetProcAddress(module, "LumvoMirroredState")));
    return true;
}

// The host's fields of the effect, then its load and describe slots; the window gets the mouse
// callbacks the description offers. False when a slot failed.
bool loadAndDescribe(const Options& options, HMODULE module, vdj::VideoFxPlugin& effect, StandinHost& host,
                     WindowState& window) {
    effect.hostInstance = module;
    effect.hostCallbacks = &host;
    effect.sampleRate = 44100;
    effect.samplesPerBeat = static_cast<std::int32_t>(44100 * 60 / options.bpm);
    effect.beatPosition = 0;
    effect.frameWidth = options.width;
    effect.frameHeight = options.height;
    effect.videoCallbacks = &host;

    bool ok = checkSlot("load", effect.load());
    vdj::PluginInfoEx info{};
    info.flags = vdj::kInfoFlagExtendedRecord;
    ok = checkSlot("describe", effect.describe(&info)) && ok;
    std::printf("plug-in: \"%s\" %s by %s, flags 0x%X, %s bitmap\n", info.name ? info.name : "?",
                info.version ? info.version : "?", info.author ? info.author : "?", info.flags,
                info.bitmap ? "with a" : "without a");
    window.mouse = info.mouseCallbacks;
    return ok;
}

// The stop and device-close slots, the mirrored state when asked for, and the release. False when
// a slot or the query failed.
bool stopPlugin(const Options& options, const PluginUnderTest& plugin) {
    bool ok = checkSlot("stop", plugin.effect->stop());
    ok = checkSlot("deviceClose", plugin.effect->deviceClose()) && ok;
    if (options.printState) {
        char state[1024] = {};
        if (!plugin.stateQuery) {
            std::printf("mirrored state: not offered by this DLL\n");
        } else if (plugin.stateQuery(plugin.object, state, sizeof state) < 0) {
            std::printf("mirrored state: the query failed\n");
            ok = false;
        } else {
            std::printf("mirrored state: %s\n", state);
        }
    }
    std::printf("plug-in: release -> %lu\n", static_cast<unsigned long>(plugin.effect->release()));
    return ok;
}

int run(const Options& options) {
    const std::wstring out = makeOutputFolder(options);
    if (out.empty()) return 1;
    TestVideo video;
    PipelineState hostState;
    if (!startVideo(options, video, hostState)) return 1;

    WindowState windowState;
    windowState.frameWidth = options.width;
    windowState.frameHeight = options.height;
    HWND window = makeWindow(options.hidden, &windowState);
    if (!window) {
        std::printf("error: cannot make the host window\n");
        return 1;
    }
    std::string error;
    if (!options.hidden && !video.attachWindow(window, error))
        std::printf("host: %s; frames are not shown\n", error.c_str());

    HMODULE module = nullptr;
    PluginUnderTest plugin;
    if (!loadPlugin(options, module, plugin)) return 1;
    StandinHost host;
    host.window = window;
    host.device = video.device();
    bool ok = loadAndDescribe(options, module, *plugin.effect, host, windowState);
    idleStretch(options.idleSeconds, "before start");
    ok = checkSlot("start", plugin.effect->start()) && ok;
    ok = checkSlot("deviceInit", plugin.effect->deviceInit()) && ok;

    // --desk: the DJ at the moderator window, acting on the cues between frames.
    std::optional<DeskPlayer> desk;
    std::function<void()> betweenFrames;
    if (!options.desk.empty()) {
        desk.emplace(absolutePath(options.desk));
        if (desk->open(*plugin.effect, host.parameterNamed("Open moderator")))
            betweenFrames = [&desk] { desk->step(); };
    }
    const MeasuredRun measured = runFrames(options, out, video, hostState, plugin, windowState, betweenFrames);
    ok = measured.ok && ok;
    if (desk) ok = desk->finish() && ok;
    idleStretch(options.idleSeconds, "after the frames, the plug-in's worker running");
    ok = stopPlugin(options, plugin) && ok;
    FreeLibrary(module);
    DestroyWindow(window);

    ok = report(options, out, measured) && ok;
    return ok ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    standin::Options options;
    if (!argv || !standin::parseOptions(argc, argv, options)) {
        standin::printUsage();
        return 2;
    }
    LocalFree(argv);
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("error: COM did not start\n");
        return 1;
    }
    const int status = run(options);
    CoUninitialize();
    return status;
}
