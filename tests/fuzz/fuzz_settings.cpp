// layout.ini reading on arbitrary files: every value ends inside its range, and what we write
// reads back to the same text.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings.h"
#include "settings/settings_file.h"

using namespace lumvo;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}

WallSettings readFile(std::string text) {
    WallSettings s;
    if (!text.empty()) {  // fmemopen refuses an empty buffer
        std::FILE* f = fmemopen(text.data(), text.size(), "r");
        check(f != nullptr);
        readSettings(f, s);
        std::fclose(f);
    }
    finishSettings(s, "D:\\default media");
    return s;
}

bool inBox(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const WallSettings s = readFile(std::string(reinterpret_cast<const char*>(data), size));
    check(s.hotNeed >= 3 && s.hotNeed <= 30 && s.hotWindow >= 10 && s.hotWindow <= 180);
    check(inBox(s.duration, 0, 1) && inBox(s.opacity, 0.2f, 1));
    for (const BoxRect& b : {s.chat, s.qr, s.hero}) {
        check(inBox(b.w, 0.12f, 0.92f) && inBox(b.h, 0.10f, 0.92f));
        check(inBox(b.x, 0, 1 - b.w) && inBox(b.y, 0, 1 - b.h));
    }
    for (const std::int32_t sw : {s.enable, s.showQr, s.edit, s.allowWordFx, s.allowHotFx, s.showTips}) {
        check(sw == 0 || sw == 1);
    }
    check(normalizeTheme(s.theme) == s.theme && !s.mediaDir.empty());
    check(s.brandUrl.empty() || s.brandUrl.starts_with("http"));
    (void)settingsPushBody(s, s.mediaDir);

    // The first write settles the highlight to whole seconds; from then on the text is stable.
    const std::string once = formatSettingsFile(readFile(formatSettingsFile(s)));
    check(formatSettingsFile(readFile(once)) == once);
    return 0;
}
