#include "updates/update_document.h"

#include <climits>
#include <utility>

#include "base/json.h"
#include "settings/maker_site.h"
#include "updates/https_url.h"

namespace lumvo {
namespace {

bool isScanBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// One "%d" at `at`; false when there is no digit to read.
bool readPart(std::string_view text, std::size_t& at, std::int64_t& part) {
    while (at < text.size() && isScanBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value <= INT_MAX) value = value * 10 + (text[at] - '0');
    }
    if (value > INT_MAX) value = negative ? static_cast<std::int64_t>(INT_MAX) + 1 : INT_MAX;
    part = negative ? -value : value;
    return true;
}

}  // namespace

std::int64_t versionNumber(std::string_view version) {
    std::int64_t parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (at >= version.size() || version[at] != '.') break;
            ++at;
        }
        if (!readPart(version, at, parts[i])) break;
    }
    return (parts[0] * 1000 + parts[1]) * 1000 + parts[2];
}

bool isNewerVersion(std::string_view latest, std::string_view current) {
    return !latest.empty() && versionNumber(latest) > versionNumber(current);
}

std::string defaultPackageUrl(std::string_view version) {
    return std::string("https://") + kMakerWebHost + "/plugin/LUMVO-Video-Wall-" + std::string(version) + ".zip";
}

UpdateDocumentRead readUpdateDocument(std::string_view text) {
    UpdateDocument doc;
    doc.version = jsonGetString(text, "version");
    if (doc.version.empty()) return {.fault = "no version"};

    doc.packageUrl = jsonGetString(text, "url");
    if (doc.packageUrl.empty()) doc.packageUrl = defaultPackageUrl(doc.version);
    if (!parseHttpsUrl(doc.packageUrl)) return {.fault = "the package address is not HTTPS"};
    doc.packageSha256 = jsonGetString(text, "sha256");
    if (!isSha256Hex(doc.packageSha256)) return {.fault = "no SHA-256 of the package"};

    doc.changelog = jsonGetString(text, "changelog");
    if (doc.changelog.empty()) doc.changelog = jsonGetString(text, "notes");

    doc.nodeUrl = jsonGetString(text, "nodeUrl");
    if (!doc.nodeUrl.empty()) {
        if (!parseHttpsUrl(doc.nodeUrl)) return {.fault = "the Node.js address is not HTTPS"};
        doc.nodeSha256 = jsonGetString(text, "nodeSha256");
        if (!isSha256Hex(doc.nodeSha256)) return {.fault = "no SHA-256 of the Node.js archive"};
    }
    return {.document = std::move(doc)};
}

std::optional<SignedEnvelope> splitSignedEnvelope(std::string_view served) {
    if (served.size() > kMaxSignedEnvelopeBytes) return std::nullopt;
    if (served.substr(0, kSignedHeaderStart.size()) != kSignedHeaderStart) return std::nullopt;
    const std::size_t lineEnd = served.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    const std::string_view encoded = served.substr(kSignedHeaderStart.size(), lineEnd - kSignedHeaderStart.size());
    std::optional<Bytes> signature = decodeBase64(encoded);  // a CR or blank is no base64 digit
    if (!signature || signature->size() != 64) return std::nullopt;
    const std::string_view document = served.substr(lineEnd + 1);
    if (document.empty()) return std::nullopt;
    return SignedEnvelope{document, std::move(*signature)};
}

}  // namespace lumvo
