// The quick path of reading a real, taken inline by the reader's scanner:
// a plain decimal of at most 15 significant digits. Anything else goes to
// ConvertRealFully, which checks it whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace SpecctraNumberText {

// The common case in one pass, read from `p` on: an optional sign and a
// plain decimal with at most 15 significant digits (zeros that close a
// fraction not counted), as ExactShortDecimal takes it, and with the same
// value. Reading stops at the first byte that is neither a digit nor the
// decimal's one point, or at `end`; that stop is returned. Null, changing
// nothing, when what comes before the stop is not such a decimal.
inline const char* QuickDecimalPrefix(const char* p, const char* const end, double& value) {
    if (p == end) {
        return nullptr;
    }
    const bool negative = *p == '-';
    if (negative || *p == '+') {
        ++p;
    }
    uint64_t digits = 0;
    const char* const wholeStart = p;
    while (p != end && static_cast<unsigned char>(*p - '0') <= 9) {
        digits = digits * 10 + static_cast<unsigned char>(*p - '0');
        ++p;
    }
    const auto whole = static_cast<std::size_t>(p - wholeStart);
    std::size_t decimals = 0;
    if (p != end && *p == '.') {
        const char* const fractionStart = ++p;
        while (p != end && static_cast<unsigned char>(*p - '0') <= 9) {
            digits = digits * 10 + static_cast<unsigned char>(*p - '0');
            ++p;
        }
        decimals = static_cast<std::size_t>(p - fractionStart);
    }
    std::size_t count = whole + decimals;
    if (whole == 0 && decimals == 0) {
        return nullptr;
    }
    if (count > 19) {
        return nullptr; // the digits may have overflowed
    }
    while (decimals > 0 && digits % 10 == 0) {
        digits /= 10;
        --decimals;
        --count;
    }
    if (count > 15) {
        return nullptr;
    }
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    double parsed = static_cast<double>(digits);
    if (decimals > 0) {
        parsed /= kPowersOfTen[decimals];
    }
    value = negative ? -parsed : parsed;
    return p;
}

// QuickDecimalPrefix over the whole text: false, changing nothing, unless
// the decimal is all of it.
inline bool QuickDecimal(std::string_view text, double& value) {
    const char* const end = text.data() + text.size();
    double parsed = 0.0;
    if (text.empty() || QuickDecimalPrefix(text.data(), end, parsed) != end) {
        return false;
    }
    value = parsed;
    return true;
}

// ConvertSpecctraReal past its quick path.
bool ConvertRealFully(std::string_view text, double& value);

// ConvertSpecctraReal, its quick path taken inline by the parser's readers.
[[gnu::always_inline]] inline bool ConvertReal(std::string_view text, double& value) {
    return QuickDecimal(text, value) || ConvertRealFully(text, value);
}

} // namespace SpecctraNumberText
