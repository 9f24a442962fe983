#include "overlay/backdrops/keywords.h"

#include <array>
#include <cstddef>
#include <string>

namespace lumvo {
namespace {

struct Keyword {
    int group;
    std::string_view word;
};

// In group order, and in each group in the order tried.
constexpr std::array<Keyword, 34> kKeywords{{
    {1, "birthday"}, {2, "love"},      {3, "sexy"},     {4, "cheers"},
    {4, "party"},    {4, "celebrate"}, {5, "congrats"}, {5, "congratulations"},
    {5, "winner"},   {6, "dance"},     {6, "dancing"},  {7, "kiss"},
    {7, "xoxo"},     {8, "marry"},     {8, "wedding"},  {8, "engaged"},
    {9, "hot"},      {9, "fire"},      {9, "lit"},      {10, "wild"},
    {11, "happy"},   {11, "smile"},    {12, "sad"},     {12, "miss you"},
    {13, "wow"},     {13, "amazing"},  {14, "lucky"},   {14, "jackpot"},
    {15, "shot"},    {15, "shots"},    {16, "sing"},    {16, "anthem"},
    {17, "home"},    {17, "hometown"},
}};

bool wordByte(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

int matchKeyword(std::string_view text) {
    if (text.empty()) return 0;
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::size_t best = std::string::npos;
    int group = 0;
    for (const Keyword& k : kKeywords) {
        std::size_t at = lower.find(k.word);
        while (at != std::string::npos) {
            const std::size_t end = at + k.word.size();
            const bool before = at > 0 && wordByte(lower[at - 1]);
            const bool after = end < lower.size() && wordByte(lower[end]);
            if (!before && !after) break;
            at = lower.find(k.word, end);
        }
        if (at != std::string::npos && (best == std::string::npos || at < best)) {
            best = at;
            group = k.group;
        }
    }
    return group;
}

}  // namespace lumvo
