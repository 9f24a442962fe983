#include "updates/win/update_jobs.h"

#include <filesystem>
#include <system_error>

#include "base/version.h"
#include "base/win/data_folders.h"
#include "base/win/module_pin.h"
#include "base/win/wide_text.h"
#include "base/win/win_http_client.h"
#include "updates/download.h"
#include "updates/swap_command.h"
#include "updates/win/process_runner.h"
#include "updates/win/signature.h"
#include "updates/win/unpack_folder.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kPluginFileName = L"LUMVO Video Wall.dll";
constexpr const char* kPluginFileNameUtf8 = "LUMVO Video Wall.dll";
constexpr const char* kNoPluginInPackage = "Update did not contain the plugin.";
constexpr const char* kStagingFailed = "Could not stage the new plugin.";
constexpr const wchar_t* kFallbackPowerShell = L"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe";
constexpr int kNodeDocumentTimeoutMs = 8000;

// The last check for the whole process. The jobs' threads keep the DLL mapped, so it outlives them.
UpdateStatus& status() {
    static UpdateStatus record;
    return record;
}

DocumentOpener documentOpener() {
    return [](std::string_view served) { return openSignedUpdateDocument(served, updateSetup().publicKey); };
}

InstallTools windowsTools(HttpClient& http) {
    InstallTools tools;
    tools.download = [&http](const std::string& url, const fs::path& file, const HttpProgress& progress) {
        return downloadFile(http, url, file, kDownloadReceiveMs, progress);
    };
    tools.keepIfSha256 = [](const fs::path& file, std::string_view sha256) {
        return keepDownloadIfSha256Is(wideToUtf8(file.wstring()), sha256);
    };
    tools.unpack = [](const fs::path& archive, const fs::path& folder) {
        return unpackWithTar(updateSetup().tarProgram, archive.wstring(), folder.wstring());
    };
    tools.isLink = isReparsePoint;
    return tools;
}

bool isFile(const fs::path& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

std::wstring waiterProgram() {
    if (!updateSetup().waiterProgram.empty()) return updateSetup().waiterProgram;
    wchar_t found[260] = {};
    const DWORD n = SearchPathW(nullptr, L"powershell.exe", nullptr, 260, found, nullptr);
    return n > 0 && n < 260 ? std::wstring(found, n) : std::wstring(kFallbackPowerShell);
}

// The waiter copies the staged DLL over the installed one once the host has exited.
void scheduleSwapAfterExit(const fs::path& staged, const fs::path& installed) {
    const std::u16string arguments =
        swapWaiterArguments(GetCurrentProcessId(), wideToUtf8(staged.wstring()), wideToUtf8(installed.wstring()));
    runProcess(waiterProgram(), std::wstring(arguments.begin(), arguments.end()), L"", 0, true);
}

// Runs `job` on a pinned thread of its own; the job owns everything it uses.
bool startPinned(std::function<void()> job) { return runDetachedPinned(std::move(job)); }

}  // namespace

std::wstring pluginFolder() {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(ownModuleHandle(), path, 32768);
    if (n == 0 || n >= 32768) return L".";
    std::wstring file(path, n);
    const std::size_t cut = file.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring(L".") : file.substr(0, cut);
}

UpdateInfo lastUpdateCheck() { return status().last(kPluginVersion); }

bool restartNeeded() { return status().restartNeeded(); }

UpdateInfo runUpdateCheck() {
    WinHttpClient http;
    UpdateInfo info = checkForUpdate(http, updateSetup().site, documentOpener(), kPluginVersion, wallFilesPresent());
    status().store(info);
    return info;
}

InstallOutcome runWallUpdate(HWND window, UINT progressMessage) {
    WinHttpClient http;
    WallUpdateJob job;
    job.tools = windowsTools(http);
    job.check = [] { return runUpdateCheck(); };
    job.wallFilesPresent = [] { return wallFilesPresent(); };
    job.stagePlugin = [](const fs::path& unpackFolder, std::string& message) {
        return stagePlugin(unpackFolder, fs::path(wallFolderWide()) / L"update", message);
    };
    job.progress = [window, progressMessage](int percent) {
        if (window && progressMessage) PostMessageW(window, progressMessage, static_cast<WPARAM>(percent), 0);
    };
    InstallOutcome outcome = updateWallFiles(wallUpdatePlaces(wallFolderWide()), job);
    if (outcome.ok && outcome.stagedPlugin) status().markRestartNeeded();
    return outcome;
}

InstallOutcome runNodeInstall(const std::function<bool()>& nodeInstalled) {
    const std::wstring runtime = runtimeFolder();
    if (runtime.empty()) return {false, false, kNodeNotInstalled};
    WinHttpClient http;
    NodeInstallJob job;
    job.tools = windowsTools(http);
    job.nodeInstalled = nodeInstalled;
    job.document = [&http] {
        return fetchUpdateDocument(http, updateSetup().site, documentOpener(), kNodeDocumentTimeoutMs);
    };
    job.builtIn = updateSetup().nodeArchive;
    return installNode(nodePlaces(runtime), job);
}

bool startUpdateCheck(const JobMessages& messages) {
    return startPinned([messages] {
        const UpdateInfo info = runUpdateCheck();
        PostMessageW(messages.window, messages.done, 0, 0);
        if (info.newer && messages.newer) PostMessageW(messages.window, messages.newer, 0, 0);
    });
}

bool startWallUpdate(const JobMessages& messages) {
    return startPinned([messages] {
        const InstallOutcome outcome = runWallUpdate(messages.window, messages.progress);
        PostMessageW(messages.window, messages.done, outcome.ok ? 1 : 0, 0);
    });
}

bool startNodeInstall(const JobMessages& messages, std::function<bool()> nodeInstalled) {
    return startPinned([messages, nodeInstalled = std::move(nodeInstalled)] {
        const InstallOutcome outcome = runNodeInstall(nodeInstalled);
        PostMessageW(messages.window, messages.done, outcome.ok ? 1 : 0, 0);
    });
}

void prepareWallFolder() {
    const fs::path plugin(pluginFolder());
    DeleteFileW((plugin / (std::wstring(kPluginFileName) + L".old")).c_str());
    ensureDataFolders();
    const fs::path wall(wallFolderWide());
    if (isFile(wall / L"server" / L"server.js")) return;
    for (const wchar_t* beside : {L"LUMVO\\video-wall", L"video-wall", L"LUMVO Video Wall\\video-wall"}) {
        const fs::path copy = plugin / beside;
        if (!isFile(copy / L"server" / L"server.js")) continue;
        copyPackageFolder(copy, wall, true, isReparsePoint);
        return;
    }
}

bool stagePlugin(const fs::path& unpackFolder, const fs::path& stagingFolder, std::string& message) {
    const auto found = findShallowestFile(listPackageFiles(unpackFolder, isReparsePoint), kPluginFileNameUtf8);
    if (!found) {
        message = kNoPluginInPackage;
        return false;
    }
    const fs::path packaged = unpackFolder / pathFromUtf8(*found);
    std::error_code ignored;
    fs::create_directories(stagingFolder, ignored);
    const fs::path staged = stagingFolder / kPluginFileName;
    DeleteFileW(staged.c_str());
    if (!CopyFileW(packaged.c_str(), staged.c_str(), FALSE) || !isFile(staged)) {
        message = kStagingFailed;
        return false;
    }
    // Windows lets a loaded DLL be renamed, not overwritten: the running one moves aside, the new one
    // takes its name. Should any of it fail, the waiter copies again once the host has exited.
    const fs::path installed = fs::path(pluginFolder()) / kPluginFileName;
    const std::wstring old = installed.wstring() + L".old";
    DeleteFileW(old.c_str());
    MoveFileExW(installed.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING);
    CopyFileW(staged.c_str(), installed.c_str(), FALSE);
    scheduleSwapAfterExit(staged, installed);
    return isFile(staged) || isFile(installed);
}

}  // namespace lumvo
