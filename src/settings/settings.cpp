#include "settings/settings.h"

#include "settings/maker_site.h"
#include "base/utf8_text.h"

namespace lumvo {
namespace {

float clampFloat(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }

}  // namespace

std::string normalizeTheme(std::string_view theme) { return std::string(kThemeNames[themeIndex(theme)]); }

std::string normalizeUrl(std::string_view url) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = url.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    std::string out(url.substr(first, url.find_last_not_of(kBlanks) - first + 1));
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    if (out.find("://") == std::string::npos) out.insert(0, "https://");
    if (!out.starts_with("http://") && !out.starts_with("https://")) return {};
    cutUtf8(out, 200);
    return out;
}

void clampBox(BoxRect& box) {
    box.w = clampFloat(box.w, 0.12f, 0.92f);
    box.h = clampFloat(box.h, 0.10f, 0.92f);
    box.x = clampFloat(box.x, 0.0f, 1.0f - box.w);
    box.y = clampFloat(box.y, 0.0f, 1.0f - box.h);
}

std::string brandLabel(std::string_view normalizedUrl) {
    std::string_view host = normalizedUrl;
    if (const std::size_t scheme = host.find("://"); scheme != std::string_view::npos) host.remove_prefix(scheme + 3);
    while (host.starts_with("www.")) host.remove_prefix(4);
    host = host.substr(0, host.find_first_of("/?#"));
    if (host.empty()) return "Lumvo";
    std::string lower(host);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == kMakerWebHost) return "Lumvo";
    return std::string(host);
}

int highlightSeconds(const WallSettings& s) { return static_cast<int>(highlightSecondsOf(s.duration) + 0.5f); }

}  // namespace lumvo
