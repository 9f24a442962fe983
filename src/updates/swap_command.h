#pragma once
// The self-update's waiter: a hidden PowerShell that waits for the host to exit, copies the staged
// plug-in DLL over the installed one and removes the leftovers. Its command line is built here.
#include <cstdint>
#include <string>
#include <string_view>

namespace lumvo {

// `text` made safe inside a PowerShell single-quoted literal: PowerShell ends such a literal at the
// apostrophe and at each of the typographic single quotes U+2018, U+2019, U+201A and U+201B, and
// reads any of them doubled as one, so each of the five is doubled.
std::u16string psQuote(std::u16string_view text);

// UTF-8 as UTF-16; a byte that starts no valid sequence becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// PowerShell's arguments for the waiter of host process `processId`: up to 1800 times, stop waiting
// once no process has that id, else sleep a second; sleep one more; up to 20 times try to copy
// `staged` over `installed`, a second apart; remove `staged` and `installed` + ".old". The paths are
// UTF-8, each inside a single-quoted literal through psQuote.
std::u16string swapWaiterArguments(std::uint32_t processId, std::string_view staged, std::string_view installed);

}  // namespace lumvo
