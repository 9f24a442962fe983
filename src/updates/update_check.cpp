#include "updates/update_check.h"

#include <utility>

namespace lumvo {
namespace {

enum class Answer { none, unverified, verified };

struct Fetched {
    Answer answer = Answer::none;
    std::optional<UpdateDocument> document;
};

Fetched fetch(HttpClient& http, const UpdateSite& site, const DocumentOpener& open, int timeoutMs, HttpCancel* cancel) {
    Fetched fetched;
    HttpOptions options;
    options.host = site.host;
    options.port = site.port;
    options.secure = true;
    options.timeoutMs = timeoutMs;
    options.maxBodyBytes = kMaxSignedEnvelopeBytes;
    options.cancel = cancel;
    for (const char* path : kUpdateDocumentPaths) {
        std::string served;
        // An error page or an empty body is no answer: the other document is asked.
        if (!httpGetEx(http, path, served, options) || served.size() < 9 ||
            served.find("\"version\"") == std::string::npos) {
            continue;
        }
        UpdateDocumentRead read = open ? open(served) : UpdateDocumentRead{};
        if (read.document) {
            fetched.answer = Answer::verified;
            fetched.document = std::move(read.document);
            return fetched;
        }
        fetched.answer = Answer::unverified;
    }
    return fetched;
}

}  // namespace

UpdateInfo checkForUpdate(HttpClient& http, const UpdateSite& site, const DocumentOpener& open,
                          std::string_view currentVersion, bool wallFilesPresent, HttpCancel* cancel) {
    UpdateInfo info;
    info.complete = true;
    info.currentVersion = std::string(currentVersion);
    info.wallFilesMissing = !wallFilesPresent;
    Fetched fetched = fetch(http, site, open, kUpdateCheckTimeoutMs, cancel);
    if (fetched.document) {
        UpdateDocument& doc = *fetched.document;
        info.reached = true;
        info.latestVersion = std::move(doc.version);
        info.downloadUrl = std::move(doc.packageUrl);
        info.changelog = std::move(doc.changelog);
        info.packageSha256 = std::move(doc.packageSha256);
        info.nodeUrl = std::move(doc.nodeUrl);
        info.nodeSha256 = std::move(doc.nodeSha256);
        info.newer = isNewerVersion(info.latestVersion, currentVersion);
        info.updateAvailable = !info.downloadUrl.empty() && (info.newer || info.wallFilesMissing);
        return info;
    }
    info.error = fetched.answer == Answer::unverified ? kUpdateNotVerified : kSiteNotReached;
    if (info.wallFilesMissing) {
        info.downloadUrl = defaultPackageUrl(currentVersion);
        info.updateAvailable = true;
    }
    return info;
}

std::optional<UpdateDocument> fetchUpdateDocument(HttpClient& http, const UpdateSite& site, const DocumentOpener& open,
                                                  int timeoutMs, HttpCancel* cancel) {
    return fetch(http, site, open, timeoutMs, cancel).document;
}

void UpdateStatus::store(UpdateInfo info) {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = std::move(info);
}

UpdateInfo UpdateStatus::last(std::string_view builtInVersion) const {
    UpdateInfo copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        copy = last_;
    }
    if (copy.currentVersion.empty()) copy.currentVersion = std::string(builtInVersion);
    return copy;
}

}  // namespace lumvo
