#include "moderator/info_text.h"

#include <algorithm>
#include <array>
#include <climits>

#include "base/utf8_text.h"

namespace lumvo {
namespace {

constexpr std::array<std::string_view, kInfoTextPageCount> kPageFiles{
    "start.txt", "features.txt", "booth.txt", "vote.txt", "tips.txt", "words.txt", "help.txt"};

struct Letter {
    bool letter = false;
    bool lower = false;
};

// Letters of the Latin (Basic, Latin-1, Extended-A), Greek and Cyrillic blocks and their case.
Letter letterOf(char32_t c) {
    if (c >= 'A' && c <= 'Z') return {true, false};
    if (c >= 'a' && c <= 'z') return {true, true};
    if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) return {true, c >= 0xDF};
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs of capital and small letters: capitals on even code points, except in the two
        // runs that start on an odd one; the three without a capital are small.
        if (c == 0x138 || c == 0x149 || c == 0x17F) return {true, true};
        if (c == 0x178) return {true, false};
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return {true, oddRun ? c % 2 == 0 : c % 2 == 1};
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return {true, false};
    if (c >= 0x3AC && c <= 0x3CE) return {true, true};
    if (c >= 0x400 && c <= 0x42F) return {true, false};
    if (c >= 0x430 && c <= 0x45F) return {true, true};
    return {};
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHeading(std::string_view line) {
    int letters = 0, lower = 0, digits = 0, stops = 0, characters = 0;
    for (std::size_t at = 0; at < line.size();) {
        const char32_t c = nextCodePoint(line, at);
        ++characters;
        const Letter kind = letterOf(c);
        letters += kind.letter ? 1 : 0;
        lower += kind.lower ? 1 : 0;
        digits += c >= '0' && c <= '9' ? 1 : 0;
        stops += c == '.' ? 1 : 0;
    }
    if (letters >= 3 && lower == 0) return true;
    return digits >= 1 && stops == 1 && letters == 0 && characters <= 8;  // a version number
}

std::size_t characterCount(std::string_view line) {
    std::size_t n = 0;
    for (std::size_t at = 0; at < line.size(); ++n) nextCodePoint(line, at);
    return n;
}

std::optional<InfoBlock> stepOf(std::string_view line) {
    std::size_t digits = 0;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    if (digits == 0 || characterCount(line) <= 2 || line.substr(digits, 2) != ". ") return std::nullopt;
    return InfoBlock{InfoBlockKind::step, std::string(line.substr(digits + 2)), std::string(line.substr(0, digits))};
}

std::optional<InfoBlock> rowOf(std::string_view line) {
    // A space is never part of a longer character, so byte positions do here.
    const std::size_t gap = line.find("  ", 1);
    if (gap == std::string_view::npos || gap + 2 >= line.size()) return std::nullopt;
    std::string_view right = line.substr(gap + 2);
    right.remove_prefix(std::min(right.find_first_not_of(' '), right.size()));
    if (right.empty()) return std::nullopt;
    return InfoBlock{InfoBlockKind::row, std::string(line.substr(0, gap)), std::string(right)};
}

}  // namespace

std::string_view infoPageFile(int index) {
    return index >= 0 && index < kInfoTextPageCount ? kPageFiles[static_cast<std::size_t>(index)] : std::string_view();
}

std::optional<std::string> infoTextFromBytes(std::string bytes) {
    if (bytes.size() > kInfoTextCap) return std::nullopt;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

std::vector<InfoBlock> parseInfoText(std::string_view text) {
    std::vector<InfoBlock> blocks;
    bool titled = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line.empty()) continue;
        if (isHeading(line)) {
            blocks.push_back({titled ? InfoBlockKind::heading : InfoBlockKind::title, std::string(line), {}});
            titled = true;
        } else if (auto step = stepOf(line)) {
            blocks.push_back(std::move(*step));
        } else if (auto row = rowOf(line)) {
            blocks.push_back(std::move(*row));
        } else {
            blocks.push_back({InfoBlockKind::paragraph, std::string(line), {}});
        }
    }
    return blocks;
}

// --- Layout ------------------------------------------------------------------------------------

namespace {

constexpr int kMargin = 18;

}  // namespace

int infoRowColumn(int clientWidth) { return std::clamp(std::max(clientWidth - 2 * kMargin, 80) / 3, 90, 170); }

InfoLayout layoutInfoText(const std::vector<InfoBlock>& blocks, int clientWidth, int scrollOffset,
                          const InfoMeasure& measure) {
    InfoLayout layout;
    layout.blocks.reserve(blocks.size());
    const int width = std::max(clientWidth - 2 * kMargin, 80);
    const int right = kMargin + width;
    const int column = infoRowColumn(clientWidth);
    int y = kMargin - scrollOffset;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        InfoPlacement place;
        place.kind = blocks[i].kind;
        const auto height = [&](bool partB, InfoFont font, int w) { return std::max(measure(i, partB, font, w), 0); };
        switch (blocks[i].kind) {
            case InfoBlockKind::title: {
                if (i > 0) y += 8;
                const int h = height(false, InfoFont::title, width);
                place.a = {kMargin, y, right, y + h};
                place.bar = {kMargin, y + h + 8, kMargin + 56, y + h + 11};
                y += h + 22;
                break;
            }
            case InfoBlockKind::heading: {
                const int h = height(false, InfoFont::bold, width);
                place.a = {kMargin, y + 10, right, y + 10 + h};
                y += h + 18;
                break;
            }
            case InfoBlockKind::step: {
                const int h = height(false, InfoFont::body, right - 56);
                place.b = {kMargin, y, 46, y + 22};
                place.a = {56, y, right, y + h};
                y += std::max(h, 22) + 8;
                break;
            }
            case InfoBlockKind::row: {
                const int left = height(false, InfoFont::bold, column + 10 - kMargin);
                const int other = height(true, InfoFont::body, right - (column + 18));
                place.a = {kMargin, y, column + 10, y + left};
                place.b = {column + 18, y, right, y + other};
                y += std::max(left, other) + 8;
                break;
            }
            case InfoBlockKind::paragraph: {
                const int h = height(false, InfoFont::body, width);
                place.a = {kMargin, y, right, y + h};
                y += h + 8;
                break;
            }
        }
        layout.blocks.push_back(place);
    }
    layout.contentHeight = y + scrollOffset + kMargin;
    return layout;
}

// --- Scrolling ---------------------------------------------------------------------------------

int clampInfoScroll(int offset, int contentHeight, int clientHeight) {
    return std::clamp(offset, 0, std::max(contentHeight - clientHeight, 0));
}

int scrollInfoView(int offset, InfoScroll step, int value, int contentHeight, int clientHeight) {
    const long long page = std::max(clientHeight - 32, 32);
    long long target = offset;
    switch (step) {
        case InfoScroll::lineUp: target -= 24; break;
        case InfoScroll::lineDown: target += 24; break;
        case InfoScroll::pageUp: target -= page; break;
        case InfoScroll::pageDown: target += page; break;
        case InfoScroll::top: target = 0; break;
        case InfoScroll::bottom: target = contentHeight; break;
        case InfoScroll::track: target = value; break;
        case InfoScroll::wheel: target -= static_cast<long long>(value) * 48 / 120; break;
    }
    target = std::clamp<long long>(target, INT_MIN, INT_MAX);
    return clampInfoScroll(static_cast<int>(target), contentHeight, clientHeight);
}

}  // namespace lumvo
