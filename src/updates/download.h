#pragma once
// One download from the maker's site (or the Node.js project's) into a file: HTTPS only, the file
// replaced only once the whole body is in, and its progress as the percent the Update page shows.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/http_client.h"

namespace lumvo {

// The most one download may bring: the Node.js archive is about 30 MB, a package a few. A server
// that sends more (or says it will) fails the download before the disk fills.
inline constexpr std::uint64_t kMaxDownloadBytes = 512ull * 1024 * 1024;

// GET `url` into `file` (a previous file is replaced only when the whole body arrived; a failed
// download leaves no file behind). False for an address that is not HTTPS, no answer, a status
// outside 2xx, a body cut short, longer than its Content-Length or than kMaxDownloadBytes, a time-out
// (`receiveTimeoutMs` for each wait), or `progress` answering false.
bool downloadFile(HttpClient& http, std::string_view url, const std::filesystem::path& file, int receiveTimeoutMs,
                  const HttpProgress& progress = {}, HttpCancel* cancel = nullptr);

// The download's share of the update's progress bar: 0..80 % of a body of known size. Reported when
// the percent moves, and at least every `interval` while bytes keep coming (a slow download still
// shows that it lives). Nothing is reported for a body of unknown size.
class DownloadPercent {
public:
    using Report = std::function<void(int percent)>;
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    explicit DownloadPercent(
        Report report, std::chrono::milliseconds interval = std::chrono::milliseconds(200),
        Now now = [] { return std::chrono::steady_clock::now(); });
    // The HttpProgress of the download.
    bool operator()(std::uint64_t received, std::optional<std::uint64_t> total);

private:
    Report report_;
    std::chrono::milliseconds interval_;
    Now now_;
    int last_ = -1;
    std::chrono::steady_clock::time_point lastAt_{};
};

}  // namespace lumvo
