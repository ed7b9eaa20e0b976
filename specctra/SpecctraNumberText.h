// The quick path of reading a real, taken inline by the reader's scanner:
// a plain decimal of at most 15 significant digits. Anything else goes to
// ConvertRealFully, which checks it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace SpecctraNumberText {

// The common case in one pass: an optional sign and a plain decimal with at
// most 15 significant digits (zeros that close a fraction not counted), as
// ExactShortDecimal takes it, and with the same value. False, changing
// nothing, for anything else.
inline bool QuickDecimal(std::string_view text, double& value) {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p == end) {
        return false;
    }
    const bool negative = *p == '-';
    if (negative || *p == '+') {
        ++p;
    }
    uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t decimals = 0;
    while (p != end && static_cast<unsigned char>(*p - '0') <= 9) {
        digits = digits * 10 + static_cast<unsigned char>(*p - '0');
        ++p;
        ++count;
    }
    const std::size_t whole = count;
    if (p != end) {
        if (*p != '.') {
            return false;
        }
        ++p;
        while (p != end && static_cast<unsigned char>(*p - '0') <= 9) {
            digits = digits * 10 + static_cast<unsigned char>(*p - '0');
            ++p;
            ++count;
            ++decimals;
        }
        if (p != end || (whole == 0 && decimals == 0)) {
            return false;
        }
    } else if (whole == 0) {
        return false;
    }
    if (count > 19) {
        return false; // the digits may have overflowed
    }
    while (decimals > 0 && digits % 10 == 0) {
        digits /= 10;
        --decimals;
        --count;
    }
    if (count > 15) {
        return false;
    }
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    double parsed = static_cast<double>(digits);
    if (decimals > 0) {
        parsed /= kPowersOfTen[decimals];
    }
    value = negative ? -parsed : parsed;
    return true;
}

// ConvertSpecctraReal past its quick path.
bool ConvertRealFully(std::string_view text, double& value);

// ConvertSpecctraReal, its quick path taken inline by the parser's readers.
[[gnu::always_inline]] inline bool ConvertReal(std::string_view text, double& value) {
    return QuickDecimal(text, value) || ConvertRealFully(text, value);
}

} // namespace SpecctraNumberText
