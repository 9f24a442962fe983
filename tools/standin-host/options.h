#pragma once
// The stand-in host's command line: its options, their parsing and the usage text.
#include <set>
#include <string>

namespace standin {

struct Options {
    std::wstring dll;  // empty: "LUMVO Video Wall.dll" beside the program
    int frames = 300;
    double seconds = 0;
    double fps = 60;
    double bpm = 124;
    int width = 1920;  // the output size
    int height = 1080;
    int pngEvery = 0;
    std::set<int> pngFrames;
    std::wstring out = L"standin-out";
    std::wstring data;
    bool hidden = false;
    double idleSeconds = 0;
    bool printState = false;
    int resourcesEvery = 0;
    bool byRepaint = false;
    std::wstring desk;  // the cue file the DJ at the desk acts on (desk_player.h); empty: no DJ
};

// Reads the arguments into `options`; false (after printing what was wrong, if anything) for a bad
// option or value and for --help.
bool parseOptions(int argc, wchar_t** argv, Options& options);
// Prints the usage text on stdout.
void printUsage();

// UTF-16 to UTF-8, for printing names and paths.
std::string narrow(const std::wstring& text);

}  // namespace standin
