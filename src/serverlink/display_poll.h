#pragma once
// The worker's display poll: about six times a second it asks the wall server what the TV shows,
// publishes every changed reply as a new display document for the render thread, takes the
// settings the server decides, pushes the DJ's settings when the server comes up (and every 15
// minutes), and fetches and decodes each photo the document names once into the renderer's photo
// cache: within kFeedPhotoSide for a feed line, within kLargePhotoSide while the featured card or the
// poll shows it (and for a minute after, while the card may still play out), the smaller copy made
// from the larger one without decoding again. It keeps the last document while the server is away
// and never holds a lock across network, file or decoding work.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/clock.h"
#include "base/http_client.h"
#include "documents/published_display.h"
#include "media/photo_cache.h"
#include "settings/shared_settings.h"

namespace lumvo {

// What the poll needs of the machine: Windows in the plug-in, scripted in the tests.
struct DisplayPollHooks {
    // Whether the wall files are in place (without them the poll only waits).
    std::function<bool()> wallFilesPresent;
    // The bytes of the photo a reference names, from the media and wall folders; nothing when no
    // readable file has its name.
    std::function<std::optional<std::string>(std::string_view reference)> photoFromDisk;
    // The folder announced when the media folder setting is empty.
    std::string defaultMediaFolder;
    // The worker's token: every request of the poll gives up at once when it is cancelled.
    HttpCancel* cancel = nullptr;
    // Decodes a photo's bytes within a side (the system's codecs in the plug-in); without it no
    // photo is stored.
    PictureDecoder decodePhoto;
};

inline constexpr std::uint64_t kPollIntervalMs = 150;
inline constexpr std::uint64_t kNoWallFilesWaitMs = 400;
// Every request goes to the wall server on this PC, so each has short phases and a total: a
// misbehaving server costs a pass no more than its total, and a stop no more than one phase where
// closing the request's handle does not wake the call (Wine 8). Bodies are capped.
inline constexpr int kDisplayTimeoutMs = 400;
inline constexpr int kDisplayTotalMs = 1000;
inline constexpr std::uint64_t kDisplayDocumentMaxBytes = 1u << 20;
inline constexpr int kPhotoTimeoutMs = 500;
inline constexpr int kPhotoTotalMs = 2000;
inline constexpr std::uint64_t kPhotoMaxBytes = 8u << 20;  // the wall server takes photos up to 5 MiB
inline constexpr int kSettingsPushTimeoutMs = 500;
inline constexpr std::uint64_t kSettingsRepushMs = 15 * 60 * 1000;
// How long a photo stays large after the featured card or the poll last named it: a card the server
// let go plays out the rest of its time (at most a minute).
inline constexpr std::uint64_t kLargePhotoHoldMs = 65 * 1000;

class DisplayPoll {
public:
    DisplayPoll(PublishedDisplay& display, SharedSettings& settings, PhotoCache& photos, HttpClient& http, Clock& clock,
                DisplayPollHooks hooks);

    // One pass; returns how long to wait before the next.
    std::uint64_t pass();
    // Passes until `wait` (the worker's stop-aware wait) says stop.
    void run(const StopAwareWait& wait);

    // Photo references fetched into the cache and still held there.
    std::size_t fetchedPhotos() const { return fetched_.size(); }

private:
    bool pushSettings();
    // Every photo the document names, each within the side it is shown at.
    void ensurePhotos(const DisplayDocument& state);
    void ensurePhoto(const std::string& reference, int side);
    void storePhoto(const std::string& reference, PictureRef picture, int side);

    PublishedDisplay& display_;
    SharedSettings& settings_;
    PhotoCache& photos_;
    HttpClient& http_;
    Clock& clock_;
    DisplayPollHooks hooks_;
    // Only the worker touches these.
    std::string lastReply_;
    bool pushed_ = false;
    std::uint64_t lastPeriodicPushMs_ = 0;
    std::unordered_map<std::string, int> fetched_;               // references in the cache: the side held
    std::unordered_map<std::string, std::uint64_t> largeUntil_;  // references shown large, until when
    std::unordered_set<std::string> unusable_;                   // fetched but not decodable: not fetched again
    StopAwareWait keepGoing_;
};

}  // namespace lumvo
