#include "settings/settings.h"
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cctype>

#include <nlohmann/json.hpp>

#include "settings/maker_site.h"

namespace lumvo {
namespace {

// Reads layout.ini text through the same stdio path as the real file.
WallSettings readText(const std::string& text, WallSettings s = {}) {
    std::string copy = text;
    std::FILE* f = fmemopen(copy.data(), copy.size(), "r");
    EXPECT_NE(f, nullptr);
    readSettings(f, s);
    std::fclose(f);
    return s;
}

// Which keys layout.ini holds, in which order and with which defaults is the settings table's
// contract (settings_table_test). Rows are read and written by their kind: here, a value of each
// kind reads back as it was written.
TEST(SettingsFile, EveryKindOfValueSurvivesAWriteAndARead) {
    WallSettings s;
    s.enable = 0, s.hotNeed = 17, s.theme = "lounge", s.duration = 17.0f / 57.0f, s.opacity = 0.55f;
    s.tipLink = "https://pay.example/dj?amount=5%20EUR&note=a=b", s.tipLink2 = "  spaced out  ";
    s.brandUrl = "https://club.example/night", s.mediaDir = "D:\\Wall Photos";
    s.chat = {0.51234f, 0.1f, 0.3f, 0.6f};
    s.colorShoutout = 0xFF01FF80;
    const std::string file = formatSettingsFile(s);
    const WallSettings back = readText(file);
    EXPECT_EQ(formatSettingsFile(back), file);  // the text holds every value
    EXPECT_FLOAT_EQ(back.chat.x, 0.51234f) << "to five decimals";

    s.duration = 0.1f;  // 8.7 s comes back as 9 s
    EXPECT_FLOAT_EQ(readText(formatSettingsFile(s)).duration, 6.0f / 57.0f);
}

TEST(SettingsFile, LineBreaksInsideAValueCannotInjectASetting) {
    WallSettings s;
    s.tipLink = "https://pay.example/x\r\nenable=0";
    s.mediaDir = std::string("D:\\a\nhot_need=3\0tail", 20);
    const WallSettings back = readText(formatSettingsFile(s));
    EXPECT_EQ(back.enable, 1);
    EXPECT_EQ(back.hotNeed, 8);
    EXPECT_EQ(back.tipLink, "https://pay.example/xenable=0");
    EXPECT_EQ(back.mediaDir, "D:\\ahot_need=3");
}

TEST(SettingsFile, OutOfRangeValuesAreClamped) {
    // Boxes are clamped after reading; that no value, NaN included, ends out of range is the settings
    // fuzz target's check.
    WallSettings s = readText("hot_need=1\nhot_window=999\nopacity=0\nhighlight_sec=2\nchat=0.9,0.5,0.5,0.99\n");
    EXPECT_EQ(std::make_tuple(s.hotNeed, s.hotWindow, s.opacity, s.duration), std::make_tuple(3, 180, 0.2f, 0.0f));
    s = readText("hot_need=99999999999\nhot_window=5\nopacity=3\nhighlight_sec=100\n", s);
    EXPECT_EQ(std::make_tuple(s.hotNeed, s.hotWindow, s.opacity, s.duration), std::make_tuple(30, 10, 1.0f, 1.0f));
    EXPECT_EQ(highlightSeconds(s), 60);

    finishSettings(s, "D:\\pictures");
    EXPECT_EQ(std::make_tuple(s.chat.x, s.chat.w, s.chat.h), std::make_tuple(0.5f, 0.5f, 0.92f));
    EXPECT_NEAR(s.chat.y, 0.08f, 1e-6);
}

TEST(SettingsFile, OlderKeysAndHighlightPrecedence) {
    WallSettings s = readText("allow_background_fx=0\n");
    EXPECT_EQ(s.allowWordFx + s.allowTipFx + s.allowVenueFx, 0);
    EXPECT_EQ(s.allowHotFx, 1);

    EXPECT_EQ(highlightSeconds(readText("duration=1.0\n")), 15);
    EXPECT_EQ(highlightSeconds(readText("duration=0.50000\nhighlight_sec=20\n")), 20);
    EXPECT_EQ(highlightSeconds(readText("highlight_sec=20\nduration=0.5\n")), 9);
}

TEST(SettingsFile, MalformedLinesAreSkippedAndLaterLinesStillApply) {
    const WallSettings s = readText(
        "chat=0.1,0.2,0.3\n"      // three numbers of four
        "qr=0.1, 0.2,0.3 ,0.4\n"  // a blank before a comma
        "enable=off\n"
        " show_qr=0\n"  // keys start the line
        "color_photo=1;2;3\n"
        "[section]\n"
        "\n"
        "beat=0 trailing text\n"
        "color_request=256,-1,0x10\n"
        "color_venue=010, 0X1f,\t7\r\n"
        "edit=-3\n");
    const WallSettings d;
    EXPECT_EQ(std::make_tuple(s.chat.x, s.qr.h, s.enable, s.showQr, s.colorPhoto),
              std::make_tuple(d.chat.x, d.qr.h, 1, 1, d.colorPhoto))
        << "malformed: the defaults stay";
    EXPECT_EQ(std::make_tuple(s.beat, s.colorRequest, s.colorVenue, s.edit),
              std::make_tuple(0, 0xFF00FF10u, 0xFF081F07u, 1))
        << "read as far as they go; octal 010, hex 0X1f";
}

TEST(SettingsFile, TextValues) {
    WallSettings s;
    s.tipLink = "old";
    s = readText(
        "media_dir=D:\\Album\r\nmedia_dir=\ntip_link=\ntip_link2=  a b  \r\ntheme=Wedding\r\n"
        "brand_url=  club.example\\night \n",
        s);
    EXPECT_EQ(s.mediaDir, "D:\\Album");
    EXPECT_EQ(s.tipLink, "");
    EXPECT_EQ(s.tipLink2, "  a b  ");
    EXPECT_EQ(s.theme, "wedding");
    EXPECT_EQ(s.brandUrl, "https://club.example/night");

    WallSettings empty = readText("media_dir=\r\n");
    finishSettings(empty, "C:\\Users\\dj\\Pictures\\LUMVO");
    EXPECT_EQ(empty.mediaDir, "C:\\Users\\dj\\Pictures\\LUMVO");
}

TEST(SettingsFile, ALineLongerThanTheBufferDoesNotSwallowTheNextOne) {
    const WallSettings s = readText("tip_link=" + std::string(2000, 'x') + "\nhot_need=12\n");
    EXPECT_EQ(s.tipLink, std::string(1023 - 9, 'x'));
    EXPECT_EQ(s.hotNeed, 12);
}

TEST(Normalizers, UrlsAndTheBrandLabel) {
    // Blanks trimmed, back-slashes made slashes and https:// added: TextValues.
    const std::pair<std::string, std::string> urls[] = {
        {"http:\\\\club.example\\a", "http://club.example/a"},
        {"ftp://club.example", ""},
        {"HTTPS://club.example", ""},  // the scheme test is case-sensitive
        {" \t\r\n", ""}};
    for (const auto& [url, normal] : urls) EXPECT_EQ(normalizeUrl(url), normal) << url;
    EXPECT_EQ(normalizeUrl("https://" + std::string(300, 'a')).size(), 200u);
    // Two-byte characters from byte 9 on: byte 200 is the second half of one, so the cut falls before it.
    std::string accented = "https://a";
    for (int i = 0; i < 100; ++i) accented += "\xC3\xA9";
    EXPECT_EQ(normalizeUrl(accented), accented.substr(0, 199));

    std::string ours = kMakerWebHost;
    for (char& c : ours) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<std::string, std::string> labels[] = {
        {"https://www.www.MyClub.example/path?x=1", "MyClub.example"},
        {"club.example#top", "club.example"},
        {"http://club.example:8080?x", "club.example:8080"},
        {"", "Lumvo"},
        {"https://www./x", "Lumvo"},
        {"https://www." + ours + "/dj", "Lumvo"},  // the maker's own site is no venue's
        {std::string("https://shop.") + kMakerWebHost, std::string("shop.") + kMakerWebHost}};
    for (const auto& [url, label] : labels) EXPECT_EQ(brandLabel(url), label) << url;
}

TEST(SettingsPush, BodyIsValidJsonWithLinksUnchanged) {
    WallSettings s;
    s.tipLink = "https://pay.example/?a=100%&b=%d%s \"quoted\" back\\slash";
    s.tipLink2 = std::string("tab\there\x01nul\0end", 16);
    s.tipLink3 = "caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    s.brandUrl = "  club.example/\"x\" ";
    s.theme = "Disco";
    s.allowWordFx = 0;
    s.duration = 0.5f;
    const std::string body = settingsPushBody(s, "C:\\Users\\\"dj\"\\Pictures\n");

    // Which keys go is the settings table's business (settings_table_test); here, the values.
    const auto parsed = nlohmann::ordered_json::parse(body);  // throws on invalid JSON
    EXPECT_EQ(parsed["allowBackgroundFx"], false) << "follows allowWordFx";
    EXPECT_EQ(parsed["tipLinks"], (nlohmann::json{s.tipLink, "tabherenulend", s.tipLink3}));
    EXPECT_NE(body.find("\"duration\":31.5,"), std::string::npos);
    EXPECT_EQ(parsed["theme"], "club");
    EXPECT_EQ(parsed["mediaDir"], "C:\\Users\\\"dj\"\\Pictures");
    EXPECT_EQ(parsed["brandUrl"], "https://club.example/\"x\"");
}

}  // namespace
}  // namespace lumvo
