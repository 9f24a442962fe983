#include "updates/swap_command.h"

namespace lumvo {
namespace {

bool isPowerShellQuote(char16_t c) { return c == u'\'' || (c >= u'\u2018' && c <= u'\u201B'); }

void appendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

}  // namespace

std::u16string psQuote(std::u16string_view text) {
    std::u16string quoted;
    quoted.reserve(text.size() + 4);
    for (const char16_t c : text) {
        quoted += c;
        if (isPowerShellQuote(c)) quoted += c;
    }
    return quoted;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        std::uint32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && cp >= kSmallest[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!valid) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        appendCodePoint(out, cp);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::u16string swapWaiterArguments(std::uint32_t processId, std::string_view staged, std::string_view installed) {
    const std::u16string id = utf8ToUtf16(std::to_string(processId));
    const std::u16string stagedText = psQuote(utf8ToUtf16(staged));
    const std::u16string installedText = psQuote(utf8ToUtf16(installed));
    return u"-NoProfile -WindowStyle Hidden -Command \"for($i=0;$i -lt 1800;$i++){ if(-not (Get-Process -Id " + id +
           u" -ErrorAction SilentlyContinue)){ break }; Start-Sleep 1 }; Start-Sleep 1; for($k=0;$k -lt 20;$k++){ try "
           u"{ Copy-Item -LiteralPath '" +
           stagedText + u"' -Destination '" + installedText +
           u"' -Force -ErrorAction Stop; break } catch { Start-Sleep 1 } }; Remove-Item -LiteralPath '" + stagedText +
           u"' -Force -ErrorAction SilentlyContinue; Remove-Item -LiteralPath '" + installedText +
           u".old' -Force -ErrorAction SilentlyContinue\"";
}

}  // namespace lumvo
