#pragma once
// The update document: what the maker's update site says about the latest release, and the signed
// envelope it is served in (docs/updates.md). Nothing here checks a signature; the Windows part
// (updates/win/signature.h) does, and reads a document only once it verified.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "updates/encoding.h"

namespace lumvo {

// What the DJ is told whenever a download or a document fails its check.
inline constexpr const char* kUpdateNotVerified = "The update could not be verified.";

// A version "a.b.c" as the number (a * 1000 + b) * 1000 + c. Each part is read like "%d": blanks
// before it, an optional sign, then digits; the first part that cannot be read ends the reading and
// it and the parts after it count as 0 ("0.65" is 0, 65, 0; "1.x.3" is 1, 0, 0). A part past the
// range of an int counts as that range's end.
std::int64_t versionNumber(std::string_view version);
// Whether `latest` is not empty and its number is greater than `current`'s.
bool isNewerVersion(std::string_view latest, std::string_view current);
// "https://" + the maker's host + "/plugin/LUMVO-Video-Wall-" + version + ".zip".
std::string defaultPackageUrl(std::string_view version);

// A document's fields once read and checked.
struct UpdateDocument {
    std::string version;        // "version", never empty
    std::string packageUrl;     // "url", or the default package address for the version; HTTPS
    std::string packageSha256;  // "sha256", 64 lowercase hexadecimal digits
    std::string changelog;      // "changelog", or "notes" when that is empty
    std::string nodeUrl;        // "nodeUrl", HTTPS, or empty when the document names no Node.js archive
    std::string nodeSha256;     // "nodeSha256" with a nodeUrl, else empty
};

struct UpdateDocumentRead {
    std::optional<UpdateDocument> document;
    std::string fault;  // why there is none, for the developer; the DJ sees kUpdateNotVerified
};

// Reads a document's text (the bytes the signature covers). Refused: no "version"; a "url" or
// "nodeUrl" that is not HTTPS; a "sha256" that is not 64 lowercase hexadecimal digits; a "nodeUrl"
// without such a "nodeSha256".
UpdateDocumentRead readUpdateDocument(std::string_view text);

// The served bytes: one header line, then the document exactly as signed.
//   LUMVO-SIGNED ecdsa-p256-sha256 <base64 of the 64-byte signature r || s>\n<document>
inline constexpr std::string_view kSignedHeaderStart = "LUMVO-SIGNED ecdsa-p256-sha256 ";
// The largest envelope read; the update site's documents are a few hundred bytes.
inline constexpr std::size_t kMaxSignedEnvelopeBytes = 64 * 1024;

struct SignedEnvelope {
    std::string_view document;  // inside the served bytes
    Bytes signature;            // 64 bytes: r then s, each big-endian
};

// Splits served bytes into the document and its signature; nothing when the header is not exactly
// the one above (a CR before the LF included), the signature is not 64 bytes of strict base64, the
// document is empty, or the whole is over kMaxSignedEnvelopeBytes.
std::optional<SignedEnvelope> splitSignedEnvelope(std::string_view served);

}  // namespace lumvo
