#include "updates/install_steps.h"

#include <fstream>
#include <system_error>

#include "updates/download.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;

InstallOutcome failed(std::string message) { return {false, false, std::move(message)}; }

void removeFile(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

// Empties the folder, then unpacks the (checked) archive into it.
bool unpackFresh(const InstallTools& tools, const fs::path& archive, const fs::path& folder) {
    return emptyFolder(folder, tools.isLink) && tools.unpack && tools.unpack(archive, folder);
}

}  // namespace

WallUpdatePlaces wallUpdatePlaces(const fs::path& wallFolder) {
    WallUpdatePlaces places;
    places.wallFolder = wallFolder;
    places.stagingFolder = wallFolder / "update";
    places.package = places.stagingFolder / "pkg.zip";
    places.unpackFolder = places.stagingFolder / "unpack";
    places.versionFile = wallFolder / "VERSION";
    return places;
}

InstallOutcome updateWallFiles(const WallUpdatePlaces& places, const WallUpdateJob& job) {
    const auto report = [&](int percent) {
        if (job.progress) job.progress(percent);
    };
    const UpdateInfo info = job.check ? job.check() : UpdateInfo{};
    const bool present = job.wallFilesPresent && job.wallFilesPresent();
    const bool newer = isNewerVersion(info.latestVersion, info.currentVersion);
    if (info.downloadUrl.empty() || (present && !newer)) return failed(info.error.empty() ? kUpToDate : info.error);
    // Nothing is downloaded without a verified document naming the package's SHA-256.
    if (!info.reached || info.packageSha256.empty())
        return failed(info.error.empty() ? kUpdateNotVerified : info.error);

    report(1);
    std::error_code ignored;
    fs::create_directories(places.stagingFolder, ignored);
    removeFile(places.package);
    DownloadPercent percent(report);
    if (!job.tools.download || !job.tools.download(info.downloadUrl, places.package, std::ref(percent))) {
        removeFile(places.package);
        return failed(kDownloadFailed);
    }
    if (!job.tools.keepIfSha256 || !job.tools.keepIfSha256(places.package, info.packageSha256)) {
        removeFile(places.package);
        return failed(kUpdateNotVerified);
    }

    report(85);
    if (!unpackFresh(job.tools, places.package, places.unpackFolder)) return failed(kUnpackFailed);

    report(92);
    if (const auto root = findPackageRoot(listPackageFiles(places.unpackFolder, job.tools.isLink))) {
        copyPackageFolder(places.unpackFolder / pathFromUtf8(*root), places.wallFolder, true, job.tools.isLink);
    }
    if (!present && !(job.wallFilesPresent && job.wallFilesPresent())) return failed(kNoWallFiles);

    InstallOutcome outcome{true, false, {}};
    if (newer) {
        std::string message;
        if (!job.stagePlugin || !job.stagePlugin(places.unpackFolder, message)) return failed(std::move(message));
        outcome.stagedPlugin = true;
    }
    removeFile(places.package);
    if (!info.latestVersion.empty()) {
        std::ofstream version(places.versionFile, std::ios::binary | std::ios::trunc);
        version << info.latestVersion << '\n';
    }
    report(100);
    return outcome;
}

NodePlaces nodePlaces(const fs::path& runtimeFolder) {
    NodePlaces places;
    places.runtimeFolder = runtimeFolder;
    places.archive = runtimeFolder / "node.zip";
    places.unpackFolder = runtimeFolder / "unpack";
    places.privateNode = runtimeFolder / "node";
    return places;
}

InstallOutcome installNode(const NodePlaces& places, const NodeInstallJob& job) {
    if (job.nodeInstalled && job.nodeInstalled()) return {true, false, {}};
    NodeArchive archive = job.builtIn;
    if (job.document) {
        if (std::optional<UpdateDocument> doc = job.document(); doc && !doc->nodeUrl.empty()) {
            archive = {doc->nodeUrl, doc->nodeSha256};
        }
    }
    std::error_code ignored;
    fs::create_directories(places.runtimeFolder, ignored);
    removeFile(places.archive);
    if (!job.tools.download || !job.tools.download(archive.url, places.archive, {})) {
        removeFile(places.archive);
        return failed(kNodeDownloadFailed);
    }
    if (!job.tools.keepIfSha256 || !job.tools.keepIfSha256(places.archive, archive.sha256)) {
        removeFile(places.archive);
        return failed(kUpdateNotVerified);
    }
    if (!unpackFresh(job.tools, places.archive, places.unpackFolder)) return failed(kNodeUnpackFailed);

    const auto nodeExe = findShallowestFile(listPackageFiles(places.unpackFolder, job.tools.isLink), "node.exe");
    if (!nodeExe) return failed(kNodeExeMissing);
    const fs::path source = (places.unpackFolder / pathFromUtf8(*nodeExe)).parent_path();
    copyPackageFolder(source, places.privateNode, false, job.tools.isLink);
    removeFile(places.archive);
    if (!fs::is_regular_file(places.privateNode / "node.exe", ignored)) return failed(kNodeNotInstalled);
    return {true, false, {}};
}

}  // namespace lumvo
