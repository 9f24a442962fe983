#pragma once
// The wall-file update and the Node.js runtime install, step by step, over the few things that
// differ between Windows and a test: downloading, checking a file's SHA-256, unpacking, telling a
// link. Nothing is unpacked before its SHA-256 matched a verified value, and every unpack starts
// from an empty folder, so nothing of an earlier package is installed again.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/http_client.h"
#include "updates/package_rules.h"
#include "updates/update_check.h"

namespace lumvo {

// The failure texts, in the order of the steps.
inline constexpr const char* kUpToDate = "Your plugin is up to date.";
inline constexpr const char* kDownloadFailed = "Could not download the update from Lumvo.";
inline constexpr const char* kUnpackFailed = "Could not unpack the update.";
inline constexpr const char* kNoWallFiles = "Update did not contain the wall files.";
inline constexpr const char* kNodeDownloadFailed = "Could not download Node. Check the venue internet.";
inline constexpr const char* kNodeUnpackFailed = "Could not unpack Node.";
inline constexpr const char* kNodeExeMissing = "Node download did not contain node.exe.";
inline constexpr const char* kNodeNotInstalled = "Node did not install.";

// A download, its limit on each wait, and a progress report (may be empty).
inline constexpr int kDownloadReceiveMs = 180000;

struct InstallTools {
    std::function<bool(const std::string& url, const std::filesystem::path& file, const HttpProgress& progress)>
        download;
    // Keeps the file when its SHA-256 is the one given, else deletes it and answers false.
    std::function<bool(const std::filesystem::path& file, std::string_view sha256)> keepIfSha256;
    // Unpacks the archive into the (empty) folder; false when the unpacker failed.
    std::function<bool(const std::filesystem::path& archive, const std::filesystem::path& folder)> unpack;
    LinkTest isLink = isSymbolicLink;
};

struct InstallOutcome {
    bool ok = false;
    bool stagedPlugin = false;  // the update staged a new plug-in DLL: the host must restart
    std::string message;        // why not, or why there was nothing to do
};

// The wall folder and the update's places in it.
struct WallUpdatePlaces {
    std::filesystem::path wallFolder;
    std::filesystem::path stagingFolder;  // <wall>\update
    std::filesystem::path package;        // <staging>\pkg.zip
    std::filesystem::path unpackFolder;   // <staging>\unpack
    std::filesystem::path versionFile;    // <wall>\VERSION
};
WallUpdatePlaces wallUpdatePlaces(const std::filesystem::path& wallFolder);

struct WallUpdateJob {
    InstallTools tools;
    std::function<UpdateInfo()> check;  // a fresh check, which also becomes the last result
    std::function<bool()> wallFilesPresent;
    // Stages a newer plug-in DLL from the unpacked package; false with the message when it cannot.
    std::function<bool(const std::filesystem::path& unpackFolder, std::string& message)> stagePlugin;
    std::function<void(int percent)> progress;  // 1, 0..80 while downloading, 85, 92, 100
};

// Downloads the package the check names, checks its SHA-256, unpacks it, copies its wall files
// into the wall folder (never the DJ's own files), stages a newer plug-in and writes the version.
InstallOutcome updateWallFiles(const WallUpdatePlaces& places, const WallUpdateJob& job);

// The Node.js runtime's places.
struct NodePlaces {
    std::filesystem::path runtimeFolder;  // <local app data>\LUMVO\runtime
    std::filesystem::path archive;        // <runtime>\node.zip
    std::filesystem::path unpackFolder;   // <runtime>\unpack
    std::filesystem::path privateNode;    // <runtime>\node, holding node.exe
};
NodePlaces nodePlaces(const std::filesystem::path& runtimeFolder);

// A Node.js archive and the SHA-256 it must have.
struct NodeArchive {
    std::string url;
    std::string sha256;
};

struct NodeInstallJob {
    InstallTools tools;
    std::function<bool()> nodeInstalled;
    // The update site's verified document, which may name another archive; nothing without one.
    std::function<std::optional<UpdateDocument>()> document;
    NodeArchive builtIn;  // the pinned version's archive, used unless a verified document names one
};

// Installs the Node.js runtime into the private folder, unless a Node.js is already there.
InstallOutcome installNode(const NodePlaces& places, const NodeInstallJob& job);

}  // namespace lumvo
