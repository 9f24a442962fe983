#include "tls_trust.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

#include "test_support.h"

namespace lumvo::test {
namespace {

// Every test certificate has this common name: one that a crashed run left in the store is found
// and removed by the next.
constexpr char kTestCommonName[] = "LUMVO test TLS";

HCERTSTORE openRootStore() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
}

// Removes every certificate `find` matches and commits the removal; false when one could not be
// removed. Wine needs both quirks handled: a search does not go on from a certificate just deleted
// (so each starts afresh), and a deleted certificate keeps the store open, so closing it would not
// write the removal to the registry (hence the explicit commit).
bool removeMatching(HCERTSTORE store, DWORD findType, const void* what) {
    bool removed = false;
    for (int i = 0; i < 100 && !removed; ++i) {
        const CERT_CONTEXT* found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, findType, what, nullptr);
        if (!found) removed = true;
        else if (!CertDeleteCertificateFromStore(found)) break;  // frees `found` either way
    }
    return CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) && removed;
}

class TestCertificateTrust final : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string pem = environmentText("LUMVO_TEST_TLS_CERT");
        if (pem.empty()) return;
        if (HCERTSTORE store = openRootStore()) {
            removeMatching(store, CERT_FIND_SUBJECT_STR_A, kTestCommonName);
            CertCloseStore(store, 0);
        }
        der_ = certificateDer(pem);
        if (der_.empty() || !trustRootCertificate(der_)) {
            std::fprintf(stderr, "could not trust the test certificate %s\n", pem.c_str());
            der_.clear();
        }
    }
    void TearDown() override {
        if (!der_.empty()) distrustRootCertificate(der_);
    }

private:
    std::string der_;
};

[[maybe_unused]] auto* const testCertificateTrust = ::testing::AddGlobalTestEnvironment(new TestCertificateTrust);

}  // namespace

std::string environmentText(const char* name) {
    char value[32768];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string certificateDer(const std::string& pemPath) {
    const std::string pem = readBytes(pemPath);
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                                             nullptr, &size, nullptr, nullptr))
        return {};
    std::string der(size, '\0');
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    der.resize(size);
    return der;
}

bool trustRootCertificate(const std::string& der) {
    HCERTSTORE store = openRootStore();
    if (!store) return false;
    const bool ok =
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return ok;
}

// Calls `use` with the store and the certificate's context; false when either cannot be made.
template <class Use>
bool withCertificate(const std::string& der, Use use) {
    HCERTSTORE store = openRootStore();
    if (!store) return false;
    bool ok = false;
    if (const CERT_CONTEXT* certificate = CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()))) {
        ok = use(store, certificate);
        CertFreeCertificateContext(certificate);
    }
    CertCloseStore(store, 0);
    return ok;
}

bool distrustRootCertificate(const std::string& der) {
    return withCertificate(der, [](HCERTSTORE store, const CERT_CONTEXT* certificate) {
        return removeMatching(store, CERT_FIND_EXISTING, certificate);
    });
}

bool rootStoreHolds(const std::string& der) {
    return withCertificate(der, [](HCERTSTORE store, const CERT_CONTEXT* certificate) {
        const CERT_CONTEXT* found =
            CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr);
        if (found) CertFreeCertificateContext(found);
        return found != nullptr;
    });
}

}  // namespace lumvo::test
