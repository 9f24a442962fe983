#include "measured_run.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "png_file.h"
#include "standin_host.h"

namespace standin {
namespace {

// Changed pieces of pipeline state printed one per line; the rest are only counted.
constexpr int kMaxReportedChanges = 40;

// This process's CPU time (user and kernel) in seconds.
double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

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

// The plug-in's counters from the "counters" object of its mirrored state; false without one.
bool readCounters(const std::string& state, double (&values)[CounterTotals::kCount]) {
    const size_t object = state.find("\"counters\":{");
    if (object == std::string::npos) return false;
    for (std::size_t i = 0; i < CounterTotals::kCount; ++i) {
        const std::string name = std::string("\"") + CounterTotals::kNames[i] + "\":";
        const size_t at = state.find(name, object);
        if (at == std::string::npos) return false;
        values[i] = std::strtod(state.c_str() + at + name.size(), nullptr);
    }
    return true;
}

}  // namespace

MeasuredRun runFrames(const Options& options, const std::wstring& out, TestVideo& video, PipelineState& hostState,
                      const PluginUnderTest& plugin, const WindowState& window,
                      const std::function<void()>& betweenFrames) {
    MeasuredRun run;
    ID3D11DeviceContext* context = video.context();
    const int width = options.width, height = options.height;
    // --by-repaint: the first frame sets the counts.
    std::map<std::string, unsigned long> repaintCounts;
    double counters[CounterTotals::kCount] = {}, lastCounters[CounterTotals::kCount] = {};
    bool countersSeen = false;
    std::vector<char> stateText(4096);
    run.drawMs.reserve(static_cast<size_t>(options.frames));
    run.emptyMs.reserve(static_cast<size_t>(options.frames));
    run.returnMs.reserve(static_cast<size_t>(options.frames));
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
    for (int frame = 1; frame <= options.frames; ++frame) {
        if (!pumpMessages() || window.closed) break;
        if (betweenFrames) betweenFrames();
        const double t = (frame - 1) / options.fps;
        // Keep to the frame rate: wait for this frame's moment.
        QueryPerformanceCounter(&now);
        const double ahead = t - seconds(begin, now);
        if (ahead > 0.001) Sleep(static_cast<DWORD>(ahead * 1000));

        plugin.effect->beatPosition = t * options.bpm / 60.0;
        plugin.effect->frameWidth = width;
        plugin.effect->frameHeight = height;
        video.drawFrame(t);
        hostState.apply(context);
        video.finishGpuWork();

        // The empty draw goes first in odd frames and second in even ones: the first timed call
        // after an idle GPU can be slower (Wine's command thread wakes up), and neither side
        // should get that every time.
        const bool emptyFirst = frame % 2 == 1;
        vdj::HostResult emptyResult = vdj::kOk;
        if (emptyFirst) run.emptyMs.push_back(timedDraw(emptyEffect(), emptyResult).ms);

        LARGE_INTEGER checkStart, checkEnd;
        QueryPerformanceCounter(&checkStart);
        PipelineState before, after;
        before.capture(context);
        QueryPerformanceCounter(&checkEnd);
        run.checkSeconds += seconds(checkStart, checkEnd);
        vdj::HostResult result = vdj::kOk;
        const DrawTime time = timedDraw(*plugin.effect, result);
        run.drawMs.push_back(time.ms);
        run.returnMs.push_back(time.returnedMs);
        ++run.drawn;
        if (result != vdj::kOk) {
            run.ok = checkSlot("draw", result) && run.ok;
        }
        QueryPerformanceCounter(&checkStart);
        after.capture(context);
        const std::vector<std::string> changed = changedPieces(before, after);
        QueryPerformanceCounter(&checkEnd);
        run.checkSeconds += seconds(checkStart, checkEnd);
        for (const std::string& piece : changed) {
            if (run.changeCount++ < kMaxReportedChanges)
                std::printf("frame %d: draw slot changed %s\n", frame, piece.c_str());
        }
        if (!changed.empty()) {
            ++run.changedFrames;
            run.ok = false;
        }

        if (!emptyFirst) run.emptyMs.push_back(timedDraw(emptyEffect(), emptyResult).ms);
        if (options.byRepaint && plugin.stateQuery &&
            plugin.stateQuery(plugin.object, stateText.data(), static_cast<int>(stateText.size())) > 0) {
            const std::string kind = repaintKind(stateText.data(), repaintCounts);
            if (frame > 1) run.drawMsByRepaint[kind].push_back(time.ms);
            // What this frame's draw did: the counters' growth since the last frame.
            if (readCounters(stateText.data(), counters)) {
                if (frame > 1 && countersSeen) {
                    CounterTotals& totals = run.countersByRepaint[kind];
                    ++totals.frames;
                    for (std::size_t i = 0; i < CounterTotals::kCount; ++i)
                        totals.sums[i] += counters[i] - lastCounters[i];
                }
                std::copy(std::begin(counters), std::end(counters), lastCounters);
                countersSeen = true;
            }
        }
        if (options.resourcesEvery > 0 && (frame == 1 || frame % options.resourcesEvery == 0)) {
            const ProcessResources sample = sampleProcessResources();
            run.resources.emplace_back(frame, sample);
            std::printf("resources: frame %d: %ld GDI objects, %ld handles, %llu private bytes\n", frame,
                        sample.gdiObjects, sample.handles, static_cast<unsigned long long>(sample.privateBytes));
        }
        if ((options.pngEvery > 0 && frame % options.pngEvery == 0) || options.pngFrames.count(frame)) {
            wchar_t name[32];
            std::swprintf(name, 32, L"\\frame-%05d.png", frame);
            if (video.readPixels(pixels) && writePng(out + name, pixels.data(), width, height, width * 4)) {
                run.pngs.push_back(narrow(out + name));
            } else {
                std::printf("error: cannot write %s\n", narrow(out + name).c_str());
                run.ok = false;
            }
        }
        video.present();
    }
    QueryPerformanceCounter(&now);
    run.elapsed = seconds(begin, now);
    return run;
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

}  // namespace standin
