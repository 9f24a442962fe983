#include "moderator/settings_page.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/json.h"
#include "settings/settings_file.h"
#include "settings/settings_table.h"

namespace lumvo {
namespace {

using P = SettingsPage;
using G = DisplayGroup;
using K = SettingsRowKind;
using C = SettingsCommand;

constexpr SliderRange kBigCard{SliderRule::highlightSeconds, 3, 60, 5, "%ds", 7};
constexpr SliderRange kHotNeed{SliderRule::wholeNumber, 3, 30, 1, "%d", 8};
constexpr SliderRange kHotWindow{SliderRule::wholeNumber, 10, 180, 10, "%ds", 60};
constexpr SliderRange kApproveDelay{SliderRule::wholeNumber, 0, 120, 5, "%ds", 0};
constexpr SliderRange kSolid{SliderRule::percent, 20, 100, 0, "%d%%", 100};

// A row of each kind; the Display page's rows name their group.
constexpr SettingsRow on(G group, K kind, const char* text, const char* setting = nullptr) {
    return {P::display, group, kind, text, setting};
}
constexpr SettingsRow slider(G group, const char* text, const char* setting, SliderRange range) {
    return {P::display, group, K::slider, text, setting, range};
}
constexpr SettingsRow row(P page, K kind, const char* text, const char* setting = nullptr) {
    return {page, G::tv, kind, text, setting};
}
constexpr SettingsRow button(P page, const char* text, C command) {
    return {page, G::tv, K::button, text, nullptr, {}, command};
}

const std::array kRows = {
    // Display, TV.
    on(G::tv, K::heading, "ON THE TV"),
    on(G::tv, K::check, "Overlay on the TV", "enable"),
    on(G::tv, K::check, "QR card", "show_qr"),
    on(G::tv, K::check, "Pulse with the beat", "beat"),
    on(G::tv, K::check, "Edit layout", "edit"),
    on(G::tv, K::hint, "With Edit on, drag a box on the TV to move or resize it."),
    on(G::tv, K::heading, "THEME"),
    on(G::tv, K::themeList, "", "theme"),
    on(G::tv, K::hint, "Looks on the TV and guest phones. The booth stays the same."),
    slider(G::tv, "How solid", "opacity", kSolid),
    // Display, Highlight.
    on(G::highlight, K::heading, "HIGHLIGHT"),
    on(G::highlight, K::check, "Auto approve", "auto_approve"),
    slider(G::highlight, "Auto approve after", "auto_approve_delay", kApproveDelay),
    on(G::highlight, K::check, "Idle repeat", "repeat"),
    on(G::highlight, K::check, "Waiting pop-up", "notify"),
    slider(G::highlight, "Big card stays", "highlight_sec", kBigCard),
    on(G::highlight, K::hint, "Each post gets this long on the big card. Venue and DJ jump next."),
    // Display, Hot.
    on(G::hot, K::heading, "HOT POST"),
    on(G::hot, K::check, "Fire emojis on a busy chat", "allow_hot_fx"),
    slider(G::hot, "Go hot after", "hot_need", kHotNeed),
    slider(G::hot, "They have", "hot_window", kHotWindow),
    on(G::hot, K::hint, "Reacts after the post goes live. Then fire emojis float up that chat."),
    // Display, Look.
    on(G::look, K::heading, "ANIMATIONS"),
    on(G::look, K::check, "Word backdrops", "allow_word_fx"),
    on(G::look, K::check, "Tip coins and hearts", "allow_tip_fx"),
    on(G::look, K::check, "Venue flames", "allow_venue_fx"),
    on(G::look, K::check, "Calm effects", "calm_fx"),
    on(G::look, K::heading, "CHAT COLOURS. Click a type to change it."),
    on(G::look, K::colour, "Shout out", "color_shoutout"),
    on(G::look, K::colour, "Request", "color_request"),
    on(G::look, K::colour, "Photo", "color_photo"),
    on(G::look, K::colour, "Venue", "color_venue"),
    // Guests.
    row(P::guests, K::heading, "GUESTS CAN SEND"),
    row(P::guests, K::check, "Messages", "allow_messages"),
    row(P::guests, K::check, "Requests", "allow_requests"),
    row(P::guests, K::check, "Photos", "allow_photos"),
    row(P::guests, K::check, "Live reactions", "allow_reactions"),
    row(P::guests, K::check, "All emojis", "allow_all_emojis"),
    row(P::guests, K::check, "Multiple emojis", "allow_multiple_emojis"),
    row(P::guests, K::check, "Unlimited voting", "allow_unlimited_voting"),
    row(P::guests, K::check, "Name colours", "allow_guest_colors"),
    row(P::guests, K::hint,
        "Turn a type off to hide it on phones. Live reactions is tapping emoji on Live. All emojis gives guests the "
        "full emoji picker instead of the short list. Multiple lets one phone keep several. Name colours follow each "
        "guest all night."),
    // Tips.
    row(P::tips, K::heading, "TIPS"),
    row(P::tips, K::check, "Queue tips so you can show them on the wall", "show_tips"),
    row(P::tips, K::heading, "PAYPAL"),
    row(P::tips, K::hint, "Your PayPal.Me link: in the PayPal app under your profile, Get paid."),
    row(P::tips, K::edit, "https://paypal.me/yourname", "tip_link"),
    row(P::tips, K::heading, "BANK"),
    row(P::tips, K::hint,
        "Monzo, Revolut and Starling each give you a pay-me link in their app. High-street banks (Barclays, HSBC, "
        "Lloyds) have no simple pay-me link."),
    row(P::tips, K::edit, "https://monzo.me/yourname", "tip_link2"),
    row(P::tips, K::heading, "EXTRA PAY-ME  (optional)"),
    row(P::tips, K::edit, "https://revolut.me/yourname", "tip_link3"),
    row(P::tips, K::hint,
        "Guests pick PayPal or Bank. LUMVO never takes the money or saves payment details. It only opens the link."),
    // Album.
    row(P::album, K::heading, "GUEST ALBUM"),
    row(P::album, K::hint, "Photos from guests are saved here so you can keep an album of the night."),
    row(P::album, K::albumPath, ""),
    button(P::album, "Choose folder", C::chooseFolder),
    button(P::album, "Open folder", C::openFolder),
    button(P::album, "Clear album", C::clearAlbum),
    // Brand.
    row(P::brand, K::heading, "YOUR BRAND"),
    row(P::brand, K::label, "Website link"),
    row(P::brand, K::edit, "https://yourvenue.com", "brand_url"),
    row(P::brand, K::hint,
        "PNG logo with a transparent background. Wide 800 x 200 works best. Square 512 x 512 also works. Max 2 MB."),
    button(P::brand, "Choose PNG", C::choosePng),
    button(P::brand, "Remove logo", C::removeLogo),
    row(P::brand, K::logoState, ""),
    row(P::brand, K::heading, "GUEST APP BACKGROUND"),
    row(P::brand, K::hint,
        "Pick the look on guest phones. Lumvo Theme is the usual page and cannot be changed. Save a new look in the "
        "editor."),
    row(P::brand, K::lookList, ""),
    button(P::brand, "Edit looks", C::editLooks),
    row(P::brand, K::lookStatus, ""),
};

const SettingRow& settingOf(const SettingsRow& row) {
    static const SettingRow none{"", "", SettingKind::text, &WallSettings::tipLink};
    const SettingRow* found = row.setting ? findSetting(row.setting) : nullptr;
    return found ? *found : none;
}

// The switch, number, fraction, text or colour member a row edits, or null when the row's
// setting holds something else.
template <class T>
T* memberOf(const SettingsRow& row, WallSettings& s) {
    const auto* pointer = std::get_if<T WallSettings::*>(&settingOf(row).target);
    return row.setting && pointer ? &(s.*(*pointer)) : nullptr;
}
template <class T>
const T* memberOf(const SettingsRow& row, const WallSettings& s) {
    return memberOf<T>(row, const_cast<WallSettings&>(s));
}

int roundToInt(double x) { return static_cast<int>(std::lround(x)); }

// Cuts UTF-8 text to at most `max` bytes without splitting a character.
std::string_view cutUtf8(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text;
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

}  // namespace

std::span<const SettingsRow> settingsRows() { return kRows; }

int settingsRowOf(std::string_view setting) {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (kRows[i].setting && setting == kRows[i].setting) return static_cast<int>(i);
    }
    return -1;
}

int settingsRowOf(SettingsRowKind kind) {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (kRows[i].kind == kind) return static_cast<int>(i);
    }
    return -1;
}

int settingsRowOf(SettingsCommand command) {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (kRows[i].command == command && command != C::none) return static_cast<int>(i);
    }
    return -1;
}

bool checkValue(const SettingsRow& row, const WallSettings& s) {
    const std::int32_t* value = memberOf<std::int32_t>(row, s);
    return value && *value != 0;
}

void setCheckValue(const SettingsRow& row, WallSettings& s, bool on) {
    if (std::int32_t* value = memberOf<std::int32_t>(row, s)) *value = on ? 1 : 0;
}

int sliderPosition(const SettingsRow& row, const WallSettings& s) {
    const SliderRange& range = row.slider;
    int position = range.fallback;
    if (const float* f = memberOf<float>(row, s)) {
        position = range.rule == SliderRule::highlightSeconds
                       ? roundToInt(std::clamp(*f, 0.0f, 1.0f) * (range.high - range.low)) + range.low
                       : roundToInt(*f * 100.0);
    } else if (const std::int32_t* n = memberOf<std::int32_t>(row, s)) {
        position = *n;
    }
    return std::clamp(position, range.low, range.high);
}

void setSliderPosition(const SettingsRow& row, WallSettings& s, int position) {
    const SliderRange& range = row.slider;
    const int p = std::clamp(position, range.low, range.high);
    if (float* f = memberOf<float>(row, s)) {
        *f = range.rule == SliderRule::highlightSeconds ? static_cast<float>(p - range.low) / (range.high - range.low)
                                                        : static_cast<float>(p) / 100.0f;
    } else if (std::int32_t* n = memberOf<std::int32_t>(row, s)) {
        *n = p;
    }
}

std::string sliderLabel(const SettingsRow& row, int position) {
    char text[32];
    std::snprintf(text, sizeof text, row.slider.format ? row.slider.format : "%d", position);
    return text;
}

int themeChoice(const WallSettings& s) { return static_cast<int>(themeIndex(s.theme)); }

void setThemeChoice(WallSettings& s, int choice) {
    s.theme = std::string(kThemeNames[static_cast<std::size_t>(std::clamp(choice, 0, int{kThemeCount} - 1))]);
}

std::vector<std::string> themeChoiceNames() {
    std::vector<std::string> names;
    for (std::string_view theme : kThemeNames) {
        std::string name(theme);
        if (!name.empty()) name[0] = static_cast<char>(name[0] - 'a' + 'A');
        names.push_back(std::move(name));
    }
    return names;
}

std::string editValue(const SettingsRow& row, const WallSettings& s) {
    const std::string* text = memberOf<std::string>(row, s);
    return text ? *text : std::string();
}

void setEditValue(const SettingsRow& row, WallSettings& s, std::string_view text) {
    if (!memberOf<std::string>(row, s)) return;
    applySetting(settingOf(row), s, std::string(cutUtf8(text, kSettingsEditMax)).c_str());
}

std::uint32_t colourValue(const SettingsRow& row, const WallSettings& s) {
    const Argb* colour = memberOf<Argb>(row, s);
    return colour ? (*colour & 0xFFFFFFu) : 0;
}

void setColourValue(const SettingsRow& row, WallSettings& s, std::uint32_t rgb) {
    if (Argb* colour = memberOf<Argb>(row, s)) *colour = 0xFF000000u | (rgb & 0xFFFFFFu);
}

bool settingsShowDifferently(const WallSettings& shown, const WallSettings& now) {
    for (const SettingsRow& row : kRows) {
        if (!row.setting) continue;
        const SettingRow& setting = settingOf(row);
        if (settingFileValue(setting, shown) != settingFileValue(setting, now)) return true;
    }
    return shown.mediaDir != now.mediaDir;
}

std::vector<GuestLook> guestLooksOf(const std::vector<GuestLook>& fromServer) {
    std::vector<GuestLook> looks;
    for (const GuestLook& look : fromServer) {
        if (look.id.empty()) continue;
        looks.push_back({look.id, look.name.empty() ? look.id : look.name});
    }
    if (looks.empty()) looks.push_back({"lumvo", "Lumvo Theme"});
    return looks;
}

LookListPlan planLookList(const std::vector<std::string>& shownIds, const std::vector<GuestLook>& looks,
                          std::string_view activeId) {
    LookListPlan plan;
    for (const GuestLook& look : looks) {
        plan.ids.push_back(look.id);
        plan.names.push_back(look.name);
    }
    plan.rebuild = plan.ids != shownIds;
    const auto active = std::find(plan.ids.begin(), plan.ids.end(), activeId);
    plan.select = active == plan.ids.end() ? 0 : static_cast<int>(active - plan.ids.begin());
    return plan;
}

WallRequest settingsPushRequest(const WallSettings& s, std::string_view defaultMediaFolder) {
    return {"POST", "/api/settings",
            settingsPushBody(s, s.mediaDir.empty() ? defaultMediaFolder : std::string_view(s.mediaDir))};
}

WallRequest applyLookRequest(std::string_view lookId) {
    return {"POST", "/api/guest-bg-looks", "{\"apply\":\"" + jsonEscapeDropControls(lookId) + "\"}"};
}

WallRequest clearAlbumRequest() { return {"POST", "/api/clear-media", "{}"}; }

std::string clearAlbumStatus(bool requestOk, std::string_view reply) {
    const double deleted = jsonGetNumber(reply, "deleted", -1);
    if (!requestOk || !jsonGetBool(reply, "ok", false) || !(deleted >= 0)) return "Could not clear the album.";
    const long long n = static_cast<long long>(deleted);
    return "Guest album cleared (" + std::to_string(n) + (n == 1 ? " file deleted)" : " files deleted)");
}

std::string logoStateText(bool customLogo) { return customLogo ? "Custom PNG logo is on" : "Using the LUMVO logo"; }

}  // namespace lumvo
