#pragma once
// Reading the host's main window handle, which the host hands over as a double.
#include <cstdint>

namespace lumvo {

// The bits of the window handle carried by `value`; 0 (no owner) for 0.0 and for anything that is
// not a whole number of the unsigned 64-bit range (negative, NaN, too large), which a host never
// sends but which must not become a wild handle. Values of 2^63 and above keep their top bit.
std::uint64_t windowHandleFromNumber(double value);

// The owner for the moderator window from the answer to "get hwnd": 0 when the query failed
// (negative result) or answered 0.
std::uint64_t ownerWindowFromQuery(std::int32_t queryResult, double value);

}  // namespace lumvo
