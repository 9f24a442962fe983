#pragma once
// Flash safety of what the TV shows: counts the general flashes and red flashes in a sequence of
// frames, as WCAG 2.3.1 defines them, so that no effect of the overlay flashes more than three
// times in any one second.
//
// - A general flash is a pair of opposing changes in relative luminance of 10 % or more of the
//   maximum, where the darker state is below 0.80, over a large enough area at once.
// - A red flash is a pair of opposing changes that involve a saturated red: one of the two states
//   has R / (R + G + B) of at least 0.8, and max(R - G - B, 0) x 320 changes by more than 20
//   (R, G, B linear, 0..1).
// - The area: the pixels that made a change in the same direction in the same frame count as one
//   flashing area when they cover more than 25 % of some 10 degree field of vision. WCAG gives that
//   field as 341 x 256 pixels of a 1024 x 768 screen at a desk; a TV is watched from across the
//   room at about the same angle per screen, so the field keeps its share of the frame: a third of
//   its width by a third of its height (426 x 240 on a 1280 x 720 frame).
//
// Every pixel keeps its last extreme of luminance (and of redness) and the direction it was moving
// in; a pixel changes direction once it has moved back from that extreme by the threshold. A
// frame counts as a rising (or falling) change of the picture when the pixels that changed that
// way fill more than the area share of some field. A flash is two opposing changes: the changes
// are taken in order, runs in one direction as one, and every two make a flash.
//
// Portable: frames are 0xAARRGGBB pixels, rows top to bottom, as the screen shows them (alpha is
// not looked at).
#include <cstdint>
#include <span>
#include <vector>

namespace lumvo {

struct FlashRules {
    float luminanceStep = 0.10f;  // a change of at least this much relative luminance
    float darkerBelow = 0.80f;    // ... where the darker state is below this
    float redStep = 20.0f;        // a change of more than this in max(R - G - B, 0) x 320
    float redShare = 0.80f;       // a saturated red: R / (R + G + B) at least this
    // The 10 degree field as a share of the frame's width and height, and how much of it must
    // change at once.
    double fieldWidthShare = 341.0 / 1024.0;
    double fieldHeightShare = 256.0 / 768.0;
    double areaShare = 0.25;
    int limitPerSecond = 3;  // at most this many flashes in any one second
};

struct FlashReport {
    int frames = 0;
    double seconds = 0;                   // frames / fps
    int fieldWidth = 0, fieldHeight = 0;  // the field in the frame's pixels
    int generalFlashes = 0;               // in the whole sequence
    int redFlashes = 0;
    int worstGeneral = 0;     // the most general flashes in any one second
    int worstRed = 0;         // the most red flashes in any one second
    double worstStart = 0;    // when the worse of the two windows starts, seconds
    double largestShare = 0;  // the largest share of one field that changed in one frame
    bool passes(const FlashRules& rules = {}) const {
        return worstGeneral <= rules.limitPerSecond && worstRed <= rules.limitPerSecond;
    }
    double flashesPerSecond() const { return seconds > 0 ? (generalFlashes + redFlashes) / seconds : 0; }
};

class FlashAnalyser {
public:
    // Frames of width x height at `fps` frames a second. Throws std::invalid_argument for a size
    // below 1 x 1 or over 8192 x 8192, or an fps that is not a number from 1 to 1000.
    FlashAnalyser(int width, int height, double fps, FlashRules rules = {});

    // The next frame: width x height pixels. Throws std::invalid_argument for another count.
    void addFrame(std::span<const std::uint32_t> pixels);

    FlashReport report() const;

private:
    enum Direction : std::int8_t { unknown = 0, rising = 1, falling = -1 };
    // One change of the picture: the frame it completed in, which way, and of which kind.
    struct Change {
        int frame;
        Direction direction;
    };
    // The most pixels of `changed` inside any one field, as a share of the field.
    double largestFieldShare(const std::vector<std::uint8_t>& changed);
    static int flashesIn(const std::vector<Change>& changes, int from, int to);
    static int worstWindow(const std::vector<Change>& changes, int frames, int window, int& start);

    int width_, height_;
    double fps_;
    FlashRules rules_;
    int fieldW_, fieldH_;
    int frames_ = 0;
    double largestShare_ = 0;
    // Per pixel: the last extreme and the direction, for luminance and for redness; whether the
    // redness extreme was a saturated red.
    std::vector<float> lumExtreme_, redExtreme_;
    std::vector<Direction> lumDirection_, redDirection_;
    std::vector<std::uint8_t> redSaturated_;
    // This frame's changed pixels, one map per kind and direction; and the field sums.
    std::vector<std::uint8_t> changed_[4];
    std::vector<std::uint32_t> sums_;
    std::vector<Change> general_, red_;
};

}  // namespace lumvo
