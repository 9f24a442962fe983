#pragma once
// The measured part of a stand-in host run: the frames drawn at the set rate, each draw slot call
// timed beside an empty effect's and checked for changes to the host's pipeline state, with the
// chosen frames written as PNG, the process's resources sampled and the draw times sorted by what
// the plug-in repainted, as the options ask; and the idle stretches without draw calls.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host_window.h"
#include "moving_video.h"
#include "options.h"
#include "pipeline_state.h"
#include "plugin/host_interface.h"
#include "process_resources.h"

namespace standin {

// The plug-in's test-only query of what it mirrored (one JSON line); null when the DLL has none.
using StateQuery = int(WINAPI*)(void*, char*, int);

// The plug-in under test: the object its class factory made, and its mirrored-state query.
struct PluginUnderTest {
    void* object = nullptr;
    vdj::VideoFxPlugin* effect = nullptr;
    StateQuery stateQuery = nullptr;
};

// The plug-in's machine-independent counters over some frames (its mirrored state's "counters"):
// particles painted, pixels uploaded, texts laid out, texts drawn.
struct CounterTotals {
    static constexpr const char* kNames[] = {"particles", "pixelsUploaded", "textLayouts", "textDraws"};
    static constexpr std::size_t kCount = 4;
    std::size_t frames = 0;
    double sums[kCount] = {};
    double perFrame(std::size_t i) const { return frames ? sums[i] / static_cast<double>(frames) : 0; }
};

// What the frames measured (times in milliseconds, one per frame drawn).
struct MeasuredRun {
    std::vector<double> drawMs, emptyMs, returnMs;               // returnMs: until the call returned
    std::map<std::string, std::vector<double>> drawMsByRepaint;  // --by-repaint
    std::map<std::string, CounterTotals> countersByRepaint;      // --by-repaint, when the plug-in counts
    std::vector<std::pair<int, ProcessResources>> resources;     // --resources-every: frame, sample
    std::vector<std::string> pngs;                               // the PNG files written
    int drawn = 0;
    int changedFrames = 0, changeCount = 0;  // frames whose draw changed the pipeline state, pieces changed
    double checkSeconds = 0;                 // spent capturing the pipeline state
    double elapsed = 0;                      // seconds from the first frame to the end of the last
    bool ok = true;                          // every draw succeeded, none changed the state, every PNG written
};

// Draws options.frames frames (fewer when the window is closed), printing what went wrong and the
// resource samples as it goes. The PNG files go to the folder `out`. `betweenFrames`, when set,
// runs after each frame's messages, before its draw and outside the timed calls.
MeasuredRun runFrames(const Options& options, const std::wstring& out, TestVideo& video, PipelineState& hostState,
                      const PluginUnderTest& plugin, const WindowState& window,
                      const std::function<void()>& betweenFrames = {});

// `seconds` of only pumping messages (no draw calls); prints the process's CPU time over them.
void idleStretch(double seconds, const char* what);

}  // namespace standin
