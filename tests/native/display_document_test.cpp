// Reading the display document: the packed feed, the settings the server decides, which downloads
// count as pictures, and the table of keys against its exported copy in
// tests/contract/plugin-reads.json ("display"), which the wall server's corpus test reads. After an
// intended change, write the list anew with LUMVO_WRITE_CONTRACT=1.
#include "documents/display_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/file_text.h"

namespace lumvo {
namespace {

// The server's own packed lines are the contract corpus's (contract_corpus_test); here, lines it
// never writes. What any bytes decode to (no line without an id, no bar without a label or with a
// negative count, every number finite) is the display fuzz target's property.
TEST(DecodeFeed, LinesTheServerNeverWrites) {
    const auto feed = decodeFeed(
        "\n"                                           // empty lines are skipped
        "p2\trequest\n"                                // only id and type
        "\ttip\tNo id\n"                               // dropped
        "p3\tphoto\tB\tt\tph\tr\tc\t1\textra\tmore\n"  // fields after the eighth are ignored
        "p4\tvenue\tC\tlast line\t\t\t\t11");          // no final LF; "11" is not hot
    ASSERT_EQ(feed.size(), 3u);
    EXPECT_EQ(std::make_tuple(feed[0].type, feed[0].text, feed[0].hot), std::make_tuple("request", "", false));
    EXPECT_EQ(std::make_tuple(feed[1].id, feed[1].color, feed[1].hot), std::make_tuple("p3", "c", true));
    EXPECT_EQ(std::make_tuple(feed[2].text, feed[2].hot), std::make_tuple("last line", false));
}

// The display poll's story takes a switch, a theme and a clamped number from the server.
TEST(ServerSettings, OnlyServerDrivenOnesAbsentSwitchesAreOnAndNumbersAreClamped) {
    WallSettings s;
    s.allowTipFx = 0, s.hotWindow = 77, s.autoApprove = 1;
    applyServerSettings(R"({"allowWordFx":false,"hotNeed":45,"autoApprove":false,"showTipsOnWall":false})", s);
    EXPECT_EQ(std::make_tuple(s.allowWordFx, s.allowTipFx, s.hotNeed, s.hotWindow, s.autoApprove, s.showTips),
              std::make_tuple(0, 1, 30, 77, 1, 1))
        << "an absent switch is on, an absent number kept; only the server-driven settings are taken";
    applyServerSettings(R"({"hotWindowSec":1e300,"theme":"Lounge"})", s);
    EXPECT_EQ(std::make_tuple(s.hotWindow, s.theme), std::make_tuple(180, "lounge"));
    applyServerSettings("{}", s);
    EXPECT_EQ(s.theme, "club") << "an absent theme is the default one";
}

// How the wall server's corpus test reads a key's value ("string", "bool" or "number"); empty for a
// setting the document cannot carry.
std::string readAs(const DocumentKey& key) {
    switch (key.kind) {
        case DocumentKind::flag: return "bool";
        case DocumentKind::number: return "number";
        case DocumentKind::text:
        case DocumentKind::feed:
        case DocumentKind::voteBars: return "string";
        case DocumentKind::setting:
            switch (key.setting->kind) {
                case SettingKind::toggle: return "bool";
                case SettingKind::wholeNumber: return "number";
                case SettingKind::theme: return "string";
                default: return "";
            }
    }
    return "";
}

TEST(DisplayDocument, TheKeysItReadsAreTheListTheWallServerChecks) {
    using nlohmann::ordered_json;
    ordered_json rows = ordered_json::array();
    std::set<std::string> keys;
    for (const DocumentKey& key : displayDocumentKeys()) {
        EXPECT_TRUE(keys.insert(key.key).second) << "two rows read " << key.key;
        EXPECT_FALSE(readAs(key).empty()) << key.key << ": the server cannot decide a setting of this kind";
        rows.push_back({{"key", key.key}, {"as", readAs(key)}});
    }
    const std::string path = std::string(LUMVO_SOURCE_DIR) + "/tests/contract/plugin-reads.json";
    std::string text = test::fileText(path);
    ASSERT_FALSE(text.empty()) << "missing " << path;
    if (std::getenv("LUMVO_WRITE_CONTRACT")) {
        // Only the "display" list, one key a line; the file's other parts stay as they are.
        const std::size_t begin = text.find("\"display\": [");
        const std::size_t end = text.find("\n  ]", begin);
        ASSERT_TRUE(begin != std::string::npos && end != std::string::npos) << path << " has no \"display\" list";
        std::string list = "\"display\": [";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            list += std::string(i ? "," : "") + "\n    {\"key\": " + rows[i]["key"].dump() +
                    ", \"as\": " + rows[i]["as"].dump() + "}";
        }
        text.replace(begin, end - begin, list);
        std::ofstream(path, std::ios::binary) << text;
        GTEST_SKIP() << "wrote the display list of " << path;
    }
    EXPECT_EQ(ordered_json::parse(text).at("display"), rows)
        << path << " is out of date: after an intended change run the native tests with LUMVO_WRITE_CONTRACT=1 "
        << "and the wall server's corpus test";
}

// An error page as a photo is display_poll_test's.
TEST(Pictures, OnlyJpegPngAndWebpSignaturesCount) {
    const std::string pad(12, 'x');
    for (const std::string& bytes :
         {"\xFF\xD8\xFF" + pad, "\x89PNG\r\n\x1A\n" + pad, std::string("RIFF\x10\0\0\0WEBPVP8 ", 16) + pad})
        EXPECT_TRUE(looksLikePicture(bytes)) << bytes.substr(0, 4);
    EXPECT_FALSE(looksLikePicture(std::string("RIFF\x10\0\0\0WAVEfmt ", 16) + pad));
    EXPECT_FALSE(looksLikePicture("\xFF\xD8\xFF")) << "too short to be a picture";
}

}  // namespace
}  // namespace lumvo
