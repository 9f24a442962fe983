#include "serverlink/display_poll.h"

#include <chrono>

#include "documents/display_document.h"
#include "serverlink/settings_push.h"

namespace lumvo {

DisplayPoll::DisplayPoll(PublishedDisplay& display, SharedSettings& settings, PhotoCache& photos, HttpClient& http,
                         Clock& clock, DisplayPollHooks hooks)
    : display_(display), settings_(settings), photos_(photos), http_(http), clock_(clock), hooks_(std::move(hooks)) {}

bool DisplayPoll::pushSettings() {
    return lumvo::pushSettings(
        http_, settings_.copy(), hooks_.defaultMediaFolder,
        {.timeoutMs = kSettingsPushTimeoutMs, .totalMs = 2 * kSettingsPushTimeoutMs, .cancel = hooks_.cancel});
}

std::uint64_t DisplayPoll::pass() {
    if (hooks_.wallFilesPresent && !hooks_.wallFilesPresent()) return kNoWallFilesWaitMs;

    const std::uint64_t now = clock_.nowMs();
    if (now - lastPeriodicPushMs_ > kSettingsRepushMs) {
        lastPeriodicPushMs_ = now;
        pushSettings();
    }

    std::string reply;
    const HttpOptions options{.timeoutMs = kDisplayTimeoutMs,
                              .totalMs = kDisplayTotalMs,
                              .maxBodyBytes = kDisplayDocumentMaxBytes,
                              .cancel = hooks_.cancel};
    if (!httpGet(http_, "/api/display", reply, options)) {
        // The server may come back as a new process that has lost what we pushed: push again then.
        pushed_ = false;
        return kPollIntervalMs;
    }

    // The first reply after the server came up was made before it had our settings: push them,
    // and take the server's own settings only from the next changed reply on. A push that fails
    // is tried again on the next pass.
    const bool pushedBefore = pushed_;
    if (!pushed_) pushed_ = pushSettings();

    DisplayDocument state;
    if (reply != lastReply_) {
        lastReply_ = std::move(reply);
        state = readDisplayDocument(lastReply_);
        // Read here; the render thread's lock is held only to apply the values.
        if (pushedBefore) {
            const ServerSettings decided = readServerSettings(lastReply_);
            settings_.change([&](WallSettings& s) { decided.applyTo(s); });
        }
        display_.publish(state);
    } else {
        state = display_.copy();
    }

    ensurePhoto(state.photo);
    ensurePhoto(state.votePhoto);
    for (const FeedItem& item : state.feed) ensurePhoto(item.photo);
    return kPollIntervalMs;
}

void DisplayPoll::ensurePhoto(const std::string& reference) {
    if (reference.empty()) return;
    if (fetched_.contains(reference)) {
        photos_.touch(reference);  // shown on the wall: the cache keeps it
        return;
    }
    // A stop does not wait for the rest of a pass's downloads.
    if (keepGoing_ && !keepGoing_(std::chrono::milliseconds(0))) return;
    std::optional<std::string> bytes = hooks_.photoFromDisk ? hooks_.photoFromDisk(reference) : std::nullopt;
    if (!bytes) {
        std::string body;
        const HttpOptions options{.timeoutMs = kPhotoTimeoutMs,
                                  .totalMs = kPhotoTotalMs,
                                  .maxBodyBytes = kPhotoMaxBytes,
                                  .cancel = hooks_.cancel};
        if (httpGet(http_, reference, body, options) && looksLikePicture(body)) bytes = std::move(body);
    }
    if (!bytes) return;  // tried again on the next pass
    fetched_.insert(reference);
    for (const std::string& evicted : photos_.storePhoto(reference, std::move(*bytes))) fetched_.erase(evicted);
}

void DisplayPoll::run(const StopAwareWait& wait) {
    keepGoing_ = wait;
    while (wait(std::chrono::milliseconds(0))) {
        const std::uint64_t pause = pass();
        if (!clock_.sleepFor(pause, wait)) break;
    }
}

}  // namespace lumvo
