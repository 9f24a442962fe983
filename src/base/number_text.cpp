#include "base/number_text.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace lumvo {
namespace {

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

bool isDigitIn(char c, int base) { return digitValue(c) < base; }

// Skips white space and one sign; returns the index of what follows.
std::size_t skipBlanksAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

// For a number text that does not fit its type: whether it is too big (rather than too small).
// Its order of magnitude is the count of significant integer digits (or minus the zeros after the
// point) plus the exponent; a number out of range is hundreds of orders away from zero, so the
// sign of that estimate decides.
bool tooBig(std::string_view number, bool hex) {
    const int base = hex ? 16 : 10;
    std::size_t i = 0;
    long long order = 0;
    bool significant = false;
    for (; i < number.size() && isDigitIn(number[i], base); ++i) {
        if (significant || number[i] != '0') {
            significant = true;
            ++order;
        }
    }
    if (i < number.size() && number[i] == '.') {
        ++i;
        for (; i < number.size() && isDigitIn(number[i], base); ++i) {
            if (significant) continue;
            if (number[i] != '0') significant = true;
            else --order;
        }
    }
    if (hex) order *= 4;
    if (i < number.size() && (number[i] == (hex ? 'p' : 'e') || number[i] == (hex ? 'P' : 'E'))) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
        long long exponent = 0;
        for (; i < number.size() && isDigitIn(number[i], 10); ++i) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (number[i] - '0');
        }
        order += negative ? -exponent : exponent;
    }
    return order > 0;
}

template <typename Real>
bool scanReal(std::string_view text, Real& value, std::size_t& used, bool& rangeError) {
    bool negative = false;
    const std::size_t start = skipBlanksAndSign(text, negative);
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    // The sign is ours: from_chars would accept a second '-'.
    if (first == last || *first == '-' || *first == '+') return false;

    Real magnitude{};
    std::from_chars_result result{first, std::errc::invalid_argument};
    bool hex = false;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X') &&
        (isDigitIn(first[2], 16) || (first[2] == '.' && last - first > 3 && isDigitIn(first[3], 16)))) {
        result = std::from_chars(first + 2, last, magnitude, std::chars_format::hex);
        hex = result.ec != std::errc::invalid_argument;
    }
    if (!hex) result = std::from_chars(first, last, magnitude, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return false;

    rangeError = result.ec == std::errc::result_out_of_range;
    if (rangeError) {
        const char* digits = hex ? first + 2 : first;
        magnitude = tooBig(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), hex)
                        ? std::numeric_limits<Real>::infinity()
                        : Real(0);
    }
    value = negative ? -magnitude : magnitude;
    used = static_cast<std::size_t>(result.ptr - text.data());
    return true;
}

}  // namespace

bool scanDouble(std::string_view text, double& value, std::size_t& used, bool& rangeError) {
    return scanReal(text, value, used, rangeError);
}

bool scanFloat(std::string_view text, float& value, std::size_t& used) {
    bool rangeError = false;
    return scanReal(text, value, used, rangeError);
}

bool scanInt(std::string_view text, int& value, std::size_t& used) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(text, negative);
    int base = 10;
    if (i < text.size() && text[i] == '0') {
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && isDigitIn(text[i + 2], 16)) {
            base = 16;
            i += 2;
        } else {
            base = 8;  // the leading 0 is itself an octal digit
        }
    }
    if (i >= text.size() || !isDigitIn(text[i], base)) return false;

    constexpr long long kLimit = 1LL << 31;  // one past INT_MAX; saturated beyond
    long long magnitude = 0;
    for (; i < text.size() && isDigitIn(text[i], base); ++i) {
        magnitude = magnitude * base + digitValue(text[i]);
        if (magnitude > kLimit) magnitude = kLimit;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
    else value = static_cast<int>(signedValue);
    used = i;
    return true;
}

std::string formatFixed(double value, int decimals) {
    char buffer[400];  // the largest double has 309 integer digits
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc{}) return "0";
    return std::string(buffer, result.ptr);
}

}  // namespace lumvo
