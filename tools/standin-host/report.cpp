#include "report.h"

#include <windows.h>

#include <cpuid.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "draw_stats.h"

namespace standin {
namespace {

std::string cpuName() {
    unsigned int regs[12] = {};
    if (__get_cpuid(0x80000000u, &regs[0], &regs[1], &regs[2], &regs[3]) == 0 || regs[0] < 0x80000004u)
        return "unknown";
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
    auto get =
        ntdll ? reinterpret_cast<Getter>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version"))) : nullptr;
    return get ? get() : "";
}

}  // namespace

bool report(const Options& options, const std::wstring& out, const MeasuredRun& run) {
    bool written = true;
    const DrawSummary s = summarise(run.drawMs);
    const DrawSummary e = summarise(run.emptyMs);
    const DrawSummary r = summarise(run.returnMs);
    const double checkMs = run.drawn > 0 ? run.checkSeconds * 1000.0 / run.drawn : 0.0;
    const std::string cpu = cpuName();
    const std::string wine = wineVersion();
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    std::printf("draw slot: %zu frames in %.2f s (%.1f fps); ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n",
                s.count, run.elapsed, run.elapsed > 0 ? run.drawn / run.elapsed : 0.0, s.mean, s.p50, s.p95, s.max);
    std::printf("empty draw: ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n", e.mean, e.p50, e.p95, e.max);
    // A ratio needs a baseline above zero; without one it is left out (null in the file).
    auto ratio = [](double draw, double empty) { return empty > 0 ? draw / empty : -1.0; };
    auto ratioText = [](double value) { return value < 0 ? std::string("null") : std::to_string(value); };
    std::printf("draw slot / empty draw: p50 %s, p95 %s\n", ratioText(ratio(s.p50, e.p50)).c_str(),
                ratioText(ratio(s.p95, e.p95)).c_str());
    std::printf("draw slot until it returned: ms per draw: mean %.4f, p50 %.4f, p95 %.4f, max %.4f\n", r.mean, r.p50,
                r.p95, r.max);
    if (run.changedFrames == 0) {
        std::printf("state check: %d frames, the draw slot left the pipeline state unchanged; %.4f ms per frame\n",
                    run.drawn, checkMs);
    } else {
        std::printf("state check: %d of %d frames changed the pipeline state (%d pieces)\n", run.changedFrames,
                    run.drawn, run.changeCount);
    }
    std::map<std::string, DrawSummary> byRepaint;
    for (const auto& [kind, times] : run.drawMsByRepaint) {
        const DrawSummary k = byRepaint[kind] = summarise(times);
        std::printf(
            "draw slot, frames that repainted %s: %zu; ms per draw: p50 %.4f, p95 %.4f; / empty draw: p50 %s, "
            "p95 %s\n",
            kind.c_str(), k.count, k.p50, k.p95, ratioText(ratio(k.p50, e.p50)).c_str(),
            ratioText(ratio(k.p95, e.p95)).c_str());
        if (const auto c = run.countersByRepaint.find(kind); c != run.countersByRepaint.end()) {
            std::printf(
                "counters per frame, frames that repainted %s: particles painted %.1f, pixels uploaded %.0f, "
                "text layouts %.2f, texts drawn %.2f\n",
                kind.c_str(), c->second.perFrame(0), c->second.perFrame(1), c->second.perFrame(2),
                c->second.perFrame(3));
        }
    }
    std::printf("machine: %s, %lu logical processors%s%s\n", cpu.c_str(), system.dwNumberOfProcessors,
                wine.empty() ? "" : ", Wine ", wine.c_str());

    const std::wstring statsPath = out + L"\\draw-stats.json";
    if (FILE* f = _wfopen(statsPath.c_str(), L"wb")) {
        std::fprintf(
            f,
            "{\"frames\": %d, \"fps\": %.3f, \"bpm\": %.3f, \"width\": %d, \"height\": %d, \"seconds\": %.3f,\n"
            " \"timing\": \"per call, from the call until the GPU finished what it queued\",\n"
            " \"drawMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
            " \"emptyDrawMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
            " \"drawToEmpty\": {\"p50\": %s, \"p95\": %s},\n"
            " \"drawReturnedMs\": {\"count\": %zu, \"mean\": %.6f, \"p50\": %.6f, \"p95\": %.6f, \"max\": %.6f},\n"
            " \"stateCheck\": {\"changedFrames\": %d, \"changedPieces\": %d, \"msPerFrame\": %.6f},\n"
            " \"machine\": {\"cpu\": \"%s\", \"logicalProcessors\": %lu, \"wine\": \"%s\"},\n"
            " \"png\": [",
            run.drawn, options.fps, options.bpm, options.width, options.height, run.elapsed, s.count, s.mean, s.p50,
            s.p95, s.max, e.count, e.mean, e.p50, e.p95, e.max, ratioText(ratio(s.p50, e.p50)).c_str(),
            ratioText(ratio(s.p95, e.p95)).c_str(), r.count, r.mean, r.p50, r.p95, r.max, run.changedFrames,
            run.changeCount, checkMs, jsonText(cpu).c_str(), system.dwNumberOfProcessors, jsonText(wine).c_str());
        for (size_t i = 0; i < run.pngs.size(); ++i) {
            std::fprintf(f, "%s\"%s\"", i ? ", " : "", jsonText(run.pngs[i]).c_str());
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
        if (!run.countersByRepaint.empty()) {
            std::fprintf(f, ",\n \"countersPerFrameByRepaint\": {");
            const char* separator = "";
            for (const auto& [kind, c] : run.countersByRepaint) {
                std::fprintf(f, "%s\"%s\": {\"frames\": %zu", separator, kind.c_str(), c.frames);
                for (std::size_t i = 0; i < CounterTotals::kCount; ++i)
                    std::fprintf(f, ", \"%s\": %.3f", CounterTotals::kNames[i], c.perFrame(i));
                std::fprintf(f, "}");
                separator = ", ";
            }
            std::fprintf(f, "}");
        }
        if (!run.resources.empty()) {
            std::fprintf(f, ",\n \"resources\": [");
            for (size_t i = 0; i < run.resources.size(); ++i) {
                const auto& [frame, sample] = run.resources[i];
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
        written = false;
    }
    if (!run.pngs.empty()) std::printf("frames: %zu PNG files in %s\n", run.pngs.size(), narrow(out).c_str());
    return written;
}

}  // namespace standin
