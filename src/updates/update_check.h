#pragma once
// The update check: one question to the maker's update site, "what is the latest release?", and
// the last answer, kept for the moderator window's Update page. An answer counts only once its
// signature verified (updates/update_document.h); the check itself never downloads a package.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/http_client.h"
#include "updates/update_document.h"

namespace lumvo {

// What the DJ is told when neither of the site's documents answered.
inline constexpr const char* kSiteNotReached = "Could not reach Lumvo.";
// The site's two documents, asked in this order.
inline constexpr std::array<const char*, 2> kUpdateDocumentPaths = {"/plugin/update.json", "/v1/plugin/update"};
inline constexpr int kUpdateCheckTimeoutMs = 12000;

// Where the update site is: the maker's host on 443 for the shipped plug-in.
struct UpdateSite {
    std::string host;
    std::uint16_t port = 443;
};

// Verifies and reads one served envelope (the Windows part checks the signature with the key the
// site's documents must be signed with).
using DocumentOpener = std::function<UpdateDocumentRead(std::string_view served)>;

// The result of one check.
struct UpdateInfo {
    bool complete = false;          // a check has finished
    bool reached = false;           // a document answered and verified
    bool updateAvailable = false;   // the Update button has something to do
    bool newer = false;             // latestVersion is above currentVersion
    bool wallFilesMissing = false;  // the wall files were not in place at the check
    std::string currentVersion;     // the plug-in's own
    std::string latestVersion;
    std::string downloadUrl;  // the package's address
    std::string changelog;
    std::string error;  // why no document counts: not reached, or not verified
    // From the verified document only; empty without one (then nothing may be installed).
    std::string packageSha256;
    std::string nodeUrl;
    std::string nodeSha256;
};

// Fetches the site's documents in order (HTTPS, 12 s each, at most an envelope's size) and takes
// the first that opens. A document that answered but failed its check makes the error
// kUpdateNotVerified, unless the other one opens; no answer at all makes it kSiteNotReached. With
// the wall files missing and no document, the package of the plug-in's own version is offered, so
// that a first install can try again (it still needs a verified document to go ahead).
UpdateInfo checkForUpdate(HttpClient& http, const UpdateSite& site, const DocumentOpener& open,
                          std::string_view currentVersion, bool wallFilesPresent, HttpCancel* cancel = nullptr);

// The verified document alone (the Node.js install reads its "nodeUrl" from it); nothing when
// none opened.
std::optional<UpdateDocument> fetchUpdateDocument(HttpClient& http, const UpdateSite& site, const DocumentOpener& open,
                                                  int timeoutMs, HttpCancel* cancel = nullptr);

// The last check's result for the whole process, and whether an update staged a new plug-in DLL
// (which stays true until the host restarts).
class UpdateStatus {
public:
    void store(UpdateInfo info);
    // A copy; before any check, every flag false and currentVersion `builtInVersion`.
    UpdateInfo last(std::string_view builtInVersion) const;
    void markRestartNeeded() { restartNeeded_ = true; }
    bool restartNeeded() const { return restartNeeded_; }

private:
    mutable std::mutex mutex_;
    UpdateInfo last_;
    std::atomic<bool> restartNeeded_{false};
};

}  // namespace lumvo
