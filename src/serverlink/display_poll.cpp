#include "serverlink/display_poll.h"

#include <chrono>
#include <vector>

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

    ensurePhotos(state);
    return kPollIntervalMs;
}

void DisplayPoll::ensurePhotos(const DisplayDocument& state) {
    const std::uint64_t now = clock_.nowMs();
    for (const std::string* shownLarge : {&state.photo, &state.votePhoto}) {
        if (!shownLarge->empty()) largeUntil_[*shownLarge] = now + kLargePhotoHoldMs;
    }
    std::erase_if(largeUntil_, [&](const auto& entry) { return entry.second < now; });
    auto sideFor = [&](const std::string& reference) {
        return largeUntil_.contains(reference) ? kLargePhotoSide : kFeedPhotoSide;
    };
    ensurePhoto(state.photo, sideFor(state.photo));
    ensurePhoto(state.votePhoto, sideFor(state.votePhoto));
    for (const FeedItem& item : state.feed) ensurePhoto(item.photo, sideFor(item.photo));
}

void DisplayPoll::ensurePhoto(const std::string& reference, int side) {
    if (reference.empty() || unusable_.contains(reference)) return;
    if (const auto held = fetched_.find(reference); held != fetched_.end()) {
        if (held->second == side) {
            photos_.touch(reference);  // shown on the wall: the cache keeps it
            return;
        }
        if (held->second > side) {
            // No longer shown large: a smaller copy of the picture held, without decoding again.
            if (PictureRef larger = photos_.lookup(reference)) {
                storePhoto(reference, shrinkPicture(larger, side), side);
                return;
            }
        }
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
    storePhoto(reference, hooks_.decodePhoto ? hooks_.decodePhoto(*bytes, side) : nullptr, side);
}

void DisplayPoll::storePhoto(const std::string& reference, PictureRef picture, int side) {
    std::vector<std::string> evicted;
    if (photos_.storePhoto(reference, std::move(picture), &evicted)) {
        fetched_[reference] = side;
    } else {
        // Bytes that do not decode (or a picture the cache cannot hold) are not fetched again: the
        // same bytes would fail the same way on every pass. Forgotten in bulk, so it stays small.
        if (unusable_.size() >= 256) unusable_.clear();
        unusable_.insert(reference);
        fetched_.erase(reference);
    }
    for (const std::string& id : evicted) fetched_.erase(id);
}

void DisplayPoll::run(const StopAwareWait& wait) {
    keepGoing_ = wait;
    while (wait(std::chrono::milliseconds(0))) {
        const std::uint64_t pause = pass();
        if (!clock_.sleepFor(pause, wait)) break;
    }
}

}  // namespace lumvo
