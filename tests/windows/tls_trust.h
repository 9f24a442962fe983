#pragma once
// The test TLS certificate, made at test time by scripts/layers/windows.sh: a self-signed
// certificate for 127.0.0.1 and localhost that is its own root. LUMVO_TEST_TLS_CERT and
// LUMVO_TEST_TLS_KEY name its PEM files (Windows paths). While the tests run it is one of the current
// user's trusted roots, so WinHTTP accepts the HTTPS fixture site (fixtures/update-site.js); a global
// environment (tls_trust.cpp) adds it before the first test and removes it after the last.
// LUMVO_TEST_TLS_UNTRUSTED_CERT and _KEY name a second one that is never trusted.
#include <string>

namespace lumvo::test {

// The value of an environment variable; empty when it is not set.
std::string environmentText(const char* name);

// A PEM certificate's DER bytes; empty when the file holds none.
std::string certificateDer(const std::string& pemPath);

// Adds the DER certificate to the current user's "Root" store, or removes it (every copy); false
// when the store cannot be opened or the change fails.
bool trustRootCertificate(const std::string& der);
bool distrustRootCertificate(const std::string& der);
// Whether the store, opened afresh, holds it.
bool rootStoreHolds(const std::string& der);

}  // namespace lumvo::test
