#include "moderator/booth_post.h"

#include "base/json.h"

namespace lumvo {
namespace {

std::string_view trimmed(std::string_view text, std::string_view strip) {
    const std::size_t first = text.find_first_not_of(strip);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

}  // namespace

std::string_view sniffPhotoType(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    if (at(0) == 0x89 && bytes.substr(1, 3) == "PNG") return "image/png";
    if (bytes.substr(0, 4) == "RIFF" && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP") return "image/webp";
    if (at(0) == 0xFF && at(1) == 0xD8) return "image/jpeg";
    return {};
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 |
                                static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) out += kDigits[(n >> shift) & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += left == 2 ? kDigits[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> photoDataAddress(std::string_view bytes) {
    if (!boothPhotoSizeOk(bytes.size())) return std::nullopt;
    const std::string_view type = sniffPhotoType(bytes);
    if (type.empty()) return std::nullopt;
    return "data:" + std::string(type) + ";base64," + base64(bytes);
}

std::string trimBoothName(std::string_view name) { return std::string(trimmed(name, " ")); }

std::string trimBoothMessage(std::string_view message) { return std::string(trimmed(message, " \n\r")); }

BoothPlan planBoothPost(std::string_view name, std::string_view message, const std::optional<std::string>& photo) {
    BoothPlan plan;
    const std::string text = trimBoothMessage(message);
    std::optional<std::string> address;
    if (photo) {
        address = photoDataAddress(*photo);
        if (!address) {
            plan.refusal = booth_text::kBadPhoto;
            return plan;
        }
    }
    if (text.empty() && !address) {
        plan.refusal = booth_text::kNothingToShow;
        plan.refusalIsWarning = false;
        return plan;
    }
    std::string body = "{\"name\":\"" + jsonEscapeControlsAsSpaces(trimBoothName(name)) + "\",\"text\":\"" +
                       jsonEscapeControlsAsSpaces(text) + "\"";
    if (address) body += ",\"photo\":\"" + *address + "\"";
    body += "}";
    plan.request = {"POST", "/api/booth-post", std::move(body)};
    plan.timeoutMs = address ? kBoothPhotoTimeoutMs : kBoothTextTimeoutMs;
    return plan;
}

std::string boothFailureText(std::string_view reply) {
    std::string error = jsonGetString(reply, "error");
    return error.empty() ? std::string(booth_text::kNotShown) : error;
}

}  // namespace lumvo
