#pragma once
// The Vote tab's form without a window: the three time fields and their spinners, the two time
// modes, the poll picture's checks and its copy's name, the body of POST /api/vote-start, and what
// the status box says after the start or the stop.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "moderator/post_actions.h"

namespace lumvo {

// The words of the Vote tab.
namespace vote_text {
inline constexpr const char* kStarted = "Vote started";
inline constexpr const char* kStopped = "Vote stopped";
// A start or stop the server did not take and said nothing about (it is not running, say).
inline constexpr const char* kStartFailed = "The vote did not start: the wall server did not answer.";
inline constexpr const char* kStopFailed = "The vote did not stop: the wall server did not answer.";
inline constexpr const char* kPictureTooBig = "Picture must be under 2 MB.";
inline constexpr const char* kPictureNotCopied = "Could not add that picture.";
inline constexpr const char* kNoPicture = "No picture";
inline constexpr const char* kLengthHint = "How long the poll runs.";
inline constexpr const char* kEndAtHint =
    "Ends at this PC's clock. The boxes fill with the time now \xE2\x80\x94 nudge them if you need later.";
}  // namespace vote_text

// A poll picture is 24 bytes to 2 MB.
inline constexpr std::uint64_t kPictureMinBytes = 24;
inline constexpr std::uint64_t kPollPictureMaxBytes = std::uint64_t{2} << 20;
inline constexpr bool pollPictureSizeOk(std::uint64_t bytes) {
    return bytes >= kPictureMinBytes && bytes <= kPollPictureMaxBytes;
}

// Hours, minutes and seconds as the three boxes hold them. Hours run 0..23, the others 0..59.
struct ClockFields {
    int h = 0, m = 0, s = 0;
    bool operator==(const ClockFields&) const = default;
};
enum class ClockField { hours, minutes, seconds };
inline constexpr int fieldTop(ClockField field) { return field == ClockField::hours ? 23 : 59; }

// A box's text as its number: leading digits after spaces, anything else 0 (never beyond 999).
int fieldNumber(std::string_view text);
// "+" (step 1) or "-" (step -1) on a field: past the top is 0, below 0 is the top.
int stepField(ClockField field, int value, int step);
ClockFields clampFields(ClockFields fields);
// Two digits ("07").
std::string twoDigits(int value);

enum class VoteTimeMode { length = 0, endAt = 1 };

// The two modes' triples: Length starts at 0:01:00, End at local time unset until first shown.
class VoteClock {
public:
    VoteTimeMode mode() const { return mode_; }
    // Switches to `next`, storing `shown` (clamped) as the current mode's; the triple to show then,
    // the End at local time one filled with `now` the first time. Choosing the current mode keeps
    // it and shows `shown` again.
    ClockFields choose(VoteTimeMode next, ClockFields shown, ClockFields now);

private:
    VoteTimeMode mode_ = VoteTimeMode::length;
    ClockFields length_{0, 1, 0};
    ClockFields endAt_{-1, 0, 0};
};

// A vote as the DJ filled it in. Texts are UTF-8.
struct VoteForm {
    std::string title;
    std::array<std::string, 4> answers;
    VoteTimeMode mode = VoteTimeMode::length;
    ClockFields time;
    std::string picture;  // its server path ("/uploads/..."), empty for none
};

// A length in seconds: at least 5.
inline constexpr int kShortestVoteSeconds = 5;
int voteSeconds(ClockFields length);
// The POST /api/vote-start: the title, "duration" or "endAt", "photo" when there is one, and the
// non-empty answers in their order (the server decides whether there are enough).
WallRequest voteStartRequest(const VoteForm& form);
WallRequest voteStopRequest();
// The status box after a start or a stop: the fixed words on success, else the server's own
// sentence ("error" in its reply), else a note that it did not answer.
std::string voteStartStatus(bool succeeded, std::string_view reply);
std::string voteStopStatus(bool succeeded, std::string_view reply);

// The extension the copy of a poll picture takes: ".png" or ".webp" when the source's name ends so
// (in any case), else ".jpg". The copy's name is "LUMVO_poll_<tick><extension>".
std::string pollPictureExtension(std::string_view sourceName);
std::string pollPictureFileName(std::uint64_t tick, std::string_view sourceName);

}  // namespace lumvo
