#pragma once
// Which word backdrop a post's words call for: the keyword groups, found as whole words.
#include <string_view>

namespace lumvo {

inline constexpr int kKeywordGroupCount = 17;

// The keyword group (1..17) of the earliest whole-word keyword in `text`, or 0. Only A..Z are
// lower-cased; a byte that is not a..z or 0..9 (every byte of a UTF-8 sequence among them) ends a
// word. On equal positions the lower group wins.
int matchKeyword(std::string_view text);

}  // namespace lumvo
