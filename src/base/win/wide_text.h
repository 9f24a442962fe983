#pragma once
// UTF-8 <-> UTF-16 at the Windows calls. Invalid input gives replacement characters, never an error.
#include <string>
#include <string_view>

namespace lumvo {

std::wstring utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::wstring_view wide);

}  // namespace lumvo
