#pragma once
// Bounds on guest text before it goes into a message box, a toast or a tray balloon, and the
// clock text the lists show. Guest names and messages are as long as the guest made them; a box
// or a fixed-size notification buffer must never take them whole.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lumvo {

inline constexpr std::size_t kToastLabelMax = 39;     // UTF-16 units, as the toast's label buffer
inline constexpr std::size_t kToastMessageMax = 159;  // UTF-16 units, as the toast's message buffer
inline constexpr std::size_t kBoxNameMax = 48;        // a guest's name inside a confirmation box

// `text` cut to at most `maxUnits` UTF-16 units, never inside a character; a broken UTF-8
// sequence counts as one unit and is kept as it is (the wide conversion replaces it).
std::string cutToUnits(std::string_view text, std::size_t maxUnits);
// The same, but a text that was cut ends in "…" (inside the bound).
std::string cutWithEllipsis(std::string_view text, std::size_t maxUnits);

// The toast's and the tray balloon's label and message, bounded (an empty label is "POST").
std::string toastLabel(std::string_view label);
std::string toastMessage(std::string_view message);

// "%H:%M" of a time in milliseconds since 1970, in the local time zone; empty for a time not
// above 0. Injected into the model so tests do not depend on the machine's zone.
using TimeOfDayText = std::function<std::string(std::int64_t epochMs)>;
// The real one, through the C library's local time.
std::string localTimeOfDay(std::int64_t epochMs);

}  // namespace lumvo
