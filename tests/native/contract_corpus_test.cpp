// The plug-in's flat readers and display decoders on the documents the real wall server produces
// (tests/contract/, written and kept current by the server's tests): every value the plug-in reads
// must come out as a real JSON parser reads it, hostile guest texts included, and the packed feed
// and poll bars as the server packed them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "documents/display_document.h"
#include "base/json.h"

#include "support/file_text.h"

namespace lumvo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Checks one value read flatly from `text` against what the parser saw; `where` names it on failure.
void expectRead(const std::string& text, const std::string& key, const json& want, const std::string& where) {
    if (want.is_string()) {
        EXPECT_EQ(jsonGetString(text, key), want.get<std::string>()) << where;
    } else if (want.is_boolean()) {
        EXPECT_EQ(jsonGetBool(text, key, !want.get<bool>()), want.get<bool>()) << where;
    } else if (want.is_number()) {
        const double got = jsonGetNumber(text, key, std::nan(""));
        EXPECT_NEAR(got, want.get<double>(), 1e-9) << where;
    } else if (want.is_array()) {
        const auto objects = jsonGetArrayObjects(text, key);  // as the moderator's lists are read
        ASSERT_EQ(objects.size(), want.size()) << where;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            for (const auto& [field, value] : want[i].items()) {
                expectRead(objects[i], field, value, where + "[" + std::to_string(i) + "]." + field);
            }
        }
    } else {
        ADD_FAILURE() << where << ": the corpus asks for a read the plug-in has no reader for";
    }
}

TEST(ContractCorpus, TheFlatReadersReadEveryDocumentAsTheServerMeantIt) {
    int documents = 0;
    for (const char* kind : {"display", "state"}) {
        const fs::path folder = fs::path(LUMVO_SOURCE_DIR) / "tests" / "contract" / kind;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (!name.ends_with(".expect.json")) continue;
            const fs::path document = folder / (name.substr(0, name.size() - 12) + ".json");
            const std::string text = test::fileText(document);
            ASSERT_FALSE(text.empty()) << document;
            const json expect = json::parse(test::fileText(entry.path()));
            for (const auto& read : expect.at("reads")) {
                const std::string key = read.at("key");
                expectRead(text, key, read.at("value"), std::string(kind) + "/" + name + ": " + key);
            }
            if (expect.contains("feed")) {
                json feed = json::array();
                for (const FeedItem& got : decodeFeed(jsonGetString(text, "feedPacked")))
                    feed.push_back({{"id", got.id},
                                    {"type", got.type},
                                    {"name", got.name},
                                    {"text", got.text},
                                    {"photo", got.photo},
                                    {"reactions", got.reactions},
                                    {"color", got.color},
                                    {"hot", got.hot}});
                EXPECT_EQ(feed, expect["feed"]) << name;
            }
            if (expect.contains("voteBars")) {
                json bars = json::array();
                for (const VoteBar& b : decodeVoteBars(jsonGetString(text, "voteBars")))
                    bars.push_back({{"key", b.key},
                                    {"label", b.label},
                                    {"count", b.count},
                                    {"rgb", {b.colour >> 16 & 0xFF, b.colour >> 8 & 0xFF, b.colour & 0xFF}}});
                EXPECT_EQ(bars, expect["voteBars"]) << name;
            }
            ++documents;
        }
    }
    EXPECT_GE(documents, 4) << "the contract corpus is missing (the wall server's tests write it)";
}

}  // namespace
}  // namespace lumvo
