// The numbers of design text: whole numbers and reals as the reader accepts
// them, with the range and syntax checks that reject the rest.
#include "specctra/SpecctraNumberText.h"
#include "specctra/SpecctraParser2.h"

#include "board/PCBProcs.h"
#include "sdk/AsciiText.h"
#include "specctra/HostHooks.h"
#include "specctra/NameIndex.h"
#include "specctra/SpecctraHelpers.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// Conversions

namespace {

// Steps i over leading blanks and tabs and an optional sign; answers whether
// the sign was "-".
bool SkipBlanksAndSign(std::string_view text, std::size_t& i) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        return text[i++] == '-';
    }
    return false;
}

// Plain decimals of at most 15 digits ("12", "0.254", "-.5" after its sign,
// "7.") are converted here: their digits as a whole number and a power of ten
// up to 10^15 are both exact doubles, so one division rounds correctly and
// the result is the one a full conversion gives. Zeros that close a fraction
// do not change the value and are not counted ("392069.000000" is the whole
// number 392069). Anything else (exponents, more digits, stray characters)
// answers false and takes the full path.
bool ExactShortDecimal(const char* begin, const char* end, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const auto digitOf = [](char c) { return static_cast<unsigned char>(c - '0'); };
    uint64_t digits = 0;
    const char* p = begin;
    while (p != end && digitOf(*p) <= 9) {
        digits = digits * 10 + digitOf(*p);
        ++p;
    }
    const bool wholeDigits = p != begin;
    std::size_t count = static_cast<std::size_t>(p - begin);
    std::size_t decimals = 0;
    if (p != end) {
        if (*p != '.') {
            return false;
        }
        const char* const fraction = ++p;
        const char* last = end;
        while (last != fraction && last[-1] == '0') {
            --last;
        }
        if (!wholeDigits && fraction == end) {
            return false; // a point alone
        }
        while (p != last && digitOf(*p) <= 9) {
            digits = digits * 10 + digitOf(*p);
            ++p;
        }
        if (p != last) {
            return false;
        }
        decimals = static_cast<std::size_t>(last - fraction);
        count += decimals;
    } else if (!wholeDigits) {
        return false;
    }
    if (count > 15) {
        return false;
    }
    value = static_cast<double>(digits);
    if (decimals > 0) {
        value /= kPowersOfTen[decimals];
    }
    return true;
}

} // namespace

bool ConvertSpecctraInt(std::string_view text, int32_t& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    const bool negative = SkipBlanksAndSign(text, i);
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    const std::size_t firstDigit = i;
    uint64_t magnitude = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    bool ok = true;
    for (; i < n; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        }
        const uint64_t next = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (digit < 0 || next > limit) {
            ok = false;
            break;
        }
        magnitude = next;
    }
    if (i == firstDigit) {
        ok = false;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) {
        bits = 0u - bits;
    }
    value = static_cast<int32_t>(bits);
    return ok;
}

namespace SpecctraNumberText {

// ConvertSpecctraReal past its quick path.
bool ConvertRealFully(std::string_view text, double& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    const bool negative = SkipBlanksAndSign(text, i);
    value = 0.0;
    // Only plain decimal notation: no "inf", "nan" or hexadecimal forms.
    if (i >= n || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        return false;
    }
    double parsed = 0.0;
    const char* begin = text.data() + i;
    const char* end = text.data() + n;
    if (ExactShortDecimal(begin, end, parsed)) {
        value = negative ? -parsed : parsed;
        return true;
    }
    const auto result = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return result.ec == std::errc() && result.ptr == end;
}

} // namespace SpecctraNumberText

using SpecctraNumberText::ConvertReal;

bool ConvertSpecctraReal(std::string_view text, double& value) {
    return ConvertReal(text, value);
}
