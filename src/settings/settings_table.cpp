#include "settings/settings_table.h"

#include <array>
#include <cstring>

#include "base/number_text.h"

namespace lumvo {
namespace {

using S = WallSettings;
using K = SettingKind;

// Switches the wall server's display document may turn (the DJ's choice pushed earlier, or the
// server's own decision since).
constexpr bool kServer = true;

const std::array kTable = {
    SettingRow{"chat", "chat", K::box, &S::chat},
    SettingRow{"qr", "qr", K::box, &S::qr},
    SettingRow{"hero", "hero", K::box, &S::hero},
    SettingRow{"color_shoutout", "colorShoutout", K::colour, &S::colorShoutout},
    SettingRow{"color_request", "colorRequest", K::colour, &S::colorRequest},
    SettingRow{"color_photo", "colorPhoto", K::colour, &S::colorPhoto},
    SettingRow{"color_venue", "colorVenue", K::colour, &S::colorVenue},
    SettingRow{"enable", "enable", K::toggle, &S::enable},
    SettingRow{"show_qr", "showQr", K::toggle, &S::showQr},
    SettingRow{"edit", "edit", K::toggle, &S::edit},
    SettingRow{"auto_approve", "autoApprove", K::toggle, &S::autoApprove, 0, 0, "autoApprove"},
    SettingRow{"auto_approve_delay", "autoApproveDelay", K::wholeNumber, &S::autoApproveDelay, 0, 120,
               "autoApproveDelaySec", -1, true, kServer},
    SettingRow{"repeat", "repeat", K::toggle, &S::repeat, 0, 0, "repeatMessages"},
    SettingRow{"beat", "beat", K::toggle, &S::beat},
    SettingRow{"calm_fx", "calmFx", K::toggle, &S::calmFx},
    SettingRow{"notify", "notify", K::toggle, &S::notify},
    SettingRow{"allow_messages", "allowMessages", K::toggle, &S::allowMessages, 0, 0, "allowMessages"},
    SettingRow{"allow_requests", "allowRequests", K::toggle, &S::allowRequests, 0, 0, "allowRequests"},
    SettingRow{"allow_photos", "allowPhotos", K::toggle, &S::allowPhotos, 0, 0, "allowPhotos"},
    SettingRow{"allow_all_emojis", "allowAllEmojis", K::toggle, &S::allowAllEmojis, 0, 0, "allowAllEmojis"},
    SettingRow{"allow_multiple_emojis", "allowMultipleEmojis", K::toggle, &S::allowMultipleEmojis, 0, 0,
               "allowMultipleEmojis"},
    SettingRow{"allow_unlimited_voting", "allowUnlimitedVoting", K::toggle, &S::allowUnlimitedVoting, 0, 0,
               "allowUnlimitedVoting", -1, true, kServer},
    SettingRow{"allow_guest_colors", "allowGuestColors", K::toggle, &S::allowGuestColors, 0, 0, "allowGuestColors"},
    SettingRow{"allow_reactions", "allowReactions", K::toggle, &S::allowReactions, 0, 0, "allowReactions", -1, true,
               kServer},
    SettingRow{"allow_word_fx", "allowWordFx", K::toggle, &S::allowWordFx, 0, 0, "allowWordFx", -1, true, kServer},
    SettingRow{"allow_tip_fx", "allowTipFx", K::toggle, &S::allowTipFx, 0, 0, "allowTipFx", -1, true, kServer},
    SettingRow{"allow_venue_fx", "allowVenueFx", K::toggle, &S::allowVenueFx, 0, 0, "allowVenueFx", -1, true, kServer},
    // Read from older files and still pushed for older wall servers; never written.
    SettingRow{"allow_background_fx", "allowWordFx", K::backdropSwitches, &S::allowWordFx, 0, 0, "allowBackgroundFx",
               -1, false},
    SettingRow{"allow_hot_fx", "allowHotFx", K::toggle, &S::allowHotFx, 0, 0, "allowHotFx", -1, true, kServer},
    SettingRow{"hot_need", "hotNeed", K::wholeNumber, &S::hotNeed, 3, 30, "hotNeed", -1, true, kServer},
    SettingRow{"hot_window", "hotWindow", K::wholeNumber, &S::hotWindow, 10, 180, "hotWindowSec", -1, true, kServer},
    SettingRow{"show_tips", "showTips", K::toggle, &S::showTips, 0, 0, "showTipsOnWall"},
    SettingRow{"tip_link", "tipLink", K::text, &S::tipLink, 0, 0, "tipLinks", 0},
    SettingRow{"tip_link2", "tipLink2", K::text, &S::tipLink2, 0, 0, "tipLinks", 1},
    SettingRow{"tip_link3", "tipLink3", K::text, &S::tipLink3, 0, 0, "tipLinks", 2},
    SettingRow{"brand_url", "brandUrl", K::link, &S::brandUrl, 0, 0, "brandUrl"},
    SettingRow{"theme", "theme", K::theme, &S::theme, 0, 0, "theme", -1, true, kServer},
    // Written before highlight_sec, so that for a file we wrote the whole seconds decide.
    SettingRow{"duration", "duration", K::olderDuration, &S::duration, 0, 1},
    SettingRow{"highlight_sec", "duration", K::highlightSeconds, &S::duration, kHighlightMinSeconds,
               kHighlightMaxSeconds, "duration"},
    SettingRow{"opacity", "opacity", K::fraction, &S::opacity, 0.2, 1.0},
    SettingRow{"media_dir", "mediaDir", K::folder, &S::mediaDir, 0, 0, "mediaDir"},
    SettingRow{"filter_words", "filterWords", K::text, &S::filterWords, 0, 0, "filterWords"},
};

// min then max, except that a NaN (which both would pass through) ends at the low end.
float clampFloat(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }
int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
std::int32_t asSwitch(int v) { return v != 0 ? 1 : 0; }

// The rest of a line without its trailing CR and LF bytes.
std::string lineValue(const char* text) {
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) --n;
    return std::string(text, n);
}

// Reads "%f,%f,..." and "%i,%i,..." lists: conversions and literal commas, as scanf matches them
// (numbers skip leading blanks, commas must follow immediately). Text after the last field is
// ignored.
class FieldReader {
public:
    explicit FieldReader(const char* text) : rest_(text) {}
    bool real(float& v) { return step(scanFloat(rest_, v, used_)); }
    bool integer(int& v) { return step(scanInt(rest_, v, used_)); }
    bool comma() {
        if (rest_.empty() || rest_.front() != ',') return false;
        rest_.remove_prefix(1);
        return true;
    }

private:
    bool step(bool ok) {
        if (ok) rest_.remove_prefix(used_);
        return ok;
    }
    std::string_view rest_;
    std::size_t used_ = 0;
};

// A string as one layout.ini value: like printf's %s it ends at a NUL byte, and CR and LF are
// left out, so a value can never break its line and smuggle in another setting.
std::string fileValue(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\0') break;
        if (c != '\r' && c != '\n') out += c;
    }
    return out;
}

template <class T>
T& member(const SettingRow& row, WallSettings& s) {
    return s.*std::get<T WallSettings::*>(row.target);
}
template <class T>
const T& member(const SettingRow& row, const WallSettings& s) {
    return s.*std::get<T WallSettings::*>(row.target);
}

}  // namespace

std::span<const SettingRow> settingsTable() { return kTable; }

const SettingRow* findSetting(std::string_view iniKey) {
    for (const SettingRow& row : kTable) {
        if (iniKey == row.ini) return &row;
    }
    return nullptr;
}

void applySetting(const SettingRow& row, WallSettings& s, const char* value) {
    FieldReader f(value);
    int n = 0;
    float x = 0;
    switch (row.kind) {
        case K::toggle:
            if (f.integer(n)) member<std::int32_t>(row, s) = asSwitch(n);
            break;
        case K::backdropSwitches:
            if (f.integer(n)) s.allowWordFx = s.allowTipFx = s.allowVenueFx = asSwitch(n);
            break;
        case K::wholeNumber:
            if (f.integer(n)) {
                member<std::int32_t>(row, s) = clampInt(n, static_cast<int>(row.min), static_cast<int>(row.max));
            }
            break;
        case K::text: member<std::string>(row, s) = lineValue(value); break;
        case K::link: member<std::string>(row, s) = normalizeUrl(lineValue(value)); break;
        case K::theme: member<std::string>(row, s) = normalizeTheme(lineValue(value)); break;
        case K::folder:
            // An empty value keeps the folder we have (the default one is filled in after reading).
            if (std::string dir = lineValue(value); !dir.empty()) member<std::string>(row, s) = std::move(dir);
            break;
        case K::highlightSeconds:
            if (f.integer(n)) {
                const int seconds = clampInt(n, static_cast<int>(row.min), static_cast<int>(row.max));
                member<float>(row, s) = durationOfSeconds(static_cast<float>(seconds));
            }
            break;
        case K::olderDuration:
            // 0..1 stood for 3..15 s.
            if (f.real(x)) member<float>(row, s) = durationOfSeconds(clampFloat(x, 0.0f, 1.0f) * 12.0f + 3.0f);
            break;
        case K::fraction:
            if (f.real(x))
                member<float>(row, s) = clampFloat(x, static_cast<float>(row.min), static_cast<float>(row.max));
            break;
        case K::box: {
            BoxRect b;
            if (f.real(b.x) && f.comma() && f.real(b.y) && f.comma() && f.real(b.w) && f.comma() && f.real(b.h)) {
                member<BoxRect>(row, s) = b;
            }
            break;
        }
        case K::colour: {
            int r = 0, g = 0, b = 0;
            if (f.integer(r) && f.comma() && f.integer(g) && f.comma() && f.integer(b)) {
                member<Argb>(row, s) = 0xFF000000u | (static_cast<Argb>(r) & 0xFF) << 16 |
                                       (static_cast<Argb>(g) & 0xFF) << 8 | (static_cast<Argb>(b) & 0xFF);
            }
            break;
        }
    }
}

std::string settingFileValue(const SettingRow& row, const WallSettings& s) {
    switch (row.kind) {
        case K::toggle:
        case K::backdropSwitches: return member<std::int32_t>(row, s) != 0 ? "1" : "0";
        case K::wholeNumber: return std::to_string(member<std::int32_t>(row, s));
        case K::text:
        case K::link:
        case K::theme:
        case K::folder: return fileValue(member<std::string>(row, s));
        case K::highlightSeconds: return std::to_string(highlightSeconds(s));
        case K::olderDuration:
        case K::fraction: return formatFixed(member<float>(row, s), 5);
        case K::box: {
            const BoxRect& b = member<BoxRect>(row, s);
            return formatFixed(b.x, 5) + ',' + formatFixed(b.y, 5) + ',' + formatFixed(b.w, 5) + ',' +
                   formatFixed(b.h, 5);
        }
        case K::colour: {
            const Argb c = member<Argb>(row, s);
            return std::to_string(c >> 16 & 0xFF) + ',' + std::to_string(c >> 8 & 0xFF) + ',' +
                   std::to_string(c & 0xFF);
        }
    }
    return {};
}

}  // namespace lumvo
