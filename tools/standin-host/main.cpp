// lumvo-standin-host: plays the video host's part for the plug-in DLL, so it can be run, tested
// and measured without the real host. It makes a Direct3D 11 device and a 1920 x 1080 target with
// moving test video, loads the DLL through its class factory, answers the host callbacks, runs a
// window with a message loop (mouse events go to the plug-in), calls the draw slot every frame at
// a set rate, writes chosen frames as PNG and reports the draw slot's time per frame beside an
// empty draw's. Around every call of the draw slot it checks that the effect left the host's
// Direct3D pipeline state as it found it. It can also sample its own GDI objects, handles and
// private bytes as it goes (soak runs), and sort the draw times by which layers the plug-in
// repainted in the frame (benchmark runs).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cpuid.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "draw_stats.h"
#include "moving_video.h"
#include "pipeline_state.h"
#include "plugin/host_interface.h"
#include "png_file.h"
#include "process_resources.h"
#include "standin_host.h"

namespace {

// The output size (--size); the window's mouse mapping reads it.
int kWidth = 1920;
int kHeight = 1080;
// Changed pieces of pipeline state printed one per line; the rest are only counted.
constexpr int kMaxReportedChanges = 40;

struct Options {
    std::wstring dll;
    int frames = 300;
    double seconds = 0;
    double fps = 60;
    double bpm = 124;
    int pngEvery = 0;
    std::set<int> pngFrames;
    std::wstring out = L"standin-out";
    std::wstring data;
    bool hidden = false;
    double idleSeconds = 0;
    bool printState = false;
    int resourcesEvery = 0;
    bool byRepaint = false;
};

void usage() {
    std::printf(
        "usage: lumvo-standin-host [options]\n"
        "  --dll PATH          the plug-in DLL (default: \"LUMVO Video Wall.dll\" beside this program)\n"
        "  --frames N          frames to draw (default 300)\n"
        "  --seconds S         run for S seconds instead (frames = S x fps)\n"
        "  --fps F             frame rate (default 60)\n"
        "  --bpm B             tempo of the beat position (default 124)\n"
        "  --png-every N       write every Nth frame as PNG\n"
        "  --png-frames LIST   write these frames as PNG (comma-separated, the first frame is 1)\n"
        "  --out FOLDER        where PNG frames and draw-stats.json go (default standin-out)\n"
        "  --data FOLDER       LOCALAPPDATA for the plug-in: its data folders go below FOLDER\n"
        "  --hidden            no visible window\n"
        "  --idle-seconds S    before start and again after the frames, S seconds without draw calls; prints\n"
        "                      the process's CPU time in each (the second with the plug-in's worker running)\n"
        "  --print-state       at the end, print what the plug-in mirrored from the wall server (through its\n"
        "                      test-only export LumvoMirroredState)\n"
        "  --size WxH          output size (default 1920x1080)\n"
        "  --resources-every N every Nth frame, sample this process's GDI objects, handles and private bytes\n"
        "  --by-repaint        sort the draw times by the layers the plug-in repainted in each frame (read\n"
        "                      through LumvoMirroredState after each draw, outside the timed call)\n"
        "exit code 0 when every slot succeeded and no draw changed the host's pipeline state, 1 if not,\n"
        "2 on bad options\n");
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

bool parseNumber(const wchar_t* text, double minimum, double& value) {
    wchar_t* end = nullptr;
    const double v = std::wcstod(text, &end);
    if (end == text || *end != L'\0' || !(v >= minimum) || v > 1e9) return false;
    value = v;
    return true;
}

bool parseOptions(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto next = [&]() -> const wchar_t* { return i + 1 < argc ? argv[++i] : nullptr; };
        double v = 0;
        const wchar_t* value = nullptr;
        if (arg == L"--hidden") {
            o.hidden = true;
        } else if (arg == L"--print-state") {
            o.printState = true;
        } else if (arg == L"--by-repaint") {
            o.byRepaint = true;
        } else if (arg == L"--help" || arg == L"-h") {
            return false;
        } else if (!(value = next())) {
            std::printf("error: %s needs a value\n", narrow(arg).c_str());
            return false;
        } else if (arg == L"--dll") {
            o.dll = value;
        } else if (arg == L"--out") {
            o.out = value;
        } else if (arg == L"--data") {
            o.data = value;
        } else if (arg == L"--frames" && parseNumber(value, 1, v)) {
            o.frames = static_cast<int>(v);
        } else if (arg == L"--seconds" && parseNumber(value, 0.001, v)) {
            o.seconds = v;
        } else if (arg == L"--fps" && parseNumber(value, 1, v) && v <= 1000) {
            o.fps = v;
        } else if (arg == L"--bpm" && parseNumber(value, 1, v) && v <= 1000) {
            o.bpm = v;
        } else if (arg == L"--idle-seconds" && parseNumber(value, 0, v)) {
            o.idleSeconds = v;
        } else if (arg == L"--resources-every" && parseNumber(value, 0, v)) {
            o.resourcesEvery = static_cast<int>(v);
        } else if (arg == L"--size") {
            int w = 0, h = 0;
            wchar_t x = 0, rest = 0;
            if (std::swscanf(value, L"%d%lc%d%lc", &w, &x, &h, &rest) != 3 || (x != L'x' && x != L'X') || w < 64 ||
                h < 64 || w > 7680 || h > 4320) {
                std::printf("error: bad --size \"%s\" (WxH, 64x64 to 7680x4320)\n", narrow(value).c_str());
                return false;
            }
            kWidth = w;
            kHeight = h;
        } else if (arg == L"--png-every" && parseNumber(value, 0, v)) {
            o.pngEvery = static_cast<int>(v);
        } else if (arg == L"--png-frames") {
            std::wstring list = value;
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(L',', start);
                if (comma == std::wstring::npos) comma = list.size();
                const std::wstring item = list.substr(start, comma - start);
                if (!parseNumber(item.c_str(), 1, v)) {
                    std::printf("error: bad frame number \"%s\" in --png-frames\n", narrow(item).c_str());
                    return false;
                }
                o.pngFrames.insert(static_cast<int>(v));
                start = comma + 1;
            }
        } else {
            std::printf("error: unknown option or bad value: %s %s\n", narrow(arg).c_str(), narrow(value).c_str());
            return false;
        }
    }
    if (o.seconds > 0) o.frames = std::max(1, static_cast<int>(o.seconds * o.fps + 0.5));
    return true;
}

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

std::string cpuName() {
    unsigned int regs[12] = {};
    if (__get_cpuid(0x80000000u, &regs[0], &regs[1], &regs[2], &regs[3]) == 0 || regs[0] < 0x80000004u) return "unknown";
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        __get_cpuid(0x80000002u + leaf, &regs[leaf * 4], &regs[leaf * 4 + 1], &regs[leaf * 4 + 2], &regs[leaf * 4 + 3]);
    }
    std::string name(reinterpret_cast<const char*>(regs), sizeof regs);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    name.erase(0, name.find_first_not_of(' '));
    return name;
}

std::string wineVersion() {
    using Getter = const char*(__cdecl*)();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto get = ntdll ? reinterpret_cast<Getter>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))) : nullptr;
    return get ? get() : "";
}

// What the window needs to forward mouse events.
struct WindowState {
    vdj::VideoMouseCallbacks* mouse = nullptr;
    bool closed = false;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_CLOSE) {
        if (state) state->closed = true;
        return 0;
    }
    if (state && state->mouse &&
        (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
         message == WM_RBUTTONUP)) {
        RECT client{};
        GetClientRect(window, &client);
        const int cw = std::max<LONG>(client.right, 1), ch = std::max<LONG>(client.bottom, 1);
        // Window pixels to video frame pixels.
        const int x = static_cast<int>(static_cast<short>(LOWORD(lParam))) * kWidth / cw;
        const int y = static_cast<int>(static_cast<short>(HIWORD(lParam))) * kHeight / ch;
        const int buttons = ((wParam & MK_LBUTTON) ? 1 : 0) | ((wParam & MK_RBUTTON) ? 2 : 0);
        const int keys = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0);
        switch (message) {
            case WM_MOUSEMOVE: state->mouse->mouseMove(x, y, buttons, keys); break;
            case WM_LBUTTONDOWN:
                // Keep the pointer's events while the button is held, also outside the window, so
                // the button-up of a drag that leaves the preview still arrives.
                SetCapture(window);
                state->mouse->mouseDown(x, y, buttons | 1, keys);
                break;
            case WM_RBUTTONDOWN: state->mouse->mouseDown(x, y, buttons | 2, keys); break;
            case WM_LBUTTONUP:
                if (GetCapture() == window) ReleaseCapture();
                state->mouse->mouseUp(x, y, buttons, keys);
                break;
            default: state->mouse->mouseUp(x, y, buttons, keys); break;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(bool hidden, WindowState* state) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = L"LUMVOStandinHost";
    RegisterClassW(&wc);
    RECT r{0, 0, kWidth / 2, kHeight / 2};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowW(wc.lpszClassName, L"LUMVO stand-in host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        if (!hidden) ShowWindow(window, SW_SHOWNORMAL);
    }
    return window;
}

bool pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

// This process's CPU time (user and kernel) in seconds.
double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// `seconds` of only pumping messages (no draw calls); prints the process's CPU time over them.
void idleStretch(double seconds, const char* what) {
    if (seconds <= 0) return;
    const double cpuBefore = processCpuSeconds();
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    while (GetTickCount64() < end && pumpMessages()) Sleep(15);
    const double cpu = processCpuSeconds() - cpuBefore;
    std::printf("idle: %.1f s %s, no draw calls: process CPU %.3f s (%.2f %% of one core)\n", seconds, what, cpu,
                100.0 * cpu / seconds);
}

// The plug-in's test-only query of what it mirrored (one JSON line); null when the DLL has none.
using StateQuery = int(WINAPI*)(void*, char*, int);

// The layers the plug-in repainted since `previous`, from the "repaints" object of its mirrored
// state (uploads per layer): "none", the one layer's name, or "several". `previous` becomes the
// current counts.
std::string repaintKind(const std::string& state, std::map<std::string, unsigned long>& previous) {
    static const char* const kLayers[] = {"qr", "chat", "featured", "poll", "backdrop", "flames"};
    const size_t object = state.find("\"repaints\":{");
    if (object == std::string::npos) return "unknown";
    std::string changed;
    int count = 0;
    for (const char* layer : kLayers) {
        const size_t at = state.find(std::string("\"") + layer + "\":", object);
        if (at == std::string::npos) continue;
        const unsigned long n = std::strtoul(state.c_str() + at + std::strlen(layer) + 3, nullptr, 10);
        auto [entry, added] = previous.emplace(layer, n);
        if (!added && entry->second != n) {
            changed = layer;
            ++count;
        }
        entry->second = n;
    }
    return count == 0 ? "none" : count == 1 ? changed : "several";
}

bool check(const char* slot, vdj::HostResult result, vdj::HostResult expected = vdj::kOk) {
    std::printf("plug-in: %s -> 0x%08lX\n", slot, static_cast<unsigned long>(result));
    return result == expected;
}

int run(const Options& options) {
    const std::wstring out = absolutePath(options.out);
    SHCreateDirectoryExW(nullptr, out.c_str(), nullptr);
    if (!(GetFileAttributesW(out.c_str()) & FILE_ATTRIBUTE_DIRECTORY) || GetFileAttributesW(out.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("error: cannot make the output folder %s\n", narrow(out).c_str());
        return 1;
    }

    standin::TestVideo video;
    std::string error;
    if (!video.create(kWidth, kHeight, error)) {
        std::printf("error: %s\n", error.c_str());
        return 1;
    }
    std::printf("host: Direct3D 11 device, feature level %X, target %dx%d\n", static_cast<unsigned>(video.featureLevel()),
                kWidth, kHeight);
    ID3D11DeviceContext* context = video.context();
    // The host's own pipeline state, bound before every draw. It must read back as bound, or the
    // check could not see a change there.
    standin::PipelineState hostState;
    if (!standin::makeHostState(video.device(), video.targetView(), kWidth, kHeight, hostState, error)) {
        std::printf("error: %s\n", error.c_str());
        return 1;
    }
    {
        hostState.apply(context);
        standin::PipelineState readBack;
        readBack.capture(context);
        for (const std::string& piece : standin::changedPieces(hostState, readBack)) {
            std::printf("error: the Direct3D runtime does not report %s as it was bound\n", piece.c_str());
            error = piece;
        }
        if (!error.empty()) return 1;
    }

    WindowState windowState;
    HWND window = makeWindow(options.hidden, &windowState);
    if (!window) {
        std::printf("error: cannot make the host window\n");
        return 1;
    }
    if (!options.hidden && !video.attachWindow(window, error)) std::printf("host: %s; frames are not shown\n", error.c_str());

    if (!options.data.empty()) {
        const std::wstring data = absolutePath(options.data);
        SetEnvironmentVariableW(L"LOCALAPPDATA", data.c_str());
        std::printf("host: LOCALAPPDATA is %s\n", narrow(data).c_str());
    }
    const std::wstring dll = options.dll.empty() ? programFolder() + L"\\LUMVO Video Wall.dll" : absolutePath(options.dll);
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module) {
        std::printf("error: cannot load %s (error %lu)\n", narrow(dll).c_str(), GetLastError());
        return 1;
    }
    using Factory = HRESULT(WINAPI*)(const vdj::HostGuid&, const vdj::HostGuid&, void**);
    auto factory = reinterpret_cast<Factory>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    void* object = nullptr;
    if (!factory || factory(vdj::kPluginClassId, vdj::kVideoFxInterfaceId, &object) != 0 || !object) {
        std::printf("error: %s has no usable DllGetClassObject\n", narrow(dll).c_str());
        FreeLibrary(module);
        return 1;
    }
    std::printf("host: loaded %s\n", narrow(dll).c_str());
    auto* plugin = static_cast<vdj::VideoFxPlugin*>(object);

    standin::StandinHost host;
    host.window = window;
    host.device = video.device();
    plugin->hostInstance = module;
    plugin->hostCallbacks = &host;
    plugin->sampleRate = 44100;
    plugin->samplesPerBeat = static_cast<std::int32_t>(44100 * 60 / options.bpm);
    plugin->beatPosition = 0;
    plugin->frameWidth = kWidth;
    plugin->frameHeight = kHeight;
    plugin->videoCallbacks = &host;

    bool ok = check("load", plugin->load());
    vdj::PluginInfoEx info{};
    info.flags = vdj::kInfoFlagExtendedRecord;
    ok = check("describe", plugin->describe(&info)) && ok;
    std::printf("plug-in: \"%s\" %s by %s, flags 0x%X, %s bitmap\n", info.name ? info.name : "?",
                info.version ? info.version : "?", info.author ? info.author : "?", info.flags,
                info.bitmap ? "with a" : "without a");
    windowState.mouse = info.mouseCallbacks;
    idleStretch(options.idleSeconds, "before start");
    ok = check("start", plugin->start()) && ok;
    ok = check("deviceInit", plugin->deviceInit()) && ok;

    auto stateQuery = reinterpret_cast<StateQuery>(reinterpret_cast<void*>(GetProcAddress(module, "LumvoMirroredState")));
    std::vector<double> drawMs, emptyMs, returnMs;
    // --by-repaint: the draw times by what the frame repainted; the first frame sets the counts.
    std::map<std::string, std::vector<double>> drawMsByRepaint;
    std::map<std::string, unsigned long> repaintCounts;
    std::vector<char> stateText(4096);
    // --resources-every: frame, GDI objects, handles, private bytes.
    std::vector<std::pair<int, standin::ProcessResources>> resources;
    drawMs.reserve(static_cast<size_t>(options.frames));
    emptyMs.reserve(static_cast<size_t>(options.frames));
    returnMs.reserve(static_cast<size_t>(options.frames));
    std::vector<std::string> pngs;
    std::vector<std::uint8_t> pixels;
    LARGE_INTEGER frequency, begin, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    auto seconds = [&](const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
        return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    // A draw's time runs from the call until the GPU has done what the call queued, so work an
    // effect only queues is counted too. The GPU is idle when the clock starts. `returnedMs` is
    // the time until the call returned: what the render thread spends in the slot.
    struct DrawTime {
        double ms, returnedMs;
    };
    auto timedDraw = [&](vdj::VideoFxPlugin& effect, vdj::HostResult& result) {
        LARGE_INTEGER start, returned, finished;
        QueryPerformanceCounter(&start);
        result = effect.draw();
        QueryPerformanceCounter(&returned);
        video.finishGpuWork();
        QueryPerformanceCounter(&finished);
        return DrawTime{seconds(start, finished) * 1000.0, seconds(start, returned) * 1000.0};
    };
    int drawn = 0;
    int changedFrames = 0, changeCount = 0;
    double checkSeconds = 0;
    for (int frame = 1; frame <= options.frames; ++frame) {
        if (!pumpMessages() || windowState.closed) break;
        const double t = (frame - 1) / options.fps;
        // Keep to the frame rate: wait for this frame's moment.
        QueryPerformanceCounter(&now);
        const double ahead = t - seconds(begin, now);
        if (ahead > 0.001) Sleep(static_cast<DWORD>(ahead * 1000));

        plugin->beatPosition = t * options.bpm / 60.0;
        plugin->frameWidth = kWidth;
        plugin->frameHeight = kHeight;
        video.drawFrame(t);
        hostState.apply(context);
        video.finishGpuWork();

        // The empty draw goes first in odd frames and second in even ones: the first timed call
        // after an idle GPU can be slower (Wine's command thread wakes up), and neither side
        // should get that every time.
        const bool emptyFirst = frame % 2 == 1;
        vdj::HostResult emptyResult = vdj::kOk;
        if (emptyFirst) emptyMs.push_back(timedDraw(standin::emptyEffect(), emptyResult).ms);

        LARGE_INTEGER checkStart, checkEnd;
        QueryPerformanceCounter(&checkStart);
        standin::PipelineState before, after;
        before.capture(context);
        QueryPerformanceCounter(&checkEnd);
        checkSeconds += seconds(checkStart, checkEnd);
        vdj::HostResult result = vdj::kOk;
        const DrawTime time = timedDraw(*plugin, result);
        drawMs.push_back(time.ms);
        returnMs.push_back(time.returnedMs);
        ++drawn;
        if (result != vdj::kOk) {
            ok = check("draw", result) && ok;
        }
        QueryPerformanceCounter(&checkStart);
        after.capture(context);
        const std::vector<std::string> changed = standin::changedPieces(before, after);
        QueryPerformanceCounter(&checkEnd);
        checkSeconds += seconds(checkStart, checkEnd);
        for (const std::string& piece : changed) {
            if (changeCount++ < kMaxReportedChanges) std::printf("frame %d: draw slot changed %s\n", frame, piece.c_str());
        }
        if (!changed.empty()) {
            ++changedFrames;
            ok = false;
        }

        if (!emptyFirst) emptyMs.push_back(timedDraw(standin::emptyEffect(), emptyResult).ms);
        if (options.byRepaint && stateQuery && stateQuery(object, stateText.data(), static_cast<int>(stateText.size())) > 0) {
            const std::string kind = repaintKind(stateText.data(), repaintCounts);
            if (frame > 1) drawMsByRepaint[kind].push_back(time.ms);
        }
        if (options.resourcesEvery > 0 && (frame == 1 || frame % options.resourcesEvery == 0)) {
            const standin::ProcessResources sample = standin::sampleProcessResources();
            resources.emplace_back(frame, sample);
            std::printf("resources: frame %d: %ld GDI objects, %ld handles, %llu private bytes\n", frame,
                        sample.gdiObjects, sample.handles, static_cast<unsigned long long>(sample.privateBytes));
        }
        if ((options.pngEvery > 0 && frame % options.pngEvery == 0) || options.pngFrames.count(frame)) {
            wchar_t name[32];
            std::swprintf(name, 32, L"\\frame-%05d.png", frame);
            if (video.readPixels(pixels) && standin::writePng(out + name, pixels.data(), kWidth, kHeight, kWidth * 4)) {
                pngs.push_back(narrow(out + name));
            } else {
                std::printf("error: cannot write %s\n", narrow(out + name).c_str());
                ok = false;
            }
        }
        video.present();
    }
    QueryPerformanceCounter(&now);
    const double elapsed = seconds(begin, now);
    idleStretch(options.idleSeconds, "after the frames, the plug-in's worker running");

    ok = check("stop", plugin->stop()) && ok;
    ok = check("deviceClose", plugin->deviceClose()) && ok;
    if (options.printState) {
        const StateQuery query = stateQuery;
        char state[1024] = {};
        if (!query) {
            std::printf("mirrored state: not offered by this DLL\n");
        } else if (query(object, state, sizeof state) < 0) {
            std::printf("mirrored state: the query failed\n");
            ok = false;
        } else {
            std::printf("mirrored state: %s\n", state);
        }
    }
    std::printf("plug-in: release -> %lu\n", static_cast<unsigned long>(plugin->release()));
    FreeLibrary(module);
    DestroyWindow(window);

    const standin::DrawSummary s = standin::summarise(drawMs);
    const standin::DrawSummary e = standin::summarise(emptyMs);
    const standin::DrawSummary r = standin::summarise(returnMs);
    const double checkMs = drawn > 0 ? checkSeconds * 1000.0 / drawn : 0.0;
    const std::string cpu = cpuName();
    const std::string wine = wineVersion();
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    std::printf("draw slot: %zu frames in %.2f s (%.1f fps); ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n",
                s.count, elapsed, elapsed > 0 ? drawn / elapsed : 0.0, s.mean, s.p50, s.p95, s.max);
    std::printf("empty draw: ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n", e.mean, e.p50, e.p95, e.max);
    // A ratio needs a baseline above zero; without one it is left out (null in the file).
    auto ratio = [](double draw, double empty) { return empty > 0 ? draw / empty : -1.0; };
    auto ratioText = [](double value) { return value < 0 ? std::string("null") : std::to_string(value); };
    std::printf("draw slot / empty draw: p50 %s, p95 %s\n", ratioText(ratio(s.p50, e.p50)).c_str(),
                ratioText(ratio(s.p95, e.p95)).c_str());
    std::printf("draw slot until it returned: ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n", r.mean, r.p50,
                r.p95, r.max);
    if (changedFrames == 0) {
        std::printf("state check: %d frames, the draw slot left the pipeline state unchanged; %.4f ms per frame\n", drawn,
                    checkMs);
    } else {
        std::printf("state check: %d of %d frames changed the pipeline state (%d pieces)\n", changedFrames, drawn,
                    changeCount);
    }
    std::map<std::string, standin::DrawSummary> byRepaint;
    for (const auto& [kind, times] : drawMsByRepaint) {
        const standin::DrawSummary k = byRepaint[kind] = standin::summarise(times);
        std::printf("draw slot, frames that repainted %s: %zu; ms per draw: p50 %.4f, p95 %.4f; / empty draw: p50 %s, "
                    "p95 %s\n",
                    kind.c_str(), k.count, k.p50, k.p95, ratioText(ratio(k.p50, e.p50)).c_str(),
                    ratioText(ratio(k.p95, e.p95)).c_str());
    }
    std::printf("machine: %s, %lu logical processors%s%s\n", cpu.c_str(), system.dwNumberOfProcessors,
                wine.empty() ? "" : ", Wine ", wine.c_str());

    const std::wstring statsPath = out + L"\\draw-stats.json";
    if (FILE* f = _wfopen(statsPath.c_str(), L"wb")) {
        std::fprintf(f,
                     "{\"frames\": %d, \"fps\": %.3f, \"bpm\": %.3f, \"width\": %d, \"height\": %d, \"seconds\": %.3f,\n"
                     " \"timing\": \"per call, from the call until the GPU finished what it queued\",\n"
                     " \"drawMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
                     " \"emptyDrawMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
                     " \"drawToEmpty\": {\"p50\": %s, \"p95\": %s},\n"
                     " \"drawReturnedMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
                     " \"stateCheck\": {\"changedFrames\": %d, \"changedPieces\": %d, \"msPerFrame\": %.6f},\n"
                     " \"machine\": {\"cpu\": \"%s\", \"logicalProcessors\": %lu, \"wine\": \"%s\"},\n"
                     " \"png\": [",
                     drawn, options.fps, options.bpm, kWidth, kHeight, elapsed, s.count, s.mean, s.p50, s.p95, s.max,
                     e.count, e.mean, e.p50, e.p95, e.max, ratioText(ratio(s.p50, e.p50)).c_str(),
                     ratioText(ratio(s.p95, e.p95)).c_str(), r.count, r.mean, r.p50, r.p95, r.max, changedFrames,
                     changeCount, checkMs,
                     standin::jsonText(cpu).c_str(), system.dwNumberOfProcessors, standin::jsonText(wine).c_str());
        for (size_t i = 0; i < pngs.size(); ++i) {
            std::fprintf(f, "%s\"%s\"", i ? ", " : "", standin::jsonText(pngs[i]).c_str());
        }
        std::fprintf(f, "]");
        if (!byRepaint.empty()) {
            std::fprintf(f, ",\n \"drawMsByRepaint\": {");
            const char* separator = "";
            for (const auto& [kind, k] : byRepaint) {
                std::fprintf(f,
                             "%s\"%s\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f, "
                             "\"toEmptyP50\": %s, \"toEmptyP95\": %s}",
                             separator, kind.c_str(), k.count, k.mean, k.p50, k.p95, k.max,
                             ratioText(ratio(k.p50, e.p50)).c_str(), ratioText(ratio(k.p95, e.p95)).c_str());
                separator = ", ";
            }
            std::fprintf(f, "}");
        }
        if (!resources.empty()) {
            std::fprintf(f, ",\n \"resources\": [");
            for (size_t i = 0; i < resources.size(); ++i) {
                const auto& [frame, sample] = resources[i];
                std::fprintf(f, "%s{\"frame\": %d, \"gdiObjects\": %ld, \"handles\": %ld, \"privateBytes\": %llu}",
                             i ? ", " : "", frame, sample.gdiObjects, sample.handles,
                             static_cast<unsigned long long>(sample.privateBytes));
            }
            std::fprintf(f, "]");
        }
        std::fprintf(f, "}\n");
        std::fclose(f);
        std::printf("stats: %s\n", narrow(statsPath).c_str());
    } else {
        std::printf("error: cannot write %s\n", narrow(statsPath).c_str());
        ok = false;
    }
    if (!pngs.empty()) std::printf("frames: %zu PNG files in %s\n", pngs.size(), narrow(out).c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Options options;
    if (!argv || !parseOptions(argc, argv, options)) {
        usage();
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
