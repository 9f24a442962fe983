#include "options.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace standin {
namespace {

bool parseNumber(const wchar_t* text, double minimum, double& value) {
    wchar_t* end = nullptr;
    const double v = std::wcstod(text, &end);
    if (end == text || *end != L'\0' || !(v >= minimum) || v > 1e9) return false;
    value = v;
    return true;
}

}  // namespace

void printUsage() {
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
        "  --desk CUEFILE      play the DJ at the moderator window: open it with \"Open moderator\" after start,\n"
        "                      then between frames act on the lines appended to CUEFILE through the desk's\n"
        "                      controls (TAB-separated: vote SECONDS TITLE ANSWER ANSWER [ANSWER [ANSWER]],\n"
        "                      stop-vote, booth NAME MESSAGE); a step that does not show on the desk fails\n"
        "exit code 0 when every slot succeeded, no draw changed the host's pipeline state and every desk\n"
        "step took, 1 if not,\n"
        "2 on bad options\n");
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
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
        } else if (arg == L"--desk") {
            o.desk = value;
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
            o.width = w;
            o.height = h;
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

}  // namespace standin
