#include "settings/themes.h"

#include <string>

namespace lumvo {

std::size_t themeIndex(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (std::size_t i = 0; i < kThemeCount; ++i) {
        if (kThemeNames[i] == lower) return i;
    }
    return 0;
}

}  // namespace lumvo
