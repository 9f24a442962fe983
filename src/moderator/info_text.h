#pragma once
// The Info tab's help texts: where each page's text comes from, the light line markup they are
// written in (title, headings, numbered steps, two-column rows, paragraphs), and the text view's
// layout and scrolling arithmetic. The Win32 view (win/info_view.*) measures and draws; everything
// it decides is here, with the text heights handed in by a measuring function.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumvo {

// The help pages on the Info tab, in their order (the eighth sub-page, Update, has no file).
inline constexpr int kInfoTextPageCount = 7;
// The file of help page `index` (0..6), looked for in the info folder, then on the wall server
// under /web/info/; empty for any other index.
std::string_view infoPageFile(int index);
// A help text longer than this is not read (from disk or from the wall server).
inline constexpr std::size_t kInfoTextCap = 250000;
// What a page shows when neither the info folder nor the wall server has its text.
inline constexpr std::string_view kInfoPageMissing =
    "Could not load this page. Fully quit VirtualDJ after an update so the Info files copy across, then open the "
    "moderator again.";

// A help text as read: nothing when it is over the cap or empty; a UTF-8 byte-order mark dropped
// (a text that was only that is empty).
std::optional<std::string> infoTextFromBytes(std::string bytes);

enum class InfoBlockKind { title, heading, step, row, paragraph };

// One block of a help text. A: the line (title, heading, paragraph), a step's text after its
// number, a row's left part. B: a step's number, a row's right part.
struct InfoBlock {
    InfoBlockKind kind = InfoBlockKind::paragraph;
    std::string a;
    std::string b;
    bool operator==(const InfoBlock&) const = default;
};

// The text split at line feeds into blocks. Each line loses a carriage return at its end, then
// its trailing spaces and tabs; an empty line makes no block. A heading line (at least 3 letters,
// none lower-case; or a version number: digits and exactly one full stop, no letters, at most 8
// characters) is the title when it is the first, else a heading. Then a step ("12. text"), a row
// (a left part, two spaces at or after the second character, a right part), or a paragraph.
// Letters are those of the Latin, Greek and Cyrillic alphabets; characters are counted as code
// points.
std::vector<InfoBlock> parseInfoText(std::string_view text);

// --- Layout ----------------------------------------------------------------------------------------

enum class InfoFont { title, bold, body };

// The height in pixels of block `index`'s text A (`partB` false) or B, word-wrapped to `width`
// pixels in `font`.
using InfoMeasure = std::function<int(std::size_t index, bool partB, InfoFont font, int width)>;

struct InfoBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const InfoBox&) const = default;
};

// Where one block's pieces go, in client pixels at the scroll offset the layout was made for.
// `a` holds text A (title and heading in their fonts, a step's text, a row's left part, a
// paragraph); `b` a row's right part or a step's badge (its number centred in it); `bar` a
// title's accent bar. Pieces a kind does not have are empty boxes.
struct InfoPlacement {
    InfoBlockKind kind = InfoBlockKind::paragraph;
    InfoBox a;
    InfoBox b;
    InfoBox bar;
};

struct InfoLayout {
    std::vector<InfoPlacement> blocks;
    int contentHeight = 0;  // the whole text's height, whatever the offset
};

// The one walk that both measures (for the content height) and places (for drawing): a column
// 18 pixels in from the left, client width less 36 wide (at least 80), starting 18 pixels down
// less the scroll offset; each block moves down by its text's height and its kind's spacing.
InfoLayout layoutInfoText(const std::vector<InfoBlock>& blocks, int clientWidth, int scrollOffset,
                          const InfoMeasure& measure);
// A row's column: the left part runs from x 18 to C + 10, the right part from C + 18.
int infoRowColumn(int clientWidth);

// --- Scrolling -------------------------------------------------------------------------------------

enum class InfoScroll { lineUp, lineDown, pageUp, pageDown, top, bottom, track, wheel };

// The offset within 0..max(content height - client height, 0).
int clampInfoScroll(int offset, int contentHeight, int clientHeight);
// The offset after a scroll step, clamped. Lines move 24 pixels, pages the client height less 32
// (at least 32); `track` moves to `value`; `wheel` moves 48 pixels per 120 units of `value`,
// towards the top for a positive value (the wheel turned away from the user).
int scrollInfoView(int offset, InfoScroll step, int value, int contentHeight, int clientHeight);

}  // namespace lumvo
