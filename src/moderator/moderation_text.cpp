#include "moderator/moderation_text.h"

#include <ctime>

namespace lumvo {
namespace {

// The length of the UTF-8 sequence at `at` when it is whole and well-formed, else 0.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t n = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (n == 0 || at + n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

std::string cutToUnits(std::string_view text, std::size_t maxUnits) {
    std::size_t units = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t bytes = sequenceLength(text, at);
        const std::size_t need = bytes == 4 ? 2 : 1;  // four-byte characters take a surrogate pair
        if (bytes == 0) bytes = 1;                    // a broken byte: one replacement character
        if (units + need > maxUnits) break;
        units += need;
        at += bytes;
    }
    return std::string(text.substr(0, at));
}

std::string cutWithEllipsis(std::string_view text, std::size_t maxUnits) {
    const std::string whole = cutToUnits(text, maxUnits);
    if (whole.size() == text.size() || maxUnits == 0) return whole;
    return cutToUnits(text, maxUnits - 1) + "\xE2\x80\xA6";
}

std::string toastLabel(std::string_view label) { return label.empty() ? "POST" : cutToUnits(label, kToastLabelMax); }

std::string toastMessage(std::string_view message) { return cutToUnits(message, kToastMessageMax); }

std::string localTimeOfDay(std::int64_t epochMs) {
    if (epochMs <= 0) return {};
    const std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &seconds) != 0) return {};
#else
    if (!localtime_r(&seconds, &local)) return {};
#endif
    char text[16];
    if (std::strftime(text, sizeof text, "%H:%M", &local) == 0) return {};
    return text;
}

}  // namespace lumvo
