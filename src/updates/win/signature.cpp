#include "updates/win/signature.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstring>
#include <vector>

#include "base/win/wide_text.h"
#include "updates/encoding.h"

namespace lumvo {
namespace {

class Algorithm {
public:
    explicit Algorithm(const wchar_t* name) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0))) handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class PublicKey {
public:
    explicit PublicKey(std::span<const std::uint8_t> point) {
        if (point.size() != 64 || !algorithm_.get()) return;
        // BCRYPT_ECCPUBLIC_BLOB: the blob's header, then X and Y.
        std::array<std::uint8_t, sizeof(BCRYPT_ECCKEY_BLOB) + 64> blob{};
        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
        std::memcpy(blob.data(), &header, sizeof header);
        std::memcpy(blob.data() + sizeof header, point.data(), 64);
        if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle_, blob.data(),
                                                static_cast<ULONG>(blob.size()), 0))) {
            handle_ = nullptr;
        }
    }
    ~PublicKey() {
        if (handle_) BCryptDestroyKey(handle_);
    }
    PublicKey(const PublicKey&) = delete;
    PublicKey& operator=(const PublicKey&) = delete;
    BCRYPT_KEY_HANDLE get() const { return handle_; }

private:
    Algorithm algorithm_{BCRYPT_ECDSA_P256_ALGORITHM};
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

using Digest = std::array<std::uint8_t, 32>;

std::optional<Digest> sha256(std::string_view bytes) {
    Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
    Digest digest{};
    if (!algorithm.get() || bytes.size() > 0xFFFFFFFFu) return std::nullopt;
    auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    if (!BCRYPT_SUCCESS(BCryptHash(algorithm.get(), nullptr, 0, input, static_cast<ULONG>(bytes.size()), digest.data(),
                                   static_cast<ULONG>(digest.size())))) {
        return std::nullopt;
    }
    return digest;
}

std::string hexOf(const Digest& digest) { return toHex(Bytes(digest.begin(), digest.end())); }

}  // namespace

bool verifySignature(std::string_view message, std::span<const std::uint8_t> signature,
                     std::span<const std::uint8_t> publicKey) {
    if (signature.size() != 64) return false;
    const PublicKey key(publicKey);
    const std::optional<Digest> digest = sha256(message);
    if (!key.get() || !digest) return false;
    Digest hash = *digest;
    std::array<std::uint8_t, 64> copy{};
    std::memcpy(copy.data(), signature.data(), copy.size());
    return BCRYPT_SUCCESS(BCryptVerifySignature(key.get(), nullptr, hash.data(), static_cast<ULONG>(hash.size()),
                                                copy.data(), static_cast<ULONG>(copy.size()), 0));
}

bool isUsablePublicKey(std::span<const std::uint8_t> publicKey) { return PublicKey(publicKey).get() != nullptr; }

std::optional<std::string> sha256Hex(std::string_view bytes) {
    const std::optional<Digest> digest = sha256(bytes);
    if (!digest) return std::nullopt;
    return hexOf(*digest);
}

std::optional<std::string> sha256File(const std::string& path) {
    HANDLE file = CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = algorithm.get() && BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &hash, nullptr, 0, nullptr, 0, 0));
    std::vector<std::uint8_t> block(1 << 16);
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) != FALSE;
        if (!ok || got == 0) break;
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, block.data(), got, 0));
    }
    Digest digest{};
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash) BCryptDestroyHash(hash);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return hexOf(digest);
}

bool keepDownloadIfSha256Is(const std::string& path, std::string_view expectedHex) {
    const std::optional<std::string> actual = sha256File(path);
    if (actual && isSha256Hex(expectedHex) && *actual == expectedHex) return true;
    DeleteFileW(utf8ToWide(path).c_str());
    return false;
}

UpdateDocumentRead openSignedUpdateDocument(std::string_view served, std::span<const std::uint8_t> publicKey) {
    const std::optional<SignedEnvelope> envelope = splitSignedEnvelope(served);
    if (!envelope) return {.fault = "not a signed update document"};
    if (!verifySignature(envelope->document, envelope->signature, publicKey)) {
        return {.fault = "the signature does not verify"};
    }
    return readUpdateDocument(envelope->document);
}

}  // namespace lumvo
