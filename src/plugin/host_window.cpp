#include "plugin/host_window.h"

#include <cmath>

namespace lumvo {

std::uint64_t windowHandleFromNumber(double value) {
    constexpr double kTwo63 = 9223372036854775808.0;   // 2^63
    constexpr double kTwo64 = 18446744073709551616.0;  // 2^64
    if (!(value > 0.0) || value >= kTwo64) return 0;   // also false for NaN
    const double whole = std::trunc(value);
    // Some compilers convert to unsigned 64-bit through the signed instruction, which fails from
    // 2^63 on; take the top bit off first and put it back.
    if (whole >= kTwo63) return static_cast<std::uint64_t>(whole - kTwo63) + (std::uint64_t{1} << 63);
    return static_cast<std::uint64_t>(whole);
}

std::uint64_t ownerWindowFromQuery(std::int32_t queryResult, double value) {
    if (queryResult < 0 || value == 0.0) return 0;
    return windowHandleFromNumber(value);
}

}  // namespace lumvo
