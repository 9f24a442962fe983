#pragma once
// The update jobs as the moderator window starts them: the update check, the wall-file update
// (with the plug-in's self-update) and the Node.js runtime install, each on a thread of its own
// that keeps the DLL mapped until it has left our code, so the host may release the plug-in and
// unload the DLL while one runs. A job reports to a window only by posting it a message; posting
// to a window that is gone does nothing.
#include <windows.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "updates/install_steps.h"
#include "updates/update_check.h"

namespace lumvo {

// Everything that points the jobs somewhere: the update site and the key its documents are signed
// with, the pinned Node.js archive, the unpacker and the waiter's program. Defined once per DLL:
// the shipped plug-in's is fixed (plugin/win/shipped_update_setup.cpp); the Windows tests' build
// points it at their fixtures.
struct UpdateSetup {
    UpdateSite site;
    std::array<std::uint8_t, 64> publicKey{};
    NodeArchive nodeArchive;
    std::wstring tarProgram;     // the system's tar
    std::wstring waiterProgram;  // empty: PowerShell, found as the system finds it
};
UpdateSetup updateSetup();

// The messages a job posts, and to whom.
struct JobMessages {
    HWND window = nullptr;
    UINT progress = 0;  // wParam: percent
    UINT done = 0;      // wParam: 1 on success, 0 on failure
    UINT newer = 0;     // after a check that found a newer version (0: none)
};

// The last check's result (before any check: currentVersion is the plug-in's), and whether an
// update has staged a new plug-in DLL.
UpdateInfo lastUpdateCheck();
bool restartNeeded();

// The jobs, run on the calling thread.
UpdateInfo runUpdateCheck();
InstallOutcome runWallUpdate(HWND window, UINT progressMessage);
// `nodeInstalled`: whether the server's launch finds a Node.js already (then nothing is downloaded).
InstallOutcome runNodeInstall(const std::function<bool()>& nodeInstalled);

// The jobs on threads of their own: each posts `done` when it ends (the check with wParam 0).
// False when no thread could be made.
bool startUpdateCheck(const JobMessages& messages);
bool startWallUpdate(const JobMessages& messages);
bool startNodeInstall(const JobMessages& messages, std::function<bool()> nodeInstalled);

// Before every launch of the wall server: removes the ".old" DLL a self-update left, creates the
// data folders and, while the wall folder has no server, copies the wall files placed beside the
// plug-in DLL (the first of <plug-in folder>\LUMVO\video-wall, \video-wall and
// \LUMVO Video Wall\video-wall that holds server\server.js), never over the DJ's own files.
void prepareWallFolder();

// The self-update: copies the package's "LUMVO Video Wall.dll" to the staging folder, moves the
// installed DLL aside as ".old", copies the new one in its place and starts the waiter that copies
// it once more after the host has exited. False, with the reason, when the package has no DLL or
// it cannot be staged.
bool stagePlugin(const std::filesystem::path& unpackFolder, const std::filesystem::path& stagingFolder,
                 std::string& message);

// The folder the plug-in DLL was loaded from (UTF-16).
std::wstring pluginFolder();

}  // namespace lumvo
