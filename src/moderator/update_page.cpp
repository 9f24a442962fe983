#include "moderator/update_page.h"

namespace lumvo {

UpdatePageView updatePageView(const UpdatePageInput& in) {
    UpdatePageView view;
    const UpdateCheckFacts& check = in.check;
    view.version = check.currentVersion;
    if (!in.nodeInstalled) {
        view.latest = "Install Node first";
    } else if (!in.wallFilesPresent) {
        view.latest = "Click Update";
    } else if (!check.complete) {
        view.latest = "Checking...";
    } else if (check.latestVersion.empty()) {
        view.latest = "Not available";
    } else {
        view.latest = check.latestVersion;
    }

    if (in.updateRunning) {
        view.updateShown = true;
        view.progressShown = true;
    } else if (!in.nodeInstalled) {
        view.status = "Install Node first";
        view.updateShown = true;
    } else if (!in.wallFilesPresent) {
        view.status = "Click Update";
        view.updateShown = view.updateEnabled = true;
    } else if (check.updateAvailable) {
        view.status =
            check.wallFilesMissing && !check.newer ? "Download the wall files from Lumvo." : "Update available";
        view.updateShown = view.updateEnabled = true;
    } else if (!check.reached && !check.error.empty()) {
        view.status = check.error;
    } else if (!check.complete) {
        view.status = "Checking Lumvo...";
    } else {
        view.status = "Your plugin is up to date.";
    }

    if (in.nodeInstalled) {
        view.node = {"Node installed", false, "Guest phones and the booth page can run."};
    } else if (in.installRunning) {
        view.node = {"Installing Node...", false, "Downloading Node. Keep VirtualDJ open."};
    } else {
        view.node = {"Install Node", true, "Needed for guest phones and the booth page. LUMVO keeps its own copy."};
    }
    view.nodePairShown = in.setupMode || !in.nodeInstalled || in.installRunning;
    return view;
}

bool wallUpdateWanted(const UpdatePageInput& in) {
    if (in.updateRunning || !in.nodeInstalled) return false;
    return !in.wallFilesPresent || in.check.updateAvailable;
}

std::string updateStartingStatus(bool wallFilesPresent) {
    return wallFilesPresent ? "Update available" : "Downloading wall files...";
}

std::string changelogText(const UpdateCheckFacts& check, const std::string& localChanges) {
    if (!check.changelog.empty()) return check.changelog;
    if (!localChanges.empty()) return localChanges;
    return "No changelog yet.";
}

}  // namespace lumvo
