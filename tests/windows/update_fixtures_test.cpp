// What the update's Windows tests stand on: WinHTTP reaches the HTTPS fixture site only while the
// test certificate is a trusted root, and the site serves its files whole, trickles one that has a
// .slow sidecar, and counts requests; a folder zipped by make-zip.js comes back byte for byte from
// the stand-in tar.exe, which refuses an archive that is garbled or names a place outside its folder;
// the stand-ins record their exact command lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "update_site.h"

namespace {

using namespace lumvo::test;
namespace fs = std::filesystem;

std::string patterned(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// GET `path` from the site with the plug-in's client: the reply's status (0 without one) and body.
int fetch(const UpdateSite& site, const std::string& path, std::string& body) {
    lumvo::WinHttpClient http;
    lumvo::HttpRequest request;
    request.path = path;
    request.options = site.options();
    lumvo::HttpReply reply = http.send(request);
    lumvo::MemorySink sink(body);
    if (reply.replied() && !reply.readBody(sink)) return -1;
    return reply.status();
}

// A UTF-8 path for the wide file calls.
fs::path wide(const std::string& utf8) { return fs::path(lumvo::utf8ToWide(utf8)); }

std::string readWide(const std::string& utf8Path) {
    std::ifstream in(wide(utf8Path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string tarCommand(const std::string& archive, const std::string& folder) {
    return "\"" + standinFolder() + "\\tar.exe\" -xf \"" + archive + "\" -C \"" + folder + "\"";
}

TEST(UpdateFixtures, TrustedHttpsReachesTheFixture) {
    ASSERT_FALSE(environmentText("LUMVO_TEST_TLS_CERT").empty()) << "run by scripts/layers/windows.sh, which makes it";
    TempFolder folder;
    makeFolders(folder / "releases");
    const std::string release = patterned(300 * 1024, 1);
    writeBytes(folder / "releases\\lumvo.zip", release);
    const std::string slow = patterned(3000, 2);
    writeBytes(folder / "slow.bin", slow);
    writeBytes(folder / "slow.bin.slow", "6000");

    UpdateSite site(folder.path());
    ASSERT_NE(site.port(), 0) << site.log();
    std::string body;
    EXPECT_EQ(fetch(site, "/releases/lumvo.zip", body), 200);
    EXPECT_TRUE(body == release) << body.size() << " bytes";
    EXPECT_EQ(fetch(site, "/releases/missing.zip", body), 404);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(site, "/slow.bin", body), 200);
    const double slowMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(body == slow) << body.size() << " bytes";
    EXPECT_GE(slowMs, 400) << "3000 bytes at 6000 bytes a second";
    EXPECT_EQ(site.hits("/releases/lumvo.zip"), 1);
    EXPECT_EQ(site.hits("/nothing"), 0);

    // The same files behind a certificate no store holds: refused.
    UpdateSite stranger(folder.path(), environmentText("LUMVO_TEST_TLS_UNTRUSTED_CERT"),
                        environmentText("LUMVO_TEST_TLS_UNTRUSTED_KEY"));
    ASSERT_NE(stranger.port(), 0) << stranger.log();
    EXPECT_EQ(fetch(stranger, "/releases/lumvo.zip", body), 0);

    // The run's end takes the certificate out of the prefix's store, so runs do not pile them up.
    // (Wine reads the trusted roots once per process: WinHTTP here would go on trusting it.)
    const std::string der = certificateDer(environmentText("LUMVO_TEST_TLS_CERT"));
    ASSERT_TRUE(rootStoreHolds(der));
    EXPECT_TRUE(distrustRootCertificate(der));
    EXPECT_FALSE(rootStoreHolds(der));
    EXPECT_TRUE(trustRootCertificate(der));  // for the tests after this one
}

TEST(UpdateFixtures, StandInTarUnpacksAZippedFolderByteForByte) {
    TempFolder scratch;
    const std::string source = scratch / "source";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"server\\server.js", "console.log('hi');\n"},
        {"web\\it's Zoë.txt", "caf\xC3\xA9"},
        {"web\\brand\\mark.bin", patterned(70000, 3)},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : files) {
        fs::create_directories(wide(source + "\\" + name).parent_path());
        std::ofstream(wide(source + "\\" + name), std::ios::binary) << bytes;
    }
    const std::string zip = scratch / "release.zip";
    ASSERT_EQ(makeZip("\"" + zip + "\" \"" + source + "\" video-wall", scratch / "make-zip.log"), 0u)
        << readBytes(scratch / "make-zip.log");

    const std::string out = scratch / "out";
    makeFolders(out);
    ScopedEnvironment log("LUMVO_STANDIN_LOG", (scratch / "standin.log").c_str());
    EXPECT_EQ(runLogged(tarCommand(zip, out), scratch / "tar.log"), 0u) << readBytes(scratch / "tar.log");
    for (const auto& [name, bytes] : files) {
        EXPECT_TRUE(readWide(out + "\\video-wall\\" + name) == bytes) << name;
    }
    EXPECT_EQ(readBytes(scratch / "standin.log"), tarCommand(zip, out) + "\n");

    // Any other form is refused; the waiter's stand-in takes anything, recording it exactly.
    EXPECT_EQ(runLogged("\"" + standinFolder() + "\\tar.exe\" -xzf \"" + zip + "\"", scratch / "tar.log"), 2u);
    DeleteFileA((scratch / "standin.log").c_str());
    const std::string waiter = "\"" + standinFolder() +
                               "\\powershell.exe\" -NoProfile -Command \"Wait-Process -Id 42; "
                               "Start-Process 'C:\\Zoë\\host.exe'\"";
    EXPECT_EQ(runLogged(waiter, scratch / "powershell.log"), 0u);
    EXPECT_EQ(readBytes(scratch / "standin.log"), waiter + "\n");
}

}  // namespace
