// The update's portable rules: the signed document, the download addresses, and what an unpacked
// package may and may not put where.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "updates/encoding.h"
#include "updates/https_url.h"
#include "updates/package_rules.h"
#include "updates/swap_command.h"
#include "updates/update_document.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;

const std::string kHashA(64, 'a');
const std::string kHashB = "b" + std::string(63, '0');

TEST(UpdateDocument, VersionsCompareAsOneNumberOfThreeParts) {
    EXPECT_FALSE(isNewerVersion("0.65", "0.65"));
    EXPECT_TRUE(isNewerVersion("0.66", "0.65"));
    EXPECT_TRUE(isNewerVersion("1.0", "0.65"));
    EXPECT_TRUE(isNewerVersion("0.65.1", "0.65"));
    EXPECT_FALSE(isNewerVersion("0.7", "0.65"));  // 7 < 65
    EXPECT_FALSE(isNewerVersion("", "0.0"));
    EXPECT_FALSE(isNewerVersion("beta", "0.0"));
    EXPECT_EQ(versionNumber("1.x.3"), 1000000);  // reading stops at the first part it cannot read
    EXPECT_EQ(versionNumber("99999999999.0"), versionNumber("2147483647.0"));
}

TEST(UpdateDocument, ReadsTheSignedFieldsAndRefusesWhatCannotBeVerified) {
    const UpdateDocumentRead full = readUpdateDocument(
        R"({"version":"0.66","url":"https://dl.lumvo.app/p.zip","sha256":")" + kHashA +
        R"(","changelog":"","notes":"Faster photos","nodeUrl":"https://dl.lumvo.app/node.zip","nodeSha256":")" +
        kHashB + R"("})");
    ASSERT_TRUE(full.document) << full.fault;
    EXPECT_EQ(full.document->version, "0.66");
    EXPECT_EQ(full.document->packageUrl, "https://dl.lumvo.app/p.zip");
    EXPECT_EQ(full.document->packageSha256, kHashA);
    EXPECT_EQ(full.document->changelog, "Faster photos");
    EXPECT_EQ(full.document->nodeUrl, "https://dl.lumvo.app/node.zip");
    EXPECT_EQ(full.document->nodeSha256, kHashB);

    const UpdateDocumentRead least = readUpdateDocument(R"({"version":"0.70","sha256":")" + kHashA + R"("})");
    ASSERT_TRUE(least.document) << least.fault;
    EXPECT_EQ(least.document->packageUrl, "https://lumvo.app/plugin/LUMVO-Video-Wall-0.70.zip");
    EXPECT_TRUE(least.document->nodeUrl.empty());

    const std::string refused[] = {
        R"({"sha256":")" + kHashA + R"("})",
        R"({"version":"0.66","url":"http://lumvo.app/p.zip","sha256":")" + kHashA + R"("})",
        R"({"version":"0.66"})",
        R"({"version":"0.66","sha256":")" + std::string(64, 'A') + R"("})",
        R"({"version":"0.66","sha256":")" + kHashA + R"(","nodeUrl":"https://n.example/node.zip"})",
        R"({"version":"0.66","sha256":")" + kHashA + R"(","nodeUrl":"http://n.example/n.zip","nodeSha256":")" + kHashB +
            R"("})",
    };
    for (const std::string& text : refused) EXPECT_FALSE(readUpdateDocument(text).document) << text;
}

TEST(UpdateDocument, TheEnvelopeGivesTheServedDocumentBytesAndAStrictSignature) {
    const std::string signature = std::string(86, 'A') + "==";  // 64 zero bytes
    const std::string document = "{\"version\":\"0.66\"}\r\n";
    const std::string served = std::string(kSignedHeaderStart) + signature + "\n" + document;
    const std::optional<SignedEnvelope> envelope = splitSignedEnvelope(served);
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->document, document);  // exactly as served, line end and all
    EXPECT_EQ(envelope->signature, Bytes(64, 0));

    const std::string broken[] = {
        std::string(kSignedHeaderStart) + signature + "\r\n" + document,
        "LUMVO-SIGNED ecdsa-p384-sha384 " + signature + "\n" + document,
        std::string(kSignedHeaderStart) + std::string(84, 'A') + "\n" + document,     // 63 bytes
        std::string(kSignedHeaderStart) + std::string(85, 'A') + "B==\n" + document,  // unused bits set
        std::string(kSignedHeaderStart) + signature + "\n",
        std::string(kSignedHeaderStart) + signature,
        document,
        std::string(kSignedHeaderStart) + signature + "\n" + std::string(kMaxSignedEnvelopeBytes, ' '),
    };
    for (const std::string& text : broken) EXPECT_FALSE(splitSignedEnvelope(text)) << text.substr(0, 140);
}

TEST(UpdateDocument, DownloadsAreHttpsOnly) {
    const std::optional<HttpsUrl> plain = parseHttpsUrl("https://lumvo.app");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "lumvo.app");
    EXPECT_EQ(plain->port, 443);
    EXPECT_EQ(plain->path, "/");
    const std::optional<HttpsUrl> full = parseHttpsUrl("https://dl.lumvo.app:8443/a/b.zip?v=2#top");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->host, "dl.lumvo.app");
    EXPECT_EQ(full->port, 8443);
    EXPECT_EQ(full->path, "/a/b.zip?v=2");
    for (const char* url : {"http://lumvo.app/p.zip", "HTTPS://lumvo.app/p.zip", "https://", "https:///p.zip",
                            "https://user@evil.example/p.zip", "https://lumvo.app:0/", "https://lumvo.app:99999/",
                            "https://lumvo.app/a b.zip", "ftp://lumvo.app/p.zip", " https://lumvo.app/"}) {
        EXPECT_FALSE(parseHttpsUrl(url)) << url;
    }
}

// A bundled dependency's server.js may be listed first; the package's own root is the shallowest
// folder holding server/server.js outside node_modules.
TEST(UpdatePackage, TheRootIsTheShallowestServerFolderOutsideDependencies) {
    EXPECT_EQ(findPackageRoot({"pkg/node_modules/tiny-http/server/server.js", "pkg/web/index.html",
                               "pkg/server/server.js", "pkg/server/src/app.js"}),
              "pkg");
    EXPECT_EQ(findPackageRoot({"a/b/server/server.js", "a\\Server\\SERVER.JS", "b/server/server.js"}), "a");
    EXPECT_EQ(findPackageRoot({"server/server.js", "x/server/server.js"}), "");
    EXPECT_EQ(findPackageRoot({"pkg/server/node_modules/dep/server/server.js", "pkg/app/server.js"}), std::nullopt);
    EXPECT_EQ(findPackageRoot({"node_modules/server/server.js", "LUMVO Video Wall.dll"}), std::nullopt);
}

// A throw-away folder under the system's temp folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() : path_(fs::temp_directory_path() / ("lumvo-updates-" + std::to_string(counter()++))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(UpdatePackage, AnUnpackFolderIsEmptiedWithoutFollowingLinks) {
    ScratchFolder scratch;
    const fs::path unpack = scratch.path() / "update" / "unpack";
    writeFile(unpack / "old-pkg" / "server" / "server.js", "old");
    writeFile(unpack / "old-pkg" / "LUMVO Video Wall.dll", "old plug-in");
    writeFile(unpack / "notes.txt", "old");
    writeFile(scratch.path() / "dj" / "layout.ini", "theme=neon");
    fs::create_directory_symlink(scratch.path() / "dj", unpack / "linked");

    ASSERT_EQ(findPackageRoot(listPackageFiles(unpack)), "old-pkg");  // what a later unpack would find
    EXPECT_TRUE(emptyFolder(unpack));
    EXPECT_TRUE(fs::is_directory(unpack));
    EXPECT_TRUE(fs::is_empty(unpack));
    EXPECT_TRUE(fs::exists(scratch.path() / "dj" / "layout.ini")) << "emptying followed a link out of the folder";

    const fs::path runtime = scratch.path() / "runtime" / "unpack";  // missing: made
    EXPECT_TRUE(emptyFolder(runtime));
    EXPECT_TRUE(fs::is_directory(runtime));
}

TEST(UpdatePackage, KeptNamesAreComparedAsTheFileSystemComparesThem) {
    for (const char* name : {"layout.ini", "Layout.ini", "LAYOUT.INI", "Uploads", "uploads", "Looks", "layout.ini.",
                             "uploads ", "Guest-BG.webp", "Update", "server.PID"}) {
        EXPECT_TRUE(isKeptName(name)) << name;
    }
    for (const char* name : {"layout.ini.bak", "uploads2", "server.js", "web", "look", ".layout.ini", ""}) {
        EXPECT_FALSE(isKeptName(name)) << name;
    }
}

// The single-quoted literals of a PowerShell command, read the way PowerShell reads them: any of
// the five single-quote characters opens and ends a literal, and two of them in a row inside one
// stand for the second.
std::vector<std::u16string> powerShellLiterals(std::u16string_view script) {
    const auto isQuote = [](char16_t c) { return c == u'\'' || (c >= u'\u2018' && c <= u'\u201B'); };
    std::vector<std::u16string> literals;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (!isQuote(script[i])) continue;
        std::u16string literal;
        for (++i; i < script.size(); ++i) {
            if (isQuote(script[i])) {
                if (i + 1 < script.size() && isQuote(script[i + 1])) {
                    literal += script[++i];
                    continue;
                }
                break;
            }
            literal += script[i];
        }
        literals.push_back(literal);
    }
    return literals;
}

TEST(UpdateSwap, EveryPowerShellQuoteInAPluginFolderStaysInsideItsLiteral) {
    const std::pair<const char*, const char16_t*> folders[] = {
        {"C:\\Users\\DJ O'Neil\\Plugins64", u"C:\\Users\\DJ O'Neil\\Plugins64"},
        {"C:\\Users\\DJ O\u2018Neil\\Plugins64", u"C:\\Users\\DJ O\u2018Neil\\Plugins64"},
        {"C:\\Users\\DJ O\u2019Neil\\Plugins64", u"C:\\Users\\DJ O\u2019Neil\\Plugins64"},
        {"C:\\Users\\DJ \u201AQ\u201B; Remove-Item C:\\ -Recurse; \u2019\\Plugins64",
         u"C:\\Users\\DJ \u201AQ\u201B; Remove-Item C:\\ -Recurse; \u2019\\Plugins64"},
        {"D:\\\xF0\x9F\x8E\xA7 B\xC3\xBChne\\Plugins64", u"D:\\\U0001F3A7 B\u00FChne\\Plugins64"},
    };
    for (const auto& [utf8, utf16] : folders) {
        const std::string staged = std::string(utf8) + "\\update\\LUMVO Video Wall.dll";
        const std::string installed = std::string(utf8) + "\\LUMVO Video Wall.dll";
        const std::u16string arguments = swapWaiterArguments(4242, staged, installed);
        const std::u16string stagedWide = std::u16string(utf16) + u"\\update\\LUMVO Video Wall.dll";
        const std::u16string installedWide = std::u16string(utf16) + u"\\LUMVO Video Wall.dll";
        EXPECT_EQ(powerShellLiterals(arguments),
                  (std::vector<std::u16string>{stagedWide, installedWide, stagedWide, installedWide + u".old"}))
            << utf8;
        EXPECT_NE(arguments.find(u"(Get-Process -Id 4242 -ErrorAction"), std::u16string::npos);
    }
}

}  // namespace
}  // namespace lumvo
