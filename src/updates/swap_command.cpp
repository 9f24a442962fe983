#include "updates/swap_command.h"

#include "base/utf8_text.h"

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
    for (std::size_t i = 0; i < text.size();) appendCodePoint(out, nextCodePoint(text, i));
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
