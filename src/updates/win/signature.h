#pragma once
// The update's checks on the system's crypto library (BCrypt): the update document's ECDSA P-256
// signature, and the SHA-256 of every download before anything of it is unpacked.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "updates/update_document.h"

namespace lumvo {

// Whether `signature` (64 bytes: r then s, each big-endian) is a valid ECDSA signature over the
// SHA-256 of `message` by the P-256 key `publicKey` (64 bytes: the point's X then Y, each big-endian).
// False for any other length, a key that is no point of the curve, or any failure of the library.
bool verifySignature(std::string_view message, std::span<const std::uint8_t> signature,
                     std::span<const std::uint8_t> publicKey);
// Whether the library takes `publicKey` (the form above) as a P-256 public key.
bool isUsablePublicKey(std::span<const std::uint8_t> publicKey);

// The SHA-256 of `bytes`, or of the file at `path` (UTF-8), as 64 lowercase hexadecimal digits;
// nothing when the library or the file fails.
std::optional<std::string> sha256Hex(std::string_view bytes);
std::optional<std::string> sha256File(const std::string& path);

// Keeps the download at `path` only when its SHA-256 is `expectedHex`; otherwise deletes it (a file
// that cannot be read or hashed too) and answers false, for the caller to report kUpdateNotVerified.
bool keepDownloadIfSha256Is(const std::string& path, std::string_view expectedHex);

// The update document in the served bytes, read only when its signature verifies against
// `publicKey`; the update check passes kReleasePublicKey (updates/release_key.h).
UpdateDocumentRead openSignedUpdateDocument(std::string_view served, std::span<const std::uint8_t> publicKey);

}  // namespace lumvo
