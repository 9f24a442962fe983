#pragma once
// Numbers read and written the way the C library does in the "C" locale, whatever locale the
// host process has set: a layout.ini written on one machine reads back on any other, and the
// JSON bodies always carry a decimal point.
#include <cstddef>
#include <string>
#include <string_view>

namespace lumvo {

// strtod's rules: leading white space, one optional sign, then the longest decimal or 0x-hex
// number, "inf", "infinity" or "nan". Returns false when nothing converts. used counts the bytes
// read from the start of text. A number too big for a double gives +/-infinity and one too small
// gives zero; both set rangeError.
bool scanDouble(std::string_view text, double& value, std::size_t& used, bool& rangeError);
// The same for a float (scanf's %f): out-of-range numbers give +/-infinity or zero.
bool scanFloat(std::string_view text, float& value, std::size_t& used);
// scanf's %i: leading white space, one optional sign, then a 0x-hex, 0-octal or decimal number.
// Numbers beyond the 32-bit range saturate at its ends.
bool scanInt(std::string_view text, int& value, std::size_t& used);
// The value of one hexadecimal digit (either case), or -1.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// printf's "%.<decimals>f" (decimals 0..17) of a finite value.
std::string formatFixed(double value, int decimals);

}  // namespace lumvo
