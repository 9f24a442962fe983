#pragma once
// The text forms of the bytes the update check reads: lowercase hexadecimal (SHA-256 digests) and
// base64 (the document's signature). The decoders are strict, so each byte string has exactly one
// accepted text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

using Bytes = std::vector<std::uint8_t>;

// Two lowercase hexadecimal digits per byte.
std::string toHex(const Bytes& bytes);
// The bytes of an even number of lowercase hexadecimal digits; nothing for any other text (upper
// case included).
std::optional<Bytes> decodeHex(std::string_view text);
// 64 lowercase hexadecimal digits, the one form a SHA-256 digest takes in the update document.
bool isSha256Hex(std::string_view text);
// The bytes of standard base64 (A-Z a-z 0-9 + /) with its '=' padding; nothing for a length that is
// not a multiple of 4, any other character, padding anywhere but at the end, or unused bits that are
// not zero.
std::optional<Bytes> decodeBase64(std::string_view text);

}  // namespace lumvo
