// The update's checks on the system's crypto library: a document signed at test time with a
// throw-away key by the release's own signing script (scripts/sign-update.mjs under node.exe)
// verifies, and one changed byte of it or of its signature does not; downloads are kept only with
// the SHA-256 the document names; the unpack folder on disk.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "serverlink/win/server_process.h"
#include "updates/encoding.h"
#include "updates/release_key.h"
#include "updates/win/signature.h"
#include "updates/package_rules.h"
#include "updates/win/unpack_folder.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;

// Runs the signing script with `arguments` under node.exe, its output going to `log`; its exit code.
DWORD runSigningScript(const std::string& arguments, const std::string& log) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    std::string command(1, '"');
    command += lumvo::findNode() + "\" \"" + repoPath("scripts/sign-update.mjs") + "\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started =
        output != INVALID_HANDLE_VALUE &&
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(output);
    if (!started) return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string quoted(const std::string& path) {
    std::string text(1, '"');
    text += path;
    text += '"';
    return text;
}

TEST(UpdateSignature, ADocumentSignedWithTheKeyVerifiesAndNoChangedByteDoes) {
    ASSERT_FALSE(lumvo::findNode().empty()) << "the windows layer stages node.exe";
    TempFolder scratch;
    const std::string log = scratch / "node.log";
    ASSERT_EQ(runSigningScript("new-key " + quoted(scratch / "key"), log), 0u) << readBytes(log);
    const std::optional<lumvo::Bytes> publicKey =
        lumvo::decodeHex(readBytes(scratch / "key\\update-signing-key.pub.hex").substr(0, 128));
    ASSERT_TRUE(publicKey && publicKey->size() == 64);

    const std::string hash(64, 'c');
    const std::string document = "{\"version\":\"0.66\",\"url\":\"https://dl.lumvo.app/LUMVO-0.66.zip\",\"sha256\":\"" +
                                 hash + "\",\"changelog\":\"Caf\xC3\xA9 lights\"}\n";
    writeBytes(scratch / "update.json", document);
    ASSERT_EQ(runSigningScript("sign " + quoted(scratch / "key\\update-signing-key.pem") + " " +
                                   quoted(scratch / "update.json") + " " + quoted(scratch / "update.signed"),
                               log),
              0u)
        << readBytes(log);
    const std::string served = readBytes(scratch / "update.signed");

    const lumvo::UpdateDocumentRead read = lumvo::openSignedUpdateDocument(served, *publicKey);
    ASSERT_TRUE(read.document) << read.fault;
    EXPECT_EQ(read.document->version, "0.66");
    EXPECT_EQ(read.document->packageUrl, "https://dl.lumvo.app/LUMVO-0.66.zip");
    EXPECT_EQ(read.document->packageSha256, hash);
    EXPECT_EQ(read.document->changelog, "Caf\xC3\xA9 lights");

    // One bit changed anywhere in the document, or in the signature's r or s, and nothing is read.
    const std::size_t documentStart = served.find('\n') + 1;
    for (const std::size_t at : {documentStart + 12, served.size() - 3, served.size() - 1}) {
        std::string changed = served;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        EXPECT_FALSE(lumvo::openSignedUpdateDocument(changed, *publicKey).document) << "document byte " << at;
    }
    const std::optional<lumvo::SignedEnvelope> envelope = lumvo::splitSignedEnvelope(served);
    ASSERT_TRUE(envelope);
    for (const std::size_t at : {std::size_t{0}, std::size_t{31}, std::size_t{32}, std::size_t{63}}) {
        lumvo::Bytes signature = envelope->signature;
        signature[at] ^= 0x80;
        EXPECT_FALSE(lumvo::verifySignature(envelope->document, signature, *publicKey)) << "signature byte " << at;
    }
    // Signed with another key than the release's: the plug-in's own key refuses it.
    EXPECT_TRUE(lumvo::isUsablePublicKey(lumvo::kReleasePublicKey));
    EXPECT_FALSE(lumvo::openSignedUpdateDocument(served, lumvo::kReleasePublicKey).document);
}

TEST(UpdateSignature, ADownloadIsKeptOnlyWithItsSha256) {
    // The standard's test vectors: "abc", and a million 'a', which spans many reads of the file.
    EXPECT_EQ(lumvo::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    TempFolder scratch;
    const std::string download = scratch / "pkg.zip";
    writeBytes(download, std::string(1000000, 'a'));
    const std::string million = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    EXPECT_EQ(lumvo::sha256File(download), million);
    EXPECT_FALSE(lumvo::sha256File(scratch / "missing.zip"));

    EXPECT_TRUE(lumvo::keepDownloadIfSha256Is(download, million));
    EXPECT_TRUE(fileExists(download));
    std::string wrong = million;
    wrong[0] = 'd';
    EXPECT_FALSE(lumvo::keepDownloadIfSha256Is(download, wrong));
    EXPECT_FALSE(fileExists(download)) << "a download that fails its check is deleted";
}

TEST(UpdateUnpack, AnOlderPackageLeavesNothingBehindAndTheRootIsThePackagesOwn) {
    TempFolder scratch;
    const std::string unpack = scratch / "update\\unpack";
    makeFolders(unpack + "\\old\\server");
    writeBytes(unpack + "\\old\\server\\server.js", "old");
    writeBytes(unpack + "\\old\\LUMVO Video Wall.dll", "old plug-in");
    ASSERT_TRUE(lumvo::emptyFolder(lumvo::pathFromUtf8(unpack), lumvo::isReparsePoint));
    EXPECT_TRUE(folderExists(unpack));
    EXPECT_FALSE(folderExists(unpack + "\\old"));

    makeFolders(unpack + "\\pkg\\node_modules\\dep\\server");
    makeFolders(unpack + "\\pkg\\server");
    writeBytes(unpack + "\\pkg\\node_modules\\dep\\server\\server.js", "dependency");
    writeBytes(unpack + "\\pkg\\server\\server.js", "wall");
    EXPECT_EQ(lumvo::findPackageRoot(lumvo::listPackageFiles(lumvo::pathFromUtf8(unpack), lumvo::isReparsePoint)),
              "pkg");
}

}  // namespace
