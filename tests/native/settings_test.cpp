#include "plugin/settings.h"

#include <gtest/gtest.h>

#include <cctype>

#include <nlohmann/json.hpp>

#include "plugin/maker_site.h"

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

TEST(SettingsFile, DefaultsAreWrittenLineByLineInTheFileOrder) {
    WallSettings s;
    s.mediaDir = "C:\\Users\\dj\\Pictures\\LUMVO";
    EXPECT_EQ(formatSettingsFile(s),
              "chat=0.70000,0.08000,0.28000,0.84000\nqr=0.03000,0.62000,0.28000,0.32000\n"
              "hero=0.14000,0.16000,0.50000,0.50000\n"
              "color_shoutout=255,122,24\ncolor_request=168,85,247\ncolor_photo=244,114,182\ncolor_venue=255,75,31\n"
              "enable=1\nshow_qr=1\nedit=0\nauto_approve=0\nrepeat=1\nbeat=1\nnotify=1\nallow_messages=1\n"
              "allow_requests=1\nallow_photos=1\nallow_all_emojis=0\nallow_multiple_emojis=0\n"
              "allow_unlimited_voting=0\nallow_guest_colors=1\nallow_reactions=1\nallow_word_fx=1\nallow_tip_fx=1\n"
              "allow_venue_fx=1\nallow_hot_fx=1\nhot_need=8\nhot_window=60\nshow_tips=1\n"
              "tip_link=\ntip_link2=\ntip_link3=\nbrand_url=\ntheme=club\n"
              "duration=0.07018\nhighlight_sec=7\nopacity=1.00000\nmedia_dir=C:\\Users\\dj\\Pictures\\LUMVO\n"
              "filter_words=\n");
}

TEST(SettingsFile, EveryValueSurvivesAWriteAndARead) {
    WallSettings s;
    for (std::int32_t* sw : {&s.enable, &s.showQr, &s.autoApprove, &s.beat, &s.edit, &s.repeat, &s.notify,
                             &s.allowMessages, &s.allowRequests, &s.allowPhotos, &s.allowAllEmojis,
                             &s.allowMultipleEmojis, &s.allowUnlimitedVoting, &s.allowGuestColors, &s.allowReactions,
                             &s.allowWordFx, &s.allowTipFx, &s.allowVenueFx, &s.allowHotFx, &s.showTips}) {
        *sw = 1 - *sw;
    }
    s.hotNeed = 17;
    s.hotWindow = 95;
    s.tipLink = "https://pay.example/dj?amount=5%20EUR&note=a=b";
    s.tipLink2 = "  spaced out  ";
    s.tipLink3 = "https://bank.example/\xC3\xA9t\xC3\xA9";
    s.brandUrl = "https://club.example/night";
    s.theme = "lounge";
    s.duration = 17.0f / 57.0f;
    s.opacity = 0.55f;
    s.chat = {0.5f, 0.1f, 0.3f, 0.6f};
    s.qr = {0.01f, 0.7f, 0.2f, 0.25f};
    s.hero = {0.2f, 0.2f, 0.6f, 0.55f};
    s.colorShoutout = 0xFF010203;
    s.colorRequest = 0xFFFFFFFF;
    s.colorPhoto = 0xFF000000;
    s.colorVenue = 0xFF80FF7F;
    s.mediaDir = "D:\\Wall Photos";
    const std::string file = formatSettingsFile(s);
    WallSettings back = readText(file);
    finishSettings(back, "unused");
    EXPECT_EQ(formatSettingsFile(back), file);  // the text holds every value

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
    EXPECT_EQ(s.hotNeed, 3);
    EXPECT_EQ(s.hotWindow, 180);
    EXPECT_FLOAT_EQ(s.opacity, 0.2f);
    EXPECT_EQ(s.duration, 0.0f);
    s = readText("hot_need=99999999999\nhot_window=5\nopacity=3\nhighlight_sec=100\n", s);
    EXPECT_EQ(s.hotNeed, 30);
    EXPECT_EQ(s.hotWindow, 10);
    EXPECT_FLOAT_EQ(s.opacity, 1.0f);
    EXPECT_EQ(s.duration, 1.0f);
    EXPECT_EQ(highlightSeconds(s), 60);

    finishSettings(s, "D:\\pictures");
    EXPECT_FLOAT_EQ(s.chat.w, 0.5f);
    EXPECT_FLOAT_EQ(s.chat.h, 0.92f);
    EXPECT_FLOAT_EQ(s.chat.x, 0.5f);
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
        "chat=0.1,0.2,0.3\n"       // three numbers of four
        "qr=0.1, 0.2,0.3 ,0.4\n"   // a blank before a comma
        "enable=off\n"
        " show_qr=0\n"             // keys start the line
        "color_photo=1;2;3\n"
        "[section]\n"
        "\n"
        "beat=0 trailing text\n"
        "color_request=256,-1,0x10\n"
        "color_venue=010, 0X1f,\t7\r\n"
        "edit=-3\n");
    const WallSettings defaults;
    EXPECT_FLOAT_EQ(s.chat.x, defaults.chat.x);
    EXPECT_FLOAT_EQ(s.qr.h, defaults.qr.h);
    EXPECT_EQ(s.enable, 1);
    EXPECT_EQ(s.showQr, 1);
    EXPECT_EQ(s.colorPhoto, defaults.colorPhoto);
    EXPECT_EQ(s.beat, 0);
    EXPECT_EQ(s.colorRequest, 0xFF00FF10u);
    EXPECT_EQ(s.colorVenue, 0xFF081F07u);  // octal 010, hex 0X1f
    EXPECT_EQ(s.edit, 1);
}

TEST(SettingsFile, TextValues) {
    WallSettings s;
    s.tipLink = "old";
    s = readText("media_dir=D:\\Album\r\nmedia_dir=\ntip_link=\ntip_link2=  a b  \r\ntheme=Wedding\r\n"
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

TEST(Normalizers, Theme) {
    const std::pair<const char*, const char*> cases[] = {{"Wedding", "wedding"}, {"GARDEN", "garden"}, {"event", "event"},
                                                         {"lounge ", "club"},    {"disco", "club"},   {"", "club"}};
    for (const auto& [given, theme] : cases) EXPECT_EQ(normalizeTheme(given), theme) << given;
}

TEST(Normalizers, Url) {
    EXPECT_EQ(normalizeUrl(" \tclub.example/night \r\n"), "https://club.example/night");
    EXPECT_EQ(normalizeUrl("http:\\\\club.example\\a"), "http://club.example/a");
    EXPECT_EQ(normalizeUrl("ftp://club.example"), "");
    EXPECT_EQ(normalizeUrl("HTTPS://club.example"), "");  // the scheme test is case-sensitive
    EXPECT_EQ(normalizeUrl(" \t\r\n"), "");
    EXPECT_EQ(normalizeUrl("https://" + std::string(300, 'a')).size(), 200u);
    // Two-byte characters from byte 9 on: byte 200 is the second half of one, so the cut falls before it.
    std::string accented = "https://a";
    for (int i = 0; i < 100; ++i) accented += "\xC3\xA9";
    const std::string cut = normalizeUrl(accented);
    EXPECT_EQ(cut.size(), 199u);
    EXPECT_EQ(static_cast<unsigned char>(cut.back()), 0xA9);
}

TEST(Normalizers, BrandLabel) {
    EXPECT_EQ(brandLabel("https://www.www.MyClub.example/path?x=1"), "MyClub.example");
    EXPECT_EQ(brandLabel("club.example#top"), "club.example");
    EXPECT_EQ(brandLabel("http://club.example:8080?x"), "club.example:8080");
    EXPECT_EQ(brandLabel(""), "Lumvo");
    EXPECT_EQ(brandLabel("https://www./x"), "Lumvo");
    std::string ours = kMakerWebHost;
    for (char& c : ours) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(brandLabel("https://www." + ours + "/dj"), "Lumvo");
    EXPECT_EQ(brandLabel(std::string("https://shop.") + kMakerWebHost), std::string("shop.") + kMakerWebHost);
}

TEST(SettingsPush, BodyIsValidJsonWithLinksUnchanged) {
    WallSettings s;
    s.tipLink = "https://pay.example/?a=100%&b=%d%s \"quoted\" back\\slash";
    s.tipLink2 = std::string("tab\there\x01nul\0end", 16);
    s.tipLink3 = "caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    s.brandUrl = "  club.example/\"x\" ";
    s.theme = "Disco";
    s.allowWordFx = 0;
    s.hotNeed = 12;
    s.duration = 0.5f;
    const std::string body = settingsPushBody(s, "C:\\Users\\\"dj\"\\Pictures\n");

    // Which keys go is the settings table's business (settings_table_test); here, the values.
    const auto parsed = nlohmann::ordered_json::parse(body);  // throws on invalid JSON
    EXPECT_EQ(parsed["allowBackgroundFx"], false) << "follows allowWordFx";
    EXPECT_EQ(parsed["hotNeed"], 12);
    EXPECT_EQ(parsed["tipLinks"], (nlohmann::json{s.tipLink, "tabherenulend", s.tipLink3}));
    EXPECT_NE(body.find("\"duration\":31.5,"), std::string::npos);
    EXPECT_EQ(parsed["theme"], "club");
    EXPECT_EQ(parsed["mediaDir"], "C:\\Users\\\"dj\"\\Pictures");
    EXPECT_EQ(parsed["brandUrl"], "https://club.example/\"x\"");
}

}  // namespace
}  // namespace lumvo
