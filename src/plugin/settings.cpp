#include "plugin/settings.h"

#include <cstring>
#include <iterator>

#include "plugin/maker_site.h"
#include "serverlink/json.h"
#include "serverlink/number_text.h"

namespace lumvo {
namespace {

// A layout.ini key and the WallSettings member it holds.
template <class T>
struct MemberKey {
    const char* key;
    T WallSettings::*member;
};

// The switches in their layout.ini order (show_tips is written later, with the hot post numbers).
constexpr MemberKey<std::int32_t> kSwitches[] = {
    {"enable", &WallSettings::enable},
    {"show_qr", &WallSettings::showQr},
    {"edit", &WallSettings::edit},
    {"auto_approve", &WallSettings::autoApprove},
    {"repeat", &WallSettings::repeat},
    {"beat", &WallSettings::beat},
    {"notify", &WallSettings::notify},
    {"allow_messages", &WallSettings::allowMessages},
    {"allow_requests", &WallSettings::allowRequests},
    {"allow_photos", &WallSettings::allowPhotos},
    {"allow_all_emojis", &WallSettings::allowAllEmojis},
    {"allow_multiple_emojis", &WallSettings::allowMultipleEmojis},
    {"allow_unlimited_voting", &WallSettings::allowUnlimitedVoting},
    {"allow_guest_colors", &WallSettings::allowGuestColors},
    {"allow_reactions", &WallSettings::allowReactions},
    {"allow_word_fx", &WallSettings::allowWordFx},
    {"allow_tip_fx", &WallSettings::allowTipFx},
    {"allow_venue_fx", &WallSettings::allowVenueFx},
    {"allow_hot_fx", &WallSettings::allowHotFx},
};

constexpr MemberKey<BoxRect> kBoxes[] = {{"chat", &WallSettings::chat}, {"qr", &WallSettings::qr}, {"hero", &WallSettings::hero}};

constexpr MemberKey<Argb> kColors[] = {
    {"color_shoutout", &WallSettings::colorShoutout},
    {"color_request", &WallSettings::colorRequest},
    {"color_photo", &WallSettings::colorPhoto},
    {"color_venue", &WallSettings::colorVenue},
};

constexpr MemberKey<std::string> kTipLinks[] = {
    {"tip_link", &WallSettings::tipLink}, {"tip_link2", &WallSettings::tipLink2}, {"tip_link3", &WallSettings::tipLink3}};

// min then max, except that a NaN (which both would pass through) ends at the low end.
float clampFloat(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }
int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
std::int32_t asSwitch(int v) { return v != 0 ? 1 : 0; }

// The text after "key=" when the line starts with it, else null.
const char* afterKey(const char* line, const char* key) {
    const std::size_t n = std::strlen(key);
    if (std::strncmp(line, key, n) != 0 || line[n] != '=') return nullptr;
    return line + n + 1;
}

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

void writeLine(std::string& out, const char* key, std::string_view value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

std::string boxText(const BoxRect& b) {
    return formatFixed(b.x, 5) + ',' + formatFixed(b.y, 5) + ',' + formatFixed(b.w, 5) + ',' + formatFixed(b.h, 5);
}

std::string colorText(Argb c) {
    return std::to_string(c >> 16 & 0xFF) + ',' + std::to_string(c >> 8 & 0xFF) + ',' + std::to_string(c & 0xFF);
}

// Builds a JSON object key by key, in the order the keys are added.
class JsonObjectWriter {
public:
    void flag(const char* key, std::int32_t on) { raw(key, on != 0 ? "true" : "false"); }
    void number(const char* key, std::string_view text) { raw(key, text); }
    void text(const char* key, std::string_view escaped) {
        name(key);
        out_ += '"';
        out_ += escaped;
        out_ += '"';
    }
    void textArray(const char* key, std::initializer_list<std::string_view> escapedItems) {
        name(key);
        out_ += '[';
        bool first = true;
        for (const auto item : escapedItems) {
            if (!first) out_ += ',';
            first = false;
            out_ += '"';
            out_ += item;
            out_ += '"';
        }
        out_ += ']';
    }
    std::string finish() { return out_ + '}'; }

private:
    void raw(const char* key, std::string_view value) {
        name(key);
        out_ += value;
    }
    void name(const char* key) {
        out_ += out_.size() == 1 ? "\"" : ",\"";
        out_ += key;
        out_ += "\":";
    }
    std::string out_ = "{";
};

}  // namespace

std::string normalizeTheme(std::string_view theme) {
    std::string lower(theme);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == "wedding" || lower == "event" || lower == "lounge" || lower == "garden") return lower;
    return "club";
}

std::string normalizeUrl(std::string_view url) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = url.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    std::string out(url.substr(first, url.find_last_not_of(kBlanks) - first + 1));
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    if (out.find("://") == std::string::npos) out.insert(0, "https://");
    if (!out.starts_with("http://") && !out.starts_with("https://")) return {};
    constexpr std::size_t kMaxBytes = 200;
    if (out.size() > kMaxBytes) {
        // Cut before the character that would not fit whole, never inside its UTF-8 bytes.
        std::size_t cut = kMaxBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

void clampBox(BoxRect& box) {
    box.w = clampFloat(box.w, 0.12f, 0.92f);
    box.h = clampFloat(box.h, 0.10f, 0.92f);
    box.x = clampFloat(box.x, 0.0f, 1.0f - box.w);
    box.y = clampFloat(box.y, 0.0f, 1.0f - box.h);
}

std::string brandLabel(std::string_view normalizedUrl) {
    std::string_view host = normalizedUrl;
    if (const std::size_t scheme = host.find("://"); scheme != std::string_view::npos) host.remove_prefix(scheme + 3);
    while (host.starts_with("www.")) host.remove_prefix(4);
    host = host.substr(0, host.find_first_of("/?#"));
    if (host.empty()) return "Lumvo";
    std::string lower(host);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == kMakerWebHost) return "Lumvo";
    return std::string(host);
}

int highlightSeconds(const WallSettings& s) {
    return static_cast<int>(clampFloat(s.duration, 0.0f, 1.0f) * 57.0f + 3.0f + 0.5f);
}

void applySettingsLine(WallSettings& s, const char* line) {
    if (line == nullptr) return;
    const char* v = nullptr;

    for (const auto& box : kBoxes) {
        if ((v = afterKey(line, box.key)) == nullptr) continue;
        BoxRect b;
        FieldReader f(v);
        if (f.real(b.x) && f.comma() && f.real(b.y) && f.comma() && f.real(b.w) && f.comma() && f.real(b.h)) {
            s.*box.member = b;
        }
        return;
    }
    for (const auto& color : kColors) {
        if ((v = afterKey(line, color.key)) == nullptr) continue;
        int r = 0, g = 0, b = 0;
        FieldReader f(v);
        if (f.integer(r) && f.comma() && f.integer(g) && f.comma() && f.integer(b)) {
            s.*color.member = 0xFF000000u | (static_cast<Argb>(r) & 0xFF) << 16 | (static_cast<Argb>(g) & 0xFF) << 8 |
                              (static_cast<Argb>(b) & 0xFF);
        }
        return;
    }
    if ((v = afterKey(line, "media_dir")) != nullptr) {
        // An empty value keeps the folder we have (the default one is filled in after reading).
        if (std::string dir = lineValue(v); !dir.empty()) s.mediaDir = std::move(dir);
        return;
    }

    int n = 0;
    auto readInt = [&](const char* key) { return (v = afterKey(line, key)) != nullptr && FieldReader(v).integer(n); };
    for (const auto& sw : kSwitches) {
        if (readInt(sw.key)) {
            s.*sw.member = asSwitch(n);
            return;
        }
    }
    if (readInt("allow_background_fx")) {  // older files: one switch for all three kinds of backdrop
        s.allowWordFx = s.allowTipFx = s.allowVenueFx = asSwitch(n);
        return;
    }
    if (readInt("hot_need")) {
        s.hotNeed = clampInt(n, 3, 30);
        return;
    }
    if (readInt("hot_window")) {
        s.hotWindow = clampInt(n, 10, 180);
        return;
    }
    if (readInt("show_tips")) {
        s.showTips = asSwitch(n);
        return;
    }
    for (auto it = std::rbegin(kTipLinks); it != std::rend(kTipLinks); ++it) {
        if ((v = afterKey(line, it->key)) != nullptr) {
            s.*it->member = lineValue(v);
            return;
        }
    }
    if ((v = afterKey(line, "theme")) != nullptr) {
        s.theme = normalizeTheme(lineValue(v));
        return;
    }
    if ((v = afterKey(line, "brand_url")) != nullptr) {
        s.brandUrl = normalizeUrl(lineValue(v));
        return;
    }
    if (readInt("highlight_sec")) {
        s.duration = static_cast<float>(clampInt(n, 3, 60) - 3) / 57.0f;
        return;
    }
    float f = 0;
    if ((v = afterKey(line, "duration")) != nullptr && FieldReader(v).real(f)) {
        // The older form: 0..1 stood for 3..15 seconds.
        s.duration = ((clampFloat(f, 0.0f, 1.0f) * 12.0f + 3.0f) - 3.0f) / 57.0f;
        return;
    }
    if ((v = afterKey(line, "opacity")) != nullptr && FieldReader(v).real(f)) {
        s.opacity = clampFloat(f, 0.2f, 1.0f);
    }
}

void readSettings(std::FILE* file, WallSettings& s) {
    if (file == nullptr) return;
    char line[1024];
    while (std::fgets(line, sizeof line, file) != nullptr) applySettingsLine(s, line);
}

void finishSettings(WallSettings& s, std::string_view defaultMediaFolder) {
    if (s.mediaDir.empty()) s.mediaDir = std::string(defaultMediaFolder);
    clampBox(s.chat);
    clampBox(s.qr);
    clampBox(s.hero);
}

std::string formatSettingsFile(const WallSettings& s) {
    std::string out;
    for (const auto& box : kBoxes) writeLine(out, box.key, boxText(s.*box.member));
    for (const auto& color : kColors) writeLine(out, color.key, colorText(s.*color.member));
    for (const auto& sw : kSwitches) writeLine(out, sw.key, s.*sw.member != 0 ? "1" : "0");
    writeLine(out, "hot_need", std::to_string(s.hotNeed));
    writeLine(out, "hot_window", std::to_string(s.hotWindow));
    writeLine(out, "show_tips", s.showTips != 0 ? "1" : "0");
    for (const auto& link : kTipLinks) writeLine(out, link.key, fileValue(s.*link.member));
    writeLine(out, "brand_url", fileValue(s.brandUrl));
    writeLine(out, "theme", fileValue(s.theme));
    writeLine(out, "duration", formatFixed(s.duration, 5));
    writeLine(out, "highlight_sec", std::to_string(highlightSeconds(s)));
    writeLine(out, "opacity", formatFixed(s.opacity, 5));
    writeLine(out, "media_dir", fileValue(s.mediaDir));
    return out;
}

std::string settingsPushBody(const WallSettings& s, std::string_view mediaDir) {
    JsonObjectWriter j;
    j.flag("autoApprove", s.autoApprove);
    j.flag("repeatMessages", s.repeat);
    j.flag("allowMessages", s.allowMessages);
    j.flag("allowRequests", s.allowRequests);
    j.flag("allowPhotos", s.allowPhotos);
    j.flag("allowAllEmojis", s.allowAllEmojis);
    j.flag("allowMultipleEmojis", s.allowMultipleEmojis);
    j.flag("allowUnlimitedVoting", s.allowUnlimitedVoting);
    j.flag("allowGuestColors", s.allowGuestColors);
    j.flag("allowReactions", s.allowReactions);
    j.flag("allowWordFx", s.allowWordFx);
    j.flag("allowTipFx", s.allowTipFx);
    j.flag("allowVenueFx", s.allowVenueFx);
    j.flag("allowBackgroundFx", s.allowWordFx);
    j.flag("allowHotFx", s.allowHotFx);
    j.number("hotNeed", std::to_string(s.hotNeed));
    j.number("hotWindowSec", std::to_string(s.hotWindow));
    j.flag("showTipsOnWall", s.showTips);
    // The links go as they are, only escaped: a percent sign stays one percent sign.
    j.textArray("tipLinks", {jsonEscape(s.tipLink), jsonEscape(s.tipLink2), jsonEscape(s.tipLink3)});
    j.number("duration", formatFixed(3.0f + clampFloat(s.duration, 0.0f, 1.0f) * 57.0f, 1));
    j.text("theme", normalizeTheme(s.theme));
    j.text("mediaDir", jsonEscape(mediaDir));
    j.text("brandUrl", jsonEscape(normalizeUrl(s.brandUrl)));
    return j.finish();
}

}  // namespace lumvo
