// Where the shipped plug-in's update jobs go: the maker's update site with the release key, the
// pinned Node.js archive, the system's tar and PowerShell. Fixed: nothing outside the DLL can point
// them anywhere else or weaken a check. A test build's DLL (scripts/package.sh without the release
// key) is built with LUMVO_TEST_BUILD_KEY_BYTES, the throw-away key its update document was signed
// with, in place of the release key: nothing a test build signs can update a release.
#include "settings/maker_site.h"
#include "updates/release_key.h"
#include "updates/win/update_jobs.h"

namespace lumvo {

// Node.js 22.20.0 for 64-bit Windows, as the Node.js project publishes it, and its SHA-256 from the
// project's SHASUMS256.txt for that release.
inline constexpr const char* kNodeArchiveUrl = "https://nodejs.org/dist/v22.20.0/node-v22.20.0-win-x64.zip";
inline constexpr const char* kNodeArchiveSha256 = "bb819d6eb8f5bfda294bbc83a7e4ec6539da67c4233d54b0d655b9248b15e29d";

UpdateSetup updateSetup() {
    static const UpdateSetup setup{
        {kMakerWebHost, 443},
#ifdef LUMVO_TEST_BUILD_KEY_BYTES
        {LUMVO_TEST_BUILD_KEY_BYTES},
#else
        kReleasePublicKey,
#endif
        {kNodeArchiveUrl, kNodeArchiveSha256},
        L"C:\\Windows\\System32\\tar.exe",
        L"",
    };
    return setup;
}

}  // namespace lumvo
