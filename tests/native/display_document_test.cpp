// Reading the display document: the packed feed and poll bars, the state's defaults, the settings
// the server decides, and which downloads count as pictures.
#include "serverlink/display_document.h"

#include <gtest/gtest.h>

namespace lumvo {
namespace {

TEST(DecodeFeed, LinesFieldsAndTheHotFlag) {
    const auto feed = decodeFeed(
        "p1\tshoutout\tAna\tHappy birthday!\t/uploads/a.jpg\t\xF0\x9F\x94\xA5:2\t#22d3ee\t1\n"
        "\n"                                    // empty lines are skipped
        "p2\trequest\n"                         // only id and type
        "\ttip\tNo id\n"                        // dropped
        "p3\tphoto\tB\tt\tph\tr\tc\t1\textra\tmore\n"  // fields after the eighth are ignored
        "p4\tvenue\tC\tlast line\t\t\t\t11");   // no final LF; "11" is not hot
    ASSERT_EQ(feed.size(), 4u);
    EXPECT_EQ(feed[0].name, "Ana");
    EXPECT_EQ(feed[0].photo, "/uploads/a.jpg");
    EXPECT_EQ(feed[0].reactions, "\xF0\x9F\x94\xA5:2");
    EXPECT_EQ(feed[0].color, "#22d3ee");
    EXPECT_TRUE(feed[0].hot);
    EXPECT_EQ(feed[1].type, "request");
    EXPECT_EQ(feed[1].text, "");
    EXPECT_FALSE(feed[1].hot);
    EXPECT_EQ(feed[2].id, "p3");
    EXPECT_TRUE(feed[2].hot);
    EXPECT_EQ(feed[3].text, "last line");
    EXPECT_FALSE(feed[3].hot);
}

TEST(DecodeVoteBars, CountsAndColours) {
    const auto bars = decodeVoteBars(
        "a\tYes\t12\t10,20,30\n"
        "b\tNo\tabc\n"           // unreadable count, default colour
        "c\tMaybe\t-4\t10,20\n"  // negative count; two of three colour parts
        "d\t\t5\n"               // no label: dropped
        "e\tBig\t 99999999999\t300,-1, 7\n");
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_EQ(bars[0].count, 12);
    EXPECT_EQ(bars[0].colour, 0xFF0A141Eu);
    EXPECT_EQ(bars[1].count, 0);
    EXPECT_EQ(bars[1].colour, 0xFFFF7A18u);
    EXPECT_EQ(bars[2].count, 0);
    EXPECT_EQ(bars[2].colour, 0xFF0A1418u);
    EXPECT_EQ(bars[3].count, 0) << "beyond 32 bits is unreadable, not wrapped";
    EXPECT_EQ(bars[3].colour, 0xFF2CFF07u) << "low 8 bits of each part; a blank before a number is allowed";
}

TEST(DisplayDocument, AbsentKeysTakeTheirDefaults) {
    const DisplayState s = readDisplayDocument(R"({"featuredId":"p9","voteActive":1})");
    EXPECT_EQ(s.featuredId, "p9");
    EXPECT_TRUE(s.voteActive);
    EXPECT_FLOAT_EQ(s.duration, 7.0f);
    EXPECT_FLOAT_EQ(s.voteDuration, 60.0f);
    EXPECT_TRUE(s.feed.empty());
    EXPECT_FALSE(s.hot);
}

TEST(ServerSettings, SwitchesNumbersAndTheme) {
    WallSettings s;
    s.allowTipFx = 0;
    s.hotWindow = 77;
    applyServerSettings(R"({"allowWordFx":false,"hotNeed":2.9,"theme":"Lounge"})", s);
    EXPECT_EQ(s.allowWordFx, 0);
    EXPECT_EQ(s.allowTipFx, 1) << "an absent switch is on";
    EXPECT_EQ(s.hotNeed, 3) << "truncated, then clamped";
    EXPECT_EQ(s.hotWindow, 77) << "an absent number keeps the setting";
    EXPECT_EQ(s.theme, "lounge");
    applyServerSettings(R"({"hotNeed":45,"hotWindowSec":1e300})", s);
    EXPECT_EQ(s.hotNeed, 30);
    EXPECT_EQ(s.hotWindow, 180);
    EXPECT_EQ(s.theme, "club") << "an absent theme is the default one";
    s.autoApprove = 1;
    applyServerSettings(R"({"autoApprove":false,"showTipsOnWall":false})", s);
    EXPECT_EQ(s.autoApprove, 1) << "only the server-driven settings are taken";
    EXPECT_EQ(s.showTips, 1);
}

TEST(Pictures, OnlyJpegPngAndWebpSignaturesCount) {
    const std::string pad(12, 'x');
    EXPECT_TRUE(looksLikePicture("\xFF\xD8\xFF" + pad));
    EXPECT_TRUE(looksLikePicture("\x89PNG\r\n\x1A\n" + pad));
    EXPECT_TRUE(looksLikePicture(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16) + pad));
    EXPECT_FALSE(looksLikePicture("<!doctype html><html>"));
    EXPECT_FALSE(looksLikePicture(std::string("RIFF\x10\0\0\0WAVEfmt ", 16) + pad));
    EXPECT_FALSE(looksLikePicture("\xFF\xD8\xFF"));  // too short to be a picture
}

}  // namespace
}  // namespace lumvo
