// The test build's update setup: the Windows tests point the update jobs at their HTTPS fixture, a
// key made for the run, a fixture Node.js archive and the stand-in tar and waiter, through the
// environment, read at every call so that each test can set its own. Only the test program and the
// test variant of the DLL are built with this file; the shipped DLL has its fixed setup.
#include <windows.h>

#include <algorithm>
#include <string>

#include "base/win/wide_text.h"
#include "updates/encoding.h"
#include "updates/win/update_jobs.h"

namespace lumvo {
namespace {

std::wstring environmentWide(const wchar_t* name) {
    wchar_t value[4096];
    const DWORD n = GetEnvironmentVariableW(name, value, 4096);
    return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
}

std::string environmentUtf8(const wchar_t* name) { return wideToUtf8(environmentWide(name)); }

}  // namespace

UpdateSetup updateSetup() {
    UpdateSetup setup;
    setup.site.host = "localhost";
    // Without a fixture the port is one nothing listens on: every check fails as unreachable.
    const int port = _wtoi(environmentWide(L"LUMVO_TEST_UPDATE_PORT").c_str());
    setup.site.port = static_cast<std::uint16_t>(port > 0 && port < 65536 ? port : 1);
    // Without a key of the run nothing verifies: an all-zero key is no point of the curve.
    if (const auto key = decodeHex(environmentUtf8(L"LUMVO_TEST_UPDATE_KEY")); key && key->size() == 64) {
        std::copy(key->begin(), key->end(), setup.publicKey.begin());
    }
    setup.nodeArchive = {environmentUtf8(L"LUMVO_TEST_NODE_URL"), environmentUtf8(L"LUMVO_TEST_NODE_SHA256")};
    setup.tarProgram = environmentWide(L"LUMVO_TEST_TAR");
    setup.waiterProgram = environmentWide(L"LUMVO_TEST_WAITER");
    return setup;
}

}  // namespace lumvo
