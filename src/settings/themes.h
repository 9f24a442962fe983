#pragma once
// The wall's themes, described once. The theme setting, the overlay's looks and (through the
// table the native tests export to tests/contract/settings.json) the wall server, the guest
// pages' look code and style sheet and the look editor all follow this list.
#include <array>
#include <cstddef>
#include <string_view>

namespace lumvo {

// In the order the DJ's choice lists them. The first is the fallback: any other name is it.
inline constexpr std::array<std::string_view, 5> kThemeNames{"club", "wedding", "event", "lounge", "garden"};
inline constexpr std::size_t kThemeCount = kThemeNames.size();

// The place in kThemeNames of a theme setting's value: A-Z lower-cased, then one of the names;
// anything else (the empty text, "club ", a theme this plug-in does not know) is 0, the fallback.
std::size_t themeIndex(std::string_view name);

}  // namespace lumvo
