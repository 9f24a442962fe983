// The Info tab's help texts: how a text becomes blocks, what counts as a readable text, and the
// text view's layout walk and scrolling (the Win32 view only measures and draws what these decide).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "moderator/info_text.h"

namespace lumvo {
namespace {

std::vector<std::string> describe(const std::vector<InfoBlock>& blocks) {
    static const char* kinds[] = {"title", "heading", "step", "row", "paragraph"};
    std::vector<std::string> lines;
    for (const InfoBlock& block : blocks) {
        lines.push_back(std::string(kinds[static_cast<int>(block.kind)]) + "|" + block.a + "|" + block.b);
    }
    return lines;
}

TEST(InfoText, LinesBecomeTitleHeadingsStepsRowsAndParagraphsByTheirShape) {
    const std::string text =
        "Welcome to the wall\r\n"           // before any heading: a paragraph
        "HOW IT WORKS  \t\r\n"              // the first heading is the title, whatever came before it
        "\n   \t\n\r\n"                     // blank lines make nothing
        "Hello\n"                           // one word with small letters
        "AB\n"                              // too few letters for a heading
        "\u00C9T\u00C9 \u00C0 NO\u00CBL\n"  // capitals outside ASCII: a heading
        "\u00DCber uns\n"                   // a capital and small letters outside ASCII: a paragraph
        "\u0412\u0410\u0416\u041D\u041E\n"  // Cyrillic capitals
        "0.65\n"                            // a version number
        "12345.67\n"                        // eight characters: still one
        "123456.78\n"                       // nine: a paragraph
        "1.4.2\n"                           // two full stops: a paragraph
        "v1.2\n"                            // a letter: a paragraph
        "3. Tap Update\n"                   // a step
        "12. Open  the  page\n"             // a step, however many spaces its text has
        "3.Tap Update\n"                    // no space after the stop
        "1. UPDATE NOW\n"                   // capitals win over the number
        "Tips  Tips waiting   here\n"       // a row: split at the first two spaces
        "Messages     Shout-outs\n"         // the right part loses its leading spaces
        "  starts with two spaces\n"        // two spaces at the very start: no row
        " a  b\n"                           // one space at the start, then a gap: a row
        "last line without a feed";
    const std::vector<std::string> expected{
        "paragraph|Welcome to the wall|",
        "title|HOW IT WORKS|",
        "paragraph|Hello|",
        "paragraph|AB|",
        "heading|\u00C9T\u00C9 \u00C0 NO\u00CBL|",
        "paragraph|\u00DCber uns|",
        "heading|\u0412\u0410\u0416\u041D\u041E|",
        "heading|0.65|",
        "heading|12345.67|",
        "paragraph|123456.78|",
        "paragraph|1.4.2|",
        "paragraph|v1.2|",
        "step|Tap Update|3",
        "step|Open  the  page|12",
        "paragraph|3.Tap Update|",
        "heading|1. UPDATE NOW|",
        "row|Tips|Tips waiting   here",
        "row|Messages|Shout-outs",
        "paragraph|  starts with two spaces|",
        "row| a|b",
        "paragraph|last line without a feed|",
    };
    EXPECT_EQ(describe(parseInfoText(text)), expected);
    EXPECT_TRUE(parseInfoText("").empty());
    EXPECT_TRUE(parseInfoText("\r\n \n\t").empty());

    // What counts as a text at all: a byte-order mark goes, nothing left or too much is none.
    EXPECT_EQ(infoTextFromBytes("\xEF\xBB\xBFHOW IT WORKS"), std::optional<std::string>("HOW IT WORKS"));
    EXPECT_EQ(infoTextFromBytes("\xEF\xBB\xBF"), std::nullopt);
    EXPECT_EQ(infoTextFromBytes(""), std::nullopt);
    EXPECT_TRUE(infoTextFromBytes(std::string(kInfoTextCap, 'x')).has_value());
    EXPECT_EQ(infoTextFromBytes(std::string(kInfoTextCap + 1, 'x')), std::nullopt);
}

// Text measured as if each character were 7 pixels wide and a line 16 high, wrapped at the width.
int fakeHeight(const std::vector<InfoBlock>& blocks, std::size_t index, bool partB, int width) {
    const std::string& text = partB ? blocks[index].b : blocks[index].a;
    const int perLine = std::max(width / 7, 1);
    return 16 * ((static_cast<int>(text.size()) + perLine - 1) / perLine);
}

InfoLayout layOut(const std::vector<InfoBlock>& blocks, int width, int offset) {
    return layoutInfoText(blocks, width, offset, [&](std::size_t index, bool partB, InfoFont, int w) {
        return fakeHeight(blocks, index, partB, w);
    });
}

TEST(InfoText, BlocksFollowOneAnotherAndScrollingStopsAtTheLastScreenful) {
    std::string text = "GETTING STARTED\n";
    for (int i = 0; i < 12; ++i) {
        text += "SECTION " + std::to_string(i) + "\n";
        text += std::to_string(i + 1) + ". A step whose text is long enough to wrap over two or three lines\n";
        text += "Left  A right part that wraps over more lines than its short left part does\n";
        text += "A paragraph of some length, long enough to be wrapped at least once in the view.\n";
    }
    text += "GOOD TO KNOW\n";  // caps again: a heading, not a second title
    const std::vector<InfoBlock> blocks = parseInfoText(text);
    ASSERT_EQ(blocks.size(), 50u);

    // No block overlaps the next, whatever its kind, and the content ends below the last.
    for (int width : {200, 420, 900}) {
        const InfoLayout layout = layOut(blocks, width, 0);
        ASSERT_EQ(layout.blocks.size(), blocks.size());
        int previousBottom = 0;
        for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
            const InfoPlacement& p = layout.blocks[i];
            EXPECT_GE(p.a.top, previousBottom) << "block " << i << " at width " << width;
            if (p.b.bottom > p.b.top) {
                EXPECT_GE(p.b.top, previousBottom) << "block " << i;
            }
            EXPECT_GE(p.a.bottom - p.a.top, fakeHeight(blocks, i, false, p.a.right - p.a.left)) << "block " << i;
            previousBottom = std::max({p.a.bottom, p.b.bottom, p.bar.bottom});
        }
        EXPECT_GT(layout.contentHeight, previousBottom);
        // The same walk at another offset is the same picture moved up.
        const InfoLayout scrolled = layOut(blocks, width, 100);
        EXPECT_EQ(scrolled.contentHeight, layout.contentHeight);
        EXPECT_EQ(scrolled.blocks.back().a.top, layout.blocks.back().a.top - 100);
    }

    const int client = 300;
    const InfoLayout layout = layOut(blocks, 420, 0);
    const int content = layout.contentHeight;
    ASSERT_GT(content, 3 * client);
    const int end = scrollInfoView(0, InfoScroll::bottom, 0, content, client);
    EXPECT_EQ(end, content - client);
    // At the end the last block is whole on screen, just above the bottom margin.
    const InfoPlacement last = layOut(blocks, 420, end).blocks.back();
    EXPECT_LE(last.a.bottom, client);
    EXPECT_GT(last.a.bottom, client - 40);
    for (auto [step, value] : {std::pair{InfoScroll::lineDown, 0},
                               {InfoScroll::pageDown, 0},
                               {InfoScroll::wheel, -120 * 50},
                               {InfoScroll::track, content}}) {
        EXPECT_EQ(scrollInfoView(end, step, value, content, client), end) << "past the end";
    }
    for (auto [step, value] : {std::pair{InfoScroll::lineUp, 0},
                               {InfoScroll::pageUp, 0},
                               {InfoScroll::wheel, 120},
                               {InfoScroll::track, -5},
                               {InfoScroll::top, 0}}) {
        EXPECT_EQ(scrollInfoView(0, step, value, content, client), 0) << "past the top";
    }
    // The wheel goes 48 pixels a notch, down when turned towards the user.
    EXPECT_EQ(scrollInfoView(0, InfoScroll::wheel, -240, content, client), 96);
    // An offset kept from a longer text is pulled back in.
    EXPECT_EQ(clampInfoScroll(end, content / 2, client), content / 2 - client);

    // A text shorter than the view cannot scroll at all.
    const std::vector<InfoBlock> shortText = parseInfoText("TIPS\nOne line.\n1. And a step\n");
    const int shortHeight = layOut(shortText, 420, 0).contentHeight;
    ASSERT_LT(shortHeight, client);
    for (auto [step, value] : {std::pair{InfoScroll::bottom, 0},
                               {InfoScroll::pageDown, 0},
                               {InfoScroll::lineDown, 0},
                               {InfoScroll::wheel, -120},
                               {InfoScroll::track, 50}}) {
        EXPECT_EQ(scrollInfoView(0, step, value, shortHeight, client), 0);
    }
}

}  // namespace
}  // namespace lumvo
