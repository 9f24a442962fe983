#include "updates/https_url.h"

namespace lumvo {

std::optional<HttpsUrl> parseHttpsUrl(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (url.substr(0, kScheme.size()) != kScheme) return std::nullopt;
    for (const char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return std::nullopt;
    }
    const std::string_view rest = url.substr(kScheme.size());
    const std::size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    int port = 443;
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return std::nullopt;
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) return std::nullopt;
    // A fragment is the reader's business, never sent; "?q" on the bare host asks for "/?q".
    const std::string_view path =
        end == std::string_view::npos ? std::string_view{} : rest.substr(end, rest.find('#', end) - end);
    HttpsUrl parts{std::string(authority), port, {}};
    if (path.empty() || path.front() != '/') parts.path.push_back('/');
    parts.path.append(path.data(), path.size());
    return parts;
}

}  // namespace lumvo
