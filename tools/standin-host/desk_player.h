#pragma once
// --desk: the stand-in host plays the DJ at the moderator window. It opens the window the way the
// host's "Open moderator" button does (the parameter the plug-in declared under that name), then
// acts on the lines another program appends to a cue file, one step at a time and only through
// window messages to the desk's controls (text typed with WM_SETTEXT, buttons pressed with
// BM_CLICK), as a DJ's clicks reach them. Cues, UTF-8, fields split by TAB:
//   vote <TAB> seconds <TAB> title <TAB> answer <TAB> answer [<TAB> answer [<TAB> answer]]
//   stop-vote
//   booth <TAB> name <TAB> message
// Each step is printed as a "desk:" line when it took (the status line says "Vote started" or
// "Vote stopped", or the vote box shows the vote running or closed; the booth's message box
// emptied after "Show on wall"), or as a "desk: error:" line when it did not within its time, which
// fails the run. A "LUMVO" box the desk opens (the booth's refusal) is read into the error line and
// closed, so the frames go on.
#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "plugin/host_interface.h"

namespace standin {

class DeskPlayer {
public:
    explicit DeskPlayer(std::wstring cueFile) : cueFile_(std::move(cueFile)) {}
    DeskPlayer(const DeskPlayer&) = delete;
    DeskPlayer& operator=(const DeskPlayer&) = delete;
    ~DeskPlayer();

    // Presses the plug-in's "Open moderator" parameter (`parameterId`) and finds the window it
    // shows; false, printed, when there is none.
    bool open(vdj::VideoFxPlugin& effect, int parameterId);
    // Between frames: takes the cue file's new lines, checks the step under way and starts the next.
    void step();
    // After the frames: a step under way or a cue not yet acted on is an error. True when every
    // step took.
    bool finish();

private:
    struct Step {
        std::vector<std::wstring> fields;  // the cue's
        ULONGLONG deadline = 0;
    };
    void readCues();
    void begin(Step& cue);
    bool taken(const Step& cue, std::string& detail) const;
    void fail(const std::string& what);
    HWND control(int id) const;

    std::wstring cueFile_;
    std::uint64_t readUpTo_ = 0;  // bytes of the cue file already taken
    std::string partial_;         // a last line not yet ended
    std::deque<Step> cues_;
    bool busy_ = false;   // the front cue is under way
    std::wstring title_;  // of the last vote started
    HWND window_ = nullptr;
    UINT_PTR boxTimer_ = 0;
    bool ok_ = true;
};

}  // namespace standin
