#pragma once
// What the Info tab's Update page and the two "Install Node" pairs say and allow, worked out from
// the last update check, what is installed and what is running. The page keeps no state of its
// own: the window asks again at every refresh.
#include <string>

namespace lumvo {

// The last update check as the page needs it (the plug-in fills it from the updates' own record).
struct UpdateCheckFacts {
    bool complete = false;
    bool reached = false;
    bool updateAvailable = false;
    bool newer = false;
    bool wallFilesMissing = false;
    std::string currentVersion;
    std::string latestVersion;
    std::string changelog;
    std::string error;
};

struct UpdatePageInput {
    UpdateCheckFacts check;
    bool nodeInstalled = false;
    bool wallFilesPresent = false;
    bool updateRunning = false;
    bool installRunning = false;
    bool setupMode = false;
};

struct NodeControls {
    std::string button;  // "Install Node", "Installing Node...", "Node installed"
    bool buttonEnabled = false;
    std::string note;
};

struct UpdatePageView {
    std::string version;  // the plug-in's own
    std::string latest;
    std::string status;
    bool updateShown = false;
    bool updateEnabled = false;
    bool progressShown = false;  // the bar and its percent label
    NodeControls node;           // both pairs
    bool nodePairShown = false;  // the Update page's pair (the setup page's follows the setup page)
};

UpdatePageView updatePageView(const UpdatePageInput& input);

// Whether the Update button starts an update now: not while one runs, not without Node.js, and
// with the wall files in place only when the last check found something to install.
bool wallUpdateWanted(const UpdatePageInput& input);

// The status line while an update starts.
std::string updateStartingStatus(bool wallFilesPresent);

// The change log shown: the check's, else the wall files' own changes.txt (`localChanges`, empty
// when missing), else a line that says there is none.
std::string changelogText(const UpdateCheckFacts& check, const std::string& localChanges);

}  // namespace lumvo
