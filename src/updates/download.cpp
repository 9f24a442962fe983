#include "updates/download.h"

#include <algorithm>

#include "updates/https_url.h"

namespace lumvo {

bool downloadFile(HttpClient& http, std::string_view url, const std::filesystem::path& file, int receiveTimeoutMs,
                  const HttpProgress& progress, HttpCancel* cancel) {
    const std::optional<HttpsUrl> address = parseHttpsUrl(url);
    if (!address) return false;
    HttpRequest request;
    request.path = address->path;
    request.options.host = address->host;
    request.options.port = static_cast<std::uint16_t>(address->port);
    request.options.secure = true;
    request.options.timeoutMs = receiveTimeoutMs;
    request.options.cancel = cancel;
    request.options.maxBodyBytes = kMaxDownloadBytes;
    FileSink sink(file, progress);
    return httpExchange(http, request, sink);
}

DownloadPercent::DownloadPercent(Report report, std::chrono::milliseconds interval, Now now)
    : report_(std::move(report)), interval_(interval), now_(std::move(now)) {}

bool DownloadPercent::operator()(std::uint64_t received, std::optional<std::uint64_t> total) {
    if (!report_ || !total || *total == 0) return true;
    const int percent = static_cast<int>(std::min<std::uint64_t>(received * 80 / *total, 80));
    const auto at = now_();
    if (percent != last_ || at - lastAt_ >= interval_) {
        last_ = percent;
        lastAt_ = at;
        report_(percent);
    }
    return true;
}

}  // namespace lumvo
