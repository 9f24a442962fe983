// The update check and the install steps over a scripted update site and a real temp folder: what
// is downloaded, checked, unpacked and copied where, and what is refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/scripted_http_client.h"
#include "updates/install_steps.h"
#include "updates/update_check.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// The served envelope stands for itself: a document "opens" when its envelope starts "signed:".
UpdateDocumentRead openTestEnvelope(std::string_view served) {
    if (served.substr(0, 7) != "signed:") return {.fault = "not signed"};
    return readUpdateDocument(served.substr(7));
}

std::string document(const std::string& version, const std::string& sha) {
    return R"(signed:{"version":")" + version + R"(","url":"https://site.test/pkg.zip","sha256":")" + sha +
           R"(","changelog":"Faster photos"})";
}

const std::string kSha(64, 'a');

TEST(UpdateCheck, TakesTheFirstDocumentThatVerifiesAndSaysWhyWhenNoneDoes) {
    const UpdateSite site{"site.test", 443};
    {
        test::ScriptedHttpClient http;
        http.script("/plugin/update.json", {.status = 200, .body = "<html>oops</html>"});  // no "version"
        http.script("/v1/plugin/update", {.status = 200, .body = document("0.66", kSha)});
        const UpdateInfo info = checkForUpdate(http, site, openTestEnvelope, "0.65", true);
        EXPECT_TRUE(info.reached && info.newer && info.updateAvailable);
        EXPECT_EQ(info.latestVersion, "0.66");
        EXPECT_EQ(info.changelog, "Faster photos");
        ASSERT_EQ(http.requests().size(), 2u);
        EXPECT_TRUE(http.requests()[0].options.secure);
        EXPECT_EQ(http.requests()[0].options.host, "site.test");
    }
    {
        test::ScriptedHttpClient http;
        http.script("/plugin/update.json", {.status = 200, .body = R"({"version":"9.9","sha256":")" + kSha + "\"}"});
        const UpdateInfo info = checkForUpdate(http, site, openTestEnvelope, "0.65", true);
        EXPECT_FALSE(info.reached || info.updateAvailable) << "an unsigned document offers nothing";
        EXPECT_EQ(info.error, kUpdateNotVerified);
    }
    {
        test::ScriptedHttpClient http;  // nothing answers; the wall files are missing
        const UpdateInfo info = checkForUpdate(http, site, openTestEnvelope, "0.65", false);
        EXPECT_EQ(info.error, kSiteNotReached);
        EXPECT_TRUE(info.updateAvailable && info.wallFilesMissing);
        EXPECT_TRUE(info.packageSha256.empty());
    }
}

// An install's tools over a scratch folder: the "site" is a map of address to bytes, a download's
// SHA-256 stands as the bytes' own text, and unpacking copies the folder prepared for the archive.
struct Bench {
    fs::path root = fs::temp_directory_path() /
                    ("lumvo-install-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::map<std::string, std::string> site;
    std::map<std::string, fs::path> archives;  // archive bytes -> the tree it unpacks to
    std::vector<std::string> downloads;
    int unpacks = 0;

    Bench() {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Bench() { fs::remove_all(root); }

    InstallTools tools() {
        InstallTools tools;
        tools.download = [this](const std::string& url, const fs::path& file, const HttpProgress& progress) {
            downloads.push_back(url);
            auto found = site.find(url);
            if (found == site.end()) return false;
            if (progress) progress(found->second.size(), found->second.size());
            write(file, found->second);
            return true;
        };
        tools.keepIfSha256 = [](const fs::path& file, std::string_view sha) {
            if (read(file) == sha) return true;
            fs::remove(file);
            return false;
        };
        tools.unpack = [this](const fs::path& archive, const fs::path& folder) {
            ++unpacks;
            auto tree = archives.find(read(archive));
            if (tree == archives.end()) return false;
            fs::copy(tree->second, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
            return true;
        };
        return tools;
    }

    // A package tree under root/trees/<name>; `files` are relative paths and their bytes.
    fs::path tree(const std::string& name, const std::map<std::string, std::string>& files) {
        const fs::path at = root / "trees" / name;
        for (const auto& [path, bytes] : files) write(at / path, bytes);
        return at;
    }
};

TEST(UpdateInstall, OnlyTheVerifiedPackagesOwnWallFilesAreInstalledAndTheDjsFilesStay) {
    Bench bench;
    const fs::path wall = bench.root / "wall";
    const WallUpdatePlaces places = wallUpdatePlaces(wall);
    write(wall / "layout.ini", "the DJ's");
    write(wall / "uploads" / "guest.jpg", "a guest's photo");
    // An older package's files still in the unpack folder: sorted first, they would be the root.
    write(places.unpackFolder / "a-old" / "server" / "server.js", "old wall");
    const std::string packageBytes = "package-v0.66";
    bench.site["https://site.test/pkg.zip"] = packageBytes;
    bench.archives[packageBytes] = bench.tree("pkg", {{"b-pkg/node_modules/dep/server/server.js", "a dependency"},
                                                      {"b-pkg/node_modules/x/server.js", "another"},
                                                      {"b-pkg/server/server.js", "new wall"},
                                                      {"b-pkg/web/index.html", "guest page"},
                                                      {"b-pkg/Layout.ini", "package default"},
                                                      {"b-pkg/UPLOADS/sample.jpg", "sample"}});

    UpdateInfo info;
    info.complete = info.reached = true;
    info.currentVersion = "0.65";
    info.latestVersion = "0.65";  // not newer: nothing to stage
    info.downloadUrl = "https://site.test/pkg.zip";
    info.packageSha256 = packageBytes;
    info.wallFilesMissing = true;
    std::vector<int> progress;
    WallUpdateJob job;
    job.tools = bench.tools();
    job.check = [&] { return info; };
    job.wallFilesPresent = [&] {
        return fs::exists(wall / "server" / "server.js") && fs::exists(wall / "web" / "index.html");
    };
    job.progress = [&](int percent) { progress.push_back(percent); };

    // A download that is not the package the document names is deleted and nothing is unpacked.
    info.packageSha256 = "another package";
    InstallOutcome outcome = updateWallFiles(places, job);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message, kUpdateNotVerified);
    EXPECT_EQ(bench.unpacks, 0);
    EXPECT_FALSE(fs::exists(places.package));

    info.packageSha256 = packageBytes;
    progress.clear();
    outcome = updateWallFiles(places, job);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_FALSE(outcome.stagedPlugin);
    EXPECT_EQ(read(wall / "server" / "server.js"), "new wall");
    EXPECT_FALSE(fs::exists(wall / "a-old")) << "nothing of an earlier package is installed";
    EXPECT_EQ(read(wall / "layout.ini"), "the DJ's");
    EXPECT_FALSE(fs::exists(wall / "Layout.ini"));  // one file on Windows: the DJ's would be overwritten
    EXPECT_FALSE(fs::exists(wall / "UPLOADS" / "sample.jpg"));
    EXPECT_FALSE(fs::exists(wall / "uploads" / "sample.jpg"));
    EXPECT_EQ(read(wall / "VERSION"), "0.65\n");
    EXPECT_FALSE(fs::exists(places.package));
    EXPECT_EQ(progress.front(), 1);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_NE(std::find(progress.begin(), progress.end(), 85), progress.end());

    // With the wall files in place and nothing newer there is nothing to do.
    info.wallFilesMissing = false;
    outcome = updateWallFiles(places, job);
    EXPECT_EQ(outcome.message, kUpToDate);

    // A newer version without a verified document downloads nothing.
    info.latestVersion = "0.66";
    info.reached = false;
    info.packageSha256.clear();
    info.error = kSiteNotReached;
    const std::size_t before = bench.downloads.size();
    outcome = updateWallFiles(places, job);
    EXPECT_EQ(outcome.message, kSiteNotReached);
    EXPECT_EQ(bench.downloads.size(), before);
}

TEST(UpdateInstall, NodeComesFromTheVerifiedDocumentOrThePinnedArchive) {
    Bench bench;
    const NodePlaces places = nodePlaces(bench.root / "runtime");
    const NodeArchive pinned{"https://nodejs.test/node-pinned.zip", "pinned-archive"};
    bench.site[pinned.url] = pinned.sha256;
    bench.archives[pinned.sha256] = bench.tree("pinned", {{"node-v22-win-x64/node.exe", "pinned node"},
                                                          {"node-v22-win-x64/node_modules/npm/node.exe", "not this"}});
    bench.site["https://site.test/node.zip"] = "document-archive";
    bench.archives["document-archive"] = bench.tree("doc", {{"outer/inner/node.exe", "document node"}});

    bool installed = false;
    std::optional<UpdateDocument> doc;
    NodeInstallJob job;
    job.tools = bench.tools();
    job.nodeInstalled = [&] { return installed; };
    job.document = [&] { return doc; };
    job.builtIn = pinned;

    installed = true;
    EXPECT_TRUE(installNode(places, job).ok);
    EXPECT_TRUE(bench.downloads.empty()) << "a Node.js already there is used as it is";

    installed = false;
    InstallOutcome outcome = installNode(places, job);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(read(places.privateNode / "node.exe"), "pinned node");
    EXPECT_FALSE(fs::exists(places.archive));

    doc = UpdateDocument{.version = "0.66", .nodeUrl = "https://site.test/node.zip", .nodeSha256 = "document-archive"};
    outcome = installNode(places, job);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(bench.downloads.back(), "https://site.test/node.zip");
    EXPECT_EQ(read(places.privateNode / "node.exe"), "document node") << "the folder that holds node.exe";

    doc->nodeSha256 = "something else";
    outcome = installNode(places, job);
    EXPECT_EQ(outcome.message, kUpdateNotVerified);
    bench.site.erase(pinned.url);
    doc.reset();
    EXPECT_EQ(installNode(places, job).message, kNodeDownloadFailed);
}

}  // namespace
}  // namespace lumvo
